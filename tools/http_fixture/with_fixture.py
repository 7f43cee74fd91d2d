#!/usr/bin/env python3
"""Runs a command while the loopback HTTP fixture serves a fresh script folder.

Usage: with_fixture.py COMMAND [ARGS...]
The command gets PROXYTOOL_FIXTURE_PORT (the fixture's port on 127.0.0.1) and
PROXYTOOL_FIXTURE_DIR (the script folder, a Unix path; Wine programs reach it as Z:<path>).
Exits with the command's exit code.
"""
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    base = os.environ.get("PROXYTOOL_RUN_DIR") or None
    if base:
        os.makedirs(base, exist_ok=True)
    folder = tempfile.mkdtemp(prefix="http_fixture_", dir=base)
    port_file = os.path.join(folder, "port")
    server = subprocess.Popen([sys.executable, os.path.join(HERE, "http_fixture.py"), folder, port_file])
    try:
        for _ in range(200):
            if os.path.exists(port_file) or server.poll() is not None:
                break
            time.sleep(0.025)
        if not os.path.exists(port_file):
            print("with_fixture: the fixture did not start", file=sys.stderr)
            return 1
        env = dict(os.environ)
        env["PROXYTOOL_FIXTURE_PORT"] = open(port_file).read().strip()
        env["PROXYTOOL_FIXTURE_DIR"] = folder
        return subprocess.call(sys.argv[1:], env=env)
    finally:
        server.terminate()
        server.wait()


if __name__ == "__main__":
    sys.exit(main())
