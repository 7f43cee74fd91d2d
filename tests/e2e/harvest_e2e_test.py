"""End to end under Wine + Xvfb: the real proxytool.exe against the gateway simulator, read from
outside by winspy.exe."""

import os
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

from program import App, LABEL_PREFIX, LABEL_SUFFIX  # noqa: E402
from session import GATEWAY_HOST, LISTING_HOST, wait_for  # noqa: E402
from simulator import Simulator, gateway_sim, page_rows  # noqa: E402

TITLE = "HTTP代理获取工具获取【Velmora版】by:Tessik"
COLUMNS = ["IP地址", "代理类型", "延时", "详细地址", ""]
AGENT = ("Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1; Vorn5; .NET CLR 2.0.50727; .NET CLR 3.0.04506.648; "
         ".NET CLR 3.5.21022)")
WS_CAPTION, WS_SYSMENU, WS_THICKFRAME = 0x00C00000, 0x00080000, 0x00040000
WS_MINIMIZEBOX, WS_MAXIMIZEBOX = 0x00020000, 0x00010000



def wait_settled(app, sim, requests, timeout=60):
    """Waits until `requests` requests have been answered, then until the list has settled."""
    sim.wait_answered(requests, timeout)
    return app.wait_settled(timeout)


def close_with_escape(test, app):
    # A click on the list's column header focuses the list and does nothing else; Esc then
    # arrives at the list.
    left, top, right, _ = app.ctrl_rect("list")
    app.click_at(left + 40, top + 8)
    app.key("Escape")
    test.assertEqual(app.wait_exit(15), 0)


