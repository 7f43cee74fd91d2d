// FindText against std::string_view::find on GBK listing pages of 1 MB and 10 MB.
//
// (a) one search for a marker near the end of the page, from position 1;
// (b) a walk over every occurrence of a frequent marker, each search starting right behind the
//     previous match, as the harvest code cuts out its spans;
// (c) the same walk for a two-byte character inside the Chinese runs;
// (d) the walk of (b) ignoring letter case.
// After the Google Benchmark runs, main times the same loops itself and prints the ratios
// FindText / find and 10 MB / 1 MB in plain words.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <string_view>

#include "text/text.h"

namespace {

constexpr std::string_view kSpan = "<span  class=\"c7\" >";
constexpr std::string_view kNextLink = "<a href=\"/tc?bd_page_type=1&amp;next=2\">";
constexpr std::string_view kChar = "\xB5\xC4";  // 的

// A deterministic page of about `size` bytes: table rows of c7 spans holding an address, a port,
// a type and Chinese texts, now and then a long paragraph of Chinese, and the next-part link
// about 1000 bytes before the end.
std::string MakePage(std::size_t size) {
    std::mt19937 rng(12345);  // the raw engine output is the same on every platform
    auto chinese = [&](std::string& out, unsigned chars) {
        for (unsigned k = 0; k < chars; ++k) {
            if (rng() % 16 == 0) {
                out += kChar;
            } else {
                out += static_cast<char>(0xB0 + rng() % 0x48);  // GB2312 level-1/2 lead bytes
                out += static_cast<char>(0xA1 + rng() % 0x5E);
            }
        }
    };
    auto span = [&](std::string& out, const std::string& inner) {
        out += "<td>";
        out += kSpan;
        out += inner;
        out += "</span></td>";
    };
    std::string page = "<html><head><meta charset=\"gbk\"><title>";
    chinese(page, 8);
    page += "</title></head><body><table>\n";
    while (page.size() + 1200 < size) {
        page += "<tr>";
        span(page, std::to_string(rng() % 256) + "." + std::to_string(rng() % 256) + "." + std::to_string(rng() % 256) +
                       "." + std::to_string(rng() % 256));
        span(page, std::to_string(1 + rng() % 65535));
        span(page, rng() % 3 ? "HTTP" : "HTTPS");
        std::string place;
        chinese(place, 2 + rng() % 10);
        span(page, place);
        std::string detail;
        chinese(detail, 5 + rng() % 55);
        span(page, detail);
        page += "</tr>\n";
        if (rng() % 8 == 0) {
            page += "<tr><td colspan=\"5\"><p>";
            chinese(page, 100 + rng() % 900);
            page += "</p></td></tr>\n";
        }
    }
    page += "</table>";
    page += kNextLink;
    chinese(page, 4);
    page += "</a>";
    while (page.size() + 20 < size) chinese(page, 1);
    page += "</body></html>";
    return page;
}

const std::string& Page(int megabytes) {
    static const std::string one = MakePage(1u << 20);
    static const std::string ten = MakePage(10u << 20);
    return megabytes == 1 ? one : ten;
}

// The loops measured, shared by the benchmarks and the timing in main.
std::int64_t FindTextOnce(const std::string& t, std::string_view m) { return FindText(t, m); }

std::int64_t FindOnce(const std::string& t, std::string_view m) {
    return static_cast<std::int64_t>(std::string_view(t).find(m));
}

std::int64_t FindTextWalk(const std::string& t, std::string_view m, bool ignoreCase) {
    std::int64_t count = 0;
    for (int p = FindText(t, m, 1, ignoreCase); p != -1; p = FindText(t, m, p + 1, ignoreCase)) ++count;
    return count;
}

std::int64_t FindWalk(const std::string& t, std::string_view m) {
    const std::string_view s(t);
    std::int64_t count = 0;
    for (std::size_t p = s.find(m); p != std::string_view::npos; p = s.find(m, p + 1)) ++count;
    return count;
}

void Run(benchmark::State& state, const std::function<std::int64_t(const std::string&)>& f) {
    const std::string& t = Page(static_cast<int>(state.range(0)));
    std::int64_t result = 0;
    for (auto _ : state) {
        result = f(t);
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(t.size()));
    state.counters["result"] = static_cast<double>(result);
}

void BM_NearEnd_FindText(benchmark::State& s) {
    Run(s, [](const std::string& t) { return FindTextOnce(t, kNextLink); });
}
void BM_NearEnd_Find(benchmark::State& s) {
    Run(s, [](const std::string& t) { return FindOnce(t, kNextLink); });
}
void BM_SpanWalk_FindText(benchmark::State& s) {
    Run(s, [](const std::string& t) { return FindTextWalk(t, kSpan, false); });
}
void BM_SpanWalk_Find(benchmark::State& s) {
    Run(s, [](const std::string& t) { return FindWalk(t, kSpan); });
}
void BM_CharWalk_FindText(benchmark::State& s) {
    Run(s, [](const std::string& t) { return FindTextWalk(t, kChar, false); });
}
void BM_CharWalk_Find(benchmark::State& s) {
    Run(s, [](const std::string& t) { return FindWalk(t, kChar); });
}
void BM_SpanWalk_FindTextIgnoreCase(benchmark::State& s) {
    Run(s, [](const std::string& t) { return FindTextWalk(t, kSpan, true); });
}

BENCHMARK(BM_NearEnd_FindText)->Arg(1)->Arg(10)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NearEnd_Find)->Arg(1)->Arg(10)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SpanWalk_FindText)->Arg(1)->Arg(10)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SpanWalk_Find)->Arg(1)->Arg(10)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CharWalk_FindText)->Arg(1)->Arg(10)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CharWalk_Find)->Arg(1)->Arg(10)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SpanWalk_FindTextIgnoreCase)->Arg(1)->Arg(10)->Unit(benchmark::kMicrosecond);

