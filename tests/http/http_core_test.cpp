// The portable decisions of FetchUrl and the cookie merge, as tables.
#include <gtest/gtest.h>

#include "http/http_core.h"

namespace {

const Text kUrl = "http://h.test/p?q=1";
const Text kDefaultLines =
    "\r\nAccept: */*\r\nAccept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded";

TEST(CutBetween, CutsBetweenStartAndTheNextEndIgnoringCaseByDefault) {
    struct Case {
        const char* text;
        const char* start;
        const char* end;
        int startPosition;
        bool caseSensitive;
        const char* expected;
    };
    const Case cases[] = {
        {"a[x]b", "[", "]", 0, false, "x"},
        {"]x[y]", "[", "]", 0, false, "y"},                                // end searched behind the start
        {"User-agent: Foo\r\n", "USER-AGENT:", "\r\n", 0, false, " Foo"},  // ignores case by default
        {"User-agent: Foo\r\n", "USER-AGENT:", "\r\n", 0, true, ""},
        {"a[x", "[", "]", 0, false, ""},
        {"ax]", "[", "]", 0, false, ""},
        {"[a][b]", "[", "]", 1, false, "a"},
        {"[a][b]", "[", "]", 2, false, "b"},
        {"[]", "[", "]", 0, false, ""},
        {"href=\"u.html\" x", "href=#\xD2\xFD\xBA\xC5", "#\xD2\xFD\xBA\xC5", 0, false, "u.html"},  // #引号 is a quote
        {"\x81[a]", "[", "]", 0, false, ""},  // '[' as the trail byte of a GBK character is no match
        {"\xB0\xA1[a]", "[", "]", 0, false, "a"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CutBetween(c.text, c.start, c.end, c.startPosition, c.caseSensitive), c.expected)
            << c.text << " | " << c.start << " | " << c.end << " | " << c.startPosition;
}

TEST(ValueAfterColon, TrimmedTextAfterTheFirstColon) {
    EXPECT_EQ(ValueAfterColon("Location: http://a.test:81/x "), "http://a.test:81/x");
    EXPECT_EQ(ValueAfterColon("Content-Location:/y"), "/y");
    EXPECT_EQ(ValueAfterColon("no colon"), "");
    EXPECT_EQ(ValueAfterColon("X:"), "");
    EXPECT_EQ(ValueAfterColon("X: \xA1\xA1v\xA1\xA1"), "v");  // full-width spaces trimmed too
}

TEST(UrlParts, HostPortAndPathOfFullAndBareUrls) {
    struct Case {
        const char* url;
        const char* host;
        const char* lastTwo;
        const char* hostPort;
        int port;
        const char* path;
    };
    const Case cases[] = {
        {"http://www.Example.com/a/B?c=D", "www.example.com", "example.com", "www.example.com", 80, "/a/B?c=D"},
        {"www.example.com", "www.example.com", "example.com", "www.example.com", 80, "/"},
        {"www.example.com/X", "www.example.com", "example.com", "www.example.com", 80, "/X"},
        {"HTTPS://Host:8443/X?y", "host", "host", "host:8443", 8443, "/X?y"},
        {"https://a.b.c.d:99/", "a.b.c.d", "c.d", "a.b.c.d:99", 99, "/"},
        {"https://secure.test/p", "secure.test", "secure.test", "secure.test", 443, "/p"},
        {"127.0.0.1:8080/x?a=/b", "127.0.0.1", "0.1", "127.0.0.1:8080", 8080, "/x?a=/b"},
        {"http://h.test", "h.test", "h.test", "h.test", 80, "/"},
        {"http://h.test?x=1", "h.test?x=1", "h.test?x=1", "h.test?x=1", 80, "/"},  // no '/': the query joins the host
        {"/bare/path", "", "", "", 80, "/bare/path"},  // a bare path has no host; its path is itself
        // The path starts behind the host, also when the host's text occurs in the scheme.
        {"http://h/x?y", "h", "h", "h", 80, "/x?y"},
        {"https://s:8/p", "s", "s", "s:8", 8, "/p"},
        {"HTTP://TP", "tp", "tp", "tp", 80, "/"},
        {"http:///x", "", "", "", 80, "/x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(UrlHost(c.url), c.host);
        EXPECT_EQ(UrlHost(c.url, true), c.lastTwo);
        EXPECT_EQ(UrlHost(c.url, false, true), c.hostPort);
        EXPECT_EQ(UrlPort(c.url), c.port);
        EXPECT_EQ(UrlPath(c.url), c.path);
    }
}

TEST(FetchAgent, UserAgentHeaderValueOrTheDefault) {
    struct Case {
        const char* headers;
        Text expected;
    };
    const Case cases[] = {
        {"", Text(kDefaultAgent)},
        {"Accept: x", Text(kDefaultAgent)},
        {"User-Agent: Foo/1\r\nX: 1", "Foo/1"},
        {"X: 1\r\nuser-agent:  Bar \r\n", "Bar"},                 // search ignores case
        {"User-Agent: Solo", "Solo"},                             // last line, no CR LF: colon fallback
        {"X-A: 1\r\nUser-Agent: Last", "1\r\nUser-Agent: Last"},  // fallback takes the first colon of all
    };
    for (const Case& c : cases) EXPECT_EQ(FetchAgent(c.headers), c.expected) << c.headers;
}

TEST(DefaultHeaderLines, AddsRefererAndTheMissingDefaultHeaders) {
    struct Case {
        const char* headers;
        const char* cookies;
        Text expected;
    };
    const Case cases[] = {
        {"", "", "Referer: " + kUrl + kDefaultLines},
        {"X: 1", "", "X: 1\r\nReferer: " + kUrl + kDefaultLines},
        {"X: 1\r\n", "", "X: 1\r\n\r\nReferer: " + kUrl + kDefaultLines},      // nothing trimmed
        {"referer: r", "", "referer: r\r\nReferer: " + kUrl + kDefaultLines},  // searches are case-sensitive
        {"Referer: r\r\nAccept: a\r\nAccept-Language: l\r\nContent-Type: c", "",
         "Referer: r\r\nAccept: a\r\nAccept-Language: l\r\nContent-Type: c"},
        {"X: Accept: Content-Type:", "",
         "X: Accept: Content-Type:\r\nReferer: " + kUrl + "\r\nAccept-Language: zh-cn"},  // keys found anywhere
        {"", "a=1; b=2", "Referer: " + kUrl + kDefaultLines + "\r\nCookie: a=1; b=2"},
        {"Cookie: z=9", "a=1", "Cookie: z=9\r\nReferer: " + kUrl + kDefaultLines + "\r\nCookie: a=1"},
    };
    for (const Case& c : cases) {
        Text headers = c.headers;
        AppendDefaultHeaderLines(headers, kUrl, c.cookies);
        EXPECT_EQ(headers, c.expected) << c.headers << " | " << c.cookies;
    }
}

// Along a redirect chain the header text keeps its first Referer and one current Cookie line.
TEST(DefaultHeaderLines, ChainKeepsOneCurrentCookieLine) {
    Text headers = "Cookie: own=1";
    Text cookieLine;
    PrepareRequestHeaders(headers, kUrl, "a=1", cookieLine);
    const Text first = "Cookie: own=1\r\nReferer: " + kUrl + kDefaultLines;
    EXPECT_EQ(headers, first + "\r\nCookie: a=1");
    PrepareRequestHeaders(headers, "http://next.test/x", "b=2; a=1", cookieLine);
    EXPECT_EQ(headers, first + "\r\nCookie: b=2; a=1");
    PrepareRequestHeaders(headers, "http://third.test/x", "", cookieLine);
    EXPECT_EQ(headers, first);
    EXPECT_EQ(cookieLine, "");
    PrepareRequestHeaders(headers, "http://fourth.test/x", "c=3", cookieLine);
    EXPECT_EQ(headers, first + "\r\nCookie: c=3");
}

TEST(RequestFlags, FlagsFollowSchemeCookiesAndRedirects) {
    struct Case {
        const char* url;
        bool cookies;
        bool noRedirect;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {"http://h.test/", false, false, 0x80004010},  {"h.test/", false, false, 0x80004010},
        {"https://h.test/", false, false, 0x80800010}, {"HTTPS://h.test/", false, false, 0x80800010},
        {"http://h.test/", true, false, 0x80084010},   {"http://h.test/", false, true, 0x80204010},
        {"https://h.test/", true, true, 0x80A80010},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RequestFlags(c.url, c.cookies, c.noRedirect), c.expected) << c.url << c.cookies << c.noRedirect;
}

TEST(ScanResponseHeaders, LocationAndCookies) {
    const Text raw =
        "HTTP/1.1 302 Found\r\nLocation: http://a.test/1\r\nset-cookie: low=1; path=/\r\n"
        "Set-Cookie: s1=v1; path=/; HttpOnly\r\nlocation: http://lower.test/\r\nSet-Cookie: bare=2\r\n"
        "Content-Location: /content\r\nSet-Cookie:  sp = x y ;Max-Age=1\r\n\r\n";
    Text location = "old";
    Text returned = "stale";
    ScanResponseHeaders(raw, location, returned);
    EXPECT_EQ(location, "/content");  // the Content-Location line is the last "Location:" line
    EXPECT_EQ(returned, "s1=v1; ; sp = x y; ");
}

TEST(ScanResponseHeaders, NoLocationLeavesCallerText) {
    Text location = "caller's";
    Text returned;
    ScanResponseHeaders("HTTP/1.1 200 OK\r\nX: 1\r\n\r\n", location, returned);
    EXPECT_EQ(location, "caller's");
    EXPECT_EQ(returned, "");
}

TEST(Redirect, MovedPermanentlyTest) {
    EXPECT_TRUE(IsMovedPermanently("HTTP/1.1 301 Moved Permanently\r\nLocation: x\r\n\r\n"));
    EXPECT_TRUE(IsMovedPermanently("http/1.1 301 moved\r\n\r\n"));
    EXPECT_FALSE(IsMovedPermanently("HTTP/1.1 302 Found\r\nX: Moved\r\n\r\n"));
    EXPECT_FALSE(IsMovedPermanently("HTTP/1.0 301 Moved Permanently\r\n\r\n"));
    EXPECT_FALSE(IsMovedPermanently("HTTP/1.1 301 Gone Away\r\n\r\n"));
    EXPECT_FALSE(IsMovedPermanently(""));
    EXPECT_EQ(RedirectUrl("http://n.test:81/new", "http://old.test/a?b=1"), "http://n.test:81/new/a?b=1");
    EXPECT_EQ(RedirectUrl("http://n.test/", "http://old.test"), "http://n.test//");
}

TEST(Charset, Rule) {
    const auto bodyWithMarkerAt = [](int position, const char* marker = "charset=utf-8") {
        Bytes body(static_cast<std::size_t>(position - 1), 'x');
        const Bytes m = ToBytes(marker);
        body.insert(body.end(), m.begin(), m.end());
        return body;
    };
    EXPECT_TRUE(BodyIsUtf8(bodyWithMarkerAt(1), ""));
    EXPECT_TRUE(BodyIsUtf8(bodyWithMarkerAt(499), ""));
    EXPECT_FALSE(BodyIsUtf8(bodyWithMarkerAt(500), ""));
    EXPECT_TRUE(BodyIsUtf8(bodyWithMarkerAt(500), "Content-Type: text/html; charset=utf-8\r\n"));
    EXPECT_FALSE(BodyIsUtf8(bodyWithMarkerAt(1, "charset=UTF-8"), "Content-Type: text/html; charset=UTF-8\r\n"));
    Bytes withZeros = {0, 0, 0};  // a zero byte does not end the body search
    const Bytes m = ToBytes("charset=utf-8");
    withZeros.insert(withZeros.end(), m.begin(), m.end());
    EXPECT_TRUE(BodyIsUtf8(withZeros, ""));
    EXPECT_FALSE(BodyIsUtf8({}, ""));
}

TEST(CookieHelpers, NamesAndLists) {
    EXPECT_EQ(CookieName(" a = 1"), "a");
    EXPECT_EQ(CookieName("flag "), "flag");
    EXPECT_EQ(CookieName("=v"), "");
    EXPECT_EQ(CookieName("a=b=c"), "a");
    const TextArray list{{"A=1", "b=2"}};
    EXPECT_TRUE(HasCookieName(list, "A"));
    EXPECT_FALSE(HasCookieName(list, "a"));
    EXPECT_FALSE(HasCookieName(TextArray{}, ""));
    EXPECT_TRUE(ListContains(list, "b=2"));
    EXPECT_FALSE(ListContains(list, "b=2 "));
    EXPECT_EQ(JoinDistinct("a; b; a; c; b", "; "), "a; b; c");
    EXPECT_EQ(JoinDistinct("a; ; ; b", "; "), "a; ; b");
    EXPECT_EQ(JoinDistinct("x,,y,x", ","), "x,,y");
    EXPECT_EQ(JoinDistinct("", "; "), "");
}

TEST(MergeCookies, ReturnedCookiesReplaceOldOnesOfTheSameName) {
    struct Case {
        const char* cookies;
        const char* returned;
        const char* merged;
        const char* returnedAfter;
    };
    const Case cases[] = {
        {"a=1; b=2", "b=3; c=4; ", "b=3; c=4; a=1", "b=3;c=4;"},
        {"a=1; b=2", "a=deleted; ", "b=2", "a=deleted;"},
        {"a=deleted; b=2", "c=3; ", "c=3; b=2", "c=3;"},              // an old deleted entry goes too
        {"x=0", "a=1; a=2; a=1; ", "a=1; a=2; x=0", "a=1;a=2;a=1;"},  // same name twice stays; exact repeat not
        {"A=1", "a=2; ", "a=2; A=1", "a=2;"},                         // names are case-sensitive
        {"", "a=x y; ", "a=xy", "a=xy;"},
        {"b=2; a=1; b=3; a=1; c=deleted", "", "b=2; a=1", ""},  // first of each old name only
        {"a=1", "; ", "; a=1", ";"},                            // an empty response entry leads
        {"", "", "", ""},
        {"a=1", "", "a=1", ""},
    };
    for (const Case& c : cases) {
        Text cookies = c.cookies;
        Text returned = c.returned;
        const Text result = MergeCookies(cookies, returned);
        EXPECT_EQ(cookies, c.merged) << c.cookies << " + " << c.returned;
        EXPECT_EQ(result, cookies);
        EXPECT_EQ(returned, c.returnedAfter) << c.cookies << " + " << c.returned;
    }
}

}  // namespace
