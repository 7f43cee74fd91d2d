#include "app/list.h"

#include <commctrl.h>

#include <atomic>
#include <climits>
#include <string>

#include "text/wide.h"

namespace {

// Set once on the UI thread before any worker starts; read from every thread.
std::atomic<HWND> g_list{nullptr};
std::atomic<HWND> g_label{nullptr};

constexpr int kColumnCount = 5;

}  // namespace

void ListBindControls(HWND list, HWND label) {
    g_list.store(list, std::memory_order_release);
    g_label.store(label, std::memory_order_release);
}

void ListClear() {
    SendMessageW(g_list.load(std::memory_order_acquire), LVM_DELETEALLITEMS, 0, 0);
}

int ListRowCount() {
    return static_cast<int>(SendMessageW(g_list.load(std::memory_order_acquire), LVM_GETITEMCOUNT, 0, 0));
}

int ListAppendRow(const Text& column0) {
    std::wstring text = GbkToWide(column0);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    // An index past the end makes the list-view insert at its end: finding the end and inserting
    // happen inside this one message on the UI thread, so concurrent appends never shift a row
    // another thread already holds the index of.
    item.iItem = INT_MAX;
    item.pszText = text.data();
    return static_cast<int>(SendMessageW(g_list.load(std::memory_order_acquire), LVM_INSERTITEMW, 0,
                                         reinterpret_cast<LPARAM>(&item)));
}

void ListSetCell(int row, int column, const Text& text) {
    // The list-view would accept a sub-item past its columns; keep to the five columns.
    if (row < 0 || column < 0 || column >= kColumnCount) return;
    std::wstring wide = GbkToWide(text);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = wide.data();
    SendMessageW(g_list.load(std::memory_order_acquire), LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
}

Text ListGetCell(int row, int column) {
    HWND list = g_list.load(std::memory_order_acquire);
    if (row < 0 || column < 0 || column >= kColumnCount) return {};
    if (row >= static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0))) return {};
    // LVM_GETITEMTEXTW does not report the full length: grow the buffer until the text fits.
    std::wstring buffer(256, L'\0');
    for (;;) {
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = buffer.data();
        item.cchTextMax = static_cast<int>(buffer.size());
        const int n = static_cast<int>(SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                                    reinterpret_cast<LPARAM>(&item)));
        if (n < static_cast<int>(buffer.size()) - 1) return WideToGbk(std::wstring_view(item.pszText, n));
        buffer.assign(buffer.size() * 2, L'\0');
    }
}

int ListSelectedRow() {
    return static_cast<int>(SendMessageW(g_list.load(std::memory_order_acquire), LVM_GETNEXTITEM,
                                         static_cast<WPARAM>(-1), MAKELPARAM(LVNI_SELECTED, 0)));
}

void SetLabelCaption(const Text& text) {
    SetWindowTextW(g_label.load(std::memory_order_acquire), GbkToWide(text).c_str());
}
