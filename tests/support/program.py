"""Programs of the build in the run's Wine session: proxytool.exe (App), winspy.exe (reads and
drives the window from outside), clicks and keys with xdotool, screenshots, exit codes, clean-up,
and proxy_client.exe (a WinInet client with the preconfigured proxy).

    with Simulator() as sim, App() as app:
        app.wait_window()
        rows = app.wait_rows(lambda d: d["label"].endswith(LABEL_SUFFIX))["rows"]
        app.click_row(0); app.click_ctrl("button2"); app.key("Escape")
        assert app.wait_exit() == 0
"""

import json
import os
import subprocess
import tempfile
import time

from session import BUILD_DIR, WINE_RUN, display, exe, wait_for, wine, wine_env

WINSPY = os.path.join(BUILD_DIR, "tools", "winspy.exe")
PROXYTOOL = os.path.join(BUILD_DIR, "proxytool.exe")
PROXY_CLIENT = exe("tools/proxy_client/proxy_client.exe")
CONVERT = "/usr/bin/convert" if os.path.exists("/usr/bin/convert") else "convert"

# "获取ip数:" and "个": the count label is LABEL_PREFIX + number + LABEL_SUFFIX.
LABEL_PREFIX = "获取ip数:"
LABEL_SUFFIX = "个"

WS_VISIBLE = 0x10000000


def cell_ms(text):
    """The number of a delay cell "<n>ms"; None for any other text (超时, empty)."""
    if text.endswith("ms") and text[:-2].isdigit():
        return int(text[:-2])
    return None


def inspect(*args, wait_ms=0, check=True):
    """Runs winspy.exe in the session; returns its stdout (text). Raises when check and it
    fails."""
    cmd = [WINE_RUN, WINSPY]
    if wait_ms:
        cmd += ["--wait", str(int(wait_ms))]
    cmd += [str(a) for a in args]
    # Files, not pipes: a Wine helper process started by this call (the desktop, services) may
    # inherit the handles and keep a pipe open long after winspy.exe has exited.
    with tempfile.TemporaryFile() as out_f, tempfile.TemporaryFile() as err_f:
        r = subprocess.run(cmd, env=wine_env(), stdout=out_f, stderr=err_f, timeout=60 + wait_ms / 1000)
        out_f.seek(0)
        err_f.seek(0)
        out = out_f.read().decode("utf-8", "replace")
        err = err_f.read().decode("utf-8", "replace")
    if check and r.returncode != 0:
        raise RuntimeError(f"winspy {' '.join(map(str, args))} exited {r.returncode}: {err}")
    return out if r.returncode == 0 else None


def hexarg(text):
    """A Chinese text as a winspy argument that survives any command-line code page."""
    return "hex:" + text.encode("utf-8").hex()


def xdotool(*args):
    subprocess.run(["xdotool", *map(str, args)], env=wine_env(), check=True, timeout=30)


def center(rect):
    left, top, right, bottom = rect
    return (left + right) // 2, (top + bottom) // 2


def screenshot(path):
    """Saves the session's screen as a PNG."""
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with tempfile.NamedTemporaryFile(suffix=".xwd") as xwd:
        subprocess.run(["xwd", "-root", "-silent", "-display", display(), "-out", xwd.name], check=True, timeout=30)
        subprocess.run([CONVERT, "xwd:" + xwd.name, path], check=True, timeout=60)
    return path


