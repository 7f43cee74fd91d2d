// The portable part of FetchUrl: URL decomposition, header-text helpers, the decisions taken
// around the WinInet calls (agent, default header lines, request flags, header scan, redirect
// test, charset rule) and the cookie merge. Builds natively so all of it is tested with g++.
#pragma once

#include <cstdint>

#include "text/text.h"

// ---- small text helpers ----

// The text between the first startDelimiter (at or after startPosition; 0 or 1: from the first
// byte) and the first endDelimiter behind it; empty when either is missing. "#引号" in a delimiter
// stands for a double quote. Ignores ASCII letter case unless caseSensitive.
Text CutBetween(std::string_view text, std::string_view startDelimiter, std::string_view endDelimiter,
                int startPosition = 0, bool caseSensitive = false);

// The trimmed text after the first ':', or empty when there is none.
Text ValueAfterColon(std::string_view text);

// ---- URL decomposition (a URL without scheme is http) ----

// Lower-cased host; lastTwoLabels keeps only "label.label", keepPort keeps ":port".
Text UrlHost(std::string_view url, bool lastTwoLabels = false, bool keepPort = false);
// The explicit port, else 443 for https and 80 otherwise.
int UrlPort(std::string_view url);
// From the first '/' after the host to the end (query included, own letter case); "/" when none.
Text UrlPath(std::string_view url);

// ---- FetchUrl decisions ----

// Sent when the caller's header text holds no User-Agent line.
constexpr std::string_view kDefaultAgent =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1; Vorn5; .NET CLR 2.0.50727; .NET CLR 3.0.04506.648; "
    ".NET CLR 3.5.21022)";

// The agent handed to InternetOpenA for this header text.
Text FetchAgent(std::string_view headers);

// Appends the missing default lines (Referer, Accept, Accept-Language, Content-Type; each looked
// up case-sensitively) to the header text, then a Cookie line when the cookie text is not empty.
void AppendDefaultHeaderLines(Text& headers, std::string_view url, std::string_view cookies);

// The header text of one request of a redirect chain. A followed request starts from the header
// text the previous one left; the Cookie line that request appended (cookieLine, still at the
// end) is taken off first so the request carries one Cookie line with the current cookie text.
// cookieLine becomes the line this request appends (empty when none).
void PrepareRequestHeaders(Text& headers, std::string_view url, std::string_view cookies, Text& cookieLine);

// The WinInet flags of one request.
constexpr std::uint32_t kFlagReload = 0x80000000;             // INTERNET_FLAG_RELOAD
constexpr std::uint32_t kFlagNeedFile = 0x10;                 // INTERNET_FLAG_NEED_FILE
constexpr std::uint32_t kFlagNoCookies = 0x80000;             // INTERNET_FLAG_NO_COOKIES
constexpr std::uint32_t kFlagNoAutoRedirect = 0x200000;       // INTERNET_FLAG_NO_AUTO_REDIRECT
constexpr std::uint32_t kFlagSecure = 0x800000;               // INTERNET_FLAG_SECURE
constexpr std::uint32_t kFlagIgnoreRedirectToHttps = 0x4000;  // INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS
std::uint32_t RequestFlags(std::string_view url, bool cookiesSupplied, bool noRedirect);

// Walks the raw response header lines: a line containing "Location:" sets location (the last
// one wins), each line containing "Set-Cookie" adds its leading name=value and "; " to
// returnedCookies, which starts empty.
void ScanResponseHeaders(std::string_view rawHeaders, Text& location, Text& returnedCookies);

// True when the raw headers read as "HTTP/1.1 301 Moved...": the only redirect followed by hand.
bool IsMovedPermanently(std::string_view rawHeaders);

// The URL of the followed request: the Location value with the old URL's path appended.
Text RedirectUrl(std::string_view location, std::string_view url);

// Highest 1-based body position at which "charset=utf-8" still counts.
constexpr int kCharsetScanLimit = 499;
// The body is UTF-8 when "charset=utf-8" starts at body position 1..499, or else appears in
// the raw headers. Only that lower-case spelling counts.
bool BodyIsUtf8(const Bytes& body, std::string_view rawHeaders);

// ---- cookie merge ----

// The trimmed text before the entry's first '=', or the whole trimmed entry without one.
Text CookieName(std::string_view entry);
// True when some entry of list has this exact name.
bool HasCookieName(const TextArray& list, std::string_view name);
// True when some entry equals text byte for byte.
bool ListContains(const TextArray& list, std::string_view text);
// The pieces of text between separators, first occurrences only, joined by the separator.
Text JoinDistinct(std::string_view text, std::string_view separator);
// Merges the response's cookies into the caller's: response entries first, then the caller's
// entries it did not name; "=deleted" entries and exact repeats dropped. Both in/out: cookies
// gets the merged text, returnedCookies loses its spaces. Returns a copy of the merged text.
Text MergeCookies(Text& cookies, Text& returnedCookies);
