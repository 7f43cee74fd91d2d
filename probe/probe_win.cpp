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
    HANDLE thread =
        CreateThread(nullptr, 0, ProbeThreadStart, reinterpret_cast<LPVOID>(static_cast<INT_PTR>(row)), 0, nullptr);
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

std::optional<int> ProbeLatency(const Text& host, OptInt port, OptInt attempts) {
    const int toPort = port.value_or(kProbePort);
    const int count = attempts.value_or(kDefaultAttempts);
    std::vector<std::int32_t> samples;
    // The first connection only shows that the proxy can be reached; it is dropped by the next.
    if (!TcpClientConnect(host, toPort)) return std::nullopt;
    for (int attempt = 1; attempt <= count; ++attempt) {
        // Once the old connection is dropped no data of it is handled any more; cleared after
        // that, ReplyArrived can only be set by the attempt's own connection, and is never
        // cleared again: a reply handled before SendTick is stamped (a peer that speaks first)
        // still counts, as a sample of 0.
        TcpClientDisconnect();
        ReplyArrived.store(0, std::memory_order_relaxed);
        if (TcpClientConnect(host, toPort)) {
            SendTick.store(TickNow(), std::memory_order_relaxed);
            TcpClientSend(ToBytes(kProbeRequest));
        }
        // The full wait runs also after a failed connect and after an early reply.
        WaitWithEvents(kReplyWaitMs);
        if (ReplyArrived.load(std::memory_order_acquire) == 1)
            samples.push_back(
                ReplySample(ReplyTick.load(std::memory_order_relaxed), SendTick.load(std::memory_order_relaxed)));
    }
    return AverageReplyTime(samples);
}

void ProbeSelectedRow(int row) {
    if (ProbeBusy.exchange(1) == 1) return;
    if (CompareText(ListGetCell(row, kColumnType), "HTTP") == 0) {
        const std::optional<int> latency = ProbeLatency(ListGetCell(row, kColumnAddress), kProbePort, 1);
        ListSetCell(row, kColumnDelay, DelayCellText(latency));
    }
    ProbeBusy.store(0);
}
