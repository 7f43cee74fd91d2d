// Text primitives over GBK byte strings. See text.h for the contract of each function.
//
// Character walk: a byte 0x80 or above starts a two-byte character together with the byte after
// it; a lone such byte at the very end ends the walk. Character starts are always counted from
// the first byte of the Text, also when a search begins further in.
#include "text/text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "text/fatal.h"

namespace {

using Byte = unsigned char;

constexpr std::size_t kNone = std::string_view::npos;

inline Byte At(std::string_view s, std::size_t i) { return static_cast<Byte>(s[i]); }
inline bool IsLead(Byte c) { return c >= 0x80; }
inline bool IsUpper(Byte c) { return c >= 'A' && c <= 'Z'; }
inline bool IsLetter(Byte c) { return IsUpper(c) || (c >= 'a' && c <= 'z'); }
inline Byte Lower(Byte c) { return IsUpper(c) ? static_cast<Byte>(c + ('a' - 'A')) : c; }

// A 1-based position as an int result; -1 for "none".
inline int Pos(std::size_t i) { return i == kNone ? -1 : static_cast<int>(i + 1); }

// Answers "is byte index p a character start?" for a nondecreasing sequence of queries in
// amortised constant time, without walking the Text from its first byte.
//
// A byte below 0x80 is never a lead byte, so the index right after one is always a character
// start. Between such an index and p every byte is 0x80 or above, so the characters there are
// pairs and the parity of the distance decides. The backward scan also stops at the last
// boundary already established, so no byte is scanned twice over a sequence of queries.
class CharStarts {
public:
    explicit CharStarts(std::string_view t) : s_(t) {}

    bool IsStart(std::size_t p) {
        std::size_t q = p;
        // Long runs of two-byte characters are crossed eight bytes at a time.
        constexpr std::uint64_t kHigh = 0x8080808080808080u;
        while (q - known_ >= 8) {
            std::uint64_t w;
            std::memcpy(&w, s_.data() + q - 8, 8);
            if ((w & kHigh) != kHigh) break;
            q -= 8;
        }
        while (q > known_ && IsLead(At(s_, q - 1))) --q;
        const bool start = ((p - q) & 1u) == 0;
        // A byte that is not a character start is a trail byte, so the next one is a start.
        known_ = start ? p : p + 1;
        return start;
    }

private:
    std::string_view s_;
    std::size_t known_ = 0;  // a character start at or below every later query
};

// Finds the matches of one needle in one Text, left to right, at character starts only.
// The `from` of each call of Next must not lie before the match the previous call returned.
class Matcher {
public:
    Matcher(std::string_view t, std::string_view needle, bool ignoreCase) : t_(t), needle_(needle), starts_(t) {
        if (ignoreCase) PrepareFold();
    }

    // Index of the first valid match at or after `from` that ends at or before `limit`
    // (a byte count, <= t.size()); kNone when there is none. The needle must not be empty.
    std::size_t Next(std::size_t from, std::size_t limit) {
        const std::size_t m = needle_.size();
        if (limit > t_.size() || from > limit || limit - from < m) return kNone;
        return fold_ ? NextFolded(from, limit) : NextExact(from, limit);
    }

private:
    // A candidate whose bytes match: it must start a character, and a single byte 0x80 or above
    // at the very end of the Text is a lone byte where the walk ends, not a character.
    bool Valid(std::size_t p) {
        if (p + 1 == t_.size() && IsLead(At(t_, p))) return false;
        return starts_.IsStart(p);
    }

    std::size_t NextExact(std::size_t from, std::size_t limit) {
        const std::string_view hay = t_.substr(0, limit);
        for (;;) {
            const std::size_t p = hay.find(needle_, from);
            if (p == kNone) return kNone;
            if (Valid(p)) return p;
            from = p + 1;
        }
    }

    // Case folding follows the needle's own characters: only its single-byte characters fold.
    // Inside a match the Text's characters line up with the needle's (the match begins at a
    // character start and folding never changes whether a byte is 0x80 or above), so this is
    // the same as folding the single-byte characters of the Text.
    //
    // The search runs Knuth-Morris-Pratt over fully lowered bytes (linear in the Text), and each
    // candidate then checks exactly the needle's trail bytes that are letters, which must not fold.
    void PrepareFold() {
        const std::size_t m = needle_.size();
        bool anyFold = false;
        for (std::size_t j = 0; j < m; ++j) {
            const Byte c = At(needle_, j);
            if (IsLead(c)) {
                if (j + 1 < m && IsLetter(At(needle_, j + 1))) exact_.push_back(j + 1);
                ++j;
            } else if (IsLetter(c)) {
                anyFold = true;
            }
        }
        if (!anyFold) {  // nothing folds: an exact search gives the same answers, faster
            exact_.clear();
            return;
        }
        fold_ = true;
        lowered_.resize(m);
        for (std::size_t j = 0; j < m; ++j) lowered_[j] = Lower(At(needle_, j));
        fail_.assign(m, 0);
        std::size_t k = 0;
        for (std::size_t j = 1; j < m; ++j) {
            while (k > 0 && lowered_[j] != lowered_[k]) k = fail_[k - 1];
            if (lowered_[j] == lowered_[k]) ++k;
            fail_[j] = k;
        }
    }

