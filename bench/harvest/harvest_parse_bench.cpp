// HarvestPage's parsing of one large part: a data block of about 1 MB and of about 10 MB (the
// texts of about 10k and 100k entries, half of them Chinese), fetched from memory, the rows
// counted by a list that only counts. Prints the time per size and the 10 MB / 1 MB ratio
// (linear parsing gives about 10; the goal is at most 11).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "harvest/harvest.h"

namespace {

const Text kBlockOpen =
    "<div  style=\"font-weight:bold;\" >"
    "\xC3\xE2\xB7\xD1\xB4\xFA\xC0\xED\x49\x50\xA3\xAC\x48\x54\x54\x50\xC3\xE2\xB7\xD1\xB4\xFA\xC0\xED\xB7\xFE\xCE\xF1"
    "\xC6\xF7\xB4\xF3\xC8\xAB\xA3\xAC\xC3\xBF\xC8\xD5\xB8\xFC\xD0\xC2"
    "</div><div  class=\"c5\" >";
const Text kPlaces[] = {"\xB1\xB1\xBE\xA9\xCA\xD0 \xC1\xAA\xCD\xA8",   // 北京市 联通
                        "\xC9\xCF\xBA\xA3\xCA\xD0 \xD2\xC6\xB6\xAF",   // 上海市 移动
                        "\xB9\xE3\xB6\xAB\xCA\xA1 \xB5\xE7\xD0\xC5"};  // 广东省 电信

// A first part whose block holds entries until it reaches `bytes`; returns the entry count too.
Text BigPart(std::size_t bytes, int& entries) {
    Text block;
    entries = 0;
    while (block.size() < bytes) {
        const int i = entries++;
        block += "<span  class=\"c7\" >10." + std::to_string(i / 65536 % 256) + "." + std::to_string(i / 256 % 256) +
                 "." + std::to_string(i % 256) + "</span><span  class=\"c7\" >HTTP</span><span  class=\"c7\" >" +
                 kPlaces[i % 3] + "</span>";
    }
    return "<html><body>" + kBlockOpen + block + "</div></div></div></body></html>";
}

double SecondsToHarvest(const Text& page, int& rows) {
    rows = 0;
    int cells = 0;
    const HarvestListOps list{[&](const Text&) { return rows++; }, [&](int, int, const Text&) { ++cells; },
                              [&](CountCaption caption) { caption(rows); }};
    const auto t0 = std::chrono::steady_clock::now();
    HarvestPageWith(
        1, [&](const Text& url) { return url == HarvestPageUrl(1) ? Bytes(page.begin(), page.end()) : Bytes{}; }, list);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main() {
    const std::size_t sizes[2] = {1u << 20, 10u << 20};
    Text pages[2];
    int entries[2] = {0, 0}, rows[2] = {0, 0};
    for (int s = 0; s < 2; ++s) pages[s] = BigPart(sizes[s], entries[s]);
    // Rounds alternate the two sizes so that a busy moment of the machine hits both alike.
    double best[2] = {1e9, 1e9};
    for (int round = 0; round < 5; ++round)
        for (int s = 0; s < 2; ++s) best[s] = std::min(best[s], SecondsToHarvest(pages[s], rows[s]));
    for (int s = 0; s < 2; ++s)
        std::printf("%5.1f MB block, %6d entries -> %6d rows: %8.1f ms (best of 5)\n", pages[s].size() / 1048576.0,
                    entries[s], rows[s], best[s] * 1000);
    std::printf("10 MB / 1 MB time ratio: %.2f (linear: about 10; goal <= 11)\n", best[1] / best[0]);
    return 0;
}
