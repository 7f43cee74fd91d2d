// The delay cell's text and the wrap-safe tick comparison.
#include <gtest/gtest.h>

#include <cstdint>

#include "probe/probe.h"

TEST(DelayCellText, ZeroIsAReplyOnlyNoReplyIsATimeout) {
    EXPECT_EQ(DelayCellText(std::nullopt), "\xB3\xAC\xCA\xB1");  // 超时
    EXPECT_EQ(DelayCellText(0), "0ms");
    EXPECT_EQ(DelayCellText(47), "47ms");
    EXPECT_EQ(DelayCellText(1000), "1000ms");
}

TEST(TickPassed, EndsOnlyAfterMoreThanTheWaitAcrossTheWrap) {
    struct Case {
        std::uint32_t now, start, ms;
        bool passed;
    };
    const Case cases[] = {
        {1000, 0, 1000, false},  // exactly the wait: not yet
        {1001, 0, 1000, true},
        {0xFFFFFF00u, 0xFFFFFE00u, 1000, false},
        {0x000002E8u, 0xFFFFFF00u, 1000, false},  // start + ms wraps; 1000 ms not yet over
        {0x000002E9u, 0xFFFFFF00u, 1000, true},
        {0x7FFFFFFFu, 0x7FFFFC17u, 1000, false},  // signed overflow point of the tick
        {0x80000000u, 0x7FFFFC17u, 1000, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TickPassed(c.now, c.start, c.ms), c.passed) << std::hex << c.now << " " << c.start;
}
