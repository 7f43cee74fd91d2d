// Portable decisions of FetchUrl and the URL and header-text helpers. See http_core.h.
#include "http/http_core.h"

namespace {

constexpr bool kIgnoreCase = true;

// "#引号" (GBK): lets a delimiter written in source carry a double quote.
constexpr std::string_view kQuoteMark = "#\xD2\xFD\xBA\xC5";

bool Contains(std::string_view text, std::string_view key) { return FindText(text, key) > 0; }

}  // namespace

Text CutBetween(std::string_view text, std::string_view startDelimiter, std::string_view endDelimiter,
                int startPosition, bool caseSensitive) {
    const Text start = ReplaceText(startDelimiter, kQuoteMark, "\"", std::nullopt, std::nullopt, true);
    const Text end = ReplaceText(endDelimiter, kQuoteMark, "\"", std::nullopt, std::nullopt, true);
    return TextBetweenMarkers(text, start, end, EndMarkerSearch::kAfterStartMarker, startPosition, !caseSensitive);
}

Text ValueAfterColon(std::string_view text) {
    const int p = FindText(text, ":");
    if (p == -1) return {};
    return TrimBoth(TextRight(text, TextLength(text) - p));
}

Text UrlHost(std::string_view url, bool lastTwoLabels, bool keepPort) {
    Text v = ToLower(url);
    if (TextRight(v, 1) != "/") v += "/";
    if (TextLeft(v, 8) == "https://") {
        v = CutBetween(v, "https://", "/");
    } else {
        if (!Contains(v, "http://")) v = "http://" + v;
        v = CutBetween(v, "http://", "/");
    }
    if (lastTwoLabels) {
        const TextArray parts = SplitText(v, ".");
        const int n = ArrayCount(parts);
        if (n > 1) v = ConcatText({ArrayItem(parts, n - 1), ".", ArrayItem(parts, n)});
    }
    if (keepPort) return v;
    const int p = FindText(v, ":");
    return p == -1 ? v : TextLeft(v, p - 1);
}

int UrlPort(std::string_view url) {
    const Text hostPort = UrlHost(url, false, true);
    const int colon = FindTextReverse(hostPort, ":");
    if (colon != -1) return ToInt(TextRight(hostPort, TextLength(hostPort) - colon));
    return ToLower(TextLeft(url, 5)) == "https" ? 443 : 80;
}

Text UrlPath(std::string_view url) {
    const Text host = UrlHost(url);
    // The host is looked for behind the scheme: a host such as "h" or "s" also occurs in "https://".
    const Text scheme = ToLower(TextLeft(url, 8));
    const int from = scheme == "https://" ? 9 : (TextLeft(scheme, 7) == "http://" ? 8 : 1);
    const int a = host.empty() ? from : FindText(url, host, from, kIgnoreCase);
    const int b = FindText(url, "/", a, kIgnoreCase);
    if (b == -1) return "/";
    return TextRight(url, TextLength(url) - b + 1);
}

Text FetchAgent(std::string_view headers) {
    if (FindText(headers, "User-Agent:", std::nullopt, kIgnoreCase) == -1) return Text(kDefaultAgent);
    const Text agent = TrimBoth(CutBetween(headers, "User-Agent:", "\r\n"));
    // A User-Agent line at the very end has no CR LF behind it: take the text after the first
    // colon of the whole header text instead.
    return agent.empty() ? ValueAfterColon(headers) : agent;
}

void AppendDefaultHeaderLines(Text& headers, std::string_view url, std::string_view cookies) {
    if (!Contains(headers, "Referer:")) {
        headers += headers.empty() ? "Referer: " : "\r\nReferer: ";
        headers += url;
    }
    if (!Contains(headers, "Accept:")) headers += "\r\nAccept: */*";
    if (!Contains(headers, "Accept-Language:")) headers += "\r\nAccept-Language: zh-cn";
    if (!Contains(headers, "Content-Type:")) headers += "\r\nContent-Type: application/x-www-form-urlencoded";
    if (!cookies.empty()) headers += ConcatText({"\r\nCookie: ", cookies});
}

