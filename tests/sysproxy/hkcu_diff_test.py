#!/usr/bin/env python3
"""A full dump of HKCU (`reg export HKCU`) taken before and after a set/cancel cycle of
SetIeProxy, each call in a process of its own, differs only in the three Internet Settings
values: ProxyServer and ProxyOverride appear, ProxyEnable ends at 0."""
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from program import PROXY_CLIENT  # noqa: E402
from registry import hkcu_diff, hkcu_dump, reg_set_start_state  # noqa: E402
from session import RUN_DIR, exe, wine  # noqa: E402

KEY = r"HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings"
TOOL = exe("tests/sysproxy/set_ie_proxy_tool.exe")


class HkcuDiff(unittest.TestCase):
    def test_set_cancel_cycle_changes_only_the_three_settings_values(self):
        work = tempfile.mkdtemp(prefix="hkcu-diff-", dir=RUN_DIR)
        # Start with the three values absent. Loading WinInet may create ProxyEnable=0 by itself,
        # so let a process load it once before the first dump.
        reg_set_start_state({"ProxyServer": None, "ProxyOverride": None, "ProxyEnable": None})
        wine(PROXY_CLIENT, "http://127.0.0.1:9/")  # refused at once
        before = hkcu_dump(os.path.join(work, "before.reg"))
        self.assertTrue(len(before) > 10 and KEY in before, f"dump read: {len(before)} keys")
        print(f"before: Internet Settings values {sorted(before.get(KEY, {}))}")

        for args in (("set", "127.0.0.42:80"), ("cancel",)):
            self.assertEqual(wine(TOOL, *args).returncode, 0, f"set_ie_proxy_tool {' '.join(args)}")

        after = hkcu_dump(os.path.join(work, "after.reg"))
        diff = hkcu_diff(before, after)
        for d in diff:
            print("diff:", d)
        changed = {(k, n) for k, n, _, _ in diff}
        self.assertLessEqual(changed, {(KEY, "ProxyServer"), (KEY, "ProxyOverride"), (KEY, "ProxyEnable")},
                             f"only the three values differ ({len(diff)} differences)")
        values = after.get(KEY, {})
        self.assertEqual(values.get("ProxyServer"), '"127.0.0.42:80"', "ProxyServer after the cycle")
        self.assertEqual(values.get("ProxyOverride"), '";<local>"', "ProxyOverride after the cycle")
        self.assertEqual(values.get("ProxyEnable"), "dword:00000000", "ProxyEnable after the cycle")
        self.assertIn((KEY, "ProxyServer"), changed, "the cycle shows in the dump")
        self.assertIn((KEY, "ProxyOverride"), changed, "the cycle shows in the dump")


if __name__ == "__main__":
    unittest.main(verbosity=2)
