// The count label is one step on the list's side: ten harvests run at once against a list model
// that carries out one operation at a time (as the UI thread does) and lets the other workers in
// between any two operations. The caption left at the end must hold the final row count.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "harvest/harvest.h"

namespace {

const Text kBlockOpen =
    "<div  style=\"font-weight:bold;\" >"
    "\xC3\xE2\xB7\xD1\xB4\xFA\xC0\xED\x49\x50\xA3\xAC\x48\x54\x54\x50\xC3\xE2\xB7\xD1\xB4\xFA\xC0\xED\xB7\xFE\xCE\xF1"
    "\xC6\xF7\xB4\xF3\xC8\xAB\xA3\xAC\xC3\xBF\xC8\xD5\xB8\xFC\xD0\xC2"
    "</div><div  class=\"c5\" >";

Bytes PageWithRows(int page, int rows) {
    Text t = kBlockOpen;
    for (int i = 0; i < rows; ++i)
        t += "<span  class=\"c7\" >10." + std::to_string(page) + ".0." + std::to_string(i) + "</span>";
    t += "</div></div></div>";
    return Bytes(t.begin(), t.end());
}

// The list as the UI thread runs it: each operation whole, one at a time. Between two operations
// of one worker the others get the list for a while (the trip back to the worker thread); the
// first worker back from the count label is held up longest, as a preempted thread would be (with
// the count and the write as two operations, its stale count was then written last).
struct SerialList {
    std::mutex ui;
    int rows = 0;
    Text label;
    std::atomic<int> countReads{0};

    static void TripBack(int us = 300) { std::this_thread::sleep_for(std::chrono::microseconds(us)); }

    HarvestListOps Ops() {
        return {
            [this](const Text&) {
                int row;
                {
                    std::lock_guard<std::mutex> lock(ui);
                    row = rows++;
                }
                TripBack();
                return row;
            },
            [](int, int, const Text&) { TripBack(); },
            [this](CountCaption caption) {
                {
                    std::lock_guard<std::mutex> lock(ui);
                    label = caption(rows);
                }
                TripBack(countReads++ == 0 ? 20000 : 300);
            },
        };
    }
};

TEST(CountLabel, TenConcurrentHarvestsLeaveTheFinalCount) {
    for (int round = 0; round < 20; ++round) {
        SerialList list;
        const HarvestListOps ops = list.Ops();
        std::atomic<int> ready{0};
        std::vector<std::thread> workers;
        for (int page = 1; page <= 10; ++page) {
            workers.emplace_back([&, page] {
                const HarvestFetch fetch = [&, page](const Text& url) {
                    if (url == HarvestPageUrl(page)) return Bytes{};
                    ++ready;  // every worker's second part arrives at the same moment
                    while (ready.load() < 10) std::this_thread::yield();
                    return PageWithRows(page, page % 4);
                };
                HarvestPageWith(page, fetch, ops);
            });
        }
        for (std::thread& t : workers) t.join();
        ASSERT_EQ(list.rows, 15);  // 0+1+2+3+0+1+2+3+0+1
        ASSERT_EQ(list.label, CountLabelText(15)) << "round " << round;
    }
}

}  // namespace