    std::size_t NextFolded(std::size_t from, std::size_t limit) {
        const std::size_t m = lowered_.size();
        // When the needle starts with a byte that does not fold, memchr skips to the places where
        // a match can begin.
        const bool skip = !IsLetter(lowered_[0]);
        const char* const data = t_.data();
        std::size_t j = 0;
        for (std::size_t i = from; i < limit; ++i) {
            if (j == 0 && skip) {
                const void* hit = std::memchr(data + i, lowered_[0], limit - i);
                if (!hit) return kNone;
                i = static_cast<std::size_t>(static_cast<const char*>(hit) - data);
            }
            const Byte c = Lower(At(t_, i));
            while (j > 0 && c != lowered_[j]) j = fail_[j - 1];
            if (c == lowered_[j]) ++j;
            if (j == m) {
                const std::size_t p = i + 1 - m;
                if (ExactPartsMatch(p) && Valid(p)) return p;
                j = fail_[m - 1];
            }
        }
        return kNone;
    }

    bool ExactPartsMatch(std::size_t p) const {
        for (std::size_t j : exact_)
            if (t_[p + j] != needle_[j]) return false;
        return true;
    }

    std::string_view t_;
    std::string_view needle_;
    CharStarts starts_;
    bool fold_ = false;
    std::vector<Byte> lowered_;  // the needle with A-Z lowered
    std::vector<std::size_t> fail_;
    std::vector<std::size_t> exact_;  // needle indices compared without folding
};

// Calls f(index, length) for each character of the walk; a lone lead byte at the very end is
// not a character and ends the walk.
template <typename F>
void ForEachChar(std::string_view t, F f) {
    const std::size_t n = t.size();
    std::size_t i = 0;
    while (i < n) {
        if (!IsLead(At(t, i))) {
            f(i, std::size_t{1});
            ++i;
        } else {
            if (i + 1 >= n) break;
            f(i, std::size_t{2});
            i += 2;
        }
    }
}

inline bool IsSpaceChar(std::string_view t, std::size_t i, std::size_t len) {
    if (len == 1) return t[i] == ' ';
    return At(t, i) == 0xA1 && At(t, i + 1) == 0xA1;  // full-width space "　"
}

}  // namespace

int TextLength(std::string_view t) { return static_cast<int>(t.size()); }

Text TextLeft(std::string_view t, int n) {
    if (n <= 0) return {};
    return Text(t.substr(0, static_cast<std::size_t>(n)));
}

Text TextRight(std::string_view t, int n) {
    if (n <= 0) return {};
    const std::size_t k = std::min(static_cast<std::size_t>(n), t.size());
    return Text(t.substr(t.size() - k));
}

Text TextMid(std::string_view t, int start, int n) {
    if (start < 1 || n <= 0 || static_cast<std::size_t>(start) > t.size()) return {};
    return Text(t.substr(static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(n)));
}

int FindText(std::string_view t, std::string_view needle, OptInt start, bool ignoreCase) {
    std::size_t from = 0;
    if (start && *start > 1) from = static_cast<std::size_t>(*start) - 1;
    if (from >= t.size()) return -1;  // nothing left to search
    if (needle.empty()) return 1;
    Matcher matcher(t, needle, ignoreCase);
    return Pos(matcher.Next(from, t.size()));
}

int FindTextReverse(std::string_view t, std::string_view needle, OptInt start, bool ignoreCase) {
    std::size_t limit = t.size();  // the match must lie wholly in the first `limit` bytes
    if (start) {
        if (*start <= 1) return -1;
        limit = std::min(limit, static_cast<std::size_t>(*start) - 1);
    }
    if (limit == 0) return -1;
    if (needle.empty()) return 1;  // like FindText: 1 when anything is left to search
    Matcher matcher(t, needle, ignoreCase);
    std::size_t last = kNone;
    for (std::size_t p = matcher.Next(0, limit); p != kNone; p = matcher.Next(p + 1, limit)) last = p;
    return Pos(last);
}