void PrepareRequestHeaders(Text& headers, std::string_view url, std::string_view cookies, Text& cookieLine) {
    if (!cookieLine.empty() && headers.ends_with(cookieLine)) headers.resize(headers.size() - cookieLine.size());
    AppendDefaultHeaderLines(headers, url, cookies);
    cookieLine = cookies.empty() ? Text() : ConcatText({"\r\nCookie: ", cookies});
}

std::uint32_t RequestFlags(std::string_view url, bool cookiesSupplied, bool noRedirect) {
    std::uint32_t flags = kFlagReload | kFlagNeedFile;
    if (cookiesSupplied) flags |= kFlagNoCookies;
    if (noRedirect) flags |= kFlagNoAutoRedirect;
    flags |= ToLower(TextLeft(url, 5)) == "https" ? kFlagSecure : kFlagIgnoreRedirectToHttps;
    return flags;
}

void ScanResponseHeaders(std::string_view rawHeaders, Text& location, Text& returnedCookies) {
    returnedCookies.clear();
    const TextArray lines = SplitText(rawHeaders, "\r\n");
    for (int i = 1; i <= ArrayCount(lines); ++i) {
        const Text& line = ArrayItem(lines, i);
        if (Contains(line, "Location:")) location = ValueAfterColon(line);
        if (Contains(line, "Set-Cookie")) {
            returnedCookies += TrimBoth(CutBetween(line, "Set-Cookie:", ";"));
            returnedCookies += "; ";
        }
    }
}

bool IsMovedPermanently(std::string_view rawHeaders) { return CutBetween(rawHeaders, "HTTP/1.1 ", " Moved") == "301"; }

Text RedirectUrl(std::string_view location, std::string_view url) { return ConcatText({location, UrlPath(url)}); }

bool BodyIsUtf8(const Bytes& body, std::string_view rawHeaders) {
    // Only a match starting at 1..499 counts, so the first 499 + 12 bytes hold every such match.
    const Bytes marker = ToBytes("charset=utf-8");
    const int p = FindBytes(BytesLeft(body, kCharsetScanLimit + BytesLength(marker) - 1), marker);
    if (p >= 1 && p <= kCharsetScanLimit) return true;
    return Contains(rawHeaders, "charset=utf-8");
}

Text CookieName(std::string_view entry) {
    const int p = FindText(entry, "=");
    return p == -1 ? TrimBoth(entry) : TrimBoth(TextLeft(entry, p - 1));
}

bool HasCookieName(const TextArray& list, std::string_view name) {
    for (int i = 1; i <= ArrayCount(list); ++i)
        if (CompareText(CookieName(ArrayItem(list, i)), name) == 0) return true;
    return false;
}

bool ListContains(const TextArray& list, std::string_view text) {
    for (int i = 1; i <= ArrayCount(list); ++i)
        if (CompareText(ArrayItem(list, i), text) == 0) return true;
    return false;
}

Text JoinDistinct(std::string_view text, std::string_view separator) {
    const TextArray parts = SplitText(text, separator);
    TextArray seen;
    Text out;
    for (int i = 1; i <= ArrayCount(parts); ++i) {
        const Text& part = ArrayItem(parts, i);
        if (ListContains(seen, part)) continue;
        ArrayAppend(seen, part);
        out += part;
        out += separator;
    }
    return TextLeft(out, TextLength(out) - TextLength(separator));
}

Text MergeCookies(Text& cookies, Text& returnedCookies) {
    cookies = RemoveAllSpaces(cookies);
    returnedCookies = RemoveAllSpaces(returnedCookies);
    const TextArray old = SplitText(cookies, ";");
    TextArray merged = SplitText(returnedCookies, ";");
    // Checked against the growing list: of several old entries with one name only the first stays.
    for (int i = 1; i <= ArrayCount(old); ++i)
        if (!HasCookieName(merged, CookieName(ArrayItem(old, i)))) ArrayAppend(merged, ArrayItem(old, i));
    cookies.clear();
    for (int i = 1; i <= ArrayCount(merged); ++i) {
        const Text& entry = ArrayItem(merged, i);
        if (TextRight(entry, 8) == "=deleted") continue;
        cookies += entry;
        cookies += "; ";
    }
    cookies = TextLeft(cookies, TextLength(cookies) - 2);
    cookies = JoinDistinct(cookies, "; ");
    return cookies;
}
