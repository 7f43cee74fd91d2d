"""Which WinInet options SetIeProxy announces, seen in Wine's own trace of the real WinInet:
after the registry writes, INTERNET_OPTION_SETTINGS_CHANGED (39) and then INTERNET_OPTION_REFRESH
(37), so running programs pick the change up at once; under Wine INTERNET_OPTION_PROXY (38) is
skipped (Wine 8.0 crashes on repeated calls). Set and cancel alike, several times in a row."""
import os
import re
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from registry import reg_query  # noqa: E402
from session import exe, wine  # noqa: E402

SUCCEEDED = "设置IE代理成功".encode("gbk").hex().upper()
OPTION_CALL = re.compile(r"InternetSetOptionW \((\w+) (\d+) ")


def announced(*args):
    r = wine(exe("tests/sysproxy/set_ie_proxy_tool.exe"), *args, winedebug="trace+wininet")
    status = r.stdout.decode("ascii", "replace").strip().splitlines()
    options = [int(m.group(2)) for m in OPTION_CALL.finditer(r.stderr.decode("utf-8", "replace"))]
    return r.returncode, status[-1] if status else "", options


class WinInetCalls(unittest.TestCase):
    def test_set_and_cancel_announce_settings_changed_then_refresh(self):
        for round_ in (1, 2):
            for args in (("set", "127.0.0.44:80"), ("cancel",)):
                what = f"round {round_}, {' '.join(args)}"
                rc, status, options = announced(*args)
                self.assertEqual(rc, 0, f"{what}: exit code")
                self.assertEqual(status, SUCCEEDED, f"{what}: the status is the success text")
                self.assertEqual(options, [39, 37], f"{what}: options announced (want SETTINGS_CHANGED then REFRESH)")
            self.assertEqual(reg_query("ProxyEnable"), ("REG_DWORD", "0x0"), f"round {round_}: proxy off after cancel")


if __name__ == "__main__":
    unittest.main(verbosity=2)
