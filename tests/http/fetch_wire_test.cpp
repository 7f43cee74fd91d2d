// FetchUrl on the wire: real WinInet (under Wine) against the loopback fixture, which records
// the exact request bytes and serves scripted responses. Every test uses its own script ids.
#include <gtest/gtest.h>

#include <cstring>

#include "http/codepage.h"
#include "http/fetch.h"
#include "http/http_core.h"
#include "tools/http_fixture/fixture_client.h"

namespace {

std::string AsString(const Bytes& b) { return std::string(b.begin(), b.end()); }

// The value of every header line of the request head whose name is `name` in any letter case,
// in order (WinInet matches header names that way when it merges lines).
std::vector<std::string> HeaderValues(const std::string& head, const std::string& name) {
    std::vector<std::string> values;
    const std::string key = ToLower("\r\n" + name + ":");
    const std::string lowered = ToLower(head);
    for (std::size_t at = lowered.find(key); at != std::string::npos; at = lowered.find(key, at + 1)) {
        const std::size_t start = at + key.size() + (head.compare(at + key.size(), 1, " ") == 0 ? 1 : 0);
        values.push_back(head.substr(start, head.find("\r\n", start) - start));
    }
    return values;
}

std::string RequestLine(const std::string& request) { return request.substr(0, request.find("\r\n")); }

// The request the fixture got for /<id>, when exactly one came.
std::string OnlyRequest(const std::string& id) {
    const auto requests = RecordedRequests(id);
    EXPECT_EQ(requests.size(), 1u) << id;
    return requests.empty() ? std::string() : requests[0];
}

std::string Ok(const std::string& body, const std::string& headerLines = "") {
    return HttpResponse("HTTP/1.1 200 OK", headerLines, body);
}

// "免费代理IP列表" in UTF-8 and in GBK.
const std::string kChineseUtf8 = "\xE5\x85\x8D\xE8\xB4\xB9\xE4\xBB\xA3\xE7\x90\x86IP\xE5\x88\x97\xE8\xA1\xA8";
const std::string kChineseGbk =
    "\xC3\xE2\xB7\xD1\xB4\xFA\xC0\xED"
    "IP\xC1\xD0\xB1\xED";

// ---- the harvest call ----

// URL alone: GET, the default agent, the four default lines in order with no CR LF at their end,
// no Cookie line, the path with its query.
TEST(FetchWire, HarvestCallSendsDefaultRequest) {
    ScriptResponse("plain", Ok("<p>listing</p>", "Content-Type: text/html\r\n"));
    const Text url = FixtureUrl("plain", "/tc?bd_page_type=1&src=http%3A%2F%2Fx.test%2F3");
    EXPECT_EQ(AsString(FetchUrl(url)), "<p>listing</p>");

    const std::string request = OnlyRequest("plain");
    const std::string head = RequestHead(request);
    EXPECT_EQ(RequestLine(request), "GET /plain/tc?bd_page_type=1&src=http%3A%2F%2Fx.test%2F3 HTTP/1.1");
    EXPECT_NE(head.find("\r\nReferer: " + url +
                        "\r\nAccept: */*\r\nAccept-Language: zh-cn\r\n"
                        "Content-Type: application/x-www-form-urlencoded"),
              std::string::npos)
        << head;
    EXPECT_EQ(HeaderValues(head, "User-Agent"), std::vector<std::string>{Text(kDefaultAgent)});
    EXPECT_EQ(head.find("Cookie"), std::string::npos) << head;
    EXPECT_EQ(RequestBody(request), "");
}

// ---- header text: agent and default lines ----

// WinInet merges header lines by name, in any letter case, the later line replacing the earlier
// one; a caller's User-Agent line also replaces the agent given to InternetOpenA. So the server
// sees the caller's own agent line, and a lower-case referer line gives way to the Referer line
// that its case-sensitive search failed to see.
TEST(FetchWire, CallerHeadersAndAgent) {
    struct Case {
        const char* id;
        Text headers;
        std::vector<std::string> agentsOnWire;  // every User-Agent line the server sees
        std::vector<std::string> referers;      // every Referer line ("URL": the fetched URL)
    };
    const Case cases[] = {
        {"ua1", "user-agent: Low/1.0\r\nreferer: r0", {"Low/1.0"}, {"URL"}},
        {"ua2", "User-Agent: Solo/2", {"Solo/2"}, {"URL"}},
        {"ua3", "Referer: mine\r\nUser-Agent: Mid/3\r\nX-K: v", {"Mid/3"}, {"mine"}},
        {"ua4", "X-K: v\r\n", {Text(kDefaultAgent)}, {"URL"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        ScriptResponse(c.id, Ok("ok"));
        const Text url = FixtureUrl(c.id, "/x");
        Text headers = c.headers;
        EXPECT_EQ(AsString(FetchUrl(url, {.headers = &headers})), "ok");
        const std::string head = RequestHead(OnlyRequest(c.id));
        EXPECT_EQ(HeaderValues(head, "User-Agent"), c.agentsOnWire) << head;
        std::vector<std::string> referers = c.referers;
        for (auto& r : referers)
            if (r == "URL") r = url;
        EXPECT_EQ(HeaderValues(head, "Referer"), referers) << head;
        EXPECT_EQ(HeaderValues(head, "Accept-Language"), std::vector<std::string>{"zh-cn"}) << head;
        // The default lines went into the caller's variable.
        Text expected = c.headers;
        AppendDefaultHeaderLines(expected, url, "");
        EXPECT_EQ(headers, expected);
    }
}

// ---- request bodies ----

TEST(FetchWire, RequestBodies) {
    struct Case {
        const char* id;
        int method;
        const char* postText;
        std::optional<std::string> postBytesBefore;  // nullopt: argument absent
        const char* verb;
        const char* body;
    };
    const Case cases[] = {
        {"post1", 1, "a=1&b=%E4", std::string(), "POST", "a=1&b=%E4"},  // postText copied into postBytes
        {"post2", 1, "ignored", std::string("raw\0bytes", 9), "POST", "raw\0bytes"},
        {"post3", 2, "q=2", std::nullopt, "GET", "q=2"},  // method 2: GET with a body
        {"post4", 0, "never", std::string(), "GET", ""},  // method 0 sends no body
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        ScriptResponse(c.id, Ok("done"));
        Bytes postBytes;
        if (c.postBytesBefore) postBytes.assign(c.postBytesBefore->begin(), c.postBytesBefore->end());
        FetchOptions options{.method = c.method, .postText = c.postText};
        if (c.postBytesBefore) options.postBytes = &postBytes;
        EXPECT_EQ(AsString(FetchUrl(FixtureUrl(c.id, "/f"), options)), "done");
        const std::string request = OnlyRequest(c.id);
        const std::string body(c.body, std::string_view(c.id) == "post2" ? 9 : std::strlen(c.body));
        EXPECT_EQ(RequestLine(request), std::string(c.verb) + " /" + c.id + "/f HTTP/1.1");
        EXPECT_EQ(RequestBody(request), body);
        if (c.postBytesBefore && c.method != 0) {
            EXPECT_EQ(AsString(postBytes), body);
        }
        if (c.method == 0) {
            EXPECT_TRUE(postBytes.empty());
        }
    }
}

// ---- cookies ----

TEST(FetchWire, CookiesSentAndMerged) {
    ScriptResponse("ck1", Ok("c", "Set-Cookie: b=3; path=/\r\nSet-Cookie: c=4\r\nSet-Cookie: a=deleted; path=/\r\n"));
    Text cookies = "a=1; b=2; d=5";
    Text returned;
    Text headers;
    EXPECT_EQ(
        AsString(FetchUrl(FixtureUrl("ck1"), {.cookies = &cookies, .returnedCookies = &returned, .headers = &headers})),
        "c");
    const std::string head = RequestHead(OnlyRequest("ck1"));
    EXPECT_EQ(HeaderValues(head, "Cookie"), std::vector<std::string>{"a=1; b=2; d=5"}) << head;
    EXPECT_EQ(cookies, "b=3; ; d=5");        // the empty entry of "c=4" leads the rest
    EXPECT_EQ(returned, "b=3;;a=deleted;");  // "c=4" had no ';' behind it: an empty entry
    EXPECT_TRUE(headers.ends_with("\r\nCookie: a=1; b=2; d=5"));
}

// Supplying `cookies` switches WinInet's own cookie store off: a cookie WinInet kept from an
// earlier response is sent when `cookies` is absent and not when it is supplied (even empty).
TEST(FetchWire, SuppliedCookiesBypassWinInetStore) {
    ScriptResponse("jar", Ok("set", "Set-Cookie: wjar=kept; path=/jar\r\n"));
    FetchUrl(FixtureUrl("jar", "/set"));
    FetchUrl(FixtureUrl("jar", "/absent"));
    Text empty;
    Text returned;
    FetchUrl(FixtureUrl("jar", "/supplied"), {.cookies = &empty, .returnedCookies = &returned});
    const auto requests = RecordedRequests("jar");
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(HeaderValues(RequestHead(requests[1]), "Cookie"), std::vector<std::string>{"wjar=kept"}) << requests[1];
    EXPECT_EQ(HeaderValues(RequestHead(requests[2]), "Cookie"), std::vector<std::string>{}) << requests[2];
    EXPECT_EQ(empty, "wjar=kept");  // the empty cookie text takes what the response set
}

// ---- Location, Content-Location, raw headers ----

TEST(FetchWire, LocationAndRawHeaders) {
    ScriptResponse("loc1", HttpResponse("HTTP/1.1 200 OK", "Content-Location: /c/1\r\nX-A: 1\r\n", "b"));
    ScriptResponse("loc2", HttpResponse("HTTP/1.1 200 OK", "X-A: 2\r\n", "b"));
    Text location, raw;
    FetchUrl(FixtureUrl("loc1"), {.location = &location, .rawHeaders = &raw});
    EXPECT_EQ(location, "/c/1");
    EXPECT_TRUE(raw.starts_with("HTTP/1.1 200 OK\r\n")) << raw;
    EXPECT_NE(raw.find("\r\nX-A: 1\r\n"), std::string::npos) << raw;
    EXPECT_TRUE(raw.ends_with("\r\n\r\n")) << raw;

    location.clear();
    FetchUrl(FixtureUrl("loc2"), {.location = &location, .rawHeaders = &raw});
    EXPECT_EQ(location, raw);  // no Location line: the whole raw header text
    EXPECT_NE(raw.find("X-A: 2"), std::string::npos);

    location = "kept";
    FetchUrl(FixtureUrl("loc2"), {.location = &location});
    EXPECT_EQ(location, "kept");  // a caller's text is not cleared before the scan
}

// ---- redirects ----

TEST(FetchWire, Follows301WithPathAppended) {
    const Text target = FixtureUrl("r301b");
    ScriptResponse("r301a", HttpResponse("HTTP/1.1 301 Moved Permanently",
                                         "Location: " + target + "\r\nSet-Cookie: s=1; path=/\r\n", "moved"));
    ScriptResponse("r301b", Ok("arrived"));
    const Text url = FixtureUrl("r301a", "/a?b=1");
    Text cookies = "k=0";
    Text location, headers;
    EXPECT_EQ(
        AsString(FetchUrl(url, {.cookies = &cookies, .headers = &headers, .location = &location, .noRedirect = true})),
        "arrived");
    EXPECT_EQ(HeaderValues(RequestHead(OnlyRequest("r301a")), "Cookie"), std::vector<std::string>{"k=0"});
    const std::string second = OnlyRequest("r301b");
    EXPECT_EQ(RequestLine(second), "GET /r301b/r301a/a?b=1 HTTP/1.1");
    const std::string head = RequestHead(second);
    EXPECT_EQ(HeaderValues(head, "Referer"), std::vector<std::string>{url});  // the first URL stays
    // One Cookie line, with the cookie text as merged after the 301.
    EXPECT_EQ(HeaderValues(head, "Cookie"), std::vector<std::string>{"s=1; k=0"}) << head;
    EXPECT_TRUE(headers.ends_with("\r\nCookie: s=1; k=0"));
    EXPECT_TRUE(location.starts_with("HTTP/1.1 200 OK\r\n")) << location;  // the last response's
}

TEST(FetchWire, OnlyHttp11Status301IsFollowedByHand) {
    struct Case {
        const char* id;
        const char* statusLine;
    };
    const Case cases[] = {{"n302", "HTTP/1.1 302 Found"}, {"n10", "HTTP/1.0 301 Moved Permanently"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        const std::string target = std::string(c.id) + "to";
        ScriptResponse(c.id, HttpResponse(c.statusLine, "Location: " + FixtureUrl(target) + "\r\n", "here"));
        ScriptResponse(target, Ok("there"));
        Text location;
        EXPECT_EQ(AsString(FetchUrl(FixtureUrl(c.id), {.location = &location, .noRedirect = true})), "here");
        EXPECT_EQ(location, FixtureUrl(target));
        EXPECT_TRUE(RecordedRequests(target).empty());
    }
}

// Without noRedirect WinInet follows a 302 itself (no path appended) and reports the final response.
TEST(FetchWire, WinInetFollowsWithoutNoRedirect) {
    ScriptResponse("w302", HttpResponse("HTTP/1.1 302 Found", "Location: " + FixtureUrl("w302to", "/t") + "\r\n", "x"));
    ScriptResponse("w302to", Ok("final"));
    Text raw;
    EXPECT_EQ(AsString(FetchUrl(FixtureUrl("w302", "/a"), {.rawHeaders = &raw})), "final");
    EXPECT_EQ(RequestLine(OnlyRequest("w302to")), "GET /w302to/t HTTP/1.1");
    EXPECT_TRUE(raw.starts_with("HTTP/1.1 200 OK")) << raw;
}

// Ten nested 301 follows are made; an eleventh is not: the result is empty.
TEST(FetchWire, RedirectBound) {
    const auto chain = [](const std::string& prefix, int follows) {
        for (int i = 0; i < follows; ++i)
            ScriptResponse(prefix + std::to_string(i),
                           HttpResponse("HTTP/1.1 301 Moved Permanently",
                                        "Location: " + FixtureUrl(prefix + std::to_string(i + 1)) + "\r\n", ""));
        ScriptResponse(prefix + std::to_string(follows), Ok("end of " + prefix));
        return FetchUrl(FixtureUrl(prefix + "0", "/p"), {.noRedirect = true});
    };
    EXPECT_EQ(AsString(chain("ten", 10)), "end of ten");
    // Each follow appends the path it came from; with `headers` absent the chain still keeps one
    // header text, so the Referer stays the first URL.
    const std::string last = OnlyRequest("ten10");
    EXPECT_EQ(RequestLine(last), "GET /ten10/ten9/ten8/ten7/ten6/ten5/ten4/ten3/ten2/ten1/ten0/p HTTP/1.1");
    EXPECT_EQ(HeaderValues(RequestHead(last), "Referer"), std::vector<std::string>{FixtureUrl("ten0", "/p")});

    EXPECT_EQ(AsString(chain("eleven", 11)), "");
    EXPECT_EQ(RecordedRequests("eleven10").size(), 1u);
    EXPECT_TRUE(RecordedRequests("eleven11").empty());

    // A server that answers 301 for ever: 1 + 10 requests, then an empty result.
    ScriptResponse("loop",
                   HttpResponse("HTTP/1.1 301 Moved Permanently", "Location: " + FixtureUrl("loop") + "\r\n", ""));
    Text location = "before";
    EXPECT_EQ(AsString(FetchUrl(FixtureUrl("loop"), {.location = &location, .noRedirect = true})), "");
    EXPECT_EQ(RecordedRequests("loop").size(), 11u);
    EXPECT_EQ(location, "");
}

// A bare-path Location gives a URL without host: the nested request fails, the result is empty.
TEST(FetchWire, BarePathLocationFails) {
    ScriptResponse("bare", HttpResponse("HTTP/1.1 301 Moved Permanently", "Location: /bare/next\r\n", "b"));
    EXPECT_EQ(AsString(FetchUrl(FixtureUrl("bare", "/x"), {.noRedirect = true})), "");
    EXPECT_EQ(RecordedRequests("bare").size(), 1u);
}

// ---- charset rule and decoding ----

TEST(FetchWire, CharsetRule) {
    const auto markerAt = [](int position, const std::string& marker) {
        return std::string(static_cast<std::size_t>(position - 1), ' ') + marker + kChineseUtf8;
    };
    struct Case {
        const char* id;
        std::string body;
        std::string headerLines;
        bool decoded;
    };
    const Case cases[] = {
        {"cs499", markerAt(499, "charset=utf-8"), "", true},
        {"cs500", markerAt(500, "charset=utf-8"), "", false},
        {"cs500h", markerAt(500, "charset=utf-8"), "Content-Type: text/html; charset=utf-8\r\n", true},
        {"csup", markerAt(1, "charset=UTF-8"), "Content-Type: text/html; charset=UTF-8\r\n", false},
        {"cshdr", kChineseUtf8, "Content-Type: text/html;charset=utf-8\r\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        ScriptResponse(c.id, Ok(c.body, c.headerLines));
        std::string expected = c.body;
        if (c.decoded) expected.replace(expected.size() - kChineseUtf8.size(), kChineseUtf8.size(), kChineseGbk);
        EXPECT_EQ(AsString(FetchUrl(FixtureUrl(c.id))), expected);
    }
}

TEST(FetchWire, Utf8PageDecodedToGbk) {
    const std::string page =
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
        "</head><body><h1>" +
        kChineseUtf8 + "</h1></body></html>";
    ScriptResponse("page", Ok(page));
    const std::string expected =
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
        "</head><body><h1>" +
        kChineseGbk + "</h1></body></html>";
    EXPECT_EQ(AsString(FetchUrl(FixtureUrl("page"))), expected);
}

TEST(CodePage, Utf8Conversions) {
    const Bytes utf8(kChineseUtf8.begin(), kChineseUtf8.end());
    // 免 费 代 理 I P 列 表 as UTF-16LE
    const std::string utf16("\x4D\x51\x39\x8D\xE3\x4E\x06\x74I\0P\0\x17\x52\x68\x88", 16);
    EXPECT_EQ(AsString(Utf8ToUtf16(utf8)), utf16);
    EXPECT_EQ(AsString(Utf8ToGbk(utf8)), kChineseGbk);
    EXPECT_TRUE(Utf8ToGbk({}).empty());
    // A zero byte is data, not an end.
    const Bytes withZero = {'a', 0, 'b'};
    EXPECT_EQ(AsString(Utf8ToGbk(withZero)), std::string("a\0b", 3));
    // Not representable in GBK: the code page's default character.
    const std::string snowman = "\xE2\x98\x83";
    EXPECT_EQ(AsString(Utf8ToGbk(Bytes(snowman.begin(), snowman.end()))), "?");
}

// ---- proxy ----

// The request goes to the proxy in absolute form; the target port is closed, so only a request
// through the proxy can succeed.
TEST(FetchWire, ThroughProxy) {
    ScriptResponse("pxy", Ok("via proxy"));
    const Text target = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/pxy/x?y=1";
    const Text proxy = "127.0.0.1:" + std::to_string(FixturePort());
    EXPECT_EQ(AsString(FetchUrl(target, {.proxy = proxy})), "via proxy");
    const std::string request = OnlyRequest("pxy");
    EXPECT_EQ(RequestLine(request), "GET " + target + " HTTP/1.1");
    EXPECT_EQ(HeaderValues(RequestHead(request), "Referer"), std::vector<std::string>{target});
}

// An empty proxy text still opens WinInet in proxy mode, with the list "http=": WinInet accepts
// it and (under Wine) goes direct.
TEST(FetchWire, EmptyProxy) {
    ScriptResponse("pxe", Ok("direct"));
    EXPECT_EQ(AsString(FetchUrl(FixtureUrl("pxe", "/e"), {.proxy = Text()})), "direct");
    EXPECT_EQ(RequestLine(OnlyRequest("pxe")), "GET /pxe/e HTTP/1.1");
}

// ---- failures ----

TEST(FetchWire, ClosedPort) {
    const Text url = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/x";
    Text cookies = "a=1;  a=1; b=2";
    Text returned = "old", headers, location, raw = "old";
    EXPECT_TRUE(FetchUrl(url, {.cookies = &cookies,
                               .returnedCookies = &returned,
                               .headers = &headers,
                               .location = &location,
                               .rawHeaders = &raw})
                    .empty());
    EXPECT_EQ(raw, "");
    EXPECT_EQ(location, "");
    EXPECT_EQ(returned, "");
    EXPECT_EQ(cookies, "a=1; b=2");  // the merge still ran
    Text expected;
    AppendDefaultHeaderLines(expected, url, "a=1;  a=1; b=2");
    EXPECT_EQ(headers, expected);
}

// The bytes that arrived before a reset are the result.
TEST(FetchWire, ResetMidBody) {
    const std::string body(3000, 'r');
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\nConnection: close\r\n\r\n";
    ScriptResponse("reset", head + body + std::string(97000, 'z'),
                   "reset " + std::to_string(head.size() + body.size()));
    Text raw;
    const Bytes got = FetchUrl(FixtureUrl("reset"), {.rawHeaders = &raw});
    EXPECT_EQ(got.size(), body.size());
    EXPECT_EQ(AsString(got), body);
    EXPECT_TRUE(raw.starts_with("HTTP/1.1 200 OK\r\n")) << raw;
}

// A header block beyond 5000 bytes is read whole: its late Set-Cookie and Location lines count
// and the 301 is still followed. (Wine cuts a single header line at 4095 bytes, so the block is
// made of several lines.)
TEST(FetchWire, LargeHeaderBlock) {
    std::string pad;
    for (int i = 0; i < 4; ++i) pad += "X-Pad-" + std::to_string(i) + ": " + std::string(1500, 'p') + "\r\n";
    ScriptResponse("big",
                   HttpResponse("HTTP/1.1 301 Moved Permanently",
                                pad + "Set-Cookie: late=1; path=/\r\nLocation: " + FixtureUrl("bigto") + "\r\n", ""));
    ScriptResponse("bigto", Ok("past the pad"));
    Text cookies, raw;
    EXPECT_EQ(AsString(FetchUrl(FixtureUrl("big"), {.cookies = &cookies, .noRedirect = true, .rawHeaders = &raw})),
              "past the pad");
    EXPECT_EQ(cookies, "late=1");
    EXPECT_EQ(RequestLine(OnlyRequest("bigto")), "GET /bigto/big HTTP/1.1");

    ScriptResponse("big2", HttpResponse("HTTP/1.1 200 OK", pad + "X-Last: end\r\n", "b"));
    FetchUrl(FixtureUrl("big2"), {.rawHeaders = &raw});
    EXPECT_GT(raw.size(), 6000u);
    EXPECT_NE(raw.find("\r\nX-Last: end\r\n"), std::string::npos) << raw.substr(raw.size() - 100);
}

}  // namespace
