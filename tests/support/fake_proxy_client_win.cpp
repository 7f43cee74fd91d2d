#include "tests/support/fake_proxy_client_win.h"

#include <winsock2.h>

#include <cstdlib>
#include <sstream>

namespace {

SOCKET g_control = INVALID_SOCKET;

std::string AskControl(const std::string& line) {
    if (g_control == INVALID_SOCKET) {
        static const bool started = [] {
            WSADATA data;
            return WSAStartup(MAKEWORD(2, 2), &data) == 0;
        }();
        if (!started) return "ERROR winsock";
        g_control = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<u_short>(ProxyControlPort()));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(g_control, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) return "ERROR connect";
    }
    const std::string out = line + "\n";
    send(g_control, out.data(), static_cast<int>(out.size()), 0);
    std::string answer;
    char c;
    while (recv(g_control, &c, 1, 0) == 1 && c != '\n') answer += c;
    return answer;
}

int HexValue(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

}  // namespace

std::vector<ProxyConnection> ProxyRecords(const std::string& ip) {
    std::istringstream in(AskControl("RECORDS " + ip));
    size_t count = 0;
    in >> count;
    std::vector<ProxyConnection> records;
    std::string item;
    while (in >> item) {
        const size_t comma = item.find(',');
        ProxyConnection c;
        const std::string hex = item.substr(0, comma);
        if (hex != "-")
            for (size_t i = 0; i + 1 < hex.size(); i += 2)
                c.bytes += static_cast<char>(HexValue(hex[i]) * 16 + HexValue(hex[i + 1]));
        c.closedByClient = item.substr(comma + 1) == "closed";
        records.push_back(c);
    }
    if (records.size() != count) records.clear();
    return records;
}

void SetProxyMode(const std::string& ip, const std::string& mode) { AskControl("MODE " + ip + " " + mode); }

void ResetProxyRecords() { AskControl("RESET"); }

int ProxyControlPort() {
    const char* port = std::getenv("FAKE_PROXY_CONTROL");
    return port ? std::atoi(port) : 0;
}
