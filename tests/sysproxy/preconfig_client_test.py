#!/usr/bin/env python3
"""SetIeProxy seen from other processes: after a set in one process, `reg query` shows the three
values and a new WinInet client opened with INTERNET_OPEN_TYPE_PRECONFIG reaches a loopback page
through the proxy fixture at that address; after a cancel the same client goes direct again."""
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from loopback_servers import Origin, ProxyFixture  # noqa: E402
from program import fetch  # noqa: E402
from registry import reg_query, reg_set_start_state  # noqa: E402
from session import RUN_DIR, exe, wine  # noqa: E402

SUCCESS_HEX = "设置IE代理成功".encode("gbk").hex().upper()
TOOL = exe("tests/sysproxy/set_ie_proxy_tool.exe")


def run_tool(*args):
    r = wine(TOOL, *args)
    return r.returncode, r.stdout.decode("latin-1").strip()


class PreconfigClient(unittest.TestCase):
    def setUp(self):
        work = tempfile.mkdtemp(prefix="preconfig-", dir=RUN_DIR)
        self.origin = Origin()
        self.addCleanup(self.origin.close)
        self.proxy = ProxyFixture("127.0.0.41", work)
        self.addCleanup(self.proxy.close)
        self.addCleanup(reg_set_start_state, {"ProxyEnable": ("REG_DWORD", "0")})

    def test_clients_go_through_the_set_proxy_and_direct_after_cancel(self):
        origin, proxy = self.origin, self.proxy
        reg_set_start_state({"ProxyServer": None, "ProxyOverride": None, "ProxyEnable": ("REG_DWORD", "0")})
        self.assertEqual(fetch(origin.url("/before")), (0, "status 200", "origin /before\n"), "direct before any set")
        self.assertEqual(proxy.lines(), [], "proxy unused before the set")

        for round_ in (1, 2):  # a second set/cancel cycle behaves like the first
            with self.subTest(round=round_):
                self.assertEqual(run_tool("set", "127.0.0.41:80"), (0, SUCCESS_HEX), "set reports success")
                self.assertEqual(reg_query("ProxyServer"), ("REG_SZ", "127.0.0.41:80"), "ProxyServer")
                self.assertEqual(reg_query("ProxyOverride"), ("REG_SZ", ";<local>"), "ProxyOverride")
                self.assertEqual(reg_query("ProxyEnable"), ("REG_DWORD", "0x1"), "ProxyEnable")

                path = f"/through-{round_}"
                self.assertEqual(fetch(origin.url(path)), (0, "status 200", f"origin {path}\n"),
                                 "page reached while set")
                self.assertEqual(proxy.lines()[-1:], [f"GET {origin.url(path)} HTTP/1.1"],
                                 "request went through 127.0.0.41:80")

                seen = len(proxy.lines())
                self.assertEqual(run_tool("cancel"), (0, SUCCESS_HEX), "cancel reports success")
                self.assertEqual(reg_query("ProxyEnable"), ("REG_DWORD", "0x0"), "ProxyEnable after cancel")
                self.assertEqual(reg_query("ProxyServer"), ("REG_SZ", "127.0.0.41:80"), "ProxyServer kept by cancel")
                path = f"/direct-{round_}"
                self.assertEqual(fetch(origin.url(path)), (0, "status 200", f"origin {path}\n"),
                                 "page reached after cancel")
                self.assertEqual(proxy.lines()[seen:], [], "proxy not used after cancel")


if __name__ == "__main__":
    unittest.main(verbosity=2)
