// After a burst of appends the shown list is drawn again in parts (metrics, frame, bands of rows),
// each a message of its own. Under Wine, in a window on the run's display: once the loop has run,
// nothing is left to draw, every visible row shows its text and the scroll bar covers every row.
// It prints how long the whole list took drawn at once and the longest message of the parts.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

#include "app/list.h"

namespace {

double NowMs() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

// The longest message this thread dispatched while pumping.
double g_longestMs = 0;

void PumpFor(DWORD ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            const double t = NowMs();
            DispatchMessageW(&msg);
            g_longestMs = std::max(g_longestMs, NowMs() - t);
        }
    }
}

// True when the row's rectangle holds a dark pixel on its first column (its text).
bool RowShowsText(HWND list, int row) {
    RECT r{};
    r.left = LVIR_LABEL;
    if (!SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r))) return false;
    HDC dc = GetDC(list);
    bool dark = false;
    for (int y = r.top; y < r.bottom && !dark; ++y)
        for (int x = r.left; x < std::min<LONG>(r.right, r.left + 80) && !dark; ++x) {
            const COLORREF c = GetPixel(dc, x, y);
            dark = c != CLR_INVALID && GetRValue(c) + GetGValue(c) + GetBValue(c) < 200;
        }
    ReleaseDC(list, dc);
    return dark;
}

TEST(ListPaint, AShownListIsWholeAgainAfterABurstAndNoPartTookLong) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    HWND parent = CreateWindowExW(0, L"STATIC", L"paint", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 0, 0, 434, 443,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(parent, nullptr) << "needs the run's display";
    HWND list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 16, 24, 400,
                                344, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    HWND label = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 16, 376, 216, 32, parent, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    SendMessageW(list, LVM_SETTEXTCOLOR, 0, RGB(0, 0, 0));
    InsertListColumns(list);
    ASSERT_TRUE(ListBindControls(list, label));
    PumpFor(300);  // the window's own first drawing

    // The whole list drawn at once, for comparison: the longest single part must stay below it.
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    for (int i = 0; i < 40; ++i) ListAppendRow("10.9.9." + std::to_string(i));
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    double t = NowMs();
    UpdateWindow(list);
    const double wholeMs = NowMs() - t;
    ListClear();
    PumpFor(300);

    g_longestMs = 0;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 60; ++i) ListAppendRow("10.0.0." + std::to_string(i));
        done = true;
    });
    while (!done) PumpFor(10);
    worker.join();
    PumpFor(500);

    RECT left{};
    EXPECT_FALSE(GetUpdateRect(list, &left, FALSE)) << "left to draw: " << left.top << ".." << left.bottom;
    const int top = static_cast<int>(SendMessageW(list, LVM_GETTOPINDEX, 0, 0));
    const int shown = static_cast<int>(SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0));
    ASSERT_GT(shown, 10);
    for (int row = top; row < top + shown; ++row) EXPECT_TRUE(RowShowsText(list, row)) << "row " << row;
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE;
    ASSERT_TRUE(GetScrollInfo(list, SB_VERT, &info));
    EXPECT_EQ(info.nMax, 59);
    std::printf("the whole list drawn at once: %.1f ms; longest message of the drawing in parts: %.1f ms\n", wholeMs,
                g_longestMs);
    DestroyWindow(parent);
}

}  // namespace
