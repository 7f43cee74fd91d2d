// Table-driven tests of the text primitives (text/text.h).
//
// GBK characters are written as escaped bytes; the macros below name the ones used. Adjacent
// literals are kept apart ("\xB0\xA1" "a") so that no letter is read as part of a hex escape.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "text/text.h"

#define AH "\xB0\xA1"          // 啊
#define AN "\xB0\xB0"          // 鞍
#define ZW "\xD6\xD0\xCE\xC4"  // 中文
#define FWSP "\xA1\xA1"        // full-width space "　"
#define QUOTE "\xA1\xB0"       // “
#define TRAIL_UP "\x81\x41"    // 丄 (trail byte is 'A')
#define TRAIL_LO "\x81\x61"    // 乤 (trail byte is 'a')
#define LONE "\xB0"            // a lead byte with nothing behind it

namespace {

std::string Show(std::string_view s) {
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Byte-counting primitives

TEST(TextBytes, LengthLeftRightMid) {
    const std::string_view t = "ab" AH "cd";  // 6 bytes; these ignore character boundaries
    EXPECT_EQ(TextLength(t), 6);
    EXPECT_EQ(TextLength(""), 0);

    struct Case {
        int n;
        const char* left;
        const char* right;
    };
    const Case cases[] = {
        {-1, "", ""},
        {0, "", ""},
        {3, "ab\xB0",
         "\xA1"
         "cd"},  // cuts the two-byte character
        {6, "ab" AH "cd", "ab" AH "cd"},
        {99, "ab" AH "cd", "ab" AH "cd"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TextLeft(t, c.n), c.left) << "n=" << c.n;
        EXPECT_EQ(TextRight(t, c.n), c.right) << "n=" << c.n;
    }
}

TEST(TextBytes, Mid) {
    const std::string_view t = "ab" AH "cd";
    struct Case {
        int start, n;
        const char* want;
    };
    const Case cases[] = {
        {1, 2, "ab"},
        {4, 2,
         "\xA1"
         "c"},          // from the trail byte
        {5, 99, "cd"},  // clipped at the end
        {6, 1, "d"},
        {7, 1, ""},  // beyond the end
        {0, 3, ""},  // below 1
        {-5, 3, ""},
        {2, 0, ""},
        {2, -1, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(TextMid(t, c.start, c.n), c.want) << c.start << "," << c.n;
    EXPECT_EQ(TextMid("", 1, 1), "");
}

// ---------------------------------------------------------------------------------------------
// FindText

struct FindCase {
    const char* name;
    std::string_view t;
    std::string_view needle;
    OptInt start;
    bool ignoreCase;
    int want;
};

const FindCase kFindCases[] = {
    {"ascii first", "abcabc", "bc", std::nullopt, false, 2},
    {"ascii from start", "abcabc", "bc", 3, false, 5},
    {"start on the match", "abcabc", "bc", 5, false, 5},
    {"start past last match", "abcabc", "bc", 6, false, -1},
    {"start zero reads as 1", "abcabc", "ab", 0, false, 1},
    {"start negative reads as 1", "abcabc", "ab", -7, false, 1},
    {"start at last byte", "abcabc", "c", 6, false, 6},
    {"start beyond the end", "abcabc", "c", 7, false, -1},
    {"not found", "abcabc", "x", std::nullopt, false, -1},
    {"needle longer than text", "ab", "abc", std::nullopt, false, -1},
    {"needle is whole text", "abc", "abc", std::nullopt, false, 1},
    {"empty text", "", "a", std::nullopt, false, -1},
    {"case sensitive by default", "ABC", "b", std::nullopt, false, -1},
    {"ignore case", "xABC", "bc", std::nullopt, true, 3},
    {"ignore case, needle upper", "xabc", "BC", std::nullopt, true, 3},
    {"ignore case folds A-Z only", "[", "{", std::nullopt, true, -1},
    {"ignore case, header name", "Host: x\r\nuser-agent: y", "User-Agent:", std::nullopt, true, 10},
    // Two-byte characters: matches are tried at character starts only.
    {"gbk needle", "x" ZW "y", "\xCE\xC4", std::nullopt, false, 4},
    {"across a character boundary", AH AH, "\xA1\xB0", std::nullopt, false, -1},
    {"across boundary, then a real one", AH AH "x" QUOTE, QUOTE, std::nullopt, false, 6},
    {"ascii-looking trail byte", TRAIL_UP, "A", std::nullopt, false, -1},
    {"ascii-looking trail byte, ignore case", TRAIL_LO "a", "A", std::nullopt, true, 3},
    {"trail letter does not fold", TRAIL_UP, TRAIL_LO, std::nullopt, true, -1},
    {"trail letter matches exactly", "x" TRAIL_LO, "X" TRAIL_LO, std::nullopt, true, 1},
    {"start inside a character", AH AH, "\xA1\xB0", 2, false, -1},
    {"start on a trail byte skips the character", AH "a", "a", 2, false, 3},
    {"odd run of lead bytes",
     "a" AN AN "\xB0"
     "b" AH,
     AH, std::nullopt, false, 8},
    {"needle ends with a lead byte", AH, "\xB0", std::nullopt, false, 1},
    // A lone lead byte at the very end ends the walk.
    {"lone lead at end", "ab" LONE, LONE, std::nullopt, false, -1},
    {"lone lead at end, ignore case", "ab" LONE, LONE, std::nullopt, true, -1},
    {"lone lead at end, start on it", "ab" LONE, LONE, 3, false, -1},
    {"lead byte not at end is a character start", "a" LONE AH, LONE, std::nullopt, false, 2},
    // Empty needle: 1 when anything is left to search.
    {"empty needle", "abc", "", std::nullopt, false, 1},
    {"empty needle, start inside", "abc", "", 3, false, 1},
    {"empty needle, start beyond", "abc", "", 4, false, -1},
    {"empty needle, empty text", "", "", std::nullopt, false, -1},
};

TEST(FindText, FirstMatchAtACharacterStartFromTheStartPosition) {
    for (const FindCase& c : kFindCases) EXPECT_EQ(FindText(c.t, c.needle, c.start, c.ignoreCase), c.want) << c.name;
}

// Obviously-correct references: walk the text character by character from its first byte and
// compare at every character start. Letter case folds only where the text byte is a single-byte
// character.
std::vector<bool> SingleByteChars(std::string_view t, std::vector<bool>* starts) {
    std::vector<bool> single(t.size(), false);
    starts->assign(t.size() + 1, false);
    std::size_t i = 0;
    while (i < t.size()) {
        const unsigned char c = static_cast<unsigned char>(t[i]);
        if (c >= 0x80 && i + 1 >= t.size()) break;  // lone lead byte: the walk ends
        (*starts)[i] = true;
        if (c < 0x80) {
            single[i] = true;
            i += 1;
        } else {
            i += 2;
        }
    }
    return single;
}

bool MatchesAt(std::string_view t, const std::vector<bool>& single, std::size_t i, std::string_view needle,
               bool ignoreCase) {
    if (i + needle.size() > t.size()) return false;
    for (std::size_t j = 0; j < needle.size(); ++j) {
        unsigned char a = static_cast<unsigned char>(t[i + j]);
        unsigned char b = static_cast<unsigned char>(needle[j]);
        if (ignoreCase && single[i + j]) {
            if (a >= 'A' && a <= 'Z') a = static_cast<unsigned char>(a + 32);
            if (b >= 'A' && b <= 'Z') b = static_cast<unsigned char>(b + 32);
        }
        if (a != b) return false;
    }
    return true;
}

int ReferenceFind(std::string_view t, std::string_view needle, OptInt start, bool ignoreCase) {
    const long from = (start && *start > 1) ? *start : 1;
    if (from > static_cast<long>(t.size())) return -1;
    if (needle.empty()) return 1;
    std::vector<bool> starts;
    const std::vector<bool> single = SingleByteChars(t, &starts);
    for (std::size_t i = static_cast<std::size_t>(from - 1); i < t.size(); ++i)
        if (starts[i] && MatchesAt(t, single, i, needle, ignoreCase)) return static_cast<int>(i + 1);
    return -1;
}

int ReferenceFindReverse(std::string_view t, std::string_view needle, OptInt start, bool ignoreCase) {
    long limit = static_cast<long>(t.size());
    if (start) {
        if (*start <= 1) return -1;
        if (*start - 1 < limit) limit = *start - 1;
    }
    if (limit == 0) return -1;
    if (needle.empty()) return 1;
    std::vector<bool> starts;
    const std::vector<bool> single = SingleByteChars(t, &starts);
    int last = -1;
    for (std::size_t i = 0; i + needle.size() <= static_cast<std::size_t>(limit); ++i)
        if (starts[i] && MatchesAt(t, single, i, needle, ignoreCase)) last = static_cast<int>(i + 1);
    return last;
}

// Random texts built from pieces that stress the character walk: letters of both cases, GBK
// characters whose trail byte is a letter, long runs of high bytes, and stray single high bytes
// that shift the pairing of everything after them.
std::string RandomText(std::mt19937& rng, int pieces) {
    static const char* const kPieces[] = {
        "a",  "A",    "b",    "B", "<", "@", ":", " ", AH, AN, QUOTE, FWSP, TRAIL_UP, TRAIL_LO, ZW, AN AN AN AN AN AN,
        LONE, "\xA1", "\x81",
    };
    std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(kPieces)) - 1);
    std::string s;
    for (int k = 0; k < pieces; ++k) s += kPieces[pick(rng)];
    return s;
}

TEST(FindText, AgreesWithReferenceWalkerOnRandomTexts) {
    std::mt19937 rng(20240611);
    int found = 0;
    for (int round = 0; round < 4000; ++round) {
        const std::string t = RandomText(rng, std::uniform_int_distribution<int>(0, 30)(rng));
        std::string needle;
        if (!t.empty() && rng() % 4 != 0) {  // mostly a piece of the text itself, so matches exist
            const std::size_t a = rng() % t.size();
            needle = t.substr(a, 1 + rng() % 4);
        } else {
            needle = RandomText(rng, 1 + static_cast<int>(rng() % 2));
        }
        if (rng() % 3 == 0)  // vary the letter case of the needle
            for (char& c : needle)
                if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) c = static_cast<char>(c ^ 0x20);
        OptInt start;
        if (rng() % 4 != 0) start = static_cast<int>(rng() % (t.size() + 4)) - 1;
        for (bool ignoreCase : {false, true}) {
            const int want = ReferenceFind(t, needle, start, ignoreCase);
            ASSERT_EQ(FindText(t, needle, start, ignoreCase), want)
                << "t=" << Show(t) << " needle=" << Show(needle) << " start=" << (start ? *start : -999)
                << " ignoreCase=" << ignoreCase;
            ASSERT_EQ(FindTextReverse(t, needle, start, ignoreCase), ReferenceFindReverse(t, needle, start, ignoreCase))
                << "reverse t=" << Show(t) << " needle=" << Show(needle) << " start=" << (start ? *start : -999)
                << " ignoreCase=" << ignoreCase;
            if (want > 0) ++found;
        }
    }
    EXPECT_GT(found, 2000);  // the random cases do exercise matches, not only misses
}

TEST(FindText, WalksAllOccurrencesInLongMixedText) {
    // Every match of a marker found by chained searches, through long runs of two-byte characters
    // and through runs whose pairing is shifted by a stray lead byte.
    std::mt19937 rng(7);
    const std::string t = RandomText(rng, 20000);
    for (std::string_view marker : {std::string_view("<"), std::string_view(AN), std::string_view("\xB0")}) {
        std::vector<int> got, want;
        for (int p = FindText(t, marker); p != -1; p = FindText(t, marker, p + 1)) got.push_back(p);
        std::vector<bool> starts;
        const std::vector<bool> single = SingleByteChars(t, &starts);
        for (std::size_t i = 0; i < t.size(); ++i)
            if (starts[i] && MatchesAt(t, single, i, marker, false)) want.push_back(static_cast<int>(i + 1));
        EXPECT_EQ(got, want) << Show(marker);
        EXPECT_FALSE(want.empty());
    }
}

// ---------------------------------------------------------------------------------------------
// FindTextReverse

TEST(FindTextReverse, LastMatchEndingBeforeTheStartPosition) {
    const FindCase cases[] = {
        {"last match", "abcabc", "bc", std::nullopt, false, 5},
        {"start beyond end: whole text", "abcabc", "bc", 99, false, 5},
        {"start = length + 1: whole text", "abcabc", "bc", 7, false, 5},
        {"match must end before start", "abcabc", "bc", 6, false, 2},
        {"match ending right before start", "abcabc", "bc", 7, false, 5},
        {"start 2: first byte only", "abcabc", "a", 2, false, 1},
        {"start 1", "abcabc", "a", 1, false, -1},
        {"start 0", "abcabc", "a", 0, false, -1},
        {"not found", "abcabc", "x", std::nullopt, false, -1},
        {"ignore case", "aBcAbC", "abc", std::nullopt, true, 4},
        {"case sensitive", "aBcAbC", "abc", std::nullopt, false, -1},
        {"port colon", "host:8080", ":", std::nullopt, false, 5},
        {"across a character boundary", AH AH, "\xA1\xB0", std::nullopt, false, -1},
        {"gbk", ZW "x" ZW, "\xCE\xC4", std::nullopt, false, 8},
        {"lone lead at end", "a" LONE "b" LONE, LONE, std::nullopt, false, 2},
        {"empty needle", "abc", "", std::nullopt, false, 1},
        {"empty needle, empty text", "", "", std::nullopt, false, -1},
        {"empty text", "", "a", std::nullopt, false, -1},
    };
    for (const FindCase& c : cases) EXPECT_EQ(FindTextReverse(c.t, c.needle, c.start, c.ignoreCase), c.want) << c.name;
}

// ---------------------------------------------------------------------------------------------
// ReplaceText

TEST(ReplaceText, ReplacesMatchesLeftToRightFromStartUpToCount) {
    struct Case {
        const char* name;
        std::string_view t, find, repl;
        OptInt start, count;
        bool caseSensitive;
        std::string_view want;
    };
    const Case cases[] = {
        {"all", "a,b,,c", ",", ";", std::nullopt, std::nullopt, true, "a;b;;c"},
        {"repl absent deletes", "a,b,c", ",", {}, std::nullopt, std::nullopt, true, "abc"},
        {"longer repl", "ab", "b", "xyz", std::nullopt, std::nullopt, true, "axyz"},
        {"no overlap", "aaaa", "aa", "b", std::nullopt, std::nullopt, true, "bb"},
        {"no overlap, odd", "aaa", "aa", "b", std::nullopt, std::nullopt, true, "ba"},
        {"repl containing find is not rescanned", "aa", "a", "aa", std::nullopt, std::nullopt, true, "aaaa"},
        {"count 2", "x.x.x.x", ".", "-", std::nullopt, 2, true, "x-x-x.x"},
        {"count 0", "x.x", ".", "-", std::nullopt, 0, true, "x.x"},
        {"count negative: all", "x.x.x", ".", "-", std::nullopt, -1, true, "x-x-x"},
        {"start", "x.x.x", ".", "-", 3, std::nullopt, true, "x.x-x"},
        {"start on a match", "x.x.x", ".", "-", 2, 1, true, "x-x.x"},
        {"start below 1", "x.x", ".", "-", -3, std::nullopt, true, "x-x"},
        {"start at last byte", "x.x.", ".", "-", 4, std::nullopt, true, "x.x-"},
        {"start beyond end", "x.x.", ".", "-", 5, std::nullopt, true, "x.x."},
        {"case-insensitive", "aBc ABC abc", "abc", "#", std::nullopt, std::nullopt, false, "# # #"},
        {"case-sensitive", "aBc ABC abc", "abc", "#", std::nullopt, std::nullopt, true, "aBc ABC #"},
        {"empty text", "", "a", "b", std::nullopt, std::nullopt, true, ""},
        {"empty find", "abc", "", "x", std::nullopt, std::nullopt, true, "abc"},
        {"gbk", ZW ZW, "\xCE\xC4", AH, std::nullopt, std::nullopt, true, "\xD6\xD0" AH "\xD6\xD0" AH},
        {"not across a character boundary", AH AH, "\xA1\xB0", "x", std::nullopt, std::nullopt, true, AH AH},
        {"trail letter is not a letter", TRAIL_UP "A", "a", "x", std::nullopt, std::nullopt, false, TRAIL_UP "x"},
        {"lone lead at end is kept", "a" LONE, LONE, "x", std::nullopt, std::nullopt, true, "a" LONE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReplaceText(c.t, c.find, c.repl, c.start, c.count, c.caseSensitive), c.want) << c.name;
}

TEST(ReplaceText, CaseInsensitiveByDefault) { EXPECT_EQ(ReplaceText("A.a", "a", "b"), "b.b"); }

// ---------------------------------------------------------------------------------------------
// TextBetweenMarkers: the one cutting routine behind the harvest's and the fetch's marker cuts

TEST(TextBetweenMarkers, EndSearchStartsAtOrAfterTheStartMarker) {
    using enum EndMarkerSearch;
    struct Case {
        const char* name;
        std::string_view source, start, end;
        EndMarkerSearch endSearch;
        OptInt from;
        bool ignoreCase;
        std::string_view want;
    };
    const Case cases[] = {
        {"plain", "x<b>in</b>y", "<b>", "</b>", kFromStartMarker, std::nullopt, false, "in"},
        {"plain, after", "x<b>in</b>y", "<b>", "</b>", kAfterStartMarker, std::nullopt, false, "in"},
        // An end marker that begins inside the start marker: found first when searched from where
        // the start marker begins (nothing between), skipped when searched behind it.
        {"end inside start", "c?q=1\" accesskey", "c", "c", kFromStartMarker, std::nullopt, false, ""},
        {"end behind start", "c?q=1c", "c", "c", kAfterStartMarker, std::nullopt, false, "?q=1"},
        {"adjacent markers", "<a></a>", "<a>", "</a>", kFromStartMarker, std::nullopt, false, ""},
        {"no start", "abc", "<", ">", kFromStartMarker, std::nullopt, false, ""},
        {"no end", "<abc", "<", ">", kAfterStartMarker, std::nullopt, false, ""},
        {"end only before start", ">x<", "<", ">", kFromStartMarker, std::nullopt, false, ""},
        {"from skips an earlier start", "[a][b]", "[", "]", kAfterStartMarker, 2, false, "b"},
        {"ignore case", "<B>x</b>", "<b>", "</B>", kAfterStartMarker, std::nullopt, true, "x"},
        {"case counts", "<B>x</b>", "<b>", "</b>", kAfterStartMarker, std::nullopt, false, ""},
        {"start at the very end", "ab<", "<", ">", kAfterStartMarker, std::nullopt, false, ""},
        {"gbk: no match inside a character", AH "<" ZW ">", "<", ">", kFromStartMarker, std::nullopt, false, ZW},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TextBetweenMarkers(c.source, c.start, c.end, c.endSearch, c.from, c.ignoreCase), c.want) << c.name;
}

// ---------------------------------------------------------------------------------------------
// SplitText

TEST(SplitText, PiecesBetweenDelimitersUpToMax) {
    struct Case {
        const char* name;
        std::string_view t;
        std::optional<std::string_view> delim;
        OptInt max;
        std::vector<std::string> want;
    };
    const Case cases[] = {
        {"default comma", "a,b,c", std::nullopt, std::nullopt, {"a", "b", "c"}},
        {"dotted quad", "1.2.3.4", ".", std::nullopt, {"1", "2", "3", "4"}},
        {"trailing delimiter adds no piece", "1.2.3.4.", ".", std::nullopt, {"1", "2", "3", "4"}},
        {"leading delimiter adds an empty piece", ".1.2.3", ".", std::nullopt, {"", "1", "2", "3"}},
        {"adjacent delimiters keep an empty piece", "a;;b", ";", std::nullopt, {"a", "", "b"}},
        {"two trailing delimiters", "a;;", ";", std::nullopt, {"a", ""}},
        {"only a delimiter", ";", ";", std::nullopt, {""}},
        {"no delimiter", "abc", ";", std::nullopt, {"abc"}},
        {"multi-byte delimiter", "a\r\nb\r\n", "\r\n", std::nullopt, {"a", "b"}},
        {"empty text", "", ";", std::nullopt, {}},
        {"empty delimiter", "a;b", "", std::nullopt, {"a;b"}},
        {"max", "a,b,c,d", std::nullopt, 2, {"a", "b"}},
        {"max above count", "a,b", std::nullopt, 5, {"a", "b"}},
        {"max 0", "a,b", std::nullopt, 0, {}},
        {"max negative", "a,b", std::nullopt, -1, {}},
        {"max 0 with empty delimiter", "a", "", 0, {}},
        {"exact match only", "aXbxc", "x", std::nullopt, {"aXb", "c"}},
        {"gbk delimiter", AH "1" AH "2", AH, std::nullopt, {"", "1", "2"}},
        {"not across a character boundary", AH AH, "\xA1\xB0", std::nullopt, {AH AH}},
    };
    for (const Case& c : cases) EXPECT_EQ(SplitText(c.t, c.delim, c.max).items, c.want) << c.name;
}

// ---------------------------------------------------------------------------------------------
// TrimBoth, RemoveAllSpaces, ToLower

TEST(TrimAndSpaces, HalfAndFullWidthSpacesCountOnlyAtCharacterStarts) {
    struct Case {
        const char* name;
        std::string_view t, trimmed, noSpaces;
    };
    const Case cases[] = {
        {"plain", "  a b  ", "a b", "ab"},
        {"full-width spaces", FWSP " a" FWSP "b " FWSP, "a" FWSP "b", "ab"},
        {"tab CR LF stay", "\t a \r\n", "\t a \r\n", "\ta\r\n"},
        {"only spaces", " " FWSP " ", "", ""},
        {"empty", "", "", ""},
        {"A1 A1 across characters is not a space",
         QUOTE "\xA1"
               "x",
         QUOTE "\xA1"
               "x",
         QUOTE "\xA1"
               "x"},
        {"A1 A1 after a character is a space", AH FWSP "x", AH FWSP "x", AH "x"},
        {"lone lead at end dropped", "a " LONE, "a", "a"},
        {"only a lone lead", LONE, "", ""},
        {"gbk kept", " " ZW " ", ZW, ZW},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TrimBoth(c.t), c.trimmed) << c.name;
        EXPECT_EQ(RemoveAllSpaces(c.t), c.noSpaces) << c.name;
    }
}

TEST(ToLower, FoldsAsciiLettersOutsideTwoByteCharacters) {
    struct Case {
        std::string_view t, want;
    };
    const Case cases[] = {
        {"HTTPS://Ex.COM/", "https://ex.com/"},
        {"@[`{", "@[`{"},
        {TRAIL_UP "A", TRAIL_UP "a"},  // the trail byte 'A' belongs to a two-byte character
        {"A" LONE, "a" LONE},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(ToLower(c.t), c.want) << Show(c.t);
}

// ---------------------------------------------------------------------------------------------
// ToInt

TEST(ToInt, ReadsLeadingSignedDigitsHalfOrFullWidthWrappingAt32Bits) {
    struct Case {
        const char* name;
        std::string_view t;
        int want;
    };
    const Case cases[] = {
        {"plain", "8080", 8080},
        {"negative", "-42", -42},
        {"plus", "+7", 7},
        {"leading blanks", " \t\n\v\f\r12", 12},
        {"stops at non-digit", "12ab34", 12},
        {"trailing blank", "12 ", 12},
        {"no digits", "abc", 0},
        {"empty", "", 0},
        {"sign only", "-", 0},
        {"sign then blank", "- 5", 0},
        {"no hexadecimal", "0x1F", 0},
        {"leading zeros", "007", 7},
        {"full-width digits", "\xA3\xB1\xA3\xB2\xA3\xB3", 123},  // １２３
        {"full-width sign", "\xA3\xAD\xA3\xB5", -5},             // －５
        {"full-width plus",
         "\xA3\xAB"
         "9",
         9},                                               // ＋9
        {"full-width space skipped", FWSP FWSP "42", 42},  // 　　42
        {"full-width letter stops",
         "4\xA3\xD8"
         "5",
         4},  // 4Ｘ5
        {"other gbk stops", "1" AH "2", 1},
        {"A3 B1 across characters is not a digit", QUOTE "\xA3\xB1", 0},
        {"lone lead at end", "3" LONE, 3},
        {"int max", "2147483647", INT_MAX},
        {"int min", "-2147483648", INT_MIN},
        {"wraps past int max", "2147483648", INT_MIN},
        {"wraps 2^32", "4294967296", 0},
        {"wraps 2^32 + 5", "4294967301", 5},
        {"wraps negative", "-4294967297", -1},
        {"long digit run", "99999999999999999999", 1661992959},  // 10^20 - 1 modulo 2^32
    };
    for (const Case& c : cases) EXPECT_EQ(ToInt(c.t), c.want) << c.name;
}

// ---------------------------------------------------------------------------------------------
// ToText

TEST(ToText, Real) {
    struct Case {
        double v;
        const char* want;
    };
    const Case cases[] = {
        {57.0, "57"},
        {-1.0, "-1"},
        {0.0, "0"},
        {0.5, "0.5"},
        {0.1 + 0.2, "0.3"},
        {1.0 / 3.0, "0.3333333333333"},
        {1e13, "1e+13"},
        {9999999999999.0, "9999999999999"},
        {1e-5, "1e-05"},
        {1e-4, "0.0001"},
        {123456789.125, "123456789.125"},
        {-2.5e-300, "-2.5e-300"},
        {1e100, "1e+100"},
    };
    for (const Case& c : cases) EXPECT_EQ(ToText(c.v), c.want) << c.want;
}

TEST(ToText, IntegersBytesAndText) {
    EXPECT_EQ(ToText(0), "0");
    EXPECT_EQ(ToText(-57), "-57");
    EXPECT_EQ(ToText(INT_MIN), "-2147483648");
    EXPECT_EQ(ToText(std::int64_t{-9000000000}), "-9000000000");
    EXPECT_EQ(ToText(std::string_view("a" AH)), "a" AH);

    struct Case {
        Bytes b;
        const char* want;
    };
    const Case cases[] = {
        {{'a', 'b'}, "ab"},
        {{'a', 0, 'b'}, "a"},
        {{0, 'a'}, ""},
        {{}, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(ToText(c.b), c.want);
}

// ---------------------------------------------------------------------------------------------
// Small helpers

TEST(Helpers, CharBlankConcatCompare) {
    EXPECT_EQ(CharFromCode('A'), "A");
    EXPECT_EQ(CharFromCode(0xB0), "\xB0");
    EXPECT_EQ(CharFromCode(0), "");

    EXPECT_EQ(BlankText(3), "   ");
    EXPECT_EQ(BlankText(0), "");
    EXPECT_EQ(BlankText(-2), "");
    EXPECT_EQ(BlankBytes(32), Bytes(32, 0));
    EXPECT_EQ(BlankBytes(-1), Bytes());

    EXPECT_EQ(ConcatText({"a", "", AH, "b"}), "a" AH "b");
    EXPECT_EQ(ConcatText({}), "");
    const Bytes x{1, 0}, y{2};
    EXPECT_EQ(ConcatBytes({&x, &y, &x}), (Bytes{1, 0, 2, 1, 0}));

    struct Cmp {
        std::string_view a, b;
        int want;
    };
    const Cmp cmps[] = {
        {"abc", "abc", 0}, {"abc", "abd", -1}, {"b", "abc", 1},
        {"ab", "abc", -1}, {"", "", 0},        {"\xB0", "a", 1},  // unsigned byte order
        {"a", "\xB0", -1},
    };
    for (const Cmp& c : cmps) EXPECT_EQ(CompareText(c.a, c.b), c.want) << Show(c.a) << " vs " << Show(c.b);
}

TEST(Helpers, BytesOps) {
    const Bytes b = ToBytes("ab");
    EXPECT_EQ(b, (Bytes{'a', 'b'}));  // no terminator
    EXPECT_EQ(BytesLength(b), 2);
    EXPECT_EQ(ToBytes(""), Bytes());
    EXPECT_EQ(ToBytes(AH), (Bytes{0xB0, 0xA1}));

    const Bytes data{'x', 0, 'a', 'b', 0, 'a', 'b'};
    EXPECT_EQ(BytesLeft(data, 2), (Bytes{'x', 0}));
    EXPECT_EQ(BytesLeft(data, 99), data);
    EXPECT_EQ(BytesLeft(data, 0), Bytes());

    struct Case {
        Bytes pattern;
        OptInt start;
        int want;
    };
    const Case cases[] = {
        {{'a', 'b'}, std::nullopt, 3},
        {{0, 'a'}, std::nullopt, 2},  // zero bytes are ordinary bytes here
        {{'a', 'b'}, 4, 6},
        {{'a', 'b'}, 6, 6},
        {{'a', 'b'}, 7, -1},
        {{'b'}, 8, -1},
        {{'a', 'b'}, -1, 3},
        {{'q'}, std::nullopt, -1},
        {{}, std::nullopt, -1},
    };
    for (const Case& c : cases) EXPECT_EQ(FindBytes(data, c.pattern, c.start), c.want);
    EXPECT_EQ(FindBytes({}, {'a'}), -1);
    // Byte search ignores character boundaries.
    EXPECT_EQ(FindBytes(ToBytes(AH AH), ToBytes("\xA1\xB0")), 2);
}

// ---------------------------------------------------------------------------------------------
// IntDiv

TEST(IntDiv, TruncatesTowardZeroAndGivesZeroForDivisionByZero) {
    struct Case {
        int a, b, want;
    };
    const Case cases[] = {
        {7, 2, 3},
        {-7, 2, -3},
        {7, -2, -3},
        {-7, -2, 3},
        {6, 3, 2},
        {1, 2, 0},
        {-1, 2, 0},
        {7, 0, 0},
        {0, 0, 0},
        {INT_MIN, 0, 0},
        {INT_MAX, 1, INT_MAX},
        {INT_MIN, 1, INT_MIN},
        {INT_MAX, -1, -INT_MAX},
        {INT_MIN, 2, INT_MIN / 2},
        {INT_MIN, -1, INT_MIN},  // 2^31 does not fit and wraps
        {2147483646, 2147483647, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(IntDiv(c.a, c.b), c.want) << c.a << " / " << c.b;
}

}  // namespace
