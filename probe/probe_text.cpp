// The portable pieces of the probe: the delay cell's text and the wrap-safe tick comparison.
#include "probe/probe.h"

Text DelayCellText(int latency) {
    // "超时": no reply. A reply within the tick of the send is a reply and shows "0ms".
    if (latency == ProbeNoReply) return "\xB3\xAC\xCA\xB1";
    return ConcatText({ToText(latency), "ms"});
}

bool TickPassed(std::uint32_t now, std::uint32_t start, std::uint32_t ms) {
    // Elapsed time in unsigned 32-bit arithmetic: comparing `now` with `start + ms` directly
    // would end a wait at once whenever start + ms wraps past 2^32.
    return now - start > ms;
}
