// FetchUrl on the wire: real WinInet (under Wine) against the loopback fixture, which records
// the exact request bytes and serves scripted responses.
#include <gtest/gtest.h>

#include "http/fetch.h"
#include "http/http_core.h"
#include "tests/http/wire_fixture.h"

namespace {

std::string AsString(const Bytes& b) { return std::string(b.begin(), b.end()); }

// The harvest's call: URL alone. GET, the default agent, the four default lines in order with
// no CR LF at their end, no Cookie line, the path with its query.
TEST(FetchWire, HarvestCallSendsDefaultRequest) {
    ScriptResponse("plain", HttpResponse("HTTP/1.1 200 OK", "Content-Type: text/html\r\n", "<p>listing</p>"));
    const Text url = FixtureUrl("plain", "/tc?bd_page_type=1&src=http%3A%2F%2Fx.test%2F3");
    EXPECT_EQ(AsString(FetchUrl(url)), "<p>listing</p>");

    const auto requests = RecordedRequests("plain");
    ASSERT_EQ(requests.size(), 1u);
    const std::string head = RequestHead(requests[0]);
    EXPECT_EQ(head.substr(0, head.find("\r\n")), "GET /plain/tc?bd_page_type=1&src=http%3A%2F%2Fx.test%2F3 HTTP/1.1");
    EXPECT_NE(head.find("\r\nReferer: " + url + "\r\nAccept: */*\r\nAccept-Language: zh-cn\r\n"
                        "Content-Type: application/x-www-form-urlencoded"),
              std::string::npos)
        << head;
    EXPECT_NE(head.find("\r\nUser-Agent: " + Text(kDefaultAgent) + "\r\n"), std::string::npos) << head;
    EXPECT_EQ(head.find("Cookie"), std::string::npos) << head;
    EXPECT_EQ(RequestBody(requests[0]), "");
}

}  // namespace
