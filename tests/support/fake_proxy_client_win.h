// The Windows side of the loopback fake proxies (tools/fake_proxy): the test program sets each
// address's mode and reads what each connection carried over the control port, whose number the
// driver (tests/support/run_with_fake_proxies.py) passes in FAKE_PROXY_CONTROL.
#pragma once

#include <string>
#include <vector>

// One connection seen by a fake proxy.
struct ProxyConnection {
    std::string bytes;
    bool closedByClient = false;
};

// The connections seen at `ip` so far, in order; empty when the answer cannot be read.
std::vector<ProxyConnection> ProxyRecords(const std::string& ip);
// mode: silent, close, late, flood, reply:<ms> (see tools/fake_proxy/fake_proxy.py).
void SetProxyMode(const std::string& ip, const std::string& mode);
void ResetProxyRecords();
// 0 when the program was not started by the driver.
int ProxyControlPort();
