// The probe against hostile peers under Wine, in-process (the test's thread is the UI thread):
// a "proxy" that streams at full loopback speed, and one that speaks before it is spoken to.
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <thread>

#include "app/list.h"
#include "probe/probe.h"
#include "probe/probe_state.h"
#include "probe/tcp_client.h"
#include "tests/support/fake_proxy_client_win.h"
#include "tests/support/pump_win.h"
#include "tests/support/test_window_win.h"

namespace {

const Text kTimeout = "\xB3\xAC\xCA\xB1";  // 超时
const char* const kStreaming = "127.0.0.37";
const char* const kSpeaksFirst = "127.0.0.38";

int AsMs(std::optional<int> latency) { return latency.value_or(-1); }

// "<n>ms" as n; -1 otherwise.
int CellMs(const Text& cell) {
    if (cell.size() < 3 || cell.compare(cell.size() - 2, 2, "ms") != 0) return -1;
    return ToInt(cell);
}

SIZE_T WorkingSet() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.WorkingSetSize;
}

class HostilePeer : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(ProxyControlPort(), 0) << "run through run_with_fake_proxies.py";
        SharedTestWindow();
        CreateProbeClient();
        ResetProxyRecords();
        ProbeBusy.store(0);
    }
};

// From other threads, as a user's input would: WM_NULL round trips to the window, and the
// process's working set every 10 ms (on a thread of its own, so a stalled UI thread cannot hide a
// growth), both until stopped.
struct Watch {
    std::atomic<bool> stop{false};
    double worstMs = 0;
    int samples = 0;
    std::atomic<SIZE_T> maxWorkingSet{0};
    std::thread pinger, sampler;

    void Start() {
        pinger = std::thread([this] {
            LARGE_INTEGER freq, a, b;
            QueryPerformanceFrequency(&freq);
            while (!stop) {
                DWORD_PTR result = 0;
                QueryPerformanceCounter(&a);
                SendMessageTimeoutW(SharedTestWindow().window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
                QueryPerformanceCounter(&b);
                worstMs = std::max(worstMs, 1000.0 * static_cast<double>(b.QuadPart - a.QuadPart) /
                                                static_cast<double>(freq.QuadPart));
                ++samples;
                Sleep(5);
            }
        });
        sampler = std::thread([this] {
            while (!stop) {
                maxWorkingSet = std::max(maxWorkingSet.load(), WorkingSet());
                Sleep(10);
            }
        });
    }
    void Stop() {
        stop = true;
        pinger.join();
        sampler.join();
    }
};

// The stream runs for three seconds on the probe's connection, which stays open after the probe:
// every read notification reads a bounded amount and leaves the rest to the next one, so the UI
// thread keeps answering and nothing piles up.
TEST_F(HostilePeer, AStreamingProxyNeitherStallsTheUiThreadNorGrowsMemory) {
    SetProxyMode(kStreaming, "stream:3000");
    ResetRows({{kStreaming, "HTTP"}});
    PumpFor(200);
    const SIZE_T before = WorkingSet();
    Watch watch;
    watch.Start();
    RunWhilePumping([] { ProbeSelectedRow(0); });
    PumpFor(2200);  // the rest of the stream
    watch.Stop();
    RunWhilePumping([] { TcpClientDisconnect(); });

    const double grewMb = (static_cast<double>(watch.maxWorkingSet.load()) - static_cast<double>(before)) / (1 << 20);
    std::printf(
        "UI thread: worst WM_NULL round trip %.1f ms over %d samples; working set %.1f MB before, "
        "at most %+.1f MB during the stream\n",
        watch.worstMs, watch.samples, static_cast<double>(before) / (1 << 20), grewMb);
    EXPECT_GT(watch.samples, 100);
    EXPECT_LE(watch.worstMs, 50.0);
    EXPECT_LT(grewMb, 16.0);
    EXPECT_NE(ListGetCell(0, 2), kTimeout) << "the streamed bytes are a reply";
}

// A peer that sends as soon as it accepts: its bytes can be handled before SendTick is stamped,
// or between the connect and the stamp. Either way it is a reply (usually shown as 0ms or 1ms):
// never 超时, never below 0. (How soon the peer's bytes come depends on the peer, so the number
// is only bounded by the wait.)
TEST_F(HostilePeer, APeerThatSpeaksFirstShowsAReplyNeverATimeout) {
    SetProxyMode(kSpeaksFirst, "banner");
    for (int round = 0; round < 5; ++round) {
        int latency = 0;
        RunWhilePumping([&] { latency = AsMs(ProbeLatency(kSpeaksFirst, 80, 1)); });
        EXPECT_GE(latency, 0) << "round " << round << ": no reply";
        EXPECT_LT(latency, 1000) << "round " << round;
    }
    ResetRows({{kSpeaksFirst, "HTTP"}});
    RunWhilePumping([] { ProbeSelectedRow(0); });
    const Text cell = ListGetCell(0, 2);
    EXPECT_GE(CellMs(cell), 0) << cell;
    EXPECT_LT(CellMs(cell), 1000) << cell;
}

}  // namespace
