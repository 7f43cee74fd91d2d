// FetchUrl over WinInet. The decisions around the calls live in http_core.cpp; this file makes
// the calls, reads the body and the raw header block, and follows 301 responses itself.
#include "http/fetch.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>

#include "http/codepage.h"
#include "http/http_core.h"
#include "text/owned_handle.h"

namespace {

constexpr DWORD kReadChunk = 1024;
constexpr DWORD kHeaderBuffer = 5000;  // first try; a larger block is read with the size WinInet asks for
constexpr DWORD kMaxReserve = 64 * 1024 * 1024;
constexpr int kMaxFollows = 10;        // a server answering 301 for ever must not nest without end

using InetHandle = OwnedHandle<HINTERNET, InternetCloseHandle>;

// One chain of requests: the first one and the 301 follows. Every follow works on the same
// variables: the caller's where supplied, otherwise the chain's own (discarded at the end).
// Presence of `cookies` and `proxy` stays what the first caller gave.
struct Chain {
    const FetchOptions& options;
    Text* cookies;
    bool cookiesSupplied;
    Text* returnedCookies;
    Text* headers;
    Text* location;
    Bytes* postBytes;
    Text* rawHeaders;
    Text cookieLine;  // the Cookie line the last request appended to *headers
    int follows = 0;
};

// The raw header block, whole: retried with the size WinInet asks for when 5000 bytes are too
// few. Empty when the query fails.
Text QueryRawHeaders(HINTERNET request) {
    DWORD size = kHeaderBuffer;
    for (int attempt = 0; attempt < 4; ++attempt) {
        Text buffer(size, ' ');
        DWORD length = size;
        if (HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, buffer.data(), &length, nullptr)) {
            const std::size_t nul = buffer.find('\0');
            if (nul != Text::npos) buffer.resize(nul);
            return buffer;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || length <= size) return {};
        size = length + 1;  // room for the terminating NUL, whichever way the size was counted
    }
    return {};
}

Bytes FetchInChain(const Text& url, Chain& chain) {
    const FetchOptions& o = chain.options;
    const char* verb = o.method == 1 ? "POST" : "GET";
    const Text agent = FetchAgent(*chain.headers);

    Text proxyList;
    if (o.proxy) proxyList = ConcatText({"http=", *o.proxy});
    InetHandle root(o.proxy ? InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_PROXY, proxyList.c_str(), "", 0)
                            : InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!root) return {};
    const Text host = UrlHost(url);
    InetHandle connection(InternetConnectA(root.get(), host.c_str(), static_cast<INTERNET_PORT>(UrlPort(url)), nullptr,
                                           nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return {};
    const DWORD flags = RequestFlags(url, chain.cookiesSupplied, o.noRedirect);
    const Text path = UrlPath(url);
    InetHandle request(
        HttpOpenRequestA(connection.get(), verb, path.c_str(), "HTTP/1.1", nullptr, nullptr, flags, 0));
    if (!request) return {};

    Text& headers = *chain.headers;
    PrepareRequestHeaders(headers, url, *chain.cookies, chain.cookieLine);

    BOOL sent;
    if (o.method != 0) {
        Bytes& postBytes = *chain.postBytes;
        if (postBytes.empty()) postBytes = ToBytes(o.postText);
        sent = HttpSendRequestA(request.get(), headers.c_str(), static_cast<DWORD>(headers.size()),
                                postBytes.empty() ? nullptr : postBytes.data(), static_cast<DWORD>(postBytes.size()));
    } else {
        static char empty[] = "";
        sent = HttpSendRequestA(request.get(), headers.c_str(), static_cast<DWORD>(headers.size()), empty, 0);
    }

    Bytes body;
    Text raw;
    // A failed send leaves no response: no body, no header block (Wine would still answer the
    // header query, with "\r\n").
    if (sent) {
        // Room for the announced length up front (bounded: the header is the server's word), so a
        // large body is not copied again at each doubling of the buffer.
        DWORD announced = 0, size = sizeof announced;
        if (HttpQueryInfoA(request.get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &announced, &size,
                           nullptr))
            body.reserve(std::min<DWORD>(announced, kMaxReserve));
        char chunk[kReadChunk];
        // The count decides, not the call's result: a failed read reports what it got (0 ends the
        // loop), and what came so far is the body.
        for (;;) {
            DWORD count = 0;
            InternetReadFile(request.get(), chunk, kReadChunk, &count);
            if (count == 0 || count > kReadChunk) break;
            body.insert(body.end(), chunk, chunk + count);
        }
        raw = QueryRawHeaders(request.get());
    }
    *chain.rawHeaders = raw;
    request.reset();
    connection.reset();
    root.reset();

    Text& location = *chain.location;
    ScanResponseHeaders(raw, location, *chain.returnedCookies);
    if (chain.cookiesSupplied) MergeCookies(*chain.cookies, *chain.returnedCookies);
    if (location.empty()) location = raw;

    if (IsMovedPermanently(raw)) {
        const Text next = RedirectUrl(location, url);
        location.clear();
        if (chain.follows == kMaxFollows) return {};
        ++chain.follows;
        return FetchInChain(next, chain);
    }
    if (BodyIsUtf8(body, raw)) body = Utf8ToGbk(body);
    return body;
}

}  // namespace

Bytes FetchUrl(const Text& url, const FetchOptions& options) {
    Text cookies, returnedCookies, headers, location, rawHeaders;
    Bytes postBytes;
    Chain chain{.options = options,
                .cookies = options.cookies ? options.cookies : &cookies,
                .cookiesSupplied = options.cookies != nullptr,
                .returnedCookies = options.returnedCookies ? options.returnedCookies : &returnedCookies,
                .headers = options.headers ? options.headers : &headers,
                .location = options.location ? options.location : &location,
                .postBytes = options.postBytes ? options.postBytes : &postBytes,
                .rawHeaders = options.rawHeaders ? options.rawHeaders : &rawHeaders,
                .cookieLine = {}};
    return FetchInChain(url, chain);
}
