"""Helpers for the end-to-end tests: the gateway simulator, proxytool.exe under Wine in the test
run's session, winspy.exe (reads the window from outside), clicks and keys with xdotool, screenshots, exit codes, clean-up.

Environment (set by ctest for script tests): PROXYTOOL_RUN_DIR (the Wine session: prefix and Xvfb
display), PROXYTOOL_BUILD_DIR (build/win64), PROXYTOOL_SOURCE_DIR, PROXYTOOL_GATEWAY_HOST (the
build's gateway host:port: the program asks only there, so the simulator must listen there).

    from guilib import Simulator, App
    with Simulator(scenario={"pages": {"3": {"mode": "fail"}}}) as sim, App() as app:
        app.wait_window()
        rows = app.wait_rows(lambda d: d["label"].endswith("个"))["rows"]
        app.click_row(0); app.click_ctrl("button2"); app.key("Escape")
        assert app.wait_exit() == 0
        assert len(sim.requests()) == 20
"""

import json
import os
import shutil
import subprocess
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.environ.get("PROXYTOOL_SOURCE_DIR") or os.path.abspath(os.path.join(HERE, "..", ".."))
BUILD_DIR = os.environ.get("PROXYTOOL_BUILD_DIR") or os.path.join(SOURCE_DIR, "build", "win64")
RUN_DIR = os.environ.get("PROXYTOOL_RUN_DIR") or os.path.join(BUILD_DIR, "testrun")
GATEWAY_HOST = os.environ.get("PROXYTOOL_GATEWAY_HOST") or "127.0.0.1:18931"
LISTING_HOST = os.environ.get("PROXYTOOL_LISTING_HOST") or "www.proxylisting.test"
WINE_RUN = os.path.join(SOURCE_DIR, "tools", "wine", "wine-run")
SIMULATOR = os.path.join(SOURCE_DIR, "tools", "gateway_sim", "gateway_sim.py")
WINSPY = os.path.join(BUILD_DIR, "tools", "winspy.exe")
PROXYTOOL = os.path.join(BUILD_DIR, "proxytool.exe")
CONVERT = "/usr/bin/convert" if os.path.exists("/usr/bin/convert") else "convert"

# "获取ip数:" and "个": the count label is LABEL_PREFIX + number + LABEL_SUFFIX.
LABEL_PREFIX = "获取ip数:"
LABEL_SUFFIX = "个"


def display():
    with open(os.path.join(RUN_DIR, "display")) as f:
        return f.read().strip()


def wine_env(extra=None):
    env = dict(os.environ)
    env["PROXYTOOL_RUN_DIR"] = RUN_DIR
    env["DISPLAY"] = display()
    if extra:
        env.update(extra)
    return env


WS_VISIBLE = 0x10000000


def wait_for(predicate, timeout=30.0, interval=0.1, what="condition"):
    """Polls predicate() until it returns a truthy value, which is returned; raises on timeout."""
    deadline = time.monotonic() + timeout
    last = None
    while True:
        last = predicate()
        if last:
            return last
        if time.monotonic() >= deadline:
            raise TimeoutError(f"timed out after {timeout:.0f} s waiting for {what} (last: {last!r})")
        time.sleep(interval)


class Simulator:
    """The gateway simulator on the build's gateway host (or `listen`), with a scenario (a dict, a
    JSON file path, or None for the embedded sample) and a request log."""

    def __init__(self, scenario=None, listen=None, listing_host=None, extra_args=()):
        self.dir = tempfile.mkdtemp(prefix="gwsim-")
        self.log_path = os.path.join(self.dir, "requests.jsonl")
        cmd = ["python3", SIMULATOR, "--listen", listen or GATEWAY_HOST, "--log", self.log_path,
               "--listing-host", listing_host or LISTING_HOST, *extra_args]
        if isinstance(scenario, dict):
            path = os.path.join(self.dir, "scenario.json")
            with open(path, "w", encoding="utf-8") as f:
                json.dump(scenario, f, ensure_ascii=False)
            cmd += ["--scenario", path]
        elif scenario:
            cmd += ["--scenario", scenario]
        self.proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()
        if not line.startswith("READY "):
            err = self.proc.stderr.read() if self.proc.poll() is not None else ""
            self.stop()
            raise RuntimeError(f"gateway simulator did not start: {line!r} {err}")
        self.address = line.split()[1]

    def events(self):
        """Every log record so far: requests and answer ends (see gateway_sim.py --log)."""
        if not os.path.exists(self.log_path):
            return []
        with open(self.log_path, encoding="utf-8") as f:
            return [json.loads(l) for l in f if l.strip()]

    def requests(self):
        """Every request so far, in arrival order (dicts: method, path, raw, page, part, mode, t)."""
        return [e for e in self.events() if e.get("event") == "request"]

    def answered(self):
        """How many requests have been answered completely (or reset) so far."""
        return sum(1 for e in self.events() if e.get("event") in ("sent", "send_failed", "reset"))

    def wait_answered(self, count, timeout=60.0):
        """Waits until `count` requests have been answered."""
        wait_for(lambda: self.answered() >= count, timeout, what=f"{count} answered requests")

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        for stream in (self.proc.stdout, self.proc.stderr):
            if stream:
                stream.close()
        shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


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
