#include "app/window.h"

#include <commctrl.h>

#include <string>

#include "app/columns.h"
#include "app/list.h"
#include "harvest/harvest.h"
#include "probe/probe.h"
#include "sysproxy/sysproxy.h"
#include "text/wide.h"

namespace {

const wchar_t kClassName[] = L"ProxytoolMainWindow";

constexpr int kWindowWidth = 434;  // outer rectangle, frame and caption included
constexpr int kWindowHeight = 443;
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;  // fixed frame, close box only

// Any fixed nonzero number: nothing refers to the timer after it starts.
constexpr UINT_PTR kTrimTimerId = 0x7472;
constexpr UINT kTrimIntervalMs = 3000;

HWND CreateChild(HWND parent, DWORD exStyle, const wchar_t* cls, const char* gbkText, DWORD style, int x, int y, int w,
                 int h, int id) {
    HWND child = CreateWindowExW(exStyle, cls, GbkToWide(gbkText).c_str(), WS_CHILD | WS_VISIBLE | style, x, y, w, h,
                                 parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return child;
}

HWND CreateProxyList(HWND parent) {
    // Header items behave as buttons (no LVS_NOSORTHEADER) but a click on them is not handled;
    // no LVS_SHOWSELALWAYS, no sorting, no editing.
    HWND list = CreateChild(parent, WS_EX_CLIENTEDGE, WC_LISTVIEWW, "",
                            WS_TABSTOP | WS_CLIPSIBLINGS | LVS_REPORT | LVS_SINGLESEL, 16, 24, 400, 344, kIdProxyList);
    const DWORD ex = LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP | LVS_EX_SUBITEMIMAGES;
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, ex, ex);
    SendMessageW(list, LVM_SETTEXTCOLOR, 0, RGB(0, 0, 0));
    SendMessageW(list, LVM_SETTEXTBKCOLOR, 0, RGB(255, 255, 255));
    SendMessageW(list, LVM_SETBKCOLOR, 0, RGB(255, 255, 255));
    InsertListColumns(list);
    return list;
}

LRESULT OnCreate(HWND window) {
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    HWND list = CreateProxyList(window);
    // The label's box reaches under 按钮2 and 按钮3; the buttons stay above it (created later,
    // all clipping their siblings).
    HWND label =
        CreateChild(window, 0, L"STATIC", kCountLabelText, WS_CLIPSIBLINGS | SS_LEFT, 16, 376, 216, 32, kIdCountLabel);
    HWND b2 = CreateChild(window, 0, L"BUTTON", kSetProxyButtonText, WS_TABSTOP | WS_CLIPSIBLINGS | BS_PUSHBUTTON, 136,
                          376, 80, 32, kIdSetProxyButton);
    HWND b3 = CreateChild(window, 0, L"BUTTON", kCancelProxyButtonText, WS_TABSTOP | WS_CLIPSIBLINGS | BS_PUSHBUTTON,
                          228, 376, 80, 32, kIdCancelProxyButton);
    CreateChild(window, 0, L"BUTTON", kExportButtonText, WS_TABSTOP | WS_CLIPSIBLINGS | BS_PUSHBUTTON, 320, 376, 96, 32,
                kIdExportButton);
    if (!list || !label || !b2 || !b3) return -1;
    SetWindowPos(b2, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetWindowPos(b3, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    // Without the binding every append would be lost: fail like any control that was not made.
    if (!ListBindControls(list, label)) return -1;
    CreateProbeClient();
    OnMainWindowCreated(window);
    return 0;
}

LRESULT OnNotify(const NMHDR* hdr) {
    // Only a left click in the list is handled; a focused-row change (LVN_ITEMCHANGED), double
    // clicks, header clicks and the rest do nothing.
    if (hdr->idFrom == kIdProxyList && hdr->code == static_cast<UINT>(NM_CLICK)) OnProxyListClick();
    return 0;
}

void OnCommand(WPARAM wParam) {
    if (HIWORD(wParam) != BN_CLICKED) return;
    switch (LOWORD(wParam)) {
        case kIdSetProxyButton: OnSetProxyButtonClick(); break;
        case kIdCancelProxyButton: OnCancelProxyButtonClick(); break;
        default: break;  // 按钮1 does nothing
    }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CREATE: return OnCreate(window);
        case WM_NOTIFY: return OnNotify(reinterpret_cast<const NMHDR*>(lParam));
        case WM_COMMAND: OnCommand(wParam); return 0;
        case WM_DESTROY: PostQuitMessage(0); return 0;
        default: return DefWindowProcW(window, msg, wParam, lParam);
    }
}

// One start routine per page; each thread gets a null parameter.
template <int Page>
DWORD WINAPI HarvestWorker(LPVOID) {
    HarvestPage(Page);
    return 0;
}

const LPTHREAD_START_ROUTINE kWorkers[] = {HarvestWorker<1>, HarvestWorker<2>, HarvestWorker<3>, HarvestWorker<4>,
                                           HarvestWorker<5>, HarvestWorker<6>, HarvestWorker<7>, HarvestWorker<8>,
                                           HarvestWorker<9>, HarvestWorker<10>};

void CALLBACK TrimWorkingSet(HWND, UINT, UINT_PTR, DWORD) {
    SetProcessWorkingSetSize(GetCurrentProcess(), static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
}

// Starts the ten harvest workers, pages 1 to 10 in this order; their handles are not kept.
void StartHarvestWorkers() {
    for (LPTHREAD_START_ROUTINE worker : kWorkers) {  // pages 1 to 10, in this order
        // A worker that cannot be created leaves its page unharvested; nothing to report.
        HANDLE thread = CreateThread(nullptr, 0, worker, nullptr, 0, nullptr);
        if (thread) CloseHandle(thread);  // never waited for: closing the handle leaves it running
    }
}

// The 3000 ms timer on the main window whose callback trims the working set.
void StartTrimTimer(HWND mainWindow) { SetTimer(mainWindow, kTrimTimerId, kTrimIntervalMs, TrimWorkingSet); }

}  // namespace

HWND CreateMainWindow(HINSTANCE instance, int showCommand) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;

    const int x = (GetSystemMetrics(SM_CXSCREEN) - kWindowWidth) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - kWindowHeight) / 2;
    HWND window = CreateWindowExW(0, kClassName, GbkToWide(kMainWindowTitle).c_str(), kWindowStyle, x, y, kWindowWidth,
                                  kWindowHeight, nullptr, nullptr, instance, nullptr);
    if (!window) return nullptr;
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    return window;
}

int RunMessageLoop(HWND mainWindow) {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        // Esc goes to the focused child (the list or a button), never to the main window itself:
        // catch it here for every window of the main window.
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE &&
            (msg.hwnd == mainWindow || IsChild(mainWindow, msg.hwnd))) {
            SendMessageW(mainWindow, WM_CLOSE, 0, 0);
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

void OnMainWindowCreated(HWND mainWindow) {
    ListClear();
    StartHarvestWorkers();
    StartTrimTimer(mainWindow);
}
