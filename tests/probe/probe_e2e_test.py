"""End to end under Wine + Xvfb: real clicks on rows of proxytool.exe, whose list the gateway
simulator fills with the addresses of loopback fake proxies; the cells are read from outside by the
winspy and the proxies' connection records are read here."""

import os
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

from loopback_servers import FakeProxies  # noqa: E402
from program import App, LABEL_SUFFIX, cell_ms  # noqa: E402
from session import wait_for  # noqa: E402
from simulator import Simulator  # noqa: E402

TIMEOUT = "超时"
PROBE_REQUEST = b"OPTIONS * HTTP/1.0\r\n\r\n"  # 22 bytes

# address -> (type in the list, fake proxy mode or None for nothing listening)
ROWS = [
    ("127.0.0.20", "HTTP", "reply:47"),
    ("127.0.0.21", "HTTP", "silent"),
    ("127.0.0.22", "HTTP", "close"),
    ("127.0.0.23", "HTTP", "late"),
    ("127.0.0.39", "HTTP", None),
    ("127.0.0.24", "HTTPS", "reply:0"),
    ("127.0.0.25", "HTTP", "reply:0"),
]


def scenario():
    entries = [[ip, kind, "0.5秒", "本机 回环", "高匿"] for ip, kind, _ in ROWS]
    return {"pages": {"1": {"parts": [entries, []]}}, "unlisted": "empty"}


