#include "app/list.h"

#include <commctrl.h>

#include <atomic>
#include <climits>
#include <string>

#include "app/columns.h"
#include "text/wide.h"

namespace {

// Set once on the UI thread before any worker starts; read from every thread.
std::atomic<HWND> g_list{nullptr};
std::atomic<HWND> g_label{nullptr};

// Appends arrive in bursts from ten workers. Under Wine every insert into a shown list-view
// repaints both scroll bars at once (about 4 x 5 ms here), so a harvest kept the UI thread busy
// for over a second. The list's own handler for this message therefore holds the list's redraw
// for at most kRedrawHoldMs from the first append of a burst, then redraws once. Only the UI
// thread touches the flag and the timer.
constexpr UINT kAppendRowMessage = WM_APP + 0x4C;
// lParam: Text (*)(int rows). Counts the rows and sets the label in one step (ListSetCountLabel).
constexpr UINT kCountLabelMessage = WM_APP + 0x4D;
constexpr UINT_PTR kRedrawTimerId = 0x4C52;
constexpr UINT kRedrawHoldMs = 100;
constexpr UINT_PTR kSubclassId = 1;
bool g_redrawHeld = false;

void ReleaseRedraw(HWND list) {
    KillTimer(list, kRedrawTimerId);
    if (!g_redrawHeld) return;
    g_redrawHeld = false;
    DefSubclassProc(list, WM_SETREDRAW, TRUE, 0);  // updates the scroll bars, invalidates the list
}

LRESULT CALLBACK ListSubclassProc(HWND list, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    switch (msg) {
        case kAppendRowMessage:
            if (!g_redrawHeld && SetTimer(list, kRedrawTimerId, kRedrawHoldMs, nullptr)) {
                g_redrawHeld = true;
                DefSubclassProc(list, WM_SETREDRAW, FALSE, 0);
            }
            // The index plus one: a list that never saw this message answers 0, which
            // ListAppendRow reads as refused, never as row 0.
            return DefSubclassProc(list, LVM_INSERTITEMW, 0, lParam) + 1;
        case kCountLabelMessage: {
            const auto caption = reinterpret_cast<Text (*)(int)>(lParam);
            const int rows = static_cast<int>(DefSubclassProc(list, LVM_GETITEMCOUNT, 0, 0));
            // The label belongs to this thread too: the write is a direct call, so nothing else
            // can run on the list between the count and the caption.
            SetWindowTextW(g_label.load(std::memory_order_acquire), GbkToWide(caption(rows)).c_str());
            return 0;
        }
        case WM_TIMER:
            if (wParam != kRedrawTimerId) break;
            ReleaseRedraw(list);
            return 0;
        case WM_NCDESTROY:
            ReleaseRedraw(list);
            RemoveWindowSubclass(list, ListSubclassProc, kSubclassId);
            break;
        default:
            break;
    }
    return DefSubclassProc(list, msg, wParam, lParam);
}

}  // namespace

void InsertListColumns(HWND list) {
    for (const ListColumnSpec& column : kListColumns) {
        std::wstring title = GbkToWide(column.title);
        LVCOLUMNW col{};
        col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        col.fmt = LVCFMT_LEFT;
        col.cx = column.width;
        col.pszText = title.data();
        col.iSubItem = column.index;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column.index), reinterpret_cast<LPARAM>(&col));
    }
}

bool ListBindControls(HWND list, HWND label) {
    if (!SetWindowSubclass(list, ListSubclassProc, kSubclassId, 0)) return false;
    g_list.store(list, std::memory_order_release);
    g_label.store(label, std::memory_order_release);
    return true;
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
    // LVM_INSERTITEMW, carried out by the list's subclass procedure, which answers the index plus
    // one (see kAppendRowMessage).
    return static_cast<int>(SendMessageW(g_list.load(std::memory_order_acquire), kAppendRowMessage, 0,
                                         reinterpret_cast<LPARAM>(&item))) - 1;
}

void ListSetCell(int row, int column, const Text& text) {
    // The list-view would accept a sub-item past its columns; keep to the five columns.
    if (row < 0 || column < 0 || column >= kListColumnCount) return;
    std::wstring wide = GbkToWide(text);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = wide.data();
    SendMessageW(g_list.load(std::memory_order_acquire), LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
}

Text ListGetCell(int row, int column) {
    HWND list = g_list.load(std::memory_order_acquire);
    if (row < 0 || column < 0 || column >= kListColumnCount) return {};
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

void ListSetCountLabel(Text (*caption)(int rows)) {
    SendMessageW(g_list.load(std::memory_order_acquire), kCountLabelMessage, 0, reinterpret_cast<LPARAM>(caption));
}
