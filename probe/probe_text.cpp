// The portable pieces of the probe: samples and their average, the delay cell's text and the
// wrap-safe tick comparison.
#include "probe/probe.h"

std::int32_t ReplySample(std::int32_t replyTick, std::int32_t sendTick) {
    const auto sample =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(replyTick) - static_cast<std::uint32_t>(sendTick));
    // Below 0 the reply came before SendTick was stamped: it was already waiting.
    return sample < 0 ? 0 : sample;
}

std::optional<int> AverageReplyTime(const std::vector<std::int32_t>& samples) {
    if (samples.empty()) return std::nullopt;
    std::uint32_t sum = 0;  // a 32-bit sum that wraps
    for (std::int32_t s : samples) sum += static_cast<std::uint32_t>(s);
    return IntDiv(static_cast<std::int32_t>(sum), static_cast<int>(samples.size()));
}

Text DelayCellText(std::optional<int> latency) {
    // "超时" only for no reply: a reply within the tick of the send, or before it, shows "0ms".
    if (!latency) return "\xB3\xAC\xCA\xB1";
    return ConcatText({ToText(*latency < 0 ? 0 : *latency), "ms"});
}

bool TickPassed(std::uint32_t now, std::uint32_t start, std::uint32_t ms) {
    // Elapsed time in unsigned 32-bit arithmetic: comparing `now` with `start + ms` directly
    // would end a wait at once whenever start + ms wraps past 2^32.
    return now - start > ms;
}
