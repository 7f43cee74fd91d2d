// Fuzz target: the harvest's marker cutting and row assembly, with a recording list.
//
// Input fields (separated by zero bytes): first part, second part, start marker, end marker,
// flags, then any number of texts for AddProxyRows. flags: bits 0-3 choose the page number
// (1 + value % 10), bits 4-7 where a two-pass AddProxyRows splits its texts, bits 8-23 which
// appends the list refuses (append i is refused when bit 8 + i % 16 is set).
//
// Properties:
// - TextBetween with any markers gives the reference cut; a result that is not empty lies in the
//   source right after the first start marker and right before the next end marker.
// - AllTextsBetween appends exactly the reference texts (each not empty, each enclosed by the
//   markers at increasing places in the source) behind what the collection held, and returns
//   the count then held, or 0 with the collection unchanged.
// - AddProxyRows: rows only ever start at dotted quads (four pieces on splitting on "."), one
//   per dotted quad; the k-th text behind a dotted quad goes to column k of that row for k = 1,
//   3, 4 and nowhere else; texts before the first dotted quad and texts of a refused row touch
//   nothing. Two passes split anywhere, the second continuing the first's cursor, make the same
//   calls as one pass.
// - HarvestPageWith fetches the page URL, then the gateway base followed by the query cut from
//   the next-part link; appends the rows of the span texts of both parts' data blocks (each
//   part's texts once), never touches the row another worker added before, and writes the count
//   label once with the list's row count.
#include <cstddef>
#include <cstdint>

#include "harvest/harvest.h"
#include "tests/fuzz/fuzz_support.h"

using namespace fuzz;

namespace {

// The gateway's markup, byte for byte (GBK).
const Text kLinkStart = "<a id=\"tc_next\" href=\"./t";
const Text kLinkEnd = "\x3E\xCF\xC2\xD2\xB3";  // >下页
const Text kQueryStart = "c";
const Text kQueryEnd = "\" accesskey";
// <div  style="font-weight:bold;" >免费代理IP，HTTP免费代理服务器大全，每日更新</div><div  class="c5" >
const Text kBlockStart =
    "<div  style=\"font-weight:bold;\" >"
    "\xC3\xE2\xB7\xD1\xB4\xFA\xC0\xED\x49\x50\xA3\xAC\x48\x54\x54\x50\xC3\xE2\xB7\xD1\xB4\xFA\xC0\xED\xB7\xFE\xCE\xF1"
    "\xC6\xF7\xB4\xF3\xC8\xAB\xA3\xAC\xC3\xBF\xC8\xD5\xB8\xFC\xD0\xC2"
    "</div><div  class=\"c5\" >";
const Text kBlockEnd = "</div></div></div>";
const Text kSpan = "<span  class=\"c7\" >";
const Text kSpanEnd = "</span>";
const Text kLabelPrefix = "\xBB\xF1\xC8\xA1\x69\x70\xCA\xFD\x3A";  // 获取ip数:
const Text kLabelSuffix = "\xB8\xF6";                              // 个

// ---- references of the cutting routines ----

struct Cut {
    std::size_t at;  // byte index of the text in the source
    std::string text;
};

// The text between the start marker found from `from` and the next end marker searched from
// where the start marker begins, with where it lies; empty text when either is missing or
// nothing lies between them. An empty start marker is found where the search begins.
Cut RefBetween(std::string_view source, std::string_view start, std::string_view end, int from = 1) {
    const int a = start.empty() ? (from <= static_cast<int>(source.size()) ? from : -1) : RefFind(source, start, from);
    if (a == -1) return {0, {}};
    const int b = RefFind(source, end, a);
    if (b == -1) return {0, {}};
    const long long length = static_cast<long long>(b) - a - static_cast<long long>(start.size());
    if (length <= 0) return {0, {}};
    const std::size_t at = static_cast<std::size_t>(a - 1) + start.size();
    return {at, std::string(source.substr(at, static_cast<std::size_t>(length)))};
}

// Every text up to the first pair that encloses nothing; the next start marker is searched
// from where the previous end marker begins.
std::vector<Cut> RefAllBetween(std::string_view source, std::string_view start, std::string_view end) {
    std::vector<Cut> out;
    int p = 1;
    for (;;) {
        const Cut c = RefBetween(source, start, end, p);
        if (c.text.empty()) break;
        out.push_back(c);
        p = static_cast<int>(c.at + c.text.size()) + 1;  // where the end marker begins
    }
    return out;
}

bool RefDottedQuad(std::string_view t) { return RefSplit(t, ".").size() == 4; }

// ---- the recording list ----

struct RecordingList {
    int rows = 0;         // rows already in the list (another worker's)
    unsigned refuse = 0;  // bit i % 16: append number i is refused
    int appends = 0;
    std::vector<std::string> calls;  // every call, in order
    std::vector<Text> appended;      // the texts rows were started with
    std::vector<int> ourRows;        // the rows the appends gave
    std::vector<std::pair<int, int>> cells;
    std::vector<Text> labels;

