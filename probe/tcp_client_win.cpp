// 客户1 over Winsock with WSAAsyncSelect to a message-only window.
//
// Why this is race-free although connect runs on the probe thread and notifications are handled
// on the UI thread: the socket that is "current" is owned by the UI thread alone. Every use of it
// - reading on a notification, sending, cancelling its notifications and closing it - happens on
// the UI thread, either in the window procedure or inside a SendMessage from the probe thread
// (which waits until the UI thread has done it). The probe thread only ever touches a new socket
// of its own while it connects, and hands it over (again by SendMessage) only once it is
// connected. So no thread can use a socket value after it was closed, even though Winsock may hand
// the same value to the very next socket.
//
// Notifications that the old socket posted before it was closed can still sit in the UI thread's
// queue. Each handover starts a new generation and registers the socket with a message number of
// its own generation; a notification whose message number or socket is not the current one is
// dropped unread, so data of a replaced connection never raises the event and a reused socket
// value cannot be mistaken for the old one. A notification of the current socket reads what is
// pending, up to kReadCap bytes, and raises the event once when it read at least one byte: nothing
// is counted twice, and a read re-arms FD_READ, so what is left is announced again.
#include "probe/tcp_client.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <atomic>

#include "text/owned_handle.h"
#include "text/wide.h"

namespace {

// Notifications use kNotifyFirst + (generation % kNotifyCount); all inside the WM_APP range.
constexpr UINT kNotifyFirst = WM_APP + 0x100;
constexpr UINT kNotifyCount = 0x3E00;
constexpr UINT kDrop = WM_APP + 1;   // close the current socket
constexpr UINT kAdopt = WM_APP + 2;  // wParam: a connected socket to make current
constexpr UINT kSend = WM_APP + 3;   // lParam: const Bytes*; returns 1 when all was sent

// Touched on the UI thread only (window procedure and its handlers).
SOCKET g_current = INVALID_SOCKET;
UINT g_generation = 0;
TcpDataArrivalHandler g_onDataArrival = nullptr;

// Written once on the UI thread before any probe thread exists.
std::atomic<HWND> g_window{nullptr};

UINT NotifyMessage(UINT generation) { return kNotifyFirst + generation % kNotifyCount; }

void HandleDrop() {
    if (g_current == INVALID_SOCKET) return;
    WSAAsyncSelect(g_current, g_window.load(), 0, 0);
    closesocket(g_current);
    g_current = INVALID_SOCKET;
}

LRESULT HandleAdopt(SOCKET s) {
    HandleDrop();
    ++g_generation;
    // Registering turns the socket non-blocking; the connect has already completed.
    if (WSAAsyncSelect(s, g_window.load(), NotifyMessage(g_generation), FD_READ | FD_CLOSE) != 0) {
        closesocket(s);
        return 0;
    }
    g_current = s;
    return 1;
}

LRESULT HandleSend(const Bytes* bytes) {
    if (g_current == INVALID_SOCKET) return 0;
    size_t done = 0;
    while (done < bytes->size()) {
        const int n = send(g_current, reinterpret_cast<const char*>(bytes->data()) + done,
                           static_cast<int>(bytes->size() - done), 0);
        if (n == SOCKET_ERROR) return 0;  // including WSAEWOULDBLOCK: no waiting for writability
        done += static_cast<size_t>(n);
    }
    return 1;
}

// Bytes read per read notification, at most. The probe never looks at the bytes, only at their
// arrival, so they are read into a fixed buffer and dropped: a peer that streams faster than they
// are read costs the UI thread one bounded read per notification and no memory, and whatever is
// left is announced again, since a read re-arms FD_READ while data is pending.
constexpr int kReadCap = 64 * 1024;

void HandleRead() {
    static char buffer[kReadCap];  // the UI thread's alone
    int total = 0;
    while (total < kReadCap) {
        const int n = recv(g_current, buffer + total, kReadCap - total, 0);
        if (n <= 0) break;
        total += n;
    }
    if (total > 0 && g_onDataArrival) g_onDataArrival(Bytes(buffer, buffer + total));
}

void HandleNotify(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != NotifyMessage(g_generation) || static_cast<SOCKET>(wParam) != g_current || g_current == INVALID_SOCKET)
        return;  // left over from a replaced connection
    // The connection-closed event has no handler in this program, and the socket stays open
    // until the next connect replaces it.
    if (WSAGETSELECTEVENT(lParam) == FD_READ) HandleRead();
}

LRESULT CALLBACK ClientWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg >= kNotifyFirst && msg < kNotifyFirst + kNotifyCount) {
        HandleNotify(msg, wParam, lParam);
        return 0;
    }
    switch (msg) {
        case kDrop: HandleDrop(); return 0;
        case kAdopt: return HandleAdopt(static_cast<SOCKET>(wParam));
        case kSend: return HandleSend(reinterpret_cast<const Bytes*>(lParam));
        default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

bool ResolveIpv4(const Text& host, in_addr* out) {
    if (host.empty()) return false;
    if (inet_pton(AF_INET, host.c_str(), out) == 1) return true;
    // A name is GBK text: looked up through GetAddrInfoW, converted with code page 936, so the
    // name asked for does not depend on the system's code page.
    const std::wstring name = GbkToWide(host);
    if (name.empty()) return false;
    ADDRINFOW hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOW* found = nullptr;
    if (GetAddrInfoW(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
    *out = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    FreeAddrInfoW(found);
    return true;
}

}  // namespace

bool TcpClientCreate(TcpDataArrivalHandler onDataArrival) {
    g_onDataArrival = onDataArrival;
    if (g_window.load() != nullptr) return true;  // one component per process: rebinds its handler
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return false;
    WNDCLASSW wc{};
    wc.lpfnWndProc = ClientWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ProxytoolTcpClient";
    RegisterClassW(&wc);  // fails harmlessly when already registered
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    g_window.store(hwnd);
    return hwnd != nullptr;
}

bool TcpClientConnect(const Text& host, int port) {
    HWND hwnd = g_window.load();
    if (hwnd == nullptr) return false;
    SendMessageW(hwnd, kDrop, 0, 0);
    in_addr address{};
    if (!ResolveIpv4(host, &address)) return false;
    // Closed here unless handed over: a socket that never reached the UI thread has no
    // notification that could refer to it.
    OwnedHandle<SOCKET, closesocket, INVALID_SOCKET> s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!s) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<u_short>(port));
    to.sin_addr = address;
    if (connect(s.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) return false;
    // From here the UI thread owns the socket, closing it itself if it cannot adopt it.
    return SendMessageW(hwnd, kAdopt, static_cast<WPARAM>(s.release()), 0) == 1;
}

void TcpClientDisconnect() {
    if (HWND hwnd = g_window.load()) SendMessageW(hwnd, kDrop, 0, 0);
}

bool TcpClientSend(const Bytes& bytes) {
    HWND hwnd = g_window.load();
    if (hwnd == nullptr) return false;
    return SendMessageW(hwnd, kSend, 0, reinterpret_cast<LPARAM>(&bytes)) == 1;
}
