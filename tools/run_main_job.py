#!/usr/bin/env python3
"""The program's main job, as ./run does it (after building build/win64/proxytool.exe).

Starts a Wine session of its own (build/win64/runsession: fresh prefix, Xvfb, one virtual
desktop), the bundled gateway simulator on the build's gateway host, and proxytool.exe.

With DISPLAY set the window shows on that display and the run ends when you close it. Without
DISPLAY it runs under the session's Xvfb: waits for the harvest, prints the rows and the count
label, saves a screenshot (default docs/screenshot.png) and closes the window.

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


def main():
    ap = argparse.ArgumentParser(description="Runs proxytool.exe against the bundled gateway simulator.")
    ap.add_argument("--screenshot", default=os.path.join(SOURCE_DIR, "docs", "screenshot.png"))
    ap.add_argument("--scenario", help="gateway simulator scenario (default: its embedded sample)")
    ap.add_argument("--timeout", type=float, default=120.0, help="seconds to wait for the harvest (headless)")
    args = ap.parse_args()

    user_display = os.environ.get("DISPLAY")
    os.environ["PROXYTOOL_RUN_DIR"] = RUN_DIR
    os.environ["PROXYTOOL_BUILD_DIR"] = BUILD_DIR
    os.environ["PROXYTOOL_SOURCE_DIR"] = SOURCE_DIR
    os.environ["PROXYTOOL_GATEWAY_HOST"] = cache_value("GATEWAY_HOST", "127.0.0.1:18931")
    os.environ["PROXYTOOL_LISTING_HOST"] = cache_value("LISTING_HOST", "www.proxylisting.test")
    sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "e2e"))
    import guilib  # reads the environment above

    print(f"run: Wine session in {RUN_DIR} (about 15 s for a fresh prefix)", flush=True)
    subprocess.run([SESSION, "start", RUN_DIR], check=True)
    sim = app = None
    try:
        sim = guilib.Simulator(scenario=args.scenario)
        print(f"run: gateway simulator on {sim.address}", flush=True)
        if user_display:
            app = guilib.App(env={"DISPLAY": user_display})
            print(f"run: proxytool.exe shows on {user_display}; close its window to end the run", flush=True)
            code = app.wait_exit(timeout=None)
            print(f"run: proxytool.exe exited with {code}")
            return 0
        app = guilib.App()
        app.wait_window()
        sim.wait_answered(20, args.timeout)
        # The last answers are still being cut into rows: wait until the list stays the same.
        seen = []
        deadline = time.monotonic() + args.timeout
        while time.monotonic() < deadline:
            d = app.dump()
            seen = (seen + [json.dumps([d["rows"], d["label"]])])[-3:]
            if len(seen) == 3 and len(set(seen)) == 1 and d["label"].endswith(guilib.LABEL_SUFFIX):
                break
            time.sleep(0.5)
        print(f"{'#':>3}  " + "  ".join(f"{c or '-':<14}" for c in d["columns"]))
        for i, row in enumerate(d["rows"]):
            print(f"{i:>3}  " + "  ".join(f"{c:<14}" for c in row))
        print(f"label: {d['label']}")
        shot = guilib.screenshot(args.screenshot + ".full.png")
        left, top, right, bottom = d["rect"]
        subprocess.run([guilib.CONVERT, shot, "-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage",
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
        subprocess.run([SESSION, "stop", RUN_DIR], stdout=subprocess.DEVNULL)


if __name__ == "__main__":
    sys.exit(main())
