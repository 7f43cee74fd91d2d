#include "tests/support/test_window_win.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>

#include "app/columns.h"
#include "app/list.h"

namespace {

constexpr wchar_t kClassName[] = L"ProxytoolTestWindow";

void RegisterClassOnce() {
    static const bool registered = [] {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&icc);
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kClassName;
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        return RegisterClassW(&wc) != 0;
    }();
    (void)registered;
}

}  // namespace

TestWindow CreateTestWindow(TestWindowShow show) {
    RegisterClassOnce();
    const DWORD visible = show == TestWindowShow::kOnDisplay ? WS_VISIBLE : 0;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    TestWindow w;
    // The main window's size and its list's and label's places in it.
    w.window = CreateWindowExW(0, kClassName, L"proxytool test", WS_OVERLAPPEDWINDOW | visible, 0, 0, 434, 443, nullptr,
                               nullptr, instance, nullptr);
    if (w.window) {
        w.list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"", WS_CHILD | visible | LVS_REPORT | LVS_SINGLESEL,
                                 16, 24, 400, 344, w.window, nullptr, instance, nullptr);
        w.label = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | visible, 16, 376, 216, 32, w.window, nullptr, instance,
                                  nullptr);
    }
    if (!w.window || !w.list || !w.label) {
        std::fprintf(stderr, "cannot create the test window (no display?)\n");
        std::exit(3);
    }
    InsertListColumns(w.list);
    ListBindControls(w.list, w.label);
    return w;
}

void DestroyTestWindow(const TestWindow& window) {
    if (window.window) DestroyWindow(window.window);
}

const TestWindow& SharedTestWindow() {
    static const TestWindow window = CreateTestWindow(TestWindowShow::kOnDisplay);
    return window;
}

void ResetRows(const std::vector<std::pair<Text, Text>>& rows, const Text& delay) {
    ListClear();
    for (const auto& [address, type] : rows) {
        const int row = ListAppendRow(address);
        ListSetCell(row, kColumnType, type);
        if (!delay.empty()) ListSetCell(row, kColumnDelay, delay);
    }
}

void SelectRow(HWND list, int row) {
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = 0;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    if (row < 0) return;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
}
