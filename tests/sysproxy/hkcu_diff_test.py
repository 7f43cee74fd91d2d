#!/usr/bin/env python3
"""A full dump of HKCU (`reg export HKCU`) taken before and after a set/cancel cycle of
SetIeProxy, each call in a process of its own, differs only in the three Internet Settings
values: ProxyServer and ProxyOverride appear, ProxyEnable ends at 0."""
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from winehelp import check, exe, finish, hkcu_diff, hkcu_dump, reg_set_start_state, wine  # noqa: E402

KEY = r"HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings"
TOOL = exe("tests/sysproxy/set_ie_proxy_tool.exe")


def main():
    work = tempfile.mkdtemp(prefix="hkcu-diff-", dir=os.environ.get("PROXYTOOL_RUN_DIR"))
    # Start with the three values absent. Loading WinInet may create ProxyEnable=0 by itself, so
    # let a process load it once before the first dump.
    reg_set_start_state({"ProxyServer": None, "ProxyOverride": None, "ProxyEnable": None})
    wine(exe("tools/proxy_client/proxy_client.exe"), "http://127.0.0.1:9/")  # refused at once
    before = hkcu_dump(os.path.join(work, "before.reg"))
    check(len(before) > 10 and KEY in before, f"dump read: {len(before)} keys")
    print(f"before: Internet Settings values {sorted(before.get(KEY, {}))}")

    for args in (("set", "127.0.0.42:80"), ("cancel",)):
        r = wine(TOOL, *args)
        check(r.returncode == 0, f"set_ie_proxy_tool {' '.join(args)}")

    after = hkcu_dump(os.path.join(work, "after.reg"))
    diff = hkcu_diff(before, after)
    for d in diff:
        print("diff:", d)
    changed = {(k, n) for k, n, _, _ in diff}
    check(changed <= {(KEY, "ProxyServer"), (KEY, "ProxyOverride"), (KEY, "ProxyEnable")},
          f"only the three values differ ({len(diff)} differences)")
    values = after.get(KEY, {})
    check(values.get("ProxyServer") == '"127.0.0.42:80"', f"ProxyServer after the cycle: {values.get('ProxyServer')}")
    check(values.get("ProxyOverride") == '";<local>"', f"ProxyOverride after the cycle: {values.get('ProxyOverride')}")
    check(values.get("ProxyEnable") == "dword:00000000", f"ProxyEnable after the cycle: {values.get('ProxyEnable')}")
    check((KEY, "ProxyServer") in changed and (KEY, "ProxyOverride") in changed, "the cycle shows in the dump")
    finish()


if __name__ == "__main__":
    main()