class HarvestEndToEnd(unittest.TestCase):
    def check_rows_per_page(self, rows, scenario, pages):
        owner = {}
        for n, parts in pages.items():
            for r in page_rows(scenario, n, parts):
                owner[r[0]] = n
        for n, parts in pages.items():
            got = [r for r in rows if owner.get(r[0]) == n]
            self.assertEqual(got, page_rows(scenario, n, parts), f"rows of page {n}")
        self.assertEqual(len(rows), sum(len(page_rows(scenario, n, p)) for n, p in pages.items()),
                         "rows that belong to no page")

    def test_sample_harvest_fills_the_list_once_per_entry(self):
        scenario = gateway_sim.SAMPLE
        with Simulator() as sim, App() as app:
            first = app.wait_window()
            self.assertEqual(first["title"], TITLE)
            self.assertEqual(first["columns"], COLUMNS)
            left, top, right, bottom = first["rect"]
            self.assertEqual((right - left, bottom - top), (434, 443))
            self.assertEqual((left, top), ((800 - 434) // 2, (600 - 443) // 2), "centred on the 800x600 desktop")
            style = first["style"]
            self.assertEqual(style & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU)
            self.assertEqual(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0)

            d = wait_settled(app, sim, 20)
            self.check_rows_per_page(d["rows"], scenario, {n: (1, 2) for n in range(1, 11)})
            self.assertEqual(d["label"], f"{LABEL_PREFIX}{len(d['rows'])}{LABEL_SUFFIX}")
            self.assertEqual(d["selected"], -1)

            reqs = sim.requests()
            self.assertEqual(len(reqs), 20)
            self.assertEqual(sorted((r["page"], r["part"]) for r in reqs),
                             sorted((n, p) for n in range(1, 11) for p in (1, 2)))
            for r in reqs:
                path = (gateway_sim.page_query(LISTING_HOST, r["page"]) if r["part"] == 1
                        else gateway_sim.continuation_query(LISTING_HOST, r["page"]))
                self.assertEqual(r["path"], "/tc" + path)
                url = f"http://{GATEWAY_HOST}{r['path']}"
                lines = r["raw"].split("\r\n")
                self.assertEqual(lines[0], f"GET {r['path']} HTTP/1.1")
                self.assertTrue(r["raw"].endswith("\r\n\r\n"))
                headers = lines[1:lines.index("")]
                self.assertEqual(headers, [f"Host: {GATEWAY_HOST}", f"User-Agent: {AGENT}",
                                           f"Referer: {url}", "Accept: */*", "Accept-Language: zh-cn",
                                           "Content-Type: application/x-www-form-urlencoded"])
            # Each worker asks for its second part only after its first.
            for n in range(1, 11):
                order = [r["part"] for r in reqs if r["page"] == n]
                self.assertEqual(order, [1, 2], f"page {n}")
            close_with_escape(self, app)

    def test_hostile_pages_leave_the_others_intact(self):
        scenario = {"pages": {"2": {"mode": "fail"}, "3": {"mode": "reset"}, "4": {"mode": "empty"},
                              "5": {"mode": "no_markers", "parts": gateway_sim.SAMPLE["pages"]["5"]["parts"]},
                              "6": {"mode": "open_marker", "parts": gateway_sim.SAMPLE["pages"]["6"]["parts"]},
                              "7": dict(gateway_sim.SAMPLE["pages"]["7"], mode="amp_link"),
                              "8": dict(gateway_sim.SAMPLE["pages"]["8"], mode="huge"),
                              "9": {"charset": "utf-8", "parts": [
                                  [["127.0.0.190", "HTTP", "1秒", "空 span 之后的不收"]],
                                  [["127.0.0.191", "HTTP", "", "lost"], ["127.0.0.192", "HTTP"]]]}},
                    "unlisted": "sample"}
        with Simulator(scenario) as sim, App() as app:
            app.wait_window()
            d = wait_settled(app, sim, 20)
            intact = {1: (1, 2), 7: (1, 2), 8: (1, 2), 9: (1, 2), 10: (1, 2)}
            self.check_rows_per_page(d["rows"], scenario, intact)
            # Page 9's second part ends its collection at the empty span: 127.0.0.192 never comes.
            self.assertIn(["127.0.0.191", "HTTP", "", "", ""], d["rows"])
            self.assertNotIn("127.0.0.192", [r[0] for r in d["rows"]])
            self.assertEqual(d["label"], f"{LABEL_PREFIX}{len(d['rows'])}{LABEL_SUFFIX}")

            reqs = sim.requests()
            self.assertEqual(len(reqs), 20)
            # Without a next-part link a worker's second request is the bare gateway base.
            for n in (2, 3, 4, 5):
                first = [r for r in reqs if r["page"] == n]
                self.assertEqual([(r["part"], r["path"]) for r in first],
                                 [(1, "/tc" + gateway_sim.page_query(LISTING_HOST, n))], f"page {n}")
            self.assertEqual(sum(1 for r in reqs if r["path"] == "/tc"), 4)
            # The &amp; link is sent on unchanged.
            amp = [r for r in reqs if r["page"] == 7 and r["part"] == 2]
            self.assertEqual([r["path"] for r in amp],
                             ["/tc" + gateway_sim.continuation_query(LISTING_HOST, 7, amp=True)])
            close_with_escape(self, app)

    def test_export_button_and_header_clicks_change_nothing(self):
        with Simulator() as sim, App() as app:
            app.wait_window()
            before = wait_settled(app, sim, 20)
            self.assertEqual(before["windows"], 1)
            app.click_ctrl("button1")  # 导出IP地址文本: no action by design
            left, top, _, _ = app.ctrl_rect("list")
            app.click_at(left + 40, top + 8)  # the column header: no sorting
            app.click_at(left + 150, top + 8)
            time.sleep(0.5)
            after = app.dump()
            self.assertEqual(after["rows"], before["rows"])
            self.assertEqual(after["label"], before["label"])
            self.assertEqual(after["windows"], 1, "no dialog or other window appeared")
            close_with_escape(self, app)

    def test_every_page_empty_shows_zero(self):
        with Simulator({"pages": {}, "unlisted": "empty"}) as sim, App() as app:
            app.wait_window()
            d = wait_settled(app, sim, 20)
            self.assertEqual(d["rows"], [])
            self.assertEqual(d["label"], f"{LABEL_PREFIX}0{LABEL_SUFFIX}")
            close_with_escape(self, app)

    def test_escape_closes_while_workers_still_fetch(self):
        with Simulator({"pages": {}, "unlisted": "sample", "delay_ms": 20000}) as sim, App() as app:
            app.wait_window()
            wait_for(lambda: len(sim.requests()) >= 10, 20, what="ten first requests")
            close_with_escape(self, app)
            self.assertEqual(len(sim.requests()), 10, "no worker got past its first fetch")


if __name__ == "__main__":
    unittest.main(verbosity=2)
