// The whole harvest in the real main window against the gateway simulator, side by side with
// fetching the same 20 parts raw over loopback as 10 parallel chains of 2, in one run.
//
//   harvest_wall_bench.exe [rounds]   (the simulator must listen on the build's gateway host)
//
// Per round:
//   raw     10 threads, each a plain Winsock GET of its page's first part, the next-part link
//           cut out, then a GET of the second part;
//   fetch   the same chains through FetchUrl (WinInet);
//   window  from the main window's WM_CREATE having run (controls created, OnMainWindowCreated
//           has started the ten workers) until the tenth count-label write;
//           meanwhile a watcher thread sends WM_NULL to the window with SendMessageTimeout
//           every 2 ms and keeps the longest wait: the UI thread's worst response time.
//   hidden  the window round again with the window hidden (no painting): shows what drawing costs.
// Prints the medians, window/raw (goal <= 1.3) and the worst UI response (goal <= 50 ms).
// BENCH_TRACE=1 prints each count-label write's time.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/window.h"
#include "build_config.h"
#include "harvest/harvest.h"
#include "http/fetch.h"

namespace {

double Now() {
    static const double freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / freq;
}

// GET of a URL on the gateway host with a plain socket; returns the whole answer.
Text RawGet(const Text& url) {
    const Text prefix = "http://" PROXYTOOL_GATEWAY_HOST;
    const Text path = url.substr(prefix.size());
    const Text hostPort = PROXYTOOL_GATEWAY_HOST;
    const std::size_t colon = hostPort.rfind(':');
    const Text host = colon == Text::npos ? hostPort : hostPort.substr(0, colon);
    const Text port = colon == Text::npos ? "80" : hostPort.substr(colon + 1);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* ai = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &ai) != 0) return {};
    SOCKET s = socket(ai->ai_family, ai->ai_socktype, ai->ai_protocol);
    Text answer;
    if (s != INVALID_SOCKET && connect(s, ai->ai_addr, static_cast<int>(ai->ai_addrlen)) == 0) {
        const Text request = "GET " + path + " HTTP/1.1\r\nHost: " + hostPort + "\r\nConnection: close\r\n\r\n";
        send(s, request.data(), static_cast<int>(request.size()), 0);
        char buf[65536];
        int n;
        while ((n = recv(s, buf, sizeof buf, 0)) > 0) answer.append(buf, static_cast<std::size_t>(n));
    }
    if (s != INVALID_SOCKET) closesocket(s);
    freeaddrinfo(ai);
    return answer;
}

Text ContinuationUrl(const Text& page) {
    const Text link = TextBetween(page, "<a id=\"tc_next\" href=\"./t", "\x3E\xCF\xC2\xD2\xB3");  // >下页
    return GatewayBase() + TextBetween(link, "c", "\" accesskey");
}

template <typename Get>
double Chains(Get get, std::size_t& bytes) {
    std::atomic<std::size_t> total{0};
    const double t0 = Now();
    std::vector<std::thread> threads;
    for (int n = 1; n <= 10; ++n) {
        threads.emplace_back([n, &get, &total] {
            const Text first = get(HarvestPageUrl(n));
            const Text second = get(ContinuationUrl(first));
            total += first.size() + second.size();
        });
    }
    for (std::thread& t : threads) t.join();
    bytes = total;
    return Now() - t0;
}

// The window round: the label's window procedure is wrapped to see the workers' writes.
std::atomic<int> g_labelWrites{0};
double g_lastWrite = 0;
WNDPROC g_labelProc = nullptr;
HWND g_main = nullptr;
double g_t0 = 0;

LRESULT CALLBACK CountingLabelProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_SETTEXT) {
        const LRESULT r = CallWindowProcW(g_labelProc, w, msg, wp, lp);
        g_lastWrite = Now();
        if (std::getenv("BENCH_TRACE"))
            std::printf("  label write %d at %.1f ms\n", g_labelWrites.load() + 1, (g_lastWrite - g_t0) * 1000);
        if (++g_labelWrites == 10) PostMessageW(g_main, WM_CLOSE, 0, 0);
        return r;
    }
    return CallWindowProcW(g_labelProc, w, msg, wp, lp);
}

void CALLBACK CloseOnTimer(HWND w, UINT, UINT_PTR, DWORD) { PostMessageW(w, WM_CLOSE, 0, 0); }

