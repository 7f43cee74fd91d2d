// Fuzz target: the cookie merge (MergeCookies) and its helpers CookieName and JoinDistinct.
//
// Input fields (separated by zero bytes): the caller's cookie text, the response's cookies,
// then a text and a separator for JoinDistinct.
//
// Properties:
// - The merged cookie text, split on "; ", holds no repeated entry, no entry ending in
//   "=deleted" and no space; the returned copy equals it; returnedCookies loses its spaces and
//   nothing else.
// - The merged text is the documented list: the response's entries, then each caller entry
//   whose name neither the response nor an earlier caller entry has, without "=deleted" entries,
//   exact repeats dropped, joined by "; " (a trailing empty entry adds nothing).
// - CookieName is the trimmed text before the first '=' (the whole trimmed entry without one);
//   JoinDistinct joins the distinct pieces of its text, in first-seen order.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "http/http_core.h"
#include "tests/fuzz/fuzz_support.h"

using namespace fuzz;

namespace {

std::string RefCookieName(std::string_view entry) {
    const int p = RefFind(entry, "=");
    return RefTrim(p == -1 ? entry : entry.substr(0, static_cast<std::size_t>(p - 1)));
}

bool EndsDeleted(std::string_view e) { return e.size() >= 8 && e.substr(e.size() - 8) == "=deleted"; }

std::vector<std::string> Distinct(const std::vector<std::string>& v) {
    std::vector<std::string> out;
    for (const std::string& s : v)
        if (std::find(out.begin(), out.end(), s) == out.end()) out.push_back(s);
    return out;
}

std::string ExpectedMerge(std::string_view cookies, std::string_view returned) {
    std::vector<std::string> merged = RefSplit(RefRemoveSpaces(returned), ";");
    for (const std::string& e : RefSplit(RefRemoveSpaces(cookies), ";")) {
        const std::string name = RefCookieName(e);
        const bool named =
            std::any_of(merged.begin(), merged.end(), [&](const std::string& m) { return RefCookieName(m) == name; });
        if (!named) merged.push_back(e);
    }
    std::vector<std::string> kept;
    for (const std::string& e : merged)
        if (!EndsDeleted(e)) kept.push_back(e);
    if (!kept.empty() && kept.back().empty()) kept.pop_back();
    return Join(Distinct(kept), "; ");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Fields in(data, size);
    const Text cookiesBefore = in.Get(0);
    const Text returnedBefore = in.Get(1);
    Text cookies = cookiesBefore;
    Text returned = returnedBefore;
    const Text result = MergeCookies(cookies, returned);
    const auto ctx = [&] { return "cookies=" + Show(cookiesBefore) + " returned=" + Show(returnedBefore); };

    CHECK(result == cookies, "returned copy differs from the cookie text: " + ctx());
    CHECK(returned == RefRemoveSpaces(returnedBefore), "returnedCookies " + Show(returned) + " " + ctx());
    const std::vector<std::string> entries = RefSplit(cookies, "; ");
    CHECK(Distinct(entries) == entries, "repeated entry in " + Show(cookies) + " " + ctx());
    for (const std::string& e : entries) {
        CHECK(!EndsDeleted(e), "deleted entry " + Show(e) + " in " + Show(cookies) + " " + ctx());
        CHECK(RefRemoveSpaces(e) == e, "entry with a space " + Show(e) + " in " + Show(cookies) + " " + ctx());
    }
    const std::string want = ExpectedMerge(cookiesBefore, returnedBefore);
    CHECK(cookies == want, "merged " + Show(cookies) + " want " + Show(want) + " " + ctx());

    for (const Text& entry : {cookiesBefore, returnedBefore})
        CHECK(CookieName(entry) == RefCookieName(entry), "CookieName " + Show(entry));

    const Text text = in.Get(2);
    const Text separator = in.Get(3);
    const Text joined = JoinDistinct(text, separator);
    const std::string joinedWant = Join(Distinct(RefSplit(text, separator)), separator);
    CHECK(joined == joinedWant, "JoinDistinct text=" + Show(text) + " separator=" + Show(separator) + " got " +
                                    Show(joined) + " want " + Show(joinedWant));
    return 0;
}