Text ReplaceText(std::string_view t, std::string_view find, std::string_view repl, OptInt start, OptInt count,
                 bool caseSensitive) {
    std::size_t from = 0;
    if (start && *start > 1) from = static_cast<std::size_t>(*start) - 1;
    if (t.empty() || find.empty() || from >= t.size()) return Text(t);
    long long left = (count && *count >= 0) ? *count : -1;  // -1: no limit
    Matcher matcher(t, find, !caseSensitive);
    Text out;
    out.reserve(t.size());
    std::size_t copied = 0;
    while (left != 0) {
        const std::size_t p = matcher.Next(from, t.size());
        if (p == kNone) break;
        out.append(t.substr(copied, p - copied));
        out.append(repl);
        copied = from = p + find.size();
        if (left > 0) --left;
    }
    out.append(t.substr(copied));
    return out;
}

TextArray SplitText(std::string_view t, std::optional<std::string_view> delim, OptInt max) {
    TextArray out;
    const std::string_view d = delim ? *delim : std::string_view(",");
    const long long most = max ? *max : std::numeric_limits<long long>::max();
    if (t.empty() || most <= 0) return out;
    if (d.empty()) {
        out.items.emplace_back(t);
        return out;
    }
    Matcher matcher(t, d, false);
    std::size_t from = 0;
    while (static_cast<long long>(out.items.size()) < most) {
        const std::size_t p = matcher.Next(from, t.size());
        if (p == kNone) {
            if (from < t.size()) out.items.emplace_back(t.substr(from));  // a non-empty rest
            break;
        }
        out.items.emplace_back(t.substr(from, p - from));
        from = p + d.size();
    }
    return out;
}

Text TrimBoth(std::string_view t) {
    std::size_t first = kNone, end = 0;
    ForEachChar(t, [&](std::size_t i, std::size_t len) {
        if (IsSpaceChar(t, i, len)) return;
        if (first == kNone) first = i;
        end = i + len;
    });
    if (first == kNone) return {};
    return Text(t.substr(first, end - first));
}

Text TextBetweenMarkers(std::string_view source, std::string_view startMarker, std::string_view endMarker,
                        EndMarkerSearch endSearch, OptInt from, bool ignoreCase) {
    const int a = FindText(source, startMarker, from, ignoreCase);
    if (a == -1) return {};
    const int afterStart = a + TextLength(startMarker);
    const int b =
        FindText(source, endMarker, endSearch == EndMarkerSearch::kFromStartMarker ? a : afterStart, ignoreCase);
    if (b == -1) return {};
    return TextMid(source, afterStart, b - afterStart);  // empty when b lies inside the start marker
}

Text RemoveAllSpaces(std::string_view t) {
    Text out;
    out.reserve(t.size());
    ForEachChar(t, [&](std::size_t i, std::size_t len) {
        if (!IsSpaceChar(t, i, len)) out.append(t.substr(i, len));
    });
    return out;
}

Text ToLower(std::string_view t) {
    Text out(t);
    const std::size_t n = out.size();
    for (std::size_t i = 0; i < n; ++i) {
        const Byte c = static_cast<Byte>(out[i]);
        if (IsLead(c))
            ++i;  // a two-byte character stays as it is, trail byte included
        else
            out[i] = static_cast<char>(Lower(c));
    }
    return out;
}

int ToInt(std::string_view t) {
    const std::size_t n = t.size();
    std::size_t i = 0;
    // The next character read as a single byte: full-width ASCII forms (A3 A1..A3 FE) and the
    // full-width space (A1 A1) give their ASCII byte; any other two-byte character, or the end,
    // gives 0, which is neither a blank, a sign nor a digit.
    auto next = [&]() -> Byte {
        if (i >= n) return 0;
        const Byte c = At(t, i);
        if (!IsLead(c)) {
            ++i;
            return c;
        }
        if (i + 1 >= n) return 0;
        const Byte c2 = At(t, i + 1);
        i += 2;
        if (c == 0xA3 && c2 >= 0xA1 && c2 <= 0xFE) return static_cast<Byte>(c2 - 0x80);
        if (c == 0xA1 && c2 == 0xA1) return ' ';
        return 0;
    };
    Byte c = next();
    while (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r') c = next();
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = next();
    }
    std::uint32_t value = 0;  // unsigned, so overflow wraps modulo 2^32 without undefined behaviour
    while (c >= '0' && c <= '9') {
        value = value * 10u + static_cast<std::uint32_t>(c - '0');
        c = next();
    }
    if (negative) value = 0u - value;
    return static_cast<int>(value);  // modular conversion (C++20)
}

