// Fuzz target: SplitText, TrimBoth, RemoveAllSpaces, ToLower and ToInt.
//
// Input fields (separated by zero bytes): text, delimiter (absent when the input has one field
// only: the default ","), max, and a number source for ToInt (its first four bytes).
//
// Properties:
// - SplitText gives the reference pieces (between exact delimiters at character starts;
//   empty pieces kept except the rest after a trailing delimiter). Without max, the pieces
//   joined with the delimiter give the text back, or the text without its trailing delimiter.
//   With max, the pieces are the first max pieces of the unlimited split.
// - TrimBoth and RemoveAllSpaces give the reference results (spaces 0x20 and A1 A1 as
//   characters of the walk; a lone lead byte at the end dropped); trimming twice trims nothing
//   more, and trimming first does not change what RemoveAllSpaces leaves.
// - ToLower lowers exactly the one-byte characters A-Z.
// - ToInt gives the reference value, and reads back every 32-bit value from its decimal text,
//   also written in full-width forms behind blanks and followed by a non-digit.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>

#include "tests/fuzz/fuzz_support.h"

using namespace fuzz;

namespace {

// ASCII 0x21..0x7E as its full-width form A3 A1..A3 FE, the space as A1 A1.
Text FullWidth(std::string_view ascii) {
    Text out;
    for (char c : ascii) {
        if (c == ' ') {
            out += "\xA1\xA1";
        } else {
            out += '\xA3';
            out += static_cast<char>(static_cast<unsigned char>(c) + 0x80);
        }
    }
    return out;
}

void CheckSplit(const Text& t, std::optional<std::string_view> delim, OptInt max) {
    const std::string_view d = delim ? *delim : std::string_view(",");
    const auto ctx = [&] {
        return "t=" + Show(t) + " delim=" + (delim ? Show(*delim) : "absent") + " max=" + Show(max);
    };

    const std::vector<std::string> pieces = SplitText(t, delim, max).items;
    const std::vector<std::string> want = RefSplit(t, delim, max);
    CHECK(pieces == want, "SplitText " + ctx() + " got " + Show(pieces) + " want " + Show(want));

    const std::vector<std::string> all = SplitText(t, delim).items;
    if (!d.empty()) {
        const std::string joined = Join(all, d);
        CHECK(joined == t || joined + std::string(d) == t,
              "pieces joined do not give the text back: " + ctx() + " joined " + Show(joined));
    } else {
        CHECK(t.empty() ? all.empty() : all == std::vector<std::string>{t}, "empty delimiter: " + ctx());
    }
    if (max) {
        std::vector<std::string> prefix = all;
        if (*max <= 0)
            prefix.clear();
        else if (prefix.size() > static_cast<std::size_t>(*max))
            prefix.resize(static_cast<std::size_t>(*max));
        CHECK(pieces == prefix, "SplitText with max is no prefix of the full split: " + ctx());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Fields in(data, size);
    const Text t = in.Get(0);
    const Text delim = in.Get(1);
    const OptInt max = in.Number(2);

    CheckSplit(t, in.Has(1) ? std::optional<std::string_view>(delim) : std::nullopt, max);

    const Text trimmed = TrimBoth(t);
    CHECK(trimmed == RefTrim(t), "TrimBoth t=" + Show(t) + " got " + Show(trimmed) + " want " + Show(RefTrim(t)));
    CHECK(TrimBoth(trimmed) == trimmed, "TrimBoth twice t=" + Show(t));
    const Text bare = RemoveAllSpaces(t);
    CHECK(bare == RefRemoveSpaces(t),
          "RemoveAllSpaces t=" + Show(t) + " got " + Show(bare) + " want " + Show(RefRemoveSpaces(t)));
    CHECK(RemoveAllSpaces(trimmed) == bare, "RemoveAllSpaces after TrimBoth t=" + Show(t));

    const Text lower = ToLower(t);
    CHECK(lower == RefLower(t), "ToLower t=" + Show(t) + " got " + Show(lower) + " want " + Show(RefLower(t)));

    CHECK(ToInt(t) == RefToInt(t),
          "ToInt t=" + Show(t) + " got " + std::to_string(ToInt(t)) + " want " + std::to_string(RefToInt(t)));
    const Text source = in.Get(3);
    std::uint32_t bits = 0;
    std::memcpy(&bits, source.data(), std::min<std::size_t>(source.size(), sizeof bits));
    const int v = static_cast<int>(bits);
    const Text decimal = ToText(v);
    CHECK(ToInt(decimal) == v, "ToInt of " + decimal);
    const Text dressed = " \t" + FullWidth(" " + decimal) + "x1";
    CHECK(ToInt(dressed) == v, "ToInt of " + Show(dressed) + " gives " + std::to_string(ToInt(dressed)));
    return 0;
}
