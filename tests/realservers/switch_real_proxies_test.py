#!/usr/bin/env python3
"""End to end under Wine + Xvfb: 按钮2 on a row whose address runs Debian's tinyproxy (and on one
running squid), each our own instance on 127.0.0.64 / 127.0.0.65:80. A new process using WinInet
with the preconfigured proxy (proxy_client.exe) then fetches a listing page from the gateway
simulator: the request arrives there through that proxy (its Via line, and the proxy's own log).
After 按钮3 the same client's next request arrives directly."""

import os
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))

import real_servers  # noqa: E402
from program import App, LABEL_SUFFIX, fetch  # noqa: E402
from registry import reg_query, reg_set_start_state  # noqa: E402
from session import GATEWAY_HOST, LISTING_HOST, wait_for  # noqa: E402
from simulator import Simulator, gateway_sim  # noqa: E402

SERVERS = [("127.0.0.64", "tinyproxy"), ("127.0.0.65", "squid")]
SCENARIO = {"unlisted": "empty",
            "pages": {"1": {"parts": [[[ip, "HTTP", "0.5秒", f"本机 {kind}", "高匿"] for ip, kind in SERVERS], []]}}}


def header_lines(raw):
    head = raw.split("\r\n\r\n", 1)[0]
    return head.split("\r\n")


def via_lines(raw):
    return [l for l in header_lines(raw)[1:] if l.lower().startswith("via:")]


class SwitchThroughRealProxies(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.servers, cls.sim, cls.app = {}, None, None
        try:
            for ip, kind in SERVERS:
                cls.servers[ip] = real_servers.start(kind, ip)
            cls.sim = Simulator(scenario=SCENARIO)
            cls.app = App()
            cls.app.wait_window()
            cls.sim.wait_answered(20)
            rows = cls.app.wait_rows(lambda d: d["label"].endswith(LABEL_SUFFIX) and len(d["rows"]) >= 2)["rows"]
            cls.row = {}
            for i, r in enumerate(rows):
                cls.row.setdefault(r[0], i)
            reg_set_start_state({"ProxyServer": None, "ProxyOverride": None, "ProxyEnable": ("REG_DWORD", "0")})
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        try:
            reg_set_start_state({"ProxyEnable": ("REG_DWORD", "0")})
        finally:
            if cls.app:
                cls.app.stop()
            if cls.sim:
                cls.sim.stop()
            for server in cls.servers.values():
                server.close()

    def fetch_page(self, tag):
        """proxy_client.exe fetches listing page 1 from the gateway simulator; returns the request
        as the simulator saw it (raw text). `tag` makes the URL of each fetch its own."""
        path = "/tc" + gateway_sim.page_query(LISTING_HOST, 1) + "&fetch=" + tag
        url = f"http://{GATEWAY_HOST}{path}"
        count = len(self.sim.requests())
        code, status, body = fetch(url)
        self.assertEqual((code, status), (0, "status 200"), body[-500:])
        self.assertIn(SERVERS[0][0], body, "the page with its rows came back")
        req = wait_for(lambda: [r for r in self.sim.requests()[count:] if r["path"] == path], timeout=5,
                       what=f"the simulator's record of {path}")
        self.assertEqual(len(req), 1, req)
        return url, req[0]["raw"]

    def test_set_goes_through_the_real_proxy_and_cancel_goes_direct(self):
        for ip, kind in SERVERS:
            with self.subTest(proxy=kind):
                server = self.servers[ip]
                name = real_servers.VIA_NAME[kind]

                self.app.click_row(self.row[ip])
                self.assertEqual(self.app.dump()["selected"], self.row[ip])
                self.app.click_ctrl("button2")
                wait_for(lambda: reg_query("ProxyEnable") == ("REG_DWORD", "0x1"), timeout=5, what="ProxyEnable 1")
                self.assertEqual(reg_query("ProxyServer"), ("REG_SZ", f"{ip}:80"))

                url, raw = self.fetch_page(f"{kind}-set")
                print(f"{kind}: after 按钮2 the simulator saw {header_lines(raw)[0]!r} with {via_lines(raw)}",
                      flush=True)
                self.assertEqual(len(via_lines(raw)), 1, raw)
                self.assertIn(name, via_lines(raw)[0], "the request came through this proxy")
                # The proxy's own log holds the request, with the full URL a client gives a proxy.
                wait_for(lambda: url in server.log_text(), timeout=5, what=f"{url} in the log of {kind}")

                self.app.click_ctrl("button3")
                wait_for(lambda: reg_query("ProxyEnable") == ("REG_DWORD", "0x0"), timeout=5, what="ProxyEnable 0")
                url, raw = self.fetch_page(f"{kind}-cancel")
                print(f"{kind}: after 按钮3 the simulator saw {header_lines(raw)[0]!r} with {via_lines(raw)}",
                      flush=True)
                self.assertEqual(via_lines(raw), [], "direct again: no proxy in between")
                time.sleep(0.3)
                self.assertNotIn(url, server.log_text())
        self.assertTrue(self.app.running())


if __name__ == "__main__":
    unittest.main(verbosity=2)
