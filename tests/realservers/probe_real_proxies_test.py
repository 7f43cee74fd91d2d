"""End to end under Wine + Xvfb: real clicks on proxytool.exe rows whose addresses run Debian's squid,
tinyproxy and privoxy (each our own instance on 127.0.0.61-63:80). A live proxy of each kind shows
its delay; once that server is stopped by its PID, the same row shows 超时 at once (refused)."""

import os
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))

import real_servers  # noqa: E402
from program import App, LABEL_SUFFIX, cell_ms  # noqa: E402
from session import wait_for  # noqa: E402
from simulator import Simulator  # noqa: E402

TIMEOUT = "超时"
SERVERS = [("127.0.0.61", "squid"), ("127.0.0.62", "tinyproxy"), ("127.0.0.63", "privoxy")]
# Loopback servers answer within a few ms (a plain client saw 0.1-28 ms on a busy machine); the
# tick count adds up to one ~16 ms step. Far below the one-second wait all the same.
SMALL_MS = 100

# What each server's log shows for the probe's request on the second connection.
LOGGED = {
    "squid": ("/501 ", " OPTIONS "),                # access.log: "... NONE_NONE/501 3434 OPTIONS ..."
    "tinyproxy": ("): OPTIONS * HTTP/1.0",),        # "Request (file descriptor 6): OPTIONS * HTTP/1.0"
    "privoxy": ('"OPTIONS * HTTP/1.0" 400',),       # its common log format line
}


class RealProxiesProbe(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.servers, cls.sim, cls.app = {}, None, None
        try:
            for ip, kind in SERVERS:
                cls.servers[ip] = real_servers.start(kind, ip)
            entries = [[ip, "HTTP", "0.5秒", f"本机 {kind}", "高匿"] for ip, kind in SERVERS]
            cls.sim = Simulator(scenario={"pages": {"1": {"parts": [entries, []]}}, "unlisted": "empty"})
            cls.app = App()
            cls.app.wait_window()
            cls.app.wait_rows(lambda d: d["label"].endswith(LABEL_SUFFIX) and len(d["rows"]) >= len(SERVERS))
            cls.sim.wait_answered(20)
            time.sleep(0.5)
            rows = cls.app.dump()["rows"]
            cls.row = {}
            for i, r in enumerate(rows):
                cls.row.setdefault(r[0], i)
            assert all(ip in cls.row for ip, _ in SERVERS), rows
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        if cls.app:
            cls.app.stop()
        if cls.sim:
            cls.sim.stop()
        for server in cls.servers.values():
            server.close()

    def cell(self, ip):
        return self.app.dump()["rows"][self.row[ip]][2]

    def probe(self, ip):
        """Clicks the row of ip, waits for its delay cell to change; returns (text, seconds)."""
        before = self.cell(ip)
        left, top, right, bottom = self.app.row_rect(self.row[ip])
        start = time.monotonic()
        self.app.click_at(left + 10, (top + bottom) // 2)
        text = wait_for(lambda: (lambda c: c if c != before else None)(self.cell(ip)), timeout=10,
                        interval=0.05, what=f"the delay of {ip}")
        seconds = time.monotonic() - start
        # Let the probe end (its full one-second wait) before the next click.
        wait_for(lambda: time.monotonic() - start > 1.3, timeout=3, what="the probe's end")
        return text, seconds

    def test_live_real_proxy_shows_its_delay_and_a_stopped_one_times_out_at_once(self):
        for ip, kind in SERVERS:
            with self.subTest(server=kind):
                server = self.servers[ip]
                text, _ = self.probe(ip)
                print(f"{kind} on {ip}: 延时 {text}", flush=True)
                ms = cell_ms(text)
                self.assertIsNotNone(ms, f"{kind} answered the probe, but the row shows {text!r}")
                self.assertLessEqual(ms, SMALL_MS)
                wait_for(lambda: all(p in server.log_text() for p in LOGGED[kind]), timeout=3,
                         what=f"the probe's request in the log of {kind}")

                server.stop()
                self.assertFalse(server.running())
                text, seconds = self.probe(ip)
                print(f"{kind} on {ip} stopped: 延时 {text} after {seconds:.2f} s", flush=True)
                self.assertEqual(text, TIMEOUT)
                self.assertLess(seconds, 1.0, "a refused connect is reported without the one-second wait")


if __name__ == "__main__":
    unittest.main(verbosity=2)
