// The records this program hands to Windows (or reads from it), checked against the layouts of
// the 32-bit Windows SDK. Only the 32-bit program is shipped, and it cannot run on the machines
// that build and test it: a header of the cross toolchain that disagreed with Windows (a missing
// member, other packing, a field of another width) would pass every test of the 64-bit build and
// fail on the user's machine. Sizes and offsets are the SDK's for _WIN32_WINNT 0x0601, not values
// read off the toolchain. The proxy record is checked where it is used (sysproxy_win.cpp).
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <commctrl.h>
#include <wininet.h>

#include <cstddef>

#if !defined(_WIN64)

static_assert(sizeof(void*) == 4 && sizeof(WPARAM) == 4 && sizeof(LPARAM) == 4 && sizeof(DWORD) == 4);

// The set-proxy option (INTERNET_OPTION_PROXY).
static_assert(sizeof(INTERNET_PROXY_INFO) == 12 && offsetof(INTERNET_PROXY_INFO, lpszProxy) == 4 &&
              offsetof(INTERNET_PROXY_INFO, lpszProxyBypass) == 8);

// Window class, start-up of the common controls, the message loop, WM_NOTIFY.
static_assert(sizeof(WNDCLASSEXW) == 48 && offsetof(WNDCLASSEXW, lpfnWndProc) == 8 &&
              offsetof(WNDCLASSEXW, lpszClassName) == 40 && offsetof(WNDCLASSEXW, hIconSm) == 44);
static_assert(sizeof(WNDCLASSW) == 40 && offsetof(WNDCLASSW, lpfnWndProc) == 4 &&
              offsetof(WNDCLASSW, lpszClassName) == 36);
static_assert(sizeof(INITCOMMONCONTROLSEX) == 8 && offsetof(INITCOMMONCONTROLSEX, dwICC) == 4);
static_assert(sizeof(MSG) == 28 && offsetof(MSG, message) == 4 && offsetof(MSG, wParam) == 8 &&
              offsetof(MSG, lParam) == 12 && offsetof(MSG, pt) == 20);
static_assert(sizeof(NMHDR) == 12 && offsetof(NMHDR, idFrom) == 4 && offsetof(NMHDR, code) == 8);

// The list-view's item and column records (the Vista-and-later forms: comctl32 6 reads the
// members the mask names, so the offsets of those must match).
static_assert(sizeof(LVITEMW) == 60 && offsetof(LVITEMW, iSubItem) == 8 && offsetof(LVITEMW, stateMask) == 16 &&
              offsetof(LVITEMW, pszText) == 20 && offsetof(LVITEMW, cchTextMax) == 24 &&
              offsetof(LVITEMW, lParam) == 32 && offsetof(LVITEMW, iGroup) == 56);
static_assert(sizeof(LVCOLUMNW) == 44 && offsetof(LVCOLUMNW, fmt) == 4 && offsetof(LVCOLUMNW, cx) == 8 &&
              offsetof(LVCOLUMNW, pszText) == 12 && offsetof(LVCOLUMNW, iSubItem) == 20 &&
              offsetof(LVCOLUMNW, cxIdeal) == 40);

// Windows Sockets: start-up, name lookup and the probe's address.
static_assert(sizeof(WSADATA) == 400 && offsetof(WSADATA, szDescription) == 4 &&
              offsetof(WSADATA, szSystemStatus) == 261 && offsetof(WSADATA, iMaxSockets) == 390 &&
              offsetof(WSADATA, lpVendorInfo) == 396);
static_assert(sizeof(ADDRINFOW) == 32 && offsetof(ADDRINFOW, ai_addrlen) == 16 &&
              offsetof(ADDRINFOW, ai_canonname) == 20 && offsetof(ADDRINFOW, ai_addr) == 24 &&
              offsetof(ADDRINFOW, ai_next) == 28);
static_assert(sizeof(sockaddr_in) == 16 && offsetof(sockaddr_in, sin_port) == 2 &&
              offsetof(sockaddr_in, sin_addr) == 4 && sizeof(in_addr) == 4);

#endif
