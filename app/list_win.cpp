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

// Drawing the whole list again after a burst was the UI thread's longest single task: the list
// works out its item metrics and scroll bars (Wine's list-view does that in its first paint), then
// draws its frame and every visible row; 25 ms on an idle machine, 45 to 75 ms on a loaded one
// under Wine. So that work is done in parts, each by a message posted to the list: the metrics
// (a paint into a one-pixel memory DC, which draws next to nothing), the frame (scroll bars,
// border), then the rows a band of kBandRows at a time. Other messages (a user's input, another
// thread's call) are handled in between.
// wParam: the release it belongs to (an older one's are dropped); lParam: the part, kMetricsPart,
// kFramePart or the band's number.
constexpr UINT kDrawPartMessage = WM_APP + 0x4E;
constexpr LPARAM kMetricsPart = -2;
constexpr LPARAM kFramePart = -1;
constexpr int kBandRows = 6;
WPARAM g_release = 0;

void ReleaseRedraw(HWND list) {
    KillTimer(list, kRedrawTimerId);
    if (!g_redrawHeld) return;
    g_redrawHeld = false;
    DefSubclassProc(list, WM_SETREDRAW, TRUE, 0);  // updates the scroll bars, invalidates the list
    // The rows are drawn by the bands; what of the frame is invalid stays so for its part.
    ValidateRect(list, nullptr);
    PostMessageW(list, kDrawPartMessage, ++g_release, kMetricsPart);
}

void DrawPart(HWND list, LPARAM part) {
    if (part == kMetricsPart) {
        if (HDC pixel = CreateCompatibleDC(nullptr)) {
            DefSubclassProc(list, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(pixel), PRF_CLIENT);
            DeleteDC(pixel);
        }
        PostMessageW(list, kDrawPartMessage, g_release, kFramePart);
        return;
    }
    if (part == kFramePart) {
        // The client is valid: the list's WM_PAINT draws the frame alone.
        RedrawWindow(list, nullptr, nullptr, RDW_UPDATENOW | RDW_NOCHILDREN);
        PostMessageW(list, kDrawPartMessage, g_release, 0);
        return;
    }
    const int band = static_cast<int>(part);
    const int rows = static_cast<int>(DefSubclassProc(list, LVM_GETITEMCOUNT, 0, 0));
    const int top = static_cast<int>(DefSubclassProc(list, LVM_GETTOPINDEX, 0, 0));
    RECT client{}, topRow{};
    GetClientRect(list, &client);
    topRow.left = LVIR_BOUNDS;
    if (rows == 0 ||
        !DefSubclassProc(list, LVM_GETITEMRECT, static_cast<WPARAM>(top), reinterpret_cast<LPARAM>(&topRow)))
        return;
    const int height = topRow.bottom - topRow.top;
    RECT area = client;
    area.top = topRow.top + band * kBandRows * height;
    area.bottom = area.top + kBandRows * height;
    const bool last = area.bottom >= client.bottom || top + (band + 1) * kBandRows >= rows;
    if (last) area.bottom = client.bottom;  // with whatever lies below the last row
    if (area.top < client.bottom) {
        InvalidateRect(list, &area, TRUE);
        UpdateWindow(list);
    }
    if (!last) PostMessageW(list, kDrawPartMessage, g_release, band + 1);
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
        case kDrawPartMessage:
            // A later release, or a new hold whose release will draw everything, supersedes it.
            if (wParam == g_release && !g_redrawHeld) DrawPart(list, lParam);
            return 0;
        case WM_NCDESTROY:
            ReleaseRedraw(list);
            RemoveWindowSubclass(list, ListSubclassProc, kSubclassId);
            break;
        default: break;
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

void ListClear() { SendMessageW(g_list.load(std::memory_order_acquire), LVM_DELETEALLITEMS, 0, 0); }

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
                                         reinterpret_cast<LPARAM>(&item))) -
           1;
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
        const int n = static_cast<int>(
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
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
