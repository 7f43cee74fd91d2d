// The count label against the real list and label under Wine: ten harvests whose second parts
// come in at the same moment, round after round. Whatever order their appends and label writes
// reach the UI thread in, the caption left at the end must hold the list's row count.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/list.h"
#include "harvest/harvest.h"
#include "text/wide.h"

namespace {

// The gateway's markup, byte for byte (GBK).
const Text kLinkOpen = "<a id=\"tc_next\" href=\"./t";
const Text kLinkClose = "\x3E\xCF\xC2\xD2\xB3";  // >下页
// <div  style="font-weight:bold;" >免费代理IP，HTTP免费代理服务器大全，每日更新</div><div  class="c5" >
const Text kBlockOpen =
    "<div  style=\"font-weight:bold;\" >"
    "\xC3\xE2\xB7\xD1\xB4\xFA\xC0\xED\x49\x50\xA3\xAC\x48\x54\x54\x50\xC3\xE2\xB7\xD1\xB4\xFA\xC0\xED\xB7\xFE\xCE\xF1"
    "\xC6\xF7\xB4\xF3\xC8\xAB\xA3\xAC\xC3\xBF\xC8\xD5\xB8\xFC\xD0\xC2"
    "</div><div  class=\"c5\" >";
const Text kBlockClose = "</div></div></div>";

// One part with `rows` entries of page `page`; the first part links to the second.
Text Part(int page, int part, int rows) {
    Text spans;
    for (int i = 0; i < rows; ++i)
        spans += "<span  class=\"c7\" >10." + std::to_string(page) + "." + std::to_string(part) + "." +
                 std::to_string(i) + "</span><span  class=\"c7\" >HTTP</span>";
    Text page_ = "<html><body>" + kBlockOpen + spans + kBlockClose;
    if (part == 1) page_ += kLinkOpen + "c?p=" + std::to_string(page) + "\" accesskey=\"n\"" + kLinkClose;
    return page_ + "</body></html>";
}

Bytes B(const Text& t) { return Bytes(t.begin(), t.end()); }

// A hidden window with a five-column report list and a label, bound to the list operations;
// this thread is the UI thread.
struct ListWindow {
    HWND parent = nullptr, list = nullptr, label = nullptr;
    ListWindow() {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&icc);
        parent = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 500, 400, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT, 0, 0, 400, 300, parent,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
        label = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 310, 200, 20, parent, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
        InsertListColumns(list);
        ListBindControls(list, label);
    }
    ~ListWindow() { DestroyWindow(parent); }
    Text Label() const {
        wchar_t text[128] = {};
        GetWindowTextW(label, text, 128);
        return WideToGbk(text);
    }
};

template <typename Done>
void PumpUntil(Done done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!done() && GetTickCount() - start < timeoutMs) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
}

TEST(CountLabel, HoldsTheRowCountWhenTenWorkersFinishTogether) {
    ListWindow w;
    ASSERT_NE(w.list, nullptr);
    constexpr int kWorkers = 10, kRounds = 200;
    const HarvestListOps ops = ProgramHarvestListOps();
    int wrong = 0;
    std::string firstWrong;
    for (int round = 0; round < kRounds; ++round) {
        ListClear();
        SetLabelCaption("");
        std::atomic<int> atSecondPart{0}, finished{0};
        HANDLE allThere = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::vector<std::thread> threads;
        for (int page = 1; page <= kWorkers; ++page) {
            threads.emplace_back([&, page] {
                // Each worker's second part waits for every worker's: they all finish together.
                const HarvestFetch fetch = [&, page](const Text& url) {
                    if (url == HarvestPageUrl(page)) return B(Part(page, 1, 1 + page % 3));
                    const Bytes part = B(Part(page, 2, 1 + (page + round) % 4));
                    if (++atSecondPart == kWorkers) SetEvent(allThere);
                    WaitForSingleObject(allThere, INFINITE);
                    return part;
                };
                HarvestPageWith(page, fetch, ops);
                ++finished;
                PostMessageW(w.parent, WM_NULL, 0, 0);  // wake the pump
            });
        }
        PumpUntil([&] { return finished.load() == kWorkers; }, 60000);
        for (std::thread& t : threads) t.join();
        CloseHandle(allThere);
        const int rows = ListRowCount();
        if (w.Label() != CountLabelText(rows) && wrong++ == 0)
            firstWrong = "round " + std::to_string(round) + ": " + std::to_string(rows) + " rows, label " +
                         WideToCodePage(kUtf8CodePage, GbkToWide(w.Label()));
    }
    EXPECT_EQ(wrong, 0) << wrong << " of " << kRounds << " rounds ended with a stale label; first: " << firstWrong;
}

}  // namespace
