// FetchUrl: the program's HTTP client over WinInet (GET or POST, default agent and header lines,
// caller-held cookies, its own following of 301 responses, UTF-8 pages decoded to GBK).
#pragma once

#include <optional>

#include "text/text.h"

// The optional arguments. An in/out or output argument is the caller's own variable, passed by
// pointer: nullptr is "absent" (what the routine would write there is discarded), a pointer to an
// empty Text is "supplied, empty". `proxy` acts by presence, so it is an optional value.
struct FetchOptions {
    int method = 0;                   // 1: POST; any other value GET; non-zero sends a body
    Text postText{};                  // body as text, used when *postBytes is empty
    Text* cookies = nullptr;          // in/out: sent as a Cookie line; replaced by the merge
    Text* returnedCookies = nullptr;  // out: the response's cookies, "name=value; " each
    Text* headers = nullptr;          // in/out: extra header lines; the default lines are appended
    Text* location = nullptr;         // out: the Location value, or the raw headers when none
    bool noRedirect = false;          // WinInet does not follow redirects itself
    Bytes* postBytes = nullptr;       // in/out: body as bytes
    std::optional<Text> proxy{};      // HTTP proxy host:port; presence selects proxy access
    Text* rawHeaders = nullptr;       // out: the raw response header block
};

// Returns the response body (decoded from UTF-8 to GBK when the page says charset=utf-8), or
// empty bytes on failure. Blocks until the body is read or a step fails.
Bytes FetchUrl(const Text& url, const FetchOptions& options = {});
