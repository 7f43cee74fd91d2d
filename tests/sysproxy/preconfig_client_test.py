#!/usr/bin/env python3
"""SetIeProxy seen from other processes: after a set in one process, `reg query` shows the three
values and a new WinInet client opened with INTERNET_OPEN_TYPE_PRECONFIG reaches a loopback page
through the proxy fixture at that address; after a cancel the same client goes direct again."""
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from winehelp import Origin, ProxyFixture, check, exe, fetch, finish, reg_query, reg_set_start_state, wine  # noqa: E402

SUCCESS_HEX = "设置IE代理成功".encode("gbk").hex().upper()
TOOL = exe("tests/sysproxy/set_ie_proxy_tool.exe")


def run_tool(*args):
    r = wine(TOOL, *args)
    return r.returncode, r.stdout.decode("latin-1").strip()


def main():
    work = tempfile.mkdtemp(prefix="preconfig-", dir=os.environ.get("PROXYTOOL_RUN_DIR"))
    origin = Origin()
    proxy = ProxyFixture("127.0.0.41", work)
    try:
        reg_set_start_state({"ProxyServer": None, "ProxyOverride": None, "ProxyEnable": ("REG_DWORD", "0")})
        code, status, body = fetch(origin.url("/before"))
        check(code == 0 and status == "status 200" and body == "origin /before\n", f"direct before any set: {status!r} {body!r}")
        check(proxy.lines() == [], f"proxy unused before the set: {proxy.lines()}")

        for round_ in (1, 2):  # a second set/cancel cycle behaves like the first
            check(run_tool("set", "127.0.0.41:80") == (0, SUCCESS_HEX), f"round {round_}: set reports success")
            check(reg_query("ProxyServer") == ("REG_SZ", "127.0.0.41:80"), f"round {round_}: ProxyServer {reg_query('ProxyServer')}")
            check(reg_query("ProxyOverride") == ("REG_SZ", ";<local>"), f"round {round_}: ProxyOverride {reg_query('ProxyOverride')}")
            check(reg_query("ProxyEnable") == ("REG_DWORD", "0x1"), f"round {round_}: ProxyEnable {reg_query('ProxyEnable')}")

            path = f"/through-{round_}"
            code, status, body = fetch(origin.url(path))
            check(code == 0 and status == "status 200" and body == f"origin {path}\n",
                  f"round {round_}: page reached while set: {status!r} {body!r}")
            check(proxy.lines()[-1:] == [f"GET {origin.url(path)} HTTP/1.1"],
                  f"round {round_}: request went through 127.0.0.41:80: {proxy.lines()[-1:]}")

            seen = len(proxy.lines())
            check(run_tool("cancel") == (0, SUCCESS_HEX), f"round {round_}: cancel reports success")
            check(reg_query("ProxyEnable") == ("REG_DWORD", "0x0"), f"round {round_}: ProxyEnable after cancel {reg_query('ProxyEnable')}")
            check(reg_query("ProxyServer") == ("REG_SZ", "127.0.0.41:80"), f"round {round_}: ProxyServer kept by cancel")
            path = f"/direct-{round_}"
            code, status, body = fetch(origin.url(path))
            check(code == 0 and status == "status 200" and body == f"origin {path}\n",
                  f"round {round_}: page reached after cancel: {status!r} {body!r}")
            check(len(proxy.lines()) == seen, f"round {round_}: proxy not used after cancel: {proxy.lines()[seen:]}")
    finally:
        proxy.close()
        origin.close()
        reg_set_start_state({"ProxyEnable": ("REG_DWORD", "0")})
    finish()


if __name__ == "__main__":
    main()
