#!/usr/bin/env python3
"""Runs a Windows test program under Wine beside the loopback fake proxies.

Usage: run_with_fake_proxies.py PROGRAM.exe [args...]
Binds 127.0.0.20-127.0.0.38 (all silent; the program sets each one's mode over the control port,
whose number it finds in FAKE_PROXY_CONTROL); 127.0.0.39 is left without a listener.
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from loopback_servers import FAKE_PROXY  # noqa: E402
from session import WINE_RUN  # noqa: E402

modes = ["127.0.0.%d=silent" % n for n in range(20, 39)]
proxies = subprocess.Popen([sys.executable, FAKE_PROXY] + modes, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
try:
    ready = proxies.stdout.readline().split()
    if ready[:1] != ["READY"]:
        print("fake proxies did not start", file=sys.stderr)
        sys.exit(1)
    env = dict(os.environ, FAKE_PROXY_CONTROL=ready[1])
    sys.exit(subprocess.call([WINE_RUN] + sys.argv[1:], env=env))
finally:
    proxies.stdin.close()
    proxies.wait(10)