    HarvestListOps Ops() {
        return {
            [this](const Text& t) {
                const bool refused = (refuse >> (appends++ % 16)) & 1u;
                const int row = refused ? -1 : rows++;
                appended.push_back(t);
                if (row >= 0) ourRows.push_back(row);
                calls.push_back("append " + Show(t) + " -> " + std::to_string(row));
                return row;
            },
            [this](int row, int column, const Text& t) {
                cells.emplace_back(row, column);
                calls.push_back("set " + std::to_string(row) + "," + std::to_string(column) + " " + Show(t));
            },
            [this](CountCaption caption) { labels.push_back(caption(rows)); },
        };
    }
};

// The calls AddProxyRows should make for these texts on a list in the given state: each
// dotted quad appends a row, and the k-th text behind it goes to column k for k = 1, 3, 4.
std::vector<std::string> ExpectedRowCalls(const std::vector<std::string>& texts, RecordingList list) {
    const HarvestListOps ops = list.Ops();
    bool open = false;
    int row = -1;
    int k = 0;  // texts since the row's dotted quad
    for (const std::string& t : texts) {
        if (RefDottedQuad(t)) {
            row = ops.appendRow(t);
            open = true;
            k = 0;
            continue;
        }
        if (!open) continue;
        ++k;
        if (row >= 0 && (k == 1 || k == 3 || k == 4)) ops.setCell(row, k, t);
    }
    return list.calls;
}

// What holds for any calls, whatever the texts: rows start at dotted quads only, cells go to
// rows of this harvest and to columns 1, 3 and 4 only.
void CheckRowCalls(const RecordingList& list, const char* what) {
    for (const Text& t : list.appended)
        CHECK(RefDottedQuad(t), std::string(what) + ": a row starts at no dotted quad: " + Show(t));
    for (const auto& [row, column] : list.cells) {
        const std::string cell = std::to_string(row) + "," + std::to_string(column);
        CHECK(column == 1 || column == 3 || column == 4, std::string(what) + ": cell outside columns 1, 3, 4: " + cell);
        bool ours = false;
        for (int r : list.ourRows) ours |= r == row;
        CHECK(ours, std::string(what) + ": cell of a row this harvest did not append: " + cell);
    }
}

void CheckCutting(const Text& source, const Text& start, const Text& end) {
    const auto ctx = [&] { return "source=" + Show(source) + " start=" + Show(start) + " end=" + Show(end); };
    const Text between = TextBetween(source, start, end);
    const Cut want = RefBetween(source, start, end);
    CHECK(between == want.text, "TextBetween " + ctx() + " got " + Show(between) + " want " + Show(want.text));
    if (!between.empty()) {
        const int a = RefFind(source, start);
        const std::size_t at = static_cast<std::size_t>(a - 1) + start.size();
        CHECK(a > 0 && source.compare(static_cast<std::size_t>(a - 1), start.size(), start) == 0 &&
                  source.compare(at, between.size(), between) == 0 &&
                  RefFind(source, end, a) == static_cast<int>(at + between.size()) + 1,
              "TextBetween result does not lie between the markers: " + ctx());
    }

    TextArray collected;
    ArrayAppend(collected, "old");
    const int n = AllTextsBetween(source, start, end, collected);
    const std::vector<Cut> texts = RefAllBetween(source, start, end);
    std::vector<std::string> wantItems{"old"};
    for (const Cut& c : texts) wantItems.push_back(c.text);
    CHECK(collected.items == wantItems,
          "AllTextsBetween " + ctx() + " got " + Show(collected.items) + " want " + Show(wantItems));
    CHECK(n == (texts.empty() ? 0 : ArrayCount(collected)), "AllTextsBetween count " + ctx());
    std::size_t after = 0;
    for (const Cut& c : texts) {
        CHECK(!c.text.empty() && c.at >= after && c.at >= start.size() &&
                  source.compare(c.at - start.size(), start.size(), start) == 0 &&
                  source.compare(c.at + c.text.size(), end.size(), end) == 0,
              "AllTextsBetween text not enclosed in order: " + ctx());
        after = c.at + c.text.size();
    }
    if (!texts.empty()) CHECK(texts[0].text == between, "first collected text is not TextBetween's: " + ctx());
}

void CheckRows(const std::vector<std::string>& texts, unsigned flags) {
    for (const std::string& t : texts) CHECK(IsDottedQuad(t) == RefDottedQuad(t), "IsDottedQuad " + Show(t));

    TextArray all;
    for (const std::string& t : texts) ArrayAppend(all, t);
    RecordingList one;
    one.rows = 1;
    one.refuse = (flags >> 8) & 0xFFFFu;
    const std::vector<std::string> want = ExpectedRowCalls(texts, one);
    RowCursor cursor;
    AddProxyRows(all, 1, cursor, one.Ops());
    CHECK(one.calls == want, "AddProxyRows texts=" + Show(texts) + " calls " + Show(one.calls) + " want " + Show(want));
    CheckRowCalls(one, "AddProxyRows");

    // The same texts in two passes, the second continuing the first one's cursor.
    const int split = static_cast<int>((flags >> 4) & 15u) % (static_cast<int>(texts.size()) + 1);
    RecordingList two;
    two.rows = 1;
    two.refuse = one.refuse;
    TextArray part;
    for (int i = 0; i < split; ++i) ArrayAppend(part, texts[static_cast<std::size_t>(i)]);
    RowCursor continued;
    AddProxyRows(part, 1, continued, two.Ops());
    for (std::size_t i = static_cast<std::size_t>(split); i < texts.size(); ++i) ArrayAppend(part, texts[i]);
    AddProxyRows(part, split + 1, continued, two.Ops());
    CHECK(two.calls == one.calls, "two passes split at " + std::to_string(split) + " texts=" + Show(texts) + " calls " +
                                      Show(two.calls) + " one pass " + Show(one.calls));
}

void CheckHarvest(const Text& first, const Text& second, unsigned flags) {
    const int n = 1 + static_cast<int>(flags & 15u) % 10;
    std::vector<Text> asked;
    const HarvestFetch fetch = [&](const Text& url) {
        asked.push_back(url);
        const Text& body = asked.size() == 1 ? first : second;
        return Bytes(body.begin(), body.end());
    };
    RecordingList list;
    list.rows = 1;  // row 0: another worker's
    list.refuse = (flags >> 8) & 0xFFFFu;
    const RecordingList before = list;
    HarvestPageWith(n, fetch, list.Ops());

    const auto ctx = [&] { return "n=" + std::to_string(n) + " first=" + Show(first) + " second=" + Show(second); };
    const Text query = RefBetween(RefBetween(first, kLinkStart, kLinkEnd).text, kQueryStart, kQueryEnd).text;
    const std::vector<Text> wantAsked{HarvestPageUrl(n), GatewayBase() + query};
    CHECK(asked == wantAsked, "fetched URLs " + Show(asked) + " want " + Show(wantAsked) + " " + ctx());

    std::vector<std::string> texts;
    for (const Text* page : {&first, &second})
        for (const Cut& c : RefAllBetween(RefBetween(*page, kBlockStart, kBlockEnd).text, kSpan, kSpanEnd))
            texts.push_back(c.text);
    const std::vector<std::string> want = ExpectedRowCalls(texts, before);
    CHECK(list.calls == want, "harvest calls " + Show(list.calls) + " want " + Show(want) + " " + ctx());
    CheckRowCalls(list, "HarvestPageWith");
    const std::vector<Text> wantLabels{kLabelPrefix + std::to_string(list.rows) + kLabelSuffix};
    CHECK(list.labels == wantLabels, "labels " + Show(list.labels) + " want " + Show(wantLabels) + " " + ctx());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Fields in(data, size);
    const Text first = in.Get(0);
    const Text second = in.Get(1);
    const unsigned flags = in.Bits(4);

    CheckCutting(first, in.Get(2), in.Get(3));
    CheckCutting(first, kSpan, kSpanEnd);

    std::vector<std::string> texts;
    for (std::size_t i = 5; i < in.Count(); ++i) texts.push_back(in.Get(i));
    CheckRows(texts, flags);

    CheckHarvest(first, second, flags);
    return 0;
}
