#!/usr/bin/env python3
"""The program's main job, as ./run does it (after building build/win64/proxytool.exe).

Starts a Wine session of its own (build/win64/runsession: fresh prefix, Xvfb, one virtual
desktop), the bundled gateway simulator on the build's gateway host, and proxytool.exe.

With DISPLAY set the window shows on that display and the run ends when you close it. Without
DISPLAY it runs under the session's Xvfb: waits for the harvest, prints the rows and the count
label, clicks the first HTTP row to probe it, saves a screenshot (default
build/win64/screenshot.png; docs/screenshot.png is one such shot) and closes the window.

Run as root, it also starts loopback demo proxies on port 80 of the sample's addresses
(127.0.0.100-199, each answering after its own delay, a few silent), so a click on an HTTP row
shows a real delay; and Debian's tinyproxy (its own instance, tests/support/real_servers.py) on
127.0.0.69:80, which takes the place of the sample's first row, so that row is a real proxy. The
headless run probes that row.

  run_main_job.py [--screenshot PATH] [--scenario FILE.json] [--timeout S]
"""

import argparse
import json
import os
import re
import subprocess
import sys
import time

SOURCE_DIR = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
BUILD_DIR = os.path.join(SOURCE_DIR, "build", "win64")
RUN_DIR = os.path.join(BUILD_DIR, "runsession")
SESSION = os.path.join(SOURCE_DIR, "tools", "wine", "session")
REAL_PROXY_HOST = "127.0.0.69"
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "support"))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tools", "gateway_sim"))
import gateway_sim  # noqa: E402
import real_servers  # noqa: E402


def cache_value(name, default):
    try:
        with open(os.path.join(BUILD_DIR, "CMakeCache.txt"), encoding="utf-8") as f:
            for line in f:
                m = re.match(rf"{name}:\w+=(.*)$", line.strip())
                if m:
                    return m.group(1)
    except OSError:
        pass
    return default


def demo_mode(last_octet):
    delays = (20, 47, 80, 150, 300, 600)
    return "silent" if last_octet % 9 == 0 else f"reply:{delays[last_octet % len(delays)]}"


