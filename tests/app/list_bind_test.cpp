// A list binding that could not be made (SetWindowSubclass refused it) must not look like a
// working list: ListBindControls says so, and an append through the unbound operations is refused
// instead of answering row 0 for a row that was never added. A process of its own: no binding
// may have been made before.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "app/list.h"

namespace {

TEST(ListBind, ARefusedSubclassBindsNothing) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    HWND label = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(label, nullptr);
    // SetWindowSubclass refuses a null window (under Wine the only refusal short of running out
    // of memory).
    EXPECT_FALSE(ListBindControls(nullptr, label));
    EXPECT_EQ(ListAppendRow("1.2.3.4"), -1);
    EXPECT_EQ(ListRowCount(), 0);
    DestroyWindow(label);
}

}  // namespace
