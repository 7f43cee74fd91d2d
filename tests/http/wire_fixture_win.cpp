#include "tests/http/wire_fixture.h"

#include <winsock2.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <cstdio>

namespace {

[[noreturn]] void Die(const std::string& message) {
    std::fprintf(stderr, "wire fixture: %s\n", message.c_str());
    std::abort();
}

std::string FixtureDir() {
    const char* dir = std::getenv("PROXYTOOL_FIXTURE_DIR");
    if (!dir || !*dir) Die("PROXYTOOL_FIXTURE_DIR not set: run under with_fixture.py");
    return std::string("Z:") + dir;  // Wine maps the Unix root to Z:
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) Die("cannot write " + path);
}

}  // namespace

int FixturePort() {
    const char* port = std::getenv("PROXYTOOL_FIXTURE_PORT");
    if (!port || !*port) Die("PROXYTOOL_FIXTURE_PORT not set: run under with_fixture.py");
    return std::atoi(port);
}

Text FixtureUrl(const std::string& id, const std::string& rest) {
    return "http://127.0.0.1:" + std::to_string(FixturePort()) + "/" + id + rest;
}

void ScriptResponse(const std::string& id, const std::string& response, const std::string& mode) {
    WriteFile(FixtureDir() + "/" + id + ".mode", mode);
    WriteFile(FixtureDir() + "/" + id + ".response", response);
}

std::string HttpResponse(const std::string& statusLine, const std::string& headerLines, const std::string& body) {
    return statusLine + "\r\n" + headerLines + "Content-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

std::vector<std::string> RecordedRequests(const std::string& id) {
    std::ifstream in(FixtureDir() + "/" + id + ".log", std::ios::binary);
    const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> requests;
    std::size_t at = 0;
    while (log.compare(at, 4, "=== ") == 0) {
        const std::size_t eol = log.find('\n', at);
        const std::size_t length = std::stoul(log.substr(at + 4, eol - at - 4));
        requests.push_back(log.substr(eol + 1, length));
        at = eol + 1 + length;
    }
    return requests;
}

std::string RequestHead(const std::string& request) { return request.substr(0, request.find("\r\n\r\n")); }

std::string RequestBody(const std::string& request) {
    const std::size_t end = request.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : request.substr(end + 4);
}

int ClosedPort() {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    int size = sizeof addr;
    getsockname(s, reinterpret_cast<sockaddr*>(&addr), &size);
    closesocket(s);
    return ntohs(addr.sin_port);
}
