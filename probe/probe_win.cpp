// The latency probe: click handler, probe thread, ProbeLatency and the data-arrival handler.
#include <windows.h>

#include <vector>

#include "app/columns.h"
#include "app/list.h"
#include "probe/probe.h"
#include "probe/probe_state.h"
#include "probe/tcp_client.h"

std::atomic<std::int32_t> ProbeBusy{0};
std::atomic<std::int32_t> SendTick{0};
std::atomic<std::int32_t> ReplyTick{0};
std::atomic<std::int32_t> ReplyArrived{0};

namespace {

constexpr int kProbePort = 80;
constexpr int kDefaultAttempts = 4;
constexpr int kReplyWaitMs = 1000;
// What the second connection carries. A proxy answers a request line at once, while real ones
// (squid, tinyproxy, privoxy) wait silently for the end of a line when handed bytes without one,
// and so would look dead. The asterisk form asks the proxy about itself: it answers on its own,
// without connecting anywhere else. 22 bytes, no terminating zero.
constexpr char kProbeRequest[] = "OPTIONS * HTTP/1.0\r\n\r\n";

std::int32_t TickNow() { return static_cast<std::int32_t>(GetTickCount()); }

void OnClientData(const Bytes&) { OnProbeClientDataArrival(); }

DWORD WINAPI ProbeThreadStart(LPVOID parameter) {
    ProbeSelectedRow(static_cast<int>(reinterpret_cast<INT_PTR>(parameter)));
    return 0;
}

}  // namespace

void CreateProbeClient() { TcpClientCreate(OnClientData); }

void OnProbeClientDataArrival() {
    ReplyTick.store(TickNow(), std::memory_order_relaxed);
    ReplyArrived.store(1, std::memory_order_release);
}

void OnProxyListClick() {
    // Only spares a thread that would return at once; the gate itself is in ProbeSelectedRow.
    if (ProbeBusy.load() == 1) return;
    const int row = ListSelectedRow();
    if (row == -1) return;
    HANDLE thread = CreateThread(nullptr, 0, ProbeThreadStart, reinterpret_cast<LPVOID>(static_cast<INT_PTR>(row)), 0, nullptr);
    if (thread) CloseHandle(thread);
}

void WaitWithEvents(int ms) {
    if (ms <= 0) return;
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (TickPassed(GetTickCount(), start, static_cast<DWORD>(ms))) return;
        // Sleeps at most 1 ms, waking early for anything sent or posted to this thread.
        MsgWaitForMultipleObjectsEx(0, nullptr, 1, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

int ProbeLatency(const Text& host, OptInt port, OptInt attempts) {
    const int toPort = port.value_or(kProbePort);
    const int count = attempts.value_or(kDefaultAttempts);
    std::vector<std::int32_t> samples;
    // The first connection only shows that the proxy can be reached; it is dropped by the next.
    if (!TcpClientConnect(host, toPort)) return ProbeNoReply;
    for (int attempt = 1; attempt <= count; ++attempt) {
        ReplyArrived.store(0, std::memory_order_relaxed);
        if (TcpClientConnect(host, toPort)) {
            // Data handled while the old connection was being dropped must not count as this
            // attempt's reply: the connect has cancelled every later notification of it.
            ReplyArrived.store(0, std::memory_order_relaxed);
            SendTick.store(TickNow(), std::memory_order_relaxed);
            TcpClientSend(ToBytes(kProbeRequest));
        }
        // The full wait runs also after a failed connect and after an early reply.
        WaitWithEvents(kReplyWaitMs);
        if (ReplyArrived.load(std::memory_order_acquire) == 1) {
            const auto sample = static_cast<std::int32_t>(static_cast<std::uint32_t>(ReplyTick.load(std::memory_order_relaxed)) -
                                                          static_cast<std::uint32_t>(SendTick.load(std::memory_order_relaxed)));
            samples.push_back(sample);
        }
    }
    if (samples.empty()) return ProbeNoReply;
    std::uint32_t sum = 0;  // a 32-bit sum that wraps
    for (std::int32_t s : samples) sum += static_cast<std::uint32_t>(s);
    return IntDiv(static_cast<std::int32_t>(sum), static_cast<int>(samples.size()));
}

void ProbeSelectedRow(int row) {
    if (ProbeBusy.exchange(1) == 1) return;
    if (CompareText(ListGetCell(row, kColumnType), "HTTP") == 0) {
        const int latency = ProbeLatency(ListGetCell(row, kColumnAddress), kProbePort, 1);
        ListSetCell(row, kColumnDelay, DelayCellText(latency));
    }
    ProbeBusy.store(0);
}
