// What the fuzz targets share: the input cut into fields, the failure report, and plain
// reference versions of the text primitives.
//
// The references walk a Text character by character from its first byte (a byte 0x80 or above
// starts a two-byte character together with the byte after it; a lone such byte at the very end
// ends the walk) and compare at every character start. They are slow and obviously right; the
// targets check the real primitives and the routines built on them against them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "text/text.h"

namespace fuzz {

// ---- input ----------------------------------------------------------------------------------

// The input's fields are the byte runs between zero bytes. A Text never holds a zero byte, so
// every field is a valid Text, and a seed file is readable text with NULs between its parts.
class Fields {
public:
    Fields(const std::uint8_t* data, std::size_t size) {
        const std::string_view all(reinterpret_cast<const char*>(data), size);
        std::size_t from = 0;
        for (;;) {
            const std::size_t zero = all.find('\0', from);
            if (zero == std::string_view::npos) {
                fields_.push_back(all.substr(from));
                break;
            }
            fields_.push_back(all.substr(from, zero - from));
            from = zero + 1;
        }
    }

    std::size_t Count() const { return fields_.size(); }
    bool Has(std::size_t i) const { return i < fields_.size(); }
    Text Get(std::size_t i) const { return Has(i) ? Text(fields_[i]) : Text(); }

