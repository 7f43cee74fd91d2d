// Shared by the probe's Windows tests and benchmark: a real main window with a list-view bound
// to the list operations, message pumping on this (UI) thread, and the fake proxies' control port.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "text/text.h"

// One top-level window with a five-column report list-view, created once on the calling thread
// and bound with ListBindControls; CreateProbeClient() is called on the same thread.
HWND ProbeTestWindow();
HWND ProbeTestList();
// Empties the list and appends rows of (address, type) with column 2 preset to `delay`.
void ResetRows(const std::vector<std::pair<Text, Text>>& rows, const Text& delay = "old");
void SelectRow(int row);  // -1 clears the selection

// Dispatches this thread's messages until `done` holds or `timeoutMs` passed; returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
void PumpFor(DWORD ms);
// Runs `work` on a new thread while this thread keeps dispatching; returns its wall time in ms.
double RunWhilePumping(const std::function<void()>& work);

// One connection seen by a fake proxy.
struct ProxyConnection {
    std::string bytes;
    bool closedByClient = false;
};
// Over the control port in FAKE_PROXY_CONTROL (see tools/fake_proxy).
std::vector<ProxyConnection> ProxyRecords(const std::string& ip);
void SetProxyMode(const std::string& ip, const std::string& mode);
void ResetProxyRecords();
int ProxyControlPort();
