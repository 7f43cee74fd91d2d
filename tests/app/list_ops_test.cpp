// The list and label operations on a real list-view and static control under Wine.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/list.h"
#include "tests/support/pump_win.h"
#include "tests/support/test_window_win.h"

namespace {

// A hidden test window bound to the operations for each test; this thread is the UI thread.
class ListOps : public testing::Test {
protected:
    void SetUp() override { w = CreateTestWindow(TestWindowShow::kHidden); }
    void TearDown() override { DestroyTestWindow(w); }
    TestWindow w;
};

TEST_F(ListOps, ConcurrentAppendsAndCellWritesLoseNothing) {
    ASSERT_NE(w.list, nullptr);
    ListClear();
    constexpr int kThreads = 10, kRows = 1000;
    std::atomic<int> finished{0};
    std::vector<std::vector<int>> returned(kThreads);
    std::vector<std::thread> threads;
    for (int k = 0; k < kThreads; ++k) {
        threads.emplace_back([k, &returned, &finished] {
            for (int i = 0; i < kRows; ++i) {
                const Text key = "10." + std::to_string(k) + "." + std::to_string(i) + ".1";
                const int row = ListAppendRow(key);
                returned[k].push_back(row);
                ListSetCell(row, 1, key + "/1");
                ListSetCell(row, 3, key + "/3");
                ListSetCell(row, 4, key + "/4");
            }
            ++finished;
        });
    }
    PumpUntil([&] { return finished.load() == kThreads; }, 120000);
    for (std::thread& t : threads) t.join();

    ASSERT_EQ(ListRowCount(), kThreads * kRows);
    std::set<Text> seen;
    for (int r = 0; r < kThreads * kRows; ++r) {
        const Text key = ListGetCell(r, 0);
        ASSERT_TRUE(seen.insert(key).second) << "row " << r << " duplicates " << key;
        ASSERT_EQ(ListGetCell(r, 1), key + "/1") << "row " << r;
        ASSERT_EQ(ListGetCell(r, 2), "") << "row " << r;
        ASSERT_EQ(ListGetCell(r, 3), key + "/3") << "row " << r;
        ASSERT_EQ(ListGetCell(r, 4), key + "/4") << "row " << r;
    }
    // Every index an append returned still holds that append's row.
    for (int k = 0; k < kThreads; ++k) {
        ASSERT_EQ(returned[k].size(), static_cast<std::size_t>(kRows));
        for (int i = 0; i < kRows; ++i)
            ASSERT_EQ(ListGetCell(returned[k][i], 0), "10." + std::to_string(k) + "." + std::to_string(i) + ".1");
    }
}

TEST_F(ListOps, AShownListCatchesUpWithItsScrollBarAfterABurstOfAppends) {
    ShowWindow(w.window, SW_SHOWNOACTIVATE);
    ShowWindow(w.list, SW_SHOWNOACTIVATE);
    ListClear();
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 60; ++i) ListAppendRow("10.0.0." + std::to_string(i));
        done = true;
    });
    PumpUntil([&] { return done.load(); }, 60000);
    worker.join();
    // Appends may hold the list's redraw for a moment; once the loop has run a while the list
    // is drawn again and its scroll bar covers every row.
    PumpFor(400);
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE;
    ASSERT_TRUE(GetScrollInfo(w.list, SB_VERT, &info));
    EXPECT_EQ(info.nMax, 59);
    EXPECT_EQ(ListRowCount(), 60);
    EXPECT_EQ(ListGetCell(59, 0), "10.0.0.59");
}

TEST_F(ListOps, CellsKeepGbkTextWholeAndIgnoreMissingPlaces) {
    ListClear();
    const Text beijing = "\xB1\xB1\xBE\xA9\xCA\xD0 \xC1\xAA\xCD\xA8";  // 北京市 联通
    EXPECT_EQ(ListAppendRow("1.1.1.1"), 0);
    EXPECT_EQ(ListAppendRow("2.2.2.2"), 1);
    ListSetCell(0, 3, beijing);
    EXPECT_EQ(ListGetCell(0, 3), beijing);

    Text longText;
    for (int i = 0; i < 3000; ++i)
        longText +=
            "\xB4\xFA\xC0\xED"
            "ab";  // 代理ab: 6000 characters
    ListSetCell(1, 4, longText);
    EXPECT_EQ(ListGetCell(1, 4), longText);

    // Missing rows and columns take nothing and read as empty.
    ListSetCell(0, 5, "x");
    ListSetCell(2, 1, "x");
    ListSetCell(-1, 1, "x");
    EXPECT_EQ(ListRowCount(), 2);
    EXPECT_EQ(ListGetCell(0, 5), "");
    EXPECT_EQ(ListGetCell(2, 0), "");
    EXPECT_EQ(ListGetCell(-1, 0), "");
    EXPECT_EQ(ListGetCell(0, 1), "");

    ListClear();
    EXPECT_EQ(ListRowCount(), 0);
}

TEST_F(ListOps, SelectedRowAndLabelCaption) {
    ListClear();
    ListAppendRow("1.1.1.1");
    ListAppendRow("2.2.2.2");
    EXPECT_EQ(ListSelectedRow(), -1);
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED;
    state.state = LVIS_SELECTED;
    SendMessageW(w.list, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&state));
    EXPECT_EQ(ListSelectedRow(), 1);

    const Text caption =
        "\xBB\xF1\xC8\xA1\x69\x70\xCA\xFD\x3A"
        "75\xB8\xF6";  // 获取ip数:75个
    SetLabelCaption(caption);
    wchar_t text[64] = {};
    GetWindowTextW(w.label, text, 64);
    EXPECT_EQ(std::wstring(text), L"\u83B7\u53D6ip\u6570:75\u4E2A");
}

}  // namespace