def start_demo_proxies():
    """Fake proxies on 127.0.0.100-199:80 for the probe; None when not root (port 80)."""
    if os.geteuid() != 0:
        print("run: not root, so no demo proxies on port 80: a probe shows 超时", flush=True)
        return None
    modes = [f"127.0.0.{i}={demo_mode(i)}" for i in range(100, 200)]
    proc = subprocess.Popen([sys.executable, os.path.join(SOURCE_DIR, "tools", "fake_proxy", "fake_proxy.py")] + modes,
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    line = proc.stdout.readline()
    if not line.startswith("READY"):
        proc.kill()
        print("run: demo proxies did not start", flush=True)
        return None
    print("run: demo proxies on 127.0.0.100-199:80 (click an HTTP row to probe it)", flush=True)
    return proc


def start_real_proxy():
    """tinyproxy on REAL_PROXY_HOST:80; None when not root or when it does not start."""
    if os.geteuid() != 0:
        return None
    try:
        proxy = real_servers.tinyproxy(REAL_PROXY_HOST)
    except real_servers.ServerStartError as e:
        print(f"run: no real proxy in the list: {e}", flush=True)
        return None
    print(f"run: tinyproxy on {REAL_PROXY_HOST}:80 is the first row of page 1 (a real proxy)", flush=True)
    return proxy


def sample_with_real_proxy():
    """The simulator's sample with its first entry (an HTTP row) moved to the real proxy's address."""
    scenario = json.loads(json.dumps(gateway_sim.SAMPLE))
    first = scenario["pages"]["1"]["parts"][0][0]
    first[0], first[1], first[3] = REAL_PROXY_HOST, "HTTP", "本机 tinyproxy"
    return scenario


def stop_demo_proxies(proc):
    if proc:
        proc.stdin.close()
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()


def main():
    ap = argparse.ArgumentParser(description="Runs proxytool.exe against the bundled gateway simulator.")
    ap.add_argument("--screenshot", default=os.path.join(BUILD_DIR, "screenshot.png"))
    ap.add_argument("--scenario", help="gateway simulator scenario (default: its embedded sample)")
    ap.add_argument("--timeout", type=float, default=120.0, help="seconds to wait for the harvest (headless)")
    args = ap.parse_args()

    user_display = os.environ.get("DISPLAY")
    os.environ["PROXYTOOL_RUN_DIR"] = RUN_DIR
    os.environ["PROXYTOOL_BUILD_DIR"] = BUILD_DIR
    os.environ["PROXYTOOL_SOURCE_DIR"] = SOURCE_DIR
    os.environ["PROXYTOOL_GATEWAY_HOST"] = cache_value("GATEWAY_HOST", "127.0.0.1:18931")
    os.environ["PROXYTOOL_LISTING_HOST"] = cache_value("LISTING_HOST", "www.proxylisting.test")
    # Imported here: they read the environment above.
    from program import App, CONVERT, LABEL_SUFFIX, screenshot
    from session import wait_for
    from simulator import Simulator

    print(f"run: Wine session in {RUN_DIR} (about 15 s for a fresh prefix)", flush=True)
    # With a display of the user's, the session's virtual desktop (and so the window) goes there:
    # every process of a prefix shares one desktop, whatever DISPLAY it was started with.
    session_env = dict(os.environ)
    if user_display:
        session_env["PROXYTOOL_SESSION_DISPLAY"] = user_display
    subprocess.run([SESSION, "start", RUN_DIR], check=True, env=session_env)
    sim = app = proxies = real_proxy = None
    try:
        proxies = start_demo_proxies()
        real_proxy = start_real_proxy()
        scenario = args.scenario or (sample_with_real_proxy() if real_proxy else None)
        sim = Simulator(scenario=scenario)
        print(f"run: gateway simulator on {sim.address}", flush=True)
        if user_display:
            app = App()
            print(f"run: proxytool.exe shows on {user_display}; close its window to end the run", flush=True)
            code = app.wait_exit(timeout=None)
            print(f"run: proxytool.exe exited with {code}")
            return 0
        app = App()
        app.wait_window()
        sim.wait_answered(20, args.timeout)
        # The last answers are still being cut into rows: wait until the list stays the same.
        seen = []
        deadline = time.monotonic() + args.timeout
        while time.monotonic() < deadline:
            d = app.dump()
            seen = (seen + [json.dumps([d["rows"], d["label"]])])[-3:]
            if len(seen) == 3 and len(set(seen)) == 1 and d["label"].endswith(LABEL_SUFFIX):
                break
            time.sleep(0.5)
        print(f"{'#':>3}  " + "  ".join(f"{c or '-':<14}" for c in d["columns"]))
        for i, row in enumerate(d["rows"]):
            print(f"{i:>3}  " + "  ".join(f"{c:<14}" for c in row))
        print(f"label: {d['label']}")
        # Probe the real proxy's row, else the first HTTP row whose demo proxy answers.
        http_rows = [i for i, row in enumerate(d["rows"]) if real_proxy and row[0] == REAL_PROXY_HOST]
        http_rows += [i for i, row in enumerate(d["rows"])
                      if row[1] == "HTTP" and demo_mode(int(row[0].rsplit(".", 1)[-1])) != "silent"]
        if http_rows:
            row = http_rows[0]
            app.click_row(row)
            # One probe: two connects, the OPTIONS request, then a full one-second wait.
            wait_for(lambda: app.dump()["rows"][row][2] != "", timeout=10, what="the probe's delay cell")
            kind = " (tinyproxy)" if d["rows"][row][0] == REAL_PROXY_HOST else ""
            print(f"probe: clicked row {row} ({d['rows'][row][0]}{kind}): 延时 = {app.dump()['rows'][row][2]}")
        shot = screenshot(args.screenshot + ".full.png")
        left, top, right, bottom = d["rect"]
        subprocess.run([CONVERT, shot, "-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage",
                        args.screenshot], check=True)
        os.unlink(shot)
        print(f"screenshot: {args.screenshot}")
        app.close()
        code = app.wait_exit(30)
        print(f"run: proxytool.exe exited with {code}")
        return 0 if code == 0 else 1
    finally:
        if app:
            app.stop()
        if sim:
            sim.stop()
        stop_demo_proxies(proxies)
        if real_proxy:
            real_proxy.close()
        subprocess.run([SESSION, "stop", RUN_DIR], stdout=subprocess.DEVNULL)


if __name__ == "__main__":
    sys.exit(main())