class App:
    """proxytool.exe (or another exe of the build) under Wine in the run's session."""

    def __init__(self, exe=None, args=(), env=None):
        self.log = tempfile.NamedTemporaryFile(prefix="proxytool-", suffix=".log", delete=False)
        self.cmd = [WINE_RUN, exe or PROXYTOOL, *args]
        self.env = wine_env(env)
        self.proc = subprocess.Popen(self.cmd, env=self.env, stdout=self.log, stderr=subprocess.STDOUT)
        self.exit_code = None
        self.restarted = False

    def wait_window(self, timeout=30.0):
        """Waits until the main window exists; returns its first dump."""
        def ready():
            if self.proc.poll() is not None:
                # Exit code 1 without a window: a fresh prefix's desktop was not ready and the
                # window could not be created. Start once more; any other early exit is a failure.
                if self.proc.returncode == 1 and not self.restarted:
                    self.restarted = True
                    time.sleep(2)
                    self.proc = subprocess.Popen(self.cmd, env=self.env, stdout=self.log, stderr=subprocess.STDOUT)
                    return None
                raise RuntimeError(f"proxytool exited early with {self.proc.returncode}: {self.output()}")
            out = inspect("dump", wait_ms=1000, check=False)
            if not out:
                return None
            d = json.loads(out)
            # The title exists from the window's first message on; the controls only once its
            # creation is over, and it is shown after that.
            return d if d.get("style", 0) & WS_VISIBLE else None
        return wait_for(ready, timeout, what="the main window")

    def dump(self):
        """The window as winspy.exe reads it: pid, title, label, columns, selected, rows."""
        return json.loads(inspect("dump"))

    def wait_rows(self, predicate, timeout=60.0):
        """Dumps until predicate(dump) holds; returns that dump."""
        def check():
            d = self.dump()
            return d if predicate(d) else None
        return wait_for(check, timeout, interval=0.2, what="the list")

    def wait_settled(self, timeout=60.0):
        """Dumps until three dumps over a second agree and the label holds a count; returns the last."""
        seen = []
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            d = self.dump()
            seen = (seen + [(d["rows"], d["label"])])[-3:]
            if len(seen) == 3 and all(s == seen[0] for s in seen) and d["label"].endswith(LABEL_SUFFIX):
                return d
            time.sleep(0.5)
        raise TimeoutError("the list did not settle")

    def row_rect(self, row):
        return tuple(int(v) for v in inspect("rowrect", row).split())

    def ctrl_rect(self, what):
        """what: a control id, list / label / button1 / button2 / button3, or a window text."""
        if isinstance(what, str) and not what.isascii():
            what = hexarg(what)
        return tuple(int(v) for v in inspect("ctrlrect", what).split())

    def click_at(self, x, y, button=1):
        xdotool("mousemove", x, y, "click", button)

    def click_row(self, row, x_offset=10):
        """Left click on row `row` of the list, x_offset pixels into the row."""
        left, top, right, bottom = self.row_rect(row)
        self.click_at(left + x_offset, (top + bottom) // 2)

    def click_ctrl(self, what):
        self.click_at(*center(self.ctrl_rect(what)))

    def key(self, *keys):
        """xdotool key names, e.g. key("Escape"), key("Down")."""
        xdotool("key", *keys)

    def msgbox(self, caption, dismiss=False, wait_ms=5000):
        """Text of the program's message box with that caption, or None when there is none."""
        args = ["msgbox", hexarg(caption)] + (["--dismiss"] if dismiss else [])
        out = inspect(*args, wait_ms=wait_ms, check=False)
        return out.rstrip("\r\n") if out is not None else None

    def close(self):
        inspect("close", check=False)

    def screenshot(self, path):
        return screenshot(path)

    def wait_exit(self, timeout=30.0):
        """Waits for the process to end; returns its exit code (Wine passes its low 8 bits)."""
        self.exit_code = self.proc.wait(timeout)
        return self.exit_code

    def running(self):
        return self.proc.poll() is None

    def output(self):
        with open(self.log.name, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def stop(self):
        if self.proc.poll() is None:
            inspect("close", check=False)
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log.close()
        try:
            os.unlink(self.log.name)
        except OSError:
            pass

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def fetch(url):
    """Runs proxy_client.exe: (exit code, status line, body)."""
    r = wine(PROXY_CLIENT, url)
    out = r.stdout.decode("latin-1").replace("\r\n", "\n")  # console text mode
    first, _, body = out.partition("\n")
    return r.returncode, first, body
