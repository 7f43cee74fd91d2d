// The latency probe: a left click in the proxy list measures the selected row's proxy.
#pragma once

#include "text/text.h"

// Creates the TCP client 客户1 (its notifications arrive on the calling thread): called on the
// UI thread while the main window and its controls are created.
void CreateProbeClient();
// NM_CLICK of the proxy list, on the UI thread.
void OnProxyListClick();
