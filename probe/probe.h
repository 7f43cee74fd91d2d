// The latency probe: a left click in the proxy list measures the selected row's proxy.
#pragma once

#include <cstdint>

#include "text/text.h"

// Creates the TCP client 客户1 (its notifications arrive on the calling thread): called on the
// UI thread while the main window and its controls are created.
void CreateProbeClient();
// NM_CLICK of the proxy list, on the UI thread.
void OnProxyListClick();

// Measures `row` (an index fixed when the click was handled) and writes its column 2. Runs on
// the probe thread; returns at once when another probe holds ProbeBusy.
void ProbeSelectedRow(int row);
// Average reply time in ms over the attempts that saw a reply; ProbeNoReply when no connection
// could be made or no attempt saw one. A reply handled in the same tick as the send is 0.
constexpr int ProbeNoReply = -1;
int ProbeLatency(const Text& host, OptInt port = std::nullopt, OptInt attempts = std::nullopt);
// Data-arrival handler of 客户1, on the UI thread: stamps ReplyTick, then publishes ReplyArrived.
void OnProbeClientDataArrival();
// Dispatches the calling thread's window messages until the tick count has moved more than `ms`
// past the start; returns at once for ms <= 0.
void WaitWithEvents(int ms);

// Column 2 text for a ProbeLatency result: "<n>ms", or "超时" for ProbeNoReply.
Text DelayCellText(int latency);
// True once `now` lies more than `ms` after `start`, across the 32-bit wrap of the tick count.
bool TickPassed(std::uint32_t now, std::uint32_t start, std::uint32_t ms);
