#!/usr/bin/env python3
"""Debian's squid, tinyproxy and privoxy (our own instances on 127.0.0.61-63:80) against the probe.

Prints two tables:
  1. a plain socket client (connect, send, wait one second for any byte): 32 zero bytes against
     the 22 bytes "OPTIONS * HTTP/1.0\\r\\n\\r\\n", first reply line and milliseconds;
  2. with --program: proxytool.exe (build/win64, or --exe) in a Wine session, its list filled by
     the gateway simulator with the three addresses; column 2 after a real click on each row,
     then again after that server has been stopped by its PID.

Run as root under the tests' lock, from anywhere:
  flock /tmp/proxytool-wine-tests.lock python3 bench/probe/real_proxies.py [--program] [--exe PATH]
"""

import argparse
import os
import subprocess
import sys
import time

SOURCE_DIR = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "support"))
import real_servers  # noqa: E402

SERVERS = [("127.0.0.61", "squid"), ("127.0.0.62", "tinyproxy"), ("127.0.0.63", "privoxy")]
PAYLOADS = [("32 zero bytes", b"\0" * 32), ("OPTIONS * HTTP/1.0 (22 bytes)", b"OPTIONS * HTTP/1.0\r\n\r\n")]


def plain_client_table():
    print("| server | " + " | ".join(name for name, _ in PAYLOADS) + " |")
    print("|---|" + "---|" * len(PAYLOADS))
    for ip, kind in SERVERS:
        with real_servers.start(kind, ip):
            cells = []
            for _, payload in PAYLOADS:
                line, ms = real_servers.ask(ip, 80, payload)
                cells.append("no reply within 1 s" if line is None else f"{line.split(' ', 2)[1]} after {ms:.1f} ms")
            print(f"| {kind} | " + " | ".join(cells) + " |", flush=True)


def program_table(exe):
    build = os.path.join(SOURCE_DIR, "build", "win64")
    run_dir = os.path.join(build, "benchsession")
    os.environ.update(PROXYTOOL_RUN_DIR=run_dir, PROXYTOOL_BUILD_DIR=build, PROXYTOOL_SOURCE_DIR=SOURCE_DIR)
    # Imported here: they read the environment above (tests/support is already on sys.path).
    from program import PROXYTOOL, App, LABEL_SUFFIX
    from session import wait_for
    from simulator import Simulator

    session = os.path.join(SOURCE_DIR, "tools", "wine", "session")
    subprocess.run([session, "start", run_dir], check=True, stdout=subprocess.DEVNULL)
    servers, sim, app = {}, None, None
    try:
        for ip, kind in SERVERS:
            servers[ip] = real_servers.start(kind, ip)
        entries = [[ip, "HTTP", "0.5秒", kind, "高匿"] for ip, kind in SERVERS]
        sim = Simulator(scenario={"pages": {"1": {"parts": [entries, []]}}, "unlisted": "empty"})
        app = App(exe=exe)
        app.wait_window()
        sim.wait_answered(20)
        rows = app.wait_rows(lambda d: d["label"].endswith(LABEL_SUFFIX) and len(d["rows"]) >= 3)["rows"]
        row = {r[0]: i for i, r in reversed(list(enumerate(rows)))}

        def click(ip):
            before = app.dump()["rows"][row[ip]][2]
            app.click_row(row[ip])
            start = time.monotonic()
            try:
                text = wait_for(lambda: (lambda c: c if c != before else None)(app.dump()["rows"][row[ip]][2]),
                                       timeout=3, interval=0.05, what="the delay cell")
            except TimeoutError:
                return before + " (unchanged)", None
            seconds = time.monotonic() - start
            time.sleep(max(0.0, 1.3 - seconds))  # the probe's own one-second wait ends
            return text, seconds

        print(f"\nproxytool.exe: {exe or PROXYTOOL}")
        print("| server | column 2, live | column 2, stopped by PID |")
        print("|---|---|---|")
        for ip, kind in SERVERS:
            live, _ = click(ip)
            servers[ip].stop()
            stopped, seconds = click(ip)
            after = "" if seconds is None else f" (after {seconds:.2f} s)"
            print(f"| {kind} | {live} | {stopped}{after} |", flush=True)
    finally:
        if app:
            app.stop()
        if sim:
            sim.stop()
        for s in servers.values():
            s.close()
        subprocess.run([session, "stop", run_dir], stdout=subprocess.DEVNULL)


def main():
    ap = argparse.ArgumentParser(description="Real proxies against the probe's bytes.")
    ap.add_argument("--program", action="store_true", help="also through proxytool.exe under Wine")
    ap.add_argument("--exe", help="the proxytool.exe to run (default build/win64/proxytool.exe)")
    args = ap.parse_args()
    plain_client_table()
    if args.program:
        program_table(args.exe)
    return 0


if __name__ == "__main__":
    sys.exit(main())