class ProbeEndToEnd(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.proxies = FakeProxies({ip: mode for ip, _, mode in ROWS if mode})
        cls.sim = cls.app = None
        try:
            cls.sim = Simulator(scenario=scenario())
            cls.app = App()
            cls.find_rows()
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def find_rows(cls):
        cls.app.wait_window()
        dump = cls.app.wait_rows(lambda d: d["label"].endswith(LABEL_SUFFIX) and len(d["rows"]) >= len(ROWS))
        time.sleep(1.0)  # the other nine pages are empty; let every worker finish
        dump = cls.app.dump()
        cls.row = {}
        for i, r in enumerate(dump["rows"]):
            cls.row.setdefault(r[0], i)
        assert all(ip in cls.row for ip, _, _ in ROWS), dump["rows"]

    @classmethod
    def tearDownClass(cls):
        if cls.app:
            cls.app.stop()
        if cls.sim:
            cls.sim.stop()
        cls.proxies.close()

    def setUp(self):
        self.proxies.reset()
        # A probe from an earlier step may still hold the gate.
        time.sleep(0.1)

    def cell(self, ip):
        return self.app.dump()["rows"][self.row[ip]][2]

    def click(self, ip):
        """Left click on the row of `ip`; returns the time just before the click."""
        left, top, right, bottom = self.app.row_rect(self.row[ip])
        start = time.monotonic()
        self.app.click_at(left + 10, (top + bottom) // 2)
        return start

    def probe(self, ip, before=""):
        """Clicks the row and waits for its delay cell to change; returns (text, seconds)."""
        start = self.click(ip)
        text = wait_for(lambda: (lambda c: c if c != before else None)(self.cell(ip)), timeout=10,
                        interval=0.05, what=f"the delay of {ip}")
        return text, time.monotonic() - start

    def assert_two_connections_with_the_probe_request(self, ip):
        records = wait_for(lambda: (lambda r: r if len(r) >= 2 and len(r[1][0]) >= len(PROBE_REQUEST) else None)(self.proxies.records(ip)),
                           timeout=3, what=f"records of {ip}")
        self.assertEqual(len(records), 2, records)
        self.assertEqual(records[0][0], b"", "the first connection carries nothing")
        self.assertEqual(records[1][0], PROBE_REQUEST, "the second carries the 22 bytes and nothing else")

    def test_1_click_on_empty_space_starts_nothing(self):
        self.assertEqual(self.app.dump()["selected"], -1)
        left, top, right, bottom = self.app.ctrl_rect("list")
        self.app.click_at(left + 200, bottom - 20)  # below the last row
        time.sleep(1.5)
        self.assertEqual(self.app.dump()["selected"], -1)
        self.assertTrue(all(r[2] == "" for r in self.app.dump()["rows"]))
        for ip, _, mode in ROWS:
            if mode:
                self.assertEqual(self.proxies.records(ip), [], ip)

    def test_2_replying_proxy_shows_its_delay_and_a_second_probe_overwrites_it(self):
        text, _ = self.probe("127.0.0.20")
        ms = cell_ms(text)
        self.assertIsNotNone(ms, text)
        self.assertGreaterEqual(ms, 47)
        self.assertLessEqual(ms, 100)  # a tick step plus scheduling room on a loaded machine
        self.assert_two_connections_with_the_probe_request("127.0.0.20")
        time.sleep(0.3)
        self.proxies.set_mode("127.0.0.20", "silent")
        try:
            text, _ = self.probe("127.0.0.20", before=text)
            self.assertEqual(text, TIMEOUT)
        finally:
            self.proxies.set_mode("127.0.0.20", "reply:47")

    def test_3_silent_closing_and_late_proxies_time_out_after_the_second(self):
        for ip in ("127.0.0.21", "127.0.0.22", "127.0.0.23"):
            with self.subTest(ip=ip):
                text, seconds = self.probe(ip)
                self.assertEqual(text, TIMEOUT)
                self.assertGreaterEqual(seconds, 1.0)
                self.assert_two_connections_with_the_probe_request(ip)
                time.sleep(0.3)

    def test_4_refused_proxy_times_out_at_once(self):
        text, seconds = self.probe("127.0.0.39")
        self.assertEqual(text, TIMEOUT)
        self.assertLess(seconds, 1.0, "no one-second wait after a refused connect")

    def test_5_row_that_is_not_http_is_untouched(self):
        self.click("127.0.0.24")
        time.sleep(1.5)
        self.assertEqual(self.cell("127.0.0.24"), "")
        self.assertEqual(self.proxies.records("127.0.0.24"), [])

    def test_6_second_click_while_a_probe_runs_changes_nothing(self):
        ip, other = "127.0.0.21", "127.0.0.25"
        self.proxies.set_mode(ip, "reply:0")
        before, _ = self.probe(ip, before=self.cell(ip))
        self.assertIsNotNone(cell_ms(before), before)
        time.sleep(0.3)
        self.proxies.set_mode(ip, "silent")
        self.proxies.reset()
        rect = self.app.row_rect(self.row[other])
        self.click(ip)
        time.sleep(0.2)
        self.app.click_at(rect[0] + 10, (rect[1] + rect[3]) // 2)
        # Served by the UI thread while the probe waits; its old cell shows the second click came
        # before the first probe ended.
        mid = self.app.dump()
        self.assertEqual(mid["rows"][self.row[ip]][2], before, "the second click came too late to test")
        self.assertEqual(mid["selected"], self.row[other])
        wait_for(lambda: self.cell(ip) == TIMEOUT, timeout=5, what="the first probe's result")
        time.sleep(1.5)
        self.assertEqual(self.cell(other), "")
        self.assertEqual(self.proxies.records(other), [])
        self.assertEqual(len(self.proxies.records(ip)), 2)

    def test_6a_keyboard_selection_starts_nothing(self):
        # A click gives the list the focus (and probes that row); then the arrow keys move the
        # selection over two HTTP rows with live proxies: no probe may start.
        self.proxies.set_mode("127.0.0.22", "reply:0")
        try:
            text, _ = self.probe("127.0.0.22", before=self.cell("127.0.0.22"))
        finally:
            self.proxies.set_mode("127.0.0.22", "close")
        self.assertIsNotNone(cell_ms(text), text)
        time.sleep(0.3)
        self.proxies.reset()
        before = {ip: self.cell(ip) for ip in ("127.0.0.20", "127.0.0.21")}
        self.app.key("Up")
        time.sleep(0.2)
        self.app.key("Up")
        time.sleep(1.5)
        dump = self.app.dump()
        self.assertEqual(dump["selected"], self.row["127.0.0.20"], "the arrow keys did not move the selection")
        for ip in ("127.0.0.20", "127.0.0.21"):
            self.assertEqual(dump["rows"][self.row[ip]][2], before[ip], ip)
            self.assertEqual(self.proxies.records(ip), [], ip)

    def test_7_window_closes_during_a_probe(self):
        self.click("127.0.0.21")
        time.sleep(0.2)
        self.app.key("Escape")
        self.assertEqual(self.app.wait_exit(timeout=10), 0)


if __name__ == "__main__":
    unittest.main()