    // A decimal number with an optional sign, read up to its first other byte and clamped to
    // +-10^9; absent when the field is missing or starts with no digit.
    OptInt Number(std::size_t i) const {
        if (!Has(i)) return std::nullopt;
        const std::string_view f = fields_[i];
        std::size_t k = 0;
        const bool negative = k < f.size() && f[k] == '-';
        if (k < f.size() && (f[k] == '-' || f[k] == '+')) ++k;
        if (k >= f.size() || f[k] < '0' || f[k] > '9') return std::nullopt;
        long long v = 0;
        for (; k < f.size() && f[k] >= '0' && f[k] <= '9'; ++k)
            if (v < 1000000000) v = v * 10 + (f[k] - '0');
        if (v > 1000000000) v = 1000000000;
        return static_cast<int>(negative ? -v : v);
    }
    // Number(i) as bits; 0 when absent or negative.
    unsigned Bits(std::size_t i) const {
        const OptInt n = Number(i);
        return n && *n > 0 ? static_cast<unsigned>(*n) : 0u;
    }

private:
    std::vector<std::string_view> fields_;
};

// ---- failure report -------------------------------------------------------------------------

inline std::string Show(std::string_view s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out + "\"";
}

inline std::string Show(const std::vector<std::string>& v) {
    std::string out = "{";
    for (const std::string& s : v) out += (out.size() > 1 ? ", " : "") + Show(s);
    return out + "}";
}

inline std::string Show(OptInt v) { return v ? std::to_string(*v) : std::string("absent"); }

[[noreturn]] inline void Fail(const char* file, int line, const char* what, const std::string& detail) {
    std::fprintf(stderr, "\n%s:%d: property failed: %s\n  %s\n", file, line, what, detail.c_str());
    std::fflush(stderr);
    std::abort();  // libFuzzer keeps the input as a crash artifact
}

// CHECK(condition, detail): detail (a std::string) is built only when the condition fails.
#define CHECK(cond, detail)                                             \
    do {                                                                \
        if (!(cond)) ::fuzz::Fail(__FILE__, __LINE__, #cond, (detail)); \
    } while (0)

// ---- reference text primitives --------------------------------------------------------------

inline bool IsHigh(unsigned char c) { return c >= 0x80; }

// The characters of t as (index, length) pairs, from its first byte.
inline std::vector<std::pair<std::size_t, std::size_t>> RefChars(std::string_view t) {
    std::vector<std::pair<std::size_t, std::size_t>> chars;
    std::size_t i = 0;
    while (i < t.size()) {
        if (!IsHigh(static_cast<unsigned char>(t[i]))) {
            chars.emplace_back(i, 1);
            i += 1;
        } else {
            if (i + 1 >= t.size()) break;  // a lone lead byte at the very end ends the walk
            chars.emplace_back(i, 2);
            i += 2;
        }
    }
    return chars;
}

// Per byte of t: whether it starts a character, and whether it is a one-byte character.
struct RefWalk {
    std::vector<bool> start, single;
    explicit RefWalk(std::string_view t) : start(t.size() + 1, false), single(t.size(), false) {
        for (const auto& [i, len] : RefChars(t)) {
            start[i] = true;
            single[i] = len == 1;
        }
    }
};

inline unsigned char RefLowerByte(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
}

// The needle's bytes at byte i of t; with ignoreCase, A-Z fold where t has a one-byte character.
inline bool RefMatchAt(std::string_view t, const RefWalk& w, std::size_t i, std::string_view needle, bool ignoreCase) {
    if (!w.start[i] || i + needle.size() > t.size()) return false;
    for (std::size_t j = 0; j < needle.size(); ++j) {
        unsigned char a = static_cast<unsigned char>(t[i + j]);
        unsigned char b = static_cast<unsigned char>(needle[j]);
        if (ignoreCase && w.single[i + j]) {
            a = RefLowerByte(a);
            b = RefLowerByte(b);
        }
        if (a != b) return false;
    }
    return true;
}

inline int RefFind(std::string_view t, std::string_view needle, OptInt start = std::nullopt, bool ignoreCase = false) {
    const long long from = (start && *start > 1) ? *start : 1;
    if (from > static_cast<long long>(t.size())) return -1;
    if (needle.empty()) return 1;
    const RefWalk w(t);
    for (std::size_t i = static_cast<std::size_t>(from - 1); i < t.size(); ++i)
        if (RefMatchAt(t, w, i, needle, ignoreCase)) return static_cast<int>(i + 1);
    return -1;
}

inline int RefFindReverse(std::string_view t, std::string_view needle, OptInt start = std::nullopt,
                          bool ignoreCase = false) {
    long long limit = static_cast<long long>(t.size());
    if (start) {
        if (*start <= 1) return -1;
        if (*start - 1 < limit) limit = *start - 1;
    }
    if (limit == 0) return -1;
    if (needle.empty()) return 1;
    const RefWalk w(t);
    int last = -1;
    for (std::size_t i = 0; i + needle.size() <= static_cast<std::size_t>(limit); ++i)
        if (RefMatchAt(t, w, i, needle, ignoreCase)) last = static_cast<int>(i + 1);
    return last;
}

// Left to right, without overlap, from byte index `from`: the indices of the matches.
inline std::vector<std::size_t> RefMatches(std::string_view t, std::string_view needle, std::size_t from,
                                           bool ignoreCase) {
    std::vector<std::size_t> out;
    if (needle.empty()) return out;
    const RefWalk w(t);
    for (std::size_t i = from; i + needle.size() <= t.size();) {
        if (RefMatchAt(t, w, i, needle, ignoreCase)) {
            out.push_back(i);
            i += needle.size();
        } else {
            ++i;
        }
    }
    return out;
}

inline std::string RefReplace(std::string_view t, std::string_view find, std::string_view repl, OptInt start,
                              OptInt count, bool caseSensitive) {
    const std::size_t from = (start && *start > 1) ? static_cast<std::size_t>(*start) - 1 : 0;
    if (t.empty() || find.empty() || from >= t.size()) return std::string(t);
    std::vector<std::size_t> hits = RefMatches(t, find, from, !caseSensitive);
    if (count && *count >= 0 && hits.size() > static_cast<std::size_t>(*count))
        hits.resize(static_cast<std::size_t>(*count));
    std::string out;
    std::size_t copied = 0;
    for (std::size_t p : hits) {
        out.append(t.substr(copied, p - copied));
        out.append(repl);
        copied = p + find.size();
    }
    out.append(t.substr(copied));
    return out;
}

inline std::vector<std::string> RefSplit(std::string_view t, std::optional<std::string_view> delim = std::nullopt,
                                         OptInt max = std::nullopt) {
    const std::string_view d = delim ? *delim : std::string_view(",");
    std::vector<std::string> pieces;
    if (t.empty() || (max && *max <= 0)) return pieces;
    if (d.empty()) {
        pieces.emplace_back(t);
        return pieces;
    }
    std::size_t from = 0;
    for (std::size_t p : RefMatches(t, d, 0, false)) {
        pieces.emplace_back(t.substr(from, p - from));
        from = p + d.size();
    }
    if (from < t.size()) pieces.emplace_back(t.substr(from));
    if (max && pieces.size() > static_cast<std::size_t>(*max)) pieces.resize(static_cast<std::size_t>(*max));
    return pieces;
}

// A space: the byte 0x20 or the full-width space A1 A1, as a character of the walk.
inline bool RefIsSpace(std::string_view t, std::size_t i, std::size_t len) {
    return len == 1 ? t[i] == ' ' : (t[i] == '\xA1' && t[i + 1] == '\xA1');
}

inline std::string RefTrim(std::string_view t) {
    const auto chars = RefChars(t);
    std::size_t a = 0, b = chars.size();
    while (a < b && RefIsSpace(t, chars[a].first, chars[a].second)) ++a;
    while (b > a && RefIsSpace(t, chars[b - 1].first, chars[b - 1].second)) --b;
    if (a == b) return {};
    return std::string(t.substr(chars[a].first, chars[b - 1].first + chars[b - 1].second - chars[a].first));
}

inline std::string RefRemoveSpaces(std::string_view t) {
    std::string out;
    for (const auto& [i, len] : RefChars(t))
        if (!RefIsSpace(t, i, len)) out.append(t.substr(i, len));
    return out;
}

inline std::string RefLower(std::string_view t) {
    std::string out(t);
    for (const auto& [i, len] : RefChars(t))
        if (len == 1) out[i] = static_cast<char>(RefLowerByte(static_cast<unsigned char>(t[i])));
    return out;
}

// The characters read as single bytes (full-width ASCII forms and the full-width space give
// their ASCII byte, any other two-byte character ends the reading), then blanks, a sign and
// decimal digits, wrapping modulo 2^32.
inline int RefToInt(std::string_view t) {
    std::string narrow;
    for (const auto& [i, len] : RefChars(t)) {
        const unsigned char c = static_cast<unsigned char>(t[i]);
        if (len == 1) {
            narrow += static_cast<char>(c);
            continue;
        }
        const unsigned char c2 = static_cast<unsigned char>(t[i + 1]);
        if (c == 0xA3 && c2 >= 0xA1 && c2 <= 0xFE)
            narrow += static_cast<char>(c2 - 0x80);
        else if (c == 0xA1 && c2 == 0xA1)
            narrow += ' ';
        else
            break;
    }
    std::size_t k = 0;
    while (k < narrow.size() && std::string_view(" \t\n\v\f\r").find(narrow[k]) != std::string_view::npos) ++k;
    bool negative = false;
    if (k < narrow.size() && (narrow[k] == '+' || narrow[k] == '-')) negative = narrow[k++] == '-';
    std::uint64_t v = 0;
    for (; k < narrow.size() && narrow[k] >= '0' && narrow[k] <= '9'; ++k)
        v = (v * 10 + static_cast<std::uint64_t>(narrow[k] - '0')) & 0xFFFFFFFFu;
    if (negative) v = (0x100000000u - v) & 0xFFFFFFFFu;
    return v >= 0x80000000u ? static_cast<int>(static_cast<long long>(v) - 0x100000000LL) : static_cast<int>(v);
}

inline std::string Join(const std::vector<std::string>& pieces, std::string_view sep) {
    std::string out;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i) out += sep;
        out += pieces[i];
    }
    return out;
}

}  // namespace fuzz
