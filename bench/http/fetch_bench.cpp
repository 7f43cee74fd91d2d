// FetchUrl against bare InternetReadFile loops on one 10 MB body from the loopback fixture,
// measured side by side in one run. Prints the times and their ratios; the goal is a ratio of at
// most 1.1 against the bare loop into a fresh buffer (no quadratic growth of the body buffer).
//
// Two bare loops: into a fresh buffer of the body's size (what any routine that hands back a new
// body pays, page faults included), and into one buffer reused every round (a lower bound).
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "http/fetch.h"
#include "tools/http_fixture/fixture_client.h"

namespace {

constexpr std::size_t kBodySize = 10 * 1024 * 1024;
constexpr int kRounds = 9;

// The same WinInet calls as FetchUrl, reading 1024-byte chunks straight into `out`.
std::size_t BareRead(const Text& path, char* out) {
    HINTERNET root = InternetOpenA("bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    HINTERNET connection = InternetConnectA(root, "127.0.0.1", static_cast<INTERNET_PORT>(FixturePort()), nullptr,
                                            nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    HINTERNET request = HttpOpenRequestA(connection, "GET", path.c_str(), "HTTP/1.1", nullptr, nullptr,
                                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_NEED_FILE, 0);
    HttpSendRequestA(request, nullptr, 0, nullptr, 0);
    std::size_t total = 0;
    DWORD count = 0;
    while (total <= kBodySize && InternetReadFile(request, out + total, 1024, &count) && count > 0) total += count;
    InternetCloseHandle(request);
    InternetCloseHandle(connection);
    InternetCloseHandle(root);
    return total;
}

// CPU time (user + kernel) of this process in ms: less disturbed than wall time by the other
// work on a shared machine.
double ProcessCpuMs() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ms = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;
    };
    return ms(kernel) + ms(user);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Series {
    const char* name;
    std::vector<double> wallMs, cpuMs;
};

}  // namespace

int main() {
    ScriptResponse("big", HttpResponse("HTTP/1.1 200 OK", "Content-Type: application/octet-stream\r\n",
                                       std::string(kBodySize, 'b')));
    std::vector<char> reused(kBodySize + 1024);
    Series series[3] = {
        {"FetchUrl", {}, {}}, {"bare loop, fresh buffer", {}, {}}, {"bare loop, reused buffer", {}, {}}};
    const auto run = [&](int which) {
        std::size_t got = 0;
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = ProcessCpuMs();
        if (which == 0) {
            got = FetchUrl(FixtureUrl("big", "/fetch")).size();
        } else if (which == 1) {
            std::unique_ptr<char[]> fresh(new char[kBodySize + 1024]);
            got = BareRead("/big/fresh", fresh.get());
        } else {
            got = BareRead("/big/reused", reused.data());
        }
        series[which].cpuMs.push_back(ProcessCpuMs() - c0);
        series[which].wallMs.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        return got;
    };
    // The order rotates each round, which evens out warm-up and load drifting during the run.
    for (int round = 0; round < kRounds; ++round) {
        for (int k = 0; k < 3; ++k) {
            const std::size_t got = run((round + k) % 3);
            if (got != kBodySize) {
                std::printf("short read: %zu of %zu bytes\n", got, kBodySize);
                return 1;
            }
        }
    }
    std::printf("10 MB body, %d rounds, medians (wall ms / process CPU ms):\n", kRounds);
    for (const Series& s : series) std::printf("  %-26s %8.1f / %6.1f\n", s.name, Median(s.wallMs), Median(s.cpuMs));
    const auto ratio = [&](int a, int b, bool cpu) {
        return cpu ? Median(series[a].cpuMs) / Median(series[b].cpuMs)
                   : Median(series[a].wallMs) / Median(series[b].wallMs);
    };
    std::printf("ratio FetchUrl / bare loop (fresh buffer): wall %.3f, CPU %.3f (goal <= 1.1)\n", ratio(0, 1, false),
                ratio(0, 1, true));
    std::printf("ratio FetchUrl / bare loop (reused buffer): wall %.3f, CPU %.3f\n", ratio(0, 2, false),
                ratio(0, 2, true));
    return 0;
}
