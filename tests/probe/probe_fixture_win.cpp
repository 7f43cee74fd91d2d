#include "tests/probe/probe_fixture_win.h"

#include <winsock2.h>
#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "app/list.h"
#include "probe/probe.h"
#include "text/wide.h"

namespace {

HWND g_window = nullptr;
HWND g_list = nullptr;

void CreateWindowOnce() {
    if (g_window) return;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ProbeTestWindow";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    RegisterClassW(&wc);
    g_window = CreateWindowExW(0, wc.lpszClassName, L"probe test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 434, 443,
                               nullptr, nullptr, wc.hInstance, nullptr);
    g_list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL,
                             16, 24, 400, 344, g_window, nullptr, wc.hInstance, nullptr);
    HWND label = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 16, 376, 216, 32, g_window, nullptr,
                                 wc.hInstance, nullptr);
    if (!g_window || !g_list) {
        std::fprintf(stderr, "cannot create the test window (no display?)\n");
        std::exit(3);
    }
    const int widths[] = {120, 80, 50, 150, 50};
    for (int i = 0; i < 5; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_WIDTH | LVCF_SUBITEM;
        column.cx = widths[i];
        column.iSubItem = i;
        SendMessageW(g_list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    ListBindControls(g_list, label);
    CreateProbeClient();
}

SOCKET g_control = INVALID_SOCKET;

std::string AskControl(const std::string& line) {
    if (g_control == INVALID_SOCKET) {
        CreateWindowOnce();  // starts Winsock
        g_control = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<u_short>(ProxyControlPort()));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(g_control, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) return "ERROR connect";
    }
    const std::string out = line + "\n";
    send(g_control, out.data(), static_cast<int>(out.size()), 0);
    std::string answer;
    char c;
    while (recv(g_control, &c, 1, 0) == 1 && c != '\n') answer += c;
    return answer;
}

int HexValue(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

}  // namespace

HWND ProbeTestWindow() {
    CreateWindowOnce();
    return g_window;
}

HWND ProbeTestList() {
    CreateWindowOnce();
    return g_list;
}

void ResetRows(const std::vector<std::pair<Text, Text>>& rows, const Text& delay) {
    CreateWindowOnce();
    ListClear();
    for (const auto& [address, type] : rows) {
        const int row = ListAppendRow(address);
        ListSetCell(row, 1, type);
        ListSetCell(row, 2, delay);
    }
}

void SelectRow(int row) {
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = 0;
    SendMessageW(ProbeTestList(), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    if (row < 0) return;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(ProbeTestList(), LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        // Bounded, so a flood of notifications cannot keep the check below from running.
        for (int i = 0; i < 200 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) return true;
        if (GetTickCount() - start > timeoutMs) return done();
        MsgWaitForMultipleObjectsEx(0, nullptr, 2, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

void PumpFor(DWORD ms) { PumpUntil([] { return false; }, ms); }

double RunWhilePumping(const std::function<void()>& work) {
    CreateWindowOnce();
    std::atomic<bool> finished{false};
    const auto start = std::chrono::steady_clock::now();
    std::thread worker([&] {
        work();
        finished = true;
        PostMessageW(g_window, WM_NULL, 0, 0);  // wake the pump
    });
    PumpUntil([&] { return finished.load(); }, INFINITE);
    const auto end = std::chrono::steady_clock::now();
    worker.join();
    return std::chrono::duration<double, std::milli>(end - start).count();
}

std::vector<ProxyConnection> ProxyRecords(const std::string& ip) {
    std::istringstream in(AskControl("RECORDS " + ip));
    size_t count = 0;
    in >> count;
    std::vector<ProxyConnection> records;
    std::string item;
    while (in >> item) {
        const size_t comma = item.find(',');
        ProxyConnection c;
        const std::string hex = item.substr(0, comma);
        if (hex != "-")
            for (size_t i = 0; i + 1 < hex.size(); i += 2)
                c.bytes += static_cast<char>(HexValue(hex[i]) * 16 + HexValue(hex[i + 1]));
        c.closedByClient = item.substr(comma + 1) == "closed";
        records.push_back(c);
    }
    if (records.size() != count) records.clear();
    return records;
}

void SetProxyMode(const std::string& ip, const std::string& mode) { AskControl("MODE " + ip + " " + mode); }

void ResetProxyRecords() { AskControl("RESET"); }

int ProxyControlPort() {
    const char* port = std::getenv("FAKE_PROXY_CONTROL");
    return port ? std::atoi(port) : 0;
}