// "Window created": the moment the main window's WM_CREATE handler (controls, then
// OnMainWindowCreated starting the workers) has returned.
double g_created = 0;
LRESULT CALLBACK AfterCreate(int code, WPARAM wp, LPARAM lp) {
    const auto* m = reinterpret_cast<const CWPRETSTRUCT*>(lp);
    if (code == HC_ACTION && m->message == WM_CREATE && GetParent(m->hwnd) == nullptr) {
        wchar_t cls[64] = {};
        GetClassNameW(m->hwnd, cls, 64);
        if (std::wstring(cls) == L"ProxytoolMainWindow") g_created = Now();
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

struct WindowRound {
    double seconds;
    double worstResponse;
    int rows;
};

WindowRound RunWindow(int showCommand) {
    g_labelWrites = 0;
    std::atomic<bool> stop{false};
    std::atomic<HWND> target{nullptr};
    double worst = 0;
    std::thread watcher([&] {
        while (!stop) {
            HWND w = target.load();
            if (w) {
                DWORD_PTR result = 0;
                const double t = Now();
                SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
                worst = std::max(worst, Now() - t);
            }
            Sleep(2);
        }
    });
    g_created = 0;
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROCRET, AfterCreate, nullptr, GetCurrentThreadId());
    const double start = Now();
    g_main = CreateMainWindow(GetModuleHandleW(nullptr), showCommand);
    UnhookWindowsHookEx(hook);
    const double t0 = g_created > 0 ? g_created : start;
    g_t0 = t0;
    if (std::getenv("BENCH_TRACE"))
        std::printf("  CreateMainWindow returned after %.1f ms, WM_CREATE done at %.1f ms\n", (Now() - start) * 1000,
                    (t0 - start) * 1000);
    if (!g_main) {
        stop = true;
        watcher.join();
        return {-1, -1, 0};
    }
    HWND label = GetDlgItem(g_main, kIdCountLabel);
    g_labelProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(label, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingLabelProc)));
    target = g_main;
    // A safety net: a round never waits longer than a minute.
    SetTimer(g_main, 0xBE, 60000, CloseOnTimer);
    HWND list = GetDlgItem(g_main, kIdProxyList);
    int rows = 0;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.hwnd == g_main && msg.message == WM_CLOSE)
            rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        if (!IsWindow(g_main)) break;
    }
    target = nullptr;
    stop = true;
    watcher.join();
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    return {g_labelWrites == 10 ? g_lastWrite - t0 : -1, worst, rows};
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    std::vector<double> raw, fetch, window, worst, hidden, hiddenWorst;
    std::size_t rawBytes = 0, fetchBytes = 0;
    int rows = 0;
    for (int r = 0; r < rounds; ++r) {
        raw.push_back(Chains(RawGet, rawBytes));
        fetch.push_back(Chains([](const Text& url) { return ToText(FetchUrl(url)); }, fetchBytes));
        const WindowRound w = RunWindow(SW_SHOWNOACTIVATE);
        const WindowRound h = RunWindow(SW_HIDE);
        if (w.seconds < 0 || h.seconds < 0) {
            std::printf("round %d: a harvest did not finish\n", r + 1);
            return 1;
        }
        window.push_back(w.seconds);
        worst.push_back(w.worstResponse);
        hidden.push_back(h.seconds);
        hiddenWorst.push_back(h.worstResponse);
        rows = w.rows;
        std::printf(
            "round %d: raw %.1f ms, FetchUrl %.1f ms, window %.1f ms (worst UI response %.1f ms, %d rows), "
            "hidden window %.1f ms (worst %.1f ms, %d rows)\n",
            r + 1, raw.back() * 1000, fetch.back() * 1000, window.back() * 1000, worst.back() * 1000, rows,
            hidden.back() * 1000, hiddenWorst.back() * 1000, h.rows);
    }
    const double rawMs = Median(raw) * 1000, fetchMs = Median(fetch) * 1000, windowMs = Median(window) * 1000;
    const double hiddenMs = Median(hidden) * 1000;
    std::printf("20 parts (%zu bytes raw), medians of %d rounds:\n", rawBytes, rounds);
    std::printf("  raw sockets, 10 chains of 2:          %8.1f ms\n", rawMs);
    std::printf("  FetchUrl, 10 chains of 2:             %8.1f ms\n", fetchMs);
    std::printf("  window created -> last label:         %8.1f ms (%d rows)\n", windowMs, rows);
    std::printf("  same with the window hidden:          %8.1f ms\n", hiddenMs);
    std::printf("harvest / raw fetch ratio: %.2f (goal <= 1.3); harvest / FetchUrl: %.2f; hidden window / raw: %.2f\n",
                windowMs / rawMs, windowMs / fetchMs, hiddenMs / rawMs);
    std::printf(
        "worst UI response during a harvest: %.1f ms (median round), %.1f ms (worst round); hidden window: "
        "%.1f ms; goal <= 50 ms\n",
        Median(worst) * 1000, *std::max_element(worst.begin(), worst.end()) * 1000, Median(hiddenWorst) * 1000);
    WSACleanup();
    return 0;
}
