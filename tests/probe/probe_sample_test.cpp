// "No reply" is carried apart from the number: a sample is never negative, an average exists only
// when some attempt saw a reply, and only "no reply" shows as 超时.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "probe/probe.h"

namespace {

const Text kTimeout = "\xB3\xAC\xCA\xB1";  // 超时

TEST(ReplySample, ReplyTickMinusSendTickNeverBelowZero) {
    struct Case {
        const char* name;
        std::int32_t reply, send, want;
    };
    const Case cases[] = {
        {"47 ms after the send", 1047, 1000, 47},
        {"in the tick of the send", 1000, 1000, 0},
        {"one tick step before the send: a reply already waiting", 984, 1000, 0},
        {"1 ms before the send", 999, 1000, 0},
        {"across the wrap of the tick count", static_cast<std::int32_t>(0x00000010u),
         static_cast<std::int32_t>(0xFFFFFFF0u), 32},
        {"across the signed overflow point", static_cast<std::int32_t>(0x80000005u), 0x7FFFFFFB, 10},
        {"just before the send, across the overflow point", 0x7FFFFFFB, static_cast<std::int32_t>(0x80000005u), 0},
    };
    for (const Case& c : cases) EXPECT_EQ(ReplySample(c.reply, c.send), c.want) << c.name;
}

TEST(AverageReplyTime, NoSamplesIsNoReplyAndZeroIsAReply) {
    struct Case {
        const char* name;
        std::vector<std::int32_t> samples;
        std::optional<int> want;
        Text cell;
    };
    const Case cases[] = {
        {"no attempt saw a reply", {}, std::nullopt, kTimeout},
        {"a reply already waiting", {ReplySample(984, 1000)}, 0, "0ms"},
        {"one reply", {47}, 47, "47ms"},
        {"truncated toward zero", {47, 50}, 48, "48ms"},
        {"zeros are replies too", {0, 0, 0, 0}, 0, "0ms"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AverageReplyTime(c.samples), c.want) << c.name;
        EXPECT_EQ(DelayCellText(AverageReplyTime(c.samples)), c.cell) << c.name;
    }
}

TEST(DelayCellText, ANegativeNumberShowsAsZero) {
    EXPECT_EQ(DelayCellText(-1), "0ms");
    EXPECT_EQ(DelayCellText(-16), "0ms");
    EXPECT_EQ(DelayCellText(std::nullopt), kTimeout);
}

}  // namespace
