// Text primitives shared by every module.
//
// Text is a byte string in code page 936 (GBK) that holds no zero byte; lengths and positions
// count bytes and positions are 1-based. Bytes is a byte buffer that may hold zero bytes.
// TextArray is a growable sequence of Text indexed from 1; reading an index outside 1..count is
// a fatal run-time error (see fatal.h).
//
// Searching and trimming step through a Text by characters: a byte 0x80 or above starts a
// two-byte character together with the byte after it (a lone such byte at the very end ends the
// walk), and matches are tried only at character starts. The byte-counting primitives
// (TextLength, TextLeft, TextRight, TextMid and the Bytes helpers) ignore character boundaries.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using Text = std::string;
using Bytes = std::vector<unsigned char>;

struct TextArray {
    std::vector<Text> items;
};

// An optional integer argument: std::nullopt is "absent".
using OptInt = std::optional<int>;

int TextLength(std::string_view t);
Text TextLeft(std::string_view t, int n);
Text TextRight(std::string_view t, int n);
Text TextMid(std::string_view t, int start, int n);

int FindText(std::string_view t, std::string_view needle, OptInt start = std::nullopt, bool ignoreCase = false);
int FindTextReverse(std::string_view t, std::string_view needle, OptInt start = std::nullopt, bool ignoreCase = false);
Text ReplaceText(std::string_view t, std::string_view find, std::string_view repl = {}, OptInt start = std::nullopt,
                 OptInt count = std::nullopt, bool caseSensitive = false);
TextArray SplitText(std::string_view t, std::optional<std::string_view> delim = std::nullopt,
                    OptInt max = std::nullopt);
Text TrimBoth(std::string_view t);

// Where the end marker is looked for once the start marker was found: from where the start marker
// begins (the harvest's TextBetween), or from the byte right after it (the fetch's CutBetween).
enum class EndMarkerSearch { kFromStartMarker, kAfterStartMarker };
// The bytes between the first startMarker at or after `from` and the first endMarker searched as
// `endSearch` says; empty when either is missing, or when the end marker begins inside the start
// marker. ignoreCase folds ASCII letters in both searches.
Text TextBetweenMarkers(std::string_view source, std::string_view startMarker, std::string_view endMarker,
                        EndMarkerSearch endSearch, OptInt from = std::nullopt, bool ignoreCase = false);
Text RemoveAllSpaces(std::string_view t);
Text ToLower(std::string_view t);
int ToInt(std::string_view t);

Text ToText(const Bytes& b);
Text ToText(std::int64_t v);
Text ToText(int v);
Text ToText(double v);
Text ToText(std::string_view t);

Text CharFromCode(int c);
Text BlankText(int n);
Bytes BlankBytes(int n);
int BytesLength(const Bytes& b);
Bytes BytesLeft(const Bytes& b, int n);
int FindBytes(const Bytes& b, const Bytes& pattern, OptInt start = std::nullopt);
Bytes ToBytes(std::string_view t);
int CompareText(std::string_view a, std::string_view b);
Text ConcatText(std::initializer_list<std::string_view> parts);
Bytes ConcatBytes(std::initializer_list<const Bytes*> parts);

// TextArray: 1-based; ArrayItem with an index outside 1..count ends the program (fatal.h).
int ArrayCount(const TextArray& a);
void ArrayAppend(TextArray& a, std::string_view t);
const Text& ArrayItem(const TextArray& a, int i);

// The program's own integer arithmetic: computed as a real, stored truncated toward zero;
// a division by zero stores 0.
int IntDiv(int a, int b);
