// FetchUrl over WinInet. The decisions around the calls live in http_core.cpp; this file makes
// the calls, reads the body and the raw header block, and follows 301 responses itself.
#include "http/fetch.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>

#include "http/codepage.h"
#include "http/http_core.h"
#include "text/owned_handle.h"

namespace {

constexpr DWORD kReadChunk = 1024;
constexpr DWORD kHeaderBuffer = 5000;  // first try; a larger block is read with the size WinInet asks for
// Room reserved ahead of the body from its announced length, at most: beyond it the buffer grows
// with the bytes that really arrive. A Content-Length is the server's word; ten workers of the
// 32-bit program must not be pushed to the allocation failure by headers alone.
constexpr DWORD kMaxReserve = 1024 * 1024;
// Redirects one FetchUrl call follows, its own 301 follows and WinInet's automatic ones together:
// a server answering 301 for ever must not be asked without end.
constexpr int kMaxFollows = 10;

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
    int follows = 0;  // redirects followed so far, by hand and by WinInet
};

// Without INTERNET_FLAG_NO_AUTO_REDIRECT WinInet follows redirects itself, inside HttpSendRequestA,
// and under Wine without any bound of its own: a 301 naming its own URL is asked for again and
// again. The request's status callback counts those redirects into the chain's count. Past the
// bound WinInet must send nothing more; closing the handle is the documented cancel, but Wine
// goes on regardless, and nothing else a callback may do stops its loop. So the send runs on a
// thread of its own, and at the bound the callback tells the fetch and never returns: the fetch
// gives the request up at once (empty result, like its own bound), and the sending thread waits
// in the callback until the process ends, holding the request's handles.
struct FollowGuard {
    std::atomic<int> follows;
    HANDLE boundReached;  // manual-reset event
};

void CALLBACK CountRedirects(HINTERNET, DWORD_PTR context, DWORD status, LPVOID, DWORD) {
    if (status != INTERNET_STATUS_REDIRECT) return;
    auto* guard = reinterpret_cast<FollowGuard*>(context);
    if (guard->follows.fetch_add(1) + 1 <= kMaxFollows) return;
    SetEvent(guard->boundReached);
    // `guard` may be gone from here on. Returning would let WinInet send the next request.
    for (;;) Sleep(INFINITE);
}

struct SendJob {
    HINTERNET request;
    const char* headers;
    DWORD headersLength;
    void* optional;
    DWORD optionalLength;
};

DWORD WINAPI SendRequest(LPVOID parameter) {
    const SendJob job = *static_cast<const SendJob*>(parameter);
    return HttpSendRequestA(job.request, job.headers, job.headersLength, job.optional, job.optionalLength) ? 1 : 0;
}

enum class Sent { kYes, kFailed, kGivenUp };

// HttpSendRequestA with WinInet's own redirects counted into chain.follows and bounded (see
// FollowGuard); the request was opened with `guard` as its context.
Sent SendFollowingAtMostTheBound(const SendJob& job, FollowGuard& guard, Chain& chain) {
    guard.follows.store(chain.follows);
    InternetSetStatusCallbackA(job.request, CountRedirects);
    HANDLE thread = CreateThread(nullptr, 0, SendRequest, const_cast<SendJob*>(&job), 0, nullptr);
    if (!thread) return Sent::kFailed;
    const HANDLE waitFor[] = {thread, guard.boundReached};
    const DWORD which = WaitForMultipleObjects(2, waitFor, FALSE, INFINITE);
    DWORD ok = 0;
    if (which == WAIT_OBJECT_0) GetExitCodeThread(thread, &ok);
    CloseHandle(thread);  // a parked sender keeps running without it
    chain.follows = guard.follows.load();
    if (which != WAIT_OBJECT_0) return Sent::kGivenUp;
    return ok ? Sent::kYes : Sent::kFailed;
}

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
    // Outlives the handles: WinInet calls CountRedirects with it until the request is closed.
    OwnedHandle<HANDLE, CloseHandle> boundReached(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    FollowGuard guard{{0}, boundReached.get()};
    // The guard is the request's context: callbacks come only for a non-zero one.
    InetHandle request(HttpOpenRequestA(connection.get(), verb, path.c_str(), "HTTP/1.1", nullptr, nullptr, flags,
                                        reinterpret_cast<DWORD_PTR>(&guard)));
    if (!request) return {};

    Text& headers = *chain.headers;
    PrepareRequestHeaders(headers, url, *chain.cookies, chain.cookieLine);

    static char empty[] = "";
    SendJob job{request.get(), headers.c_str(), static_cast<DWORD>(headers.size()), empty, 0};
    if (o.method != 0) {
        Bytes& postBytes = *chain.postBytes;
        if (postBytes.empty()) postBytes = ToBytes(o.postText);
        job.optional = postBytes.empty() ? nullptr : postBytes.data();
        job.optionalLength = static_cast<DWORD>(postBytes.size());
    }
    Sent outcome = Sent::kFailed;  // also when WinInet's redirects cannot be bounded (no event)
    if (o.noRedirect)
        outcome = HttpSendRequestA(job.request, job.headers, job.headersLength, job.optional, job.optionalLength)
                      ? Sent::kYes
                      : Sent::kFailed;
    else if (boundReached)
        outcome = SendFollowingAtMostTheBound(job, guard, chain);
    if (outcome == Sent::kGivenUp) {
        // The parked sender is still inside WinInet with these handles; they end with the process.
        request.release();
        connection.release();
        root.release();
    }
    const bool sent = outcome == Sent::kYes;

    Bytes body;
    Text raw;
    // A failed send leaves no response: no body, no header block (Wine would still answer the
    // header query, with "\r\n").
    if (sent) {
        // Room for the announced length up front, up to kMaxReserve, so a large body is not copied
        // again at each doubling of the buffer; past that it grows with what arrives.
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
        if (chain.follows >= kMaxFollows) return {};
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
