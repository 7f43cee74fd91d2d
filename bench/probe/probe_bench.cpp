// Figures of the latency probe under Wine against the loopback fake proxies (run.sh starts them):
// displayed delay against injected delay, wall time of one probe, the UI thread's worst response
// time while a probe runs (beside an idle baseline), and whether Winsock reuses socket values.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/list.h"
#include "probe/probe.h"
#include "tests/support/fake_proxy_client_win.h"
#include "tests/support/pump_win.h"
#include "tests/support/test_window_win.h"

namespace {

constexpr int kRuns = 5;

struct Stats {
    double min, mean, max;
};

Stats Summarise(const std::vector<double>& v) {
    Stats s{v[0], 0, v[0]};
    for (double x : v) {
        s.min = std::min(s.min, x);
        s.max = std::max(s.max, x);
        s.mean += x / static_cast<double>(v.size());
    }
    return s;
}

void AccuracyTable() {
    std::printf("Displayed delay vs injected delay (%d probes each, ProbeSelectedRow on a list row)\n", kRuns);
    std::printf("%-10s %-34s %-26s\n", "injected", "displayed", "error ms (min/mean/max)");
    const int delays[] = {0, 47, 200, 900};
    for (int delay : delays) {
        SetProxyMode("127.0.0.20", "reply:" + std::to_string(delay));
        ResetRows({{"127.0.0.20", "HTTP"}});
        std::string shown;
        std::vector<double> errors;
        for (int i = 0; i < kRuns; ++i) {
            RunWhilePumping([] { ProbeSelectedRow(0); });
            const Text cell = ListGetCell(0, 2);
            shown += cell + " ";
            if (cell.size() > 2 && cell.compare(cell.size() - 2, 2, "ms") == 0) errors.push_back(ToInt(cell) - delay);
        }
        if (errors.empty()) {
            std::printf("%-10d %-34s no reply\n", delay, shown.c_str());
            continue;
        }
        const Stats e = Summarise(errors);
        std::printf("%-10d %-34s %+.0f / %+.1f / %+.0f\n", delay, shown.c_str(), e.min, e.mean, e.max);
    }
}

void WallTime() {
    SetProxyMode("127.0.0.21", "reply:0");
    ResetRows({{"127.0.0.21", "HTTP"}});
    std::vector<double> ms;
    for (int i = 0; i < kRuns; ++i) ms.push_back(RunWhilePumping([] { ProbeSelectedRow(0); }));
    const Stats s = Summarise(ms);
    std::printf(
        "\nWall time of one probe of a responsive proxy (%d runs): min %.1f ms, mean %.1f ms, max %.1f ms (goal <= "
        "1100)\n",
        kRuns, s.min, s.mean, s.max);
}

// A watcher thread asks the UI thread for WM_NULL every 5 ms while `work` runs on another
// thread and the UI thread keeps dispatching; returns the worst round trip in ms.
double WorstUiResponse(const std::function<void()>& work, int* samples) {
    std::atomic<bool> stop{false};
    double worst = 0;
    int count = 0;
    std::thread watcher([&] {
        LARGE_INTEGER freq, a, b;
        QueryPerformanceFrequency(&freq);
        while (!stop) {
            QueryPerformanceCounter(&a);
            DWORD_PTR result = 0;
            SendMessageTimeoutW(SharedTestWindow().window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
            QueryPerformanceCounter(&b);
            worst = std::max(
                worst, 1000.0 * static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(freq.QuadPart));
            ++count;
            Sleep(5);
        }
    });
    RunWhilePumping(work);
    stop = true;
    PumpUntil([&] { return false; }, 20);
    watcher.join();
    *samples = count;
    return worst;
}

void UiResponsiveness() {
    SetProxyMode("127.0.0.22", "reply:47");
    ResetRows({{"127.0.0.22", "HTTP"}});
    int idleSamples = 0, probeSamples = 0;
    const double idle = WorstUiResponse([] { Sleep(1100); }, &idleSamples);
    const double probing = WorstUiResponse([] { ProbeSelectedRow(0); }, &probeSamples);
    std::printf(
        "\nUI thread worst WM_NULL round trip: idle %.2f ms (%d samples), during a probe %.2f ms (%d samples) (goal <= "
        "50)\n",
        idle, idleSamples, probing, probeSamples);
}

void SocketReuse() {
    int reused = 0;
    constexpr int kTries = 20;
    for (int i = 0; i < kTries; ++i) {
        SOCKET a = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        closesocket(a);
        SOCKET b = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (a == b) ++reused;
        closesocket(b);
    }
    std::printf("\nWinsock handed a just-closed socket value to the next socket in %d of %d tries\n", reused, kTries);
}

}  // namespace

int main() {
    if (ProxyControlPort() == 0) {
        std::fprintf(stderr, "run through bench/probe/run.sh (needs the fake proxies)\n");
        return 2;
    }
    SharedTestWindow();
    CreateProbeClient();
    ResetProxyRecords();
    AccuracyTable();
    WallTime();
    UiResponsiveness();
    SocketReuse();
    return 0;
}