Text ToText(const Bytes& b) {
    if (b.empty()) return {};
    // memchr and one block copy: pages are megabytes, a byte-wise copy showed in the profiles.
    const char* data = reinterpret_cast<const char*>(b.data());
    const void* zero = std::memchr(data, 0, b.size());
    return Text(data, zero ? static_cast<const char*>(zero) - data : b.size());
}

Text ToText(std::int64_t v) { return std::to_string(v); }

Text ToText(int v) { return std::to_string(v); }

// "%.13g", with the output pinned down independently of the C runtime: infinities and NaN
// spelled "inf"/"-inf"/"nan", and the exponent written with at least two digits (some
// Windows runtimes print three).
Text ToText(double v) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
    char buf[64];
    const int len = std::snprintf(buf, sizeof buf, "%.13g", v);
    if (len <= 0) return {};
    Text s(buf, static_cast<std::size_t>(std::min(len, static_cast<int>(sizeof buf) - 1)));
    const std::size_t e = s.find('e');
    if (e != Text::npos && e + 2 < s.size()) {  // "e", sign, digits
        std::size_t digits = e + 2;
        while (s.size() - digits > 2 && s[digits] == '0') s.erase(digits, 1);
    }
    return s;
}

Text ToText(std::string_view t) { return Text(t); }

Text CharFromCode(int c) {
    const char b = static_cast<char>(static_cast<Byte>(c & 0xFF));
    if (b == 0) return {};
    return Text(1, b);
}

Text BlankText(int n) { return n <= 0 ? Text() : Text(static_cast<std::size_t>(n), ' '); }

Bytes BlankBytes(int n) { return n <= 0 ? Bytes() : Bytes(static_cast<std::size_t>(n), 0); }

int BytesLength(const Bytes& b) { return static_cast<int>(b.size()); }

Bytes BytesLeft(const Bytes& b, int n) {
    if (n <= 0) return {};
    const std::size_t k = std::min(static_cast<std::size_t>(n), b.size());
    return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(k));
}

int FindBytes(const Bytes& b, const Bytes& pattern, OptInt start) {
    std::size_t from = 0;
    if (start && *start > 1) from = static_cast<std::size_t>(*start) - 1;
    if (pattern.empty() || from >= b.size()) return -1;
    const std::string_view hay(reinterpret_cast<const char*>(b.data()), b.size());
    const std::string_view pat(reinterpret_cast<const char*>(pattern.data()), pattern.size());
    return Pos(hay.find(pat, from));
}

Bytes ToBytes(std::string_view t) { return Bytes(t.begin(), t.end()); }

int CompareText(std::string_view a, std::string_view b) {
    const int r = a.compare(b);  // char_traits<char> compares as unsigned char
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

Text ConcatText(std::initializer_list<std::string_view> parts) {
    std::size_t total = 0;
    for (std::string_view p : parts) total += p.size();
    Text out;
    out.reserve(total);
    for (std::string_view p : parts) out.append(p);
    return out;
}

Bytes ConcatBytes(std::initializer_list<const Bytes*> parts) {
    std::size_t total = 0;
    for (const Bytes* p : parts)
        if (p) total += p->size();
    Bytes out;
    out.reserve(total);
    for (const Bytes* p : parts)
        if (p) out.insert(out.end(), p->begin(), p->end());
    return out;
}

int ArrayCount(const TextArray& a) { return static_cast<int>(a.items.size()); }

void ArrayAppend(TextArray& a, std::string_view t) { a.items.emplace_back(t); }

const Text& ArrayItem(const TextArray& a, int i) {
    if (i < 1 || static_cast<std::size_t>(i) > a.items.size()) FatalIndexError(i);
    return a.items[static_cast<std::size_t>(i) - 1];
}

// The quotient is computed as a real and truncated toward zero. For 32-bit operands the real
// quotient never rounds across an integer, so this equals truncating integer division. The one
// quotient outside the int range, INT_MIN / -1 = 2^31, wraps modulo 2^32 to INT_MIN (the value
// the x86 truncating conversions also give for an out-of-range real).
int IntDiv(int a, int b) {
    if (b == 0) return 0;
    const double q = std::trunc(static_cast<double>(a) / static_cast<double>(b));
    if (q >= 2147483648.0) return std::numeric_limits<int>::min();
    return static_cast<int>(q);
}