// Best of several timed batches, in seconds per call.
double Seconds(const std::function<std::int64_t()>& f) {
    using Clock = std::chrono::steady_clock;
    std::int64_t sink = 0;
    const auto t0 = Clock::now();
    sink += f();
    const double first = std::chrono::duration<double>(Clock::now() - t0).count();
    const int calls = std::max(1, static_cast<int>(0.02 / std::max(first, 1e-9)));
    double best = first;
    for (int batch = 0; batch < 7; ++batch) {
        const auto b0 = Clock::now();
        for (int k = 0; k < calls; ++k) sink += f();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - b0).count() / calls);
    }
    benchmark::DoNotOptimize(sink);
    return best;
}

void PrintRatios() {
    const std::string& one = Page(1);
    const std::string& ten = Page(10);
    std::printf("\nPages: %zu and %zu bytes. Ratios below 1.0 mean FindText is faster than find.\n", one.size(),
                ten.size());

    struct Pair {
        const char* what;
        std::function<std::int64_t(const std::string&)> findText, find;
    };
    const Pair pairs[] = {
        {"marker near the end, from position 1", [](const std::string& t) { return FindTextOnce(t, kNextLink); },
         [](const std::string& t) { return FindOnce(t, kNextLink); }},
        {"walk over every c7 span", [](const std::string& t) { return FindTextWalk(t, kSpan, false); },
         [](const std::string& t) { return FindWalk(t, kSpan); }},
        {"walk over every two-byte character 'de'", [](const std::string& t) { return FindTextWalk(t, kChar, false); },
         [](const std::string& t) { return FindWalk(t, kChar); }},
        {"walk over every c7 span, ignoring case", [](const std::string& t) { return FindTextWalk(t, kSpan, true); },
         [](const std::string& t) { return FindWalk(t, kSpan); }},
    };
    for (const Pair& p : pairs) {
        const double ft1 = Seconds([&] { return p.findText(one); });
        const double f1 = Seconds([&] { return p.find(one); });
        const double ft10 = Seconds([&] { return p.findText(ten); });
        const double f10 = Seconds([&] { return p.find(ten); });
        std::printf("%s:\n", p.what);
        std::printf("  1 MB:  FindText %.1f us, find %.1f us, FindText time / find time = %.2f\n", ft1 * 1e6, f1 * 1e6,
                    ft1 / f1);
        std::printf("  10 MB: FindText %.1f us, find %.1f us, FindText time / find time = %.2f\n", ft10 * 1e6,
                    f10 * 1e6, ft10 / f10);
        std::printf("  FindText 10 MB time / 1 MB time = %.2f (linear is about 10)\n", ft10 / ft1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintRatios();
    return 0;
}
