"""HKCU of the run's Wine session read and written from outside with Wine's `reg`: the values
under Internet Settings, and whole-HKCU dumps and their differences."""

import os

from session import wine

SETTINGS_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"


def reg(*args):
    """Runs Wine's reg in the session. reg reports each failure of its own in words (on stdout); a
    run that ends non-zero having printed nothing at all is something else: one `reg export` did
    that once in a full CI run, and not again here in 4 full runs, 6 repeats of its test and 60
    dumps taken between clicks on the running program. Such a run is retried once with Wine's
    error channels on and reported either way, so that a repeat shows its cause."""
    r = wine("reg", *args)
    if r.returncode == 0 or r.stdout.strip() or r.stderr.strip():
        return r
    print(f"reg {' '.join(args)}: exit {r.returncode} with no output; once more with WINEDEBUG=err+all",
          flush=True)
    r = wine("reg", *args, winedebug="err+all")
    print(f"reg {' '.join(args)}: exit {r.returncode}, stdout {r.stdout[-2000:]!r}, stderr {r.stderr[-4000:]!r}",
          flush=True)
    return r


def reg_query(name):
    """(type, data) of a value under Internet Settings as `reg query` prints it, None if missing."""
    r = reg("query", SETTINGS_KEY, "/v", name)
    if r.returncode != 0:
        if b"Unable to find" not in r.stdout + r.stderr:
            raise RuntimeError(f"reg query {name} failed (exit {r.returncode}): {r.stdout!r} {r.stderr!r}")
        return None
    for line in r.stdout.decode("utf-8", "replace").splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) >= 2 and parts[0] == name and parts[1].startswith("REG_"):
            return (parts[1], parts[2] if len(parts) == 3 else "")
    return None


def reg_set_start_state(values):
    """values: name -> None (delete) or (type, data) to write with `reg add`."""
    for name, v in values.items():
        if v is None:
            r = reg("delete", SETTINGS_KEY, "/v", name, "/f")
            ok = r.returncode == 0 or b"Unable to find" in r.stdout + r.stderr  # already absent
        else:
            r = reg("add", SETTINGS_KEY, "/v", name, "/t", v[0], "/d", v[1], "/f")
            ok = r.returncode == 0
        if not ok:
            raise RuntimeError(f"reg could not set {name} (exit {r.returncode}): {r.stdout!r} {r.stderr!r}")


def hkcu_dump(path):
    """Exports all of HKCU with `reg export` and parses it: {key: {value name: raw data text}}."""
    if os.path.exists(path):
        os.remove(path)
    win_path = "Z:" + os.path.abspath(path).replace("/", "\\")  # Wine maps Z: to /
    r = reg("export", "HKCU", win_path, "/y")
    if r.returncode != 0:
        raise RuntimeError(f"reg export failed (exit {r.returncode}): {r.stdout!r} {r.stderr!r}")
    with open(path, "rb") as f:
        raw = f.read()
    text = raw.decode("utf-16") if raw[:2] in (b"\xff\xfe", b"\xfe\xff") else raw.decode("utf-8", "replace")
    keys, key, pending = {}, None, ""
    for line in text.splitlines():
        if pending:
            line = pending + line.strip()
            pending = ""
        if line.endswith("\\"):
            pending = line[:-1]
            continue
        if line.startswith("[") and line.endswith("]"):
            key = line[1:-1]
            keys.setdefault(key, {})
        elif key is not None and "=" in line and (line.startswith('"') or line.startswith("@")):
            if line.startswith("@"):
                name, data = "@", line[2:]
            else:
                end = 1
                while True:  # the closing quote of the name (names escape \" and \\)
                    end = line.index('"', end)
                    if line[end - 1] != "\\" or line[end - 2:end] == "\\\\":
                        break
                    end += 1
                name, data = line[1:end], line[end + 2:]
            keys[key][name] = data
    return keys


def hkcu_diff(before, after):
    """[(key, value name or None for the key itself, before, after)] of every difference."""
    out = []
    for key in sorted(set(before) | set(after)):
        if key not in before or key not in after:
            out.append((key, None, key in before, key in after))
            continue
        b, a = before[key], after[key]
        for name in sorted(set(b) | set(a)):
            if b.get(name) != a.get(name):
                out.append((key, name, b.get(name), a.get(name)))
    return out
