// The latency probe: a left click in the proxy list measures the selected row's proxy.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "text/text.h"

// Creates the TCP client 客户1 (its notifications arrive on the calling thread): called on the
// UI thread while the main window and its controls are created.
void CreateProbeClient();
// NM_CLICK of the proxy list, on the UI thread.
void OnProxyListClick();

// Measures `row` (an index fixed when the click was handled) and writes its column 2. Runs on
// the probe thread; returns at once when another probe holds ProbeBusy.
void ProbeSelectedRow(int row);
// Average reply time in ms over the attempts that saw a reply; nullopt ("no reply") when no
// connection could be made or no attempt saw one. A reply handled in the same tick as the send,
// or already before it, is 0.
std::optional<int> ProbeLatency(const Text& host, OptInt port = std::nullopt, OptInt attempts = std::nullopt);
// Data-arrival handler of 客户1, on the UI thread: stamps ReplyTick, then publishes ReplyArrived.
void OnProbeClientDataArrival();
// Dispatches the calling thread's window messages until the tick count has moved more than `ms`
// past the start; returns at once for ms <= 0.
void WaitWithEvents(int ms);

// One attempt's sample: ReplyTick minus SendTick in 32-bit wrapping arithmetic, or 0 when the
// reply was handled before the send was stamped (a peer that speaks first).
std::int32_t ReplySample(std::int32_t replyTick, std::int32_t sendTick);
// The samples' average: their sum in 32 bits (wrapping), divided by their number and truncated
// toward zero; nullopt when there are none.
std::optional<int> AverageReplyTime(const std::vector<std::int32_t>& samples);
// Column 2 text for a ProbeLatency result: "<n>ms" (never below 0ms), or "超时" for no reply.
Text DelayCellText(std::optional<int> latency);
// True once `now` lies more than `ms` after `start`, across the 32-bit wrap of the tick count.
bool TickPassed(std::uint32_t now, std::uint32_t start, std::uint32_t ms);
