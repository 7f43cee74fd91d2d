"""Helpers for the proxy switch's script tests: run Windows programs in the run's Wine session,
read HKCU Internet Settings from outside with `reg`, dump HKCU, and a loopback origin server."""
import http.server
import os
import subprocess
import sys
import tempfile
import threading
import time

SOURCE_DIR = os.environ.get("PROXYTOOL_SOURCE_DIR") or os.path.abspath(os.path.join(os.path.dirname(__file__), "../.."))
BUILD_DIR = os.environ.get("PROXYTOOL_BUILD_DIR") or os.path.join(SOURCE_DIR, "build/win64")
RUN_DIR = os.environ.get("PROXYTOOL_RUN_DIR") or os.path.join(BUILD_DIR, "testrun")
WINE_RUN = os.path.join(SOURCE_DIR, "tools/wine/wine-run")
SETTINGS_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"
FIXTURE = os.path.join(SOURCE_DIR, "tools/http_proxy_fixture/http_proxy_fixture.py")

failures = []


def check(cond, what):
    print(("ok   " if cond else "FAIL ") + what, flush=True)
    if not cond:
        failures.append(what)


def finish():
    if failures:
        print(f"{len(failures)} check(s) failed", flush=True)
        sys.exit(1)
    print("all checks passed", flush=True)


def wine(*args, timeout=60, winedebug=None):
    """Runs a program in the session; its output goes through files, not pipes: Wine's background
    processes (services, explorer) started by a call inherit its handles and would hold a pipe
    open long after the program has ended."""
    env = dict(os.environ, PROXYTOOL_RUN_DIR=RUN_DIR)
    if winedebug:
        env["PROXYTOOL_WINEDEBUG"] = winedebug
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        rc = subprocess.run([WINE_RUN, *args], stdout=out, stderr=err, stdin=subprocess.DEVNULL,
                            timeout=timeout, env=env).returncode
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(args, rc, out.read(), err.read())


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


def exe(rel):
    return os.path.join(BUILD_DIR, rel)


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


class Origin:
    """A loopback HTTP origin server on 127.0.0.1 (free port) answering 'origin <path>'."""

    def __init__(self):
        paths = self.paths = []

        class H(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                paths.append(self.path)
                body = f"origin {self.path}\n".encode()
                self.send_response(200)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *a):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), H)
        self.port = self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def url(self, path):
        return f"http://127.0.0.1:{self.port}{path}"

    def close(self):
        self.server.shutdown()
        self.server.server_close()


class ProxyFixture:
    """tools/http_proxy_fixture on host:80; .lines() gives the request lines it has seen."""

    def __init__(self, host, workdir):
        self.host = host
        self.log = os.path.join(workdir, f"proxy-{host}.log")
        ready = os.path.join(workdir, f"proxy-{host}.ready")
        for p in (self.log, ready):
            if os.path.exists(p):
                os.remove(p)
        open(self.log, "w").close()
        self.proc = subprocess.Popen([sys.executable, FIXTURE, "--host", host, "--log", self.log, "--ready", ready],
                                     stdout=subprocess.DEVNULL)
        for _ in range(200):
            if os.path.exists(ready) or self.proc.poll() is not None:
                break
            time.sleep(0.02)
        if not os.path.exists(ready):
            raise RuntimeError(f"proxy fixture on {host}:80 did not start")

    def lines(self):
        with open(self.log, encoding="latin-1") as f:
            return [l.rstrip("\n") for l in f]

    def close(self):
        self.proc.terminate()
        try:
            self.proc.wait(5)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()


def fetch(url):
    """Runs proxy_client.exe: (exit code, status line, body)."""
    r = wine(exe("tools/proxy_client/proxy_client.exe"), url)
    out = r.stdout.decode("latin-1").replace("\r\n", "\n")  # console text mode
    first, _, body = out.partition("\n")
    return r.returncode, first, body
