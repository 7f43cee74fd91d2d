// Fuzz target: the response header scan, the 301 test and the charset rule of FetchUrl, and the
// text cutters they use (CutBetween, ValueAfterColon).
//
// Input fields (separated by zero bytes): raw header text, body (a byte 0x01 stands for a zero
// byte), the caller's location text, CutBetween's start and end delimiters, its start position,
// flags (bit 0: caseSensitive).
//
// Properties:
// - ScanResponseHeaders: location is ValueAfterColon of the last line holding "Location:"
//   (case-sensitive) and keeps the caller's text when there is none, and then holds no CR LF;
//   returnedCookies starts empty and gets, per line holding "Set-Cookie", the trimmed text
//   between "Set-Cookie:" (any case) and the next ';', then "; ". Lines are the pieces of the
//   text split on CR LF at character starts.
// - IsMovedPermanently is true exactly when the text between "HTTP/1.1 " and " Moved" (any
//   case) is "301".
// - BodyIsUtf8 is true exactly when "charset=utf-8" starts at body byte 1..499 or, failing that,
//   appears in the raw headers at a character start; bytes of the body past 511 never matter.
// - CutBetween ("#引号" standing for a double quote in both delimiters) and ValueAfterColon
//   give the reference results.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "http/http_core.h"
#include "tests/fuzz/fuzz_support.h"

using namespace fuzz;

namespace {

const std::string_view kQuoteMark = "#\xD2\xFD\xBA\xC5";  // #引号

std::string RefMid(std::string_view t, long long start, long long n) {
    if (start < 1 || n <= 0 || start > static_cast<long long>(t.size())) return {};
    return std::string(t.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(n)));
}

std::string RefCutBetween(std::string_view text, std::string_view startDelimiter, std::string_view endDelimiter,
                          int startPosition, bool caseSensitive) {
    const std::string start = RefReplace(startDelimiter, kQuoteMark, "\"", std::nullopt, std::nullopt, true);
    const std::string end = RefReplace(endDelimiter, kQuoteMark, "\"", std::nullopt, std::nullopt, true);
    long long d = RefFind(text, start, startPosition, !caseSensitive);
    if (d == -1) return {};
    d += static_cast<long long>(start.size());
    if (d > 1000000000) return {};
    const int e = RefFind(text, end, static_cast<int>(d), !caseSensitive);
    if (e == -1) return {};
    return RefMid(text, d, e - d);
}

std::string RefValueAfterColon(std::string_view text) {
    const int p = RefFind(text, ":");
    return p == -1 ? std::string() : RefTrim(text.substr(static_cast<std::size_t>(p)));
}

void CheckScan(const Text& raw, const Text& callerLocation) {
    Text location = callerLocation;
    Text returned = "stale";
    ScanResponseHeaders(raw, location, returned);

    std::string wantLocation = callerLocation;
    std::string wantReturned;
    bool anyLocation = false;
    int cookieLines = 0;
    for (const std::string& line : RefSplit(raw, "\r\n")) {
        if (RefFind(line, "Location:") > 0) {
            wantLocation = RefValueAfterColon(line);
            anyLocation = true;
        }
        if (RefFind(line, "Set-Cookie") > 0) {
            wantReturned += RefTrim(RefCutBetween(line, "Set-Cookie:", ";", 0, false)) + "; ";
            ++cookieLines;
        }
    }
    const auto ctx = [&] { return "raw=" + Show(raw) + " caller location=" + Show(callerLocation); };
    CHECK(location == wantLocation, "location " + Show(location) + " want " + Show(wantLocation) + " " + ctx());
    CHECK(returned == wantReturned, "returnedCookies " + Show(returned) + " want " + Show(wantReturned) + " " + ctx());
    if (anyLocation) CHECK(RefFind(location, "\r\n") == -1, "location holds a CR LF: " + ctx());
    CHECK(static_cast<int>(RefMatches(returned, "; ", 0, false).size()) >= cookieLines,
          "fewer entries than Set-Cookie lines: " + ctx());
}

bool RefBodyIsUtf8(const Bytes& body, std::string_view raw) {
    static const char kMarker[] = "charset=utf-8";
    const std::size_t m = sizeof kMarker - 1;
    for (std::size_t i = 0; i < 499 && i + m <= body.size(); ++i)
        if (std::memcmp(body.data() + i, kMarker, m) == 0) return true;
    return RefFind(raw, kMarker) > 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Fields in(data, size);
    const Text raw = in.Get(0);
    Bytes body;
    for (char c : in.Get(1)) body.push_back(c == '\x01' ? 0 : static_cast<unsigned char>(c));
    const unsigned flags = in.Bits(6);

    CheckScan(raw, in.Get(2));

    const bool moved = IsMovedPermanently(raw);
    CHECK(moved == (RefCutBetween(raw, "HTTP/1.1 ", " Moved", 0, false) == "301"), "IsMovedPermanently " + Show(raw));

    const bool utf8 = BodyIsUtf8(body, raw);
    const std::string bodyText(body.begin(), body.end());
    CHECK(utf8 == RefBodyIsUtf8(body, raw), "BodyIsUtf8 body=" + Show(bodyText) + " raw=" + Show(raw));
    if (body.size() > 511) {
        const Bytes head(body.begin(), body.begin() + 511);
        CHECK(BodyIsUtf8(head, raw) == utf8, "BodyIsUtf8 looked past byte 511: body=" + Show(bodyText));
    }

    const Text start = in.Get(3);
    const Text end = in.Get(4);
    const int position = in.Number(5).value_or(0);
    const bool caseSensitive = flags & 1u;
    const Text cut = CutBetween(raw, start, end, position, caseSensitive);
    const std::string cutWant = RefCutBetween(raw, start, end, position, caseSensitive);
    CHECK(cut == cutWant, "CutBetween text=" + Show(raw) + " start=" + Show(start) + " end=" + Show(end) +
                              " position=" + std::to_string(position) + " caseSensitive=" +
                              std::to_string(caseSensitive) + " got " + Show(cut) + " want " + Show(cutWant));
    CHECK(ValueAfterColon(raw) == RefValueAfterColon(raw), "ValueAfterColon " + Show(raw));
    return 0;
}
