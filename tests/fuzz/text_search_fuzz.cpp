// Fuzz target: FindText, FindTextReverse and ReplaceText, and with them the character walk
// (matches only at character starts, counted from the first byte also when a search begins
// further in).
//
// Input fields (separated by zero bytes): text, needle, start, flags, replacement, count.
// flags: bit 0 ignoreCase of the searches, bit 1 caseSensitive of the replacement.
//
// Properties:
// - FindText and FindTextReverse give the reference walker's answer, with the start given and
//   absent; a found position starts a character of the text and the needle's bytes are there.
// - A case-ignoring search equals a case-sensitive search of both texts lowered by ToLower.
// - ReplaceText gives the reference replacement (left to right, no overlap, at most count);
//   replacing a text by itself case-sensitively changes nothing.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/fuzz_support.h"

using namespace fuzz;

namespace {

void CheckFound(std::string_view t, std::string_view needle, bool ignoreCase, int p, const char* which) {
    if (p <= 0 || needle.empty()) return;
    const RefWalk w(t);
    CHECK(w.start[static_cast<std::size_t>(p - 1)], std::string(which) +
                                                        " result inside a two-byte character: t=" + Show(t) +
                                                        " needle=" + Show(needle) + " p=" + std::to_string(p));
    CHECK(RefMatchAt(t, w, static_cast<std::size_t>(p - 1), needle, ignoreCase),
          std::string(which) + " result is no match: t=" + Show(t) + " needle=" + Show(needle) +
              " p=" + std::to_string(p));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Fields in(data, size);
    const Text t = in.Get(0);
    const Text needle = in.Get(1);
    const OptInt start = in.Number(2);
    const unsigned flags = in.Bits(3);
    const bool ignoreCase = flags & 1u;
    const bool caseSensitive = flags & 2u;
    const Text repl = in.Get(4);
    const OptInt count = in.Number(5);
    const auto ctx = [&] {
        return "t=" + Show(t) + " needle=" + Show(needle) + " start=" + Show(start) +
               " ignoreCase=" + std::to_string(ignoreCase);
    };

    for (const OptInt s : {start, OptInt()}) {
        const int got = FindText(t, needle, s, ignoreCase);
        const int want = RefFind(t, needle, s, ignoreCase);
        CHECK(got == want,
              "FindText " + ctx() + " s=" + Show(s) + " got " + std::to_string(got) + " want " + std::to_string(want));
        CheckFound(t, needle, ignoreCase, got, "FindText");

        const int back = FindTextReverse(t, needle, s, ignoreCase);
        const int backWant = RefFindReverse(t, needle, s, ignoreCase);
        CHECK(back == backWant, "FindTextReverse " + ctx() + " s=" + Show(s) + " got " + std::to_string(back) +
                                    " want " + std::to_string(backWant));
        CheckFound(t, needle, ignoreCase, back, "FindTextReverse");
    }

    const int folded = FindText(t, needle, start, true);
    const int lowered = FindText(ToLower(t), ToLower(needle), start, false);
    CHECK(folded == lowered, "ignoreCase against lowered texts: " + ctx() + " folded " + std::to_string(folded) +
                                 " lowered " + std::to_string(lowered));

    const Text replaced = ReplaceText(t, needle, repl, start, count, caseSensitive);
    const std::string replacedWant = RefReplace(t, needle, repl, start, count, caseSensitive);
    CHECK(replaced == replacedWant, "ReplaceText " + ctx() + " repl=" + Show(repl) + " count=" + Show(count) +
                                        " caseSensitive=" + std::to_string(caseSensitive) + " got " + Show(replaced) +
                                        " want " + Show(replacedWant));
    CHECK(ReplaceText(t, needle, needle, start, count, true) == t, "ReplaceText by itself changed " + ctx());
    return 0;
}
