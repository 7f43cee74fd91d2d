#!/usr/bin/env python3
"""End to end under Wine + Xvfb: the real proxytool.exe harvests rows from the gateway simulator,
rows are selected and 按钮2 / 按钮3 clicked by real input (xdotool); the registry is read from
outside with `reg query`, and a separate WinInet client with the preconfigured proxy shows that
other programs go through the loopback proxy fixture at the selected row's address, then direct
again after the cancel. A full HKCU dump around the GUI's set/cancel cycle differs only in the
three values."""

import os
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

from loopback_servers import Origin, ProxyFixture  # noqa: E402
from program import App, LABEL_SUFFIX, fetch  # noqa: E402
from registry import hkcu_diff, hkcu_dump, reg_query, reg_set_start_state  # noqa: E402
from simulator import Simulator  # noqa: E402

CAPTION = "信息："
NO_SELECTION = "请选中要使用的代理"
SETTINGS = r"HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings"
PROXY_HOST = "127.0.0.43"
WINE_MOUSE_KEY = r"HKEY_CURRENT_USER\Software\Wine\Temporary System Parameters\Control Panel\Mouse"

# Page 1 alone carries rows (the other pages answer empty): one HTTP row at the fixture's address,
# and rows whose type is not exactly "HTTP".
SCENARIO = {
    "unlisted": "empty",
    "pages": {"1": {"parts": [[
        ["127.0.0.44", "HTTPS", "0.5秒", "本地", "高匿"],
        [PROXY_HOST, "HTTP", "0.5秒", "本地", "高匿"],
        ["127.0.0.45", "http", "1秒", "本地", "透明"],
    ], [
        ["127.0.0.46", "SOCKS5", "1秒", "本地", "透明"],
    ]]}},
}


def three_values():
    return {n: reg_query(n) for n in ("ProxyServer", "ProxyOverride", "ProxyEnable")}


def get_requests(fixture):
    # Only HTTP requests: a probe of the clicked row may also connect to the fixture's port.
    return [l for l in fixture.lines() if l.startswith("GET ")]


class ProxySwitchEndToEnd(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="switch-e2e-", dir=os.environ.get("PROXYTOOL_RUN_DIR"))
        self.sim = Simulator(scenario=SCENARIO)
        self.addCleanup(self.sim.stop)
        self.app = App()
        self.addCleanup(self.app.stop)
        self.addCleanup(reg_set_start_state, {"ProxyEnable": ("REG_DWORD", "0")})
        self.app.wait_window()
        # Settled: both parts of page 1 answered, the label written and the rows in place.
        self.sim.wait_answered(11, timeout=60)
        self.rows = self.app.wait_rows(
            lambda d: d["label"].endswith(LABEL_SUFFIX) and any(r[0] == "127.0.0.46" for r in d["rows"]))["rows"]

    def row_of(self, address):
        return next(i for i, r in enumerate(self.rows) if r[0] == address)

    def test_set_without_selection_or_on_a_non_http_row_changes_nothing(self):
        reg_set_start_state({"ProxyServer": ("REG_SZ", "before.test:3128"), "ProxyOverride": None,
                             "ProxyEnable": ("REG_DWORD", "0")})
        before = three_values()

        self.assertEqual(self.app.dump()["selected"], -1)
        self.app.click_ctrl("button2")
        self.assertEqual(self.app.msgbox(CAPTION, wait_ms=5000), NO_SELECTION)
        self.assertEqual(self.app.msgbox(CAPTION, dismiss=True, wait_ms=1000), NO_SELECTION)
        self.assertIsNone(self.app.msgbox(CAPTION, wait_ms=1000), "the box is gone after OK")
        self.assertEqual(three_values(), before)

        for address in ("127.0.0.44", "127.0.0.45", "127.0.0.46"):  # HTTPS, http, SOCKS5
            with self.subTest(address=address):
                row = self.row_of(address)
                self.app.click_row(row)
                self.assertEqual(self.app.dump()["selected"], row)
                self.app.click_ctrl("button2")
                self.assertIsNone(self.app.msgbox(CAPTION, wait_ms=1500), "no message for a non-HTTP row")
                self.assertEqual(three_values(), before)
        self.assertTrue(self.app.running())

    def test_http_row_becomes_the_proxy_of_other_programs_until_cancelled(self):
        origin = Origin()
        fixture = ProxyFixture(PROXY_HOST, self.work)
        try:
            reg_set_start_state({"ProxyServer": None, "ProxyOverride": None, "ProxyEnable": ("REG_DWORD", "0")})
            self.assertEqual(fetch(origin.url("/before")), (0, "status 200", "origin /before\n"))
            self.assertEqual(get_requests(fixture), [])

            self.app.click_row(self.row_of(PROXY_HOST))
            dump_before = hkcu_dump(os.path.join(self.work, "before.reg"))
            self.app.click_ctrl("button2")
            self.assertIsNone(self.app.msgbox(CAPTION, wait_ms=500))
            self.assertEqual(three_values(), {"ProxyServer": ("REG_SZ", f"{PROXY_HOST}:80"),
                                              "ProxyOverride": ("REG_SZ", ";<local>"),
                                              "ProxyEnable": ("REG_DWORD", "0x1")})
            self.assertEqual(fetch(origin.url("/proxied")), (0, "status 200", "origin /proxied\n"))
            self.assertEqual(get_requests(fixture), [f"GET {origin.url('/proxied')} HTTP/1.1"])

            # A second click writes the same values again.
            self.app.click_ctrl("button2")
            self.assertEqual(three_values()["ProxyServer"], ("REG_SZ", f"{PROXY_HOST}:80"))

            self.app.click_ctrl("button3")
            self.assertEqual(three_values(), {"ProxyServer": ("REG_SZ", f"{PROXY_HOST}:80"),
                                              "ProxyOverride": ("REG_SZ", ";<local>"),
                                              "ProxyEnable": ("REG_DWORD", "0x0")})
            self.assertEqual(fetch(origin.url("/direct")), (0, "status 200", "origin /direct\n"))
            self.assertEqual(get_requests(fixture), [f"GET {origin.url('/proxied')} HTTP/1.1"], "direct again")
            self.assertEqual(origin.paths, ["/before", "/proxied", "/direct"])

            dump_after = hkcu_dump(os.path.join(self.work, "after.reg"))
            diff = hkcu_diff(dump_before, dump_after)
            for d in diff:
                print("HKCU diff:", d, flush=True)
            # Wine itself creates this volatile key, empty, shortly after the session's first mouse
            # input to one of its windows (seen with a click on 按钮1 alone, and never when the
            # switch runs without a window); it is the only other difference allowed.
            diff = [d for d in diff if not (d[0] == WINE_MOUSE_KEY and d[1] is None and not d[2] and d[3]
                                            and dump_after[WINE_MOUSE_KEY] == {})]
            self.assertEqual({(k, n) for k, n, _, _ in diff}, {(SETTINGS, "ProxyServer"), (SETTINGS, "ProxyOverride")},
                             "only the proxy values differ (ProxyEnable is back at 0)")
            self.assertTrue(self.app.running())
        finally:
            fixture.close()
            origin.close()


if __name__ == "__main__":
    unittest.main(verbosity=2)
