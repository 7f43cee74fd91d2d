// The harvest worker's cutting routines and row layout, natively and under Wine: the page fetch
// is a table of served bodies and the list a recording model that behaves like the real one
// (five columns; a cell of a missing row or column takes nothing).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "build_config.h"
#include "harvest/harvest.h"

namespace {

// The gateway's markup, byte for byte (GBK).
const Text kLinkOpen = "<a id=\"tc_next\" href=\"./t";
const Text kLinkClose = "\x3E\xCF\xC2\xD2\xB3";  // >下页
// <div  style="font-weight:bold;" >免费代理IP，HTTP免费代理服务器大全，每日更新</div><div  class="c5" >
const Text kBlockOpen =
    "<div  style=\"font-weight:bold;\" >"
    "\xC3\xE2\xB7\xD1\xB4\xFA\xC0\xED\x49\x50\xA3\xAC\x48\x54\x54\x50\xC3\xE2\xB7\xD1\xB4\xFA\xC0\xED\xB7\xFE\xCE\xF1"
    "\xC6\xF7\xB4\xF3\xC8\xAB\xA3\xAC\xC3\xBF\xC8\xD5\xB8\xFC\xD0\xC2"
    "</div><div  class=\"c5\" >";
const Text kBlockClose = "</div></div></div>";
const Text kSpan = "<span  class=\"c7\" >";
const Text kSpanEnd = "</span>";
const Text kLabelPrefix = "\xBB\xF1\xC8\xA1\x69\x70\xCA\xFD\x3A";  // 获取ip数:
const Text kLabelSuffix = "\xB8\xF6";                              // 个
const Text kBeijing = "\xB1\xB1\xBE\xA9";                          // 北京
const Text kHighAnon = "\xB8\xDF\xC4\xE4";                         // 高匿

const Text kBase = "http://" PROXYTOOL_GATEWAY_HOST "/tc";

Text Spans(const std::vector<Text>& texts) {
    Text out;
    for (const Text& t : texts) out += kSpan + t + kSpanEnd;
    return out;
}

// One part as the gateway serves it; `query` empty: no next-part link.
Text Part(const std::vector<Text>& texts, const Text& query = "") {
    Text page = "<html><body><p>top</p>" + kBlockOpen + "<p>" + Spans(texts) + "</p>" + kBlockClose;
    if (!query.empty()) page += "<div>" + kLinkOpen + "c" + query + "\" accesskey=\"n\"" + kLinkClose + "</a></div>";
    return page + "</body></html>";
}

Bytes B(const Text& t) { return Bytes(t.begin(), t.end()); }

// A list-view model: rows of five cells, appends at the end, cells past the columns ignored.
struct FakeList {
    std::vector<std::vector<Text>> rows;
    std::vector<std::string> calls;
    std::vector<Text> labels;
    bool refuseAppends = false;

    HarvestListOps Ops() {
        return {
            [this](const Text& t) {
                calls.push_back("append " + t);
                if (refuseAppends) return -1;
                rows.push_back({t, "", "", "", ""});
                return static_cast<int>(rows.size()) - 1;
            },
            [this](int row, int col, const Text& t) {
                calls.push_back("set " + std::to_string(row) + "," + std::to_string(col) + " " + t);
                if (row >= 0 && row < static_cast<int>(rows.size()) && col >= 0 && col < 5) rows[row][col] = t;
            },
            [this](CountCaption caption) { labels.push_back(caption(static_cast<int>(rows.size()))); },
        };
    }
};

using Rows = std::vector<std::vector<Text>>;

TextArray Arr(const std::vector<Text>& v) {
    TextArray a;
    for (const Text& t : v) ArrayAppend(a, t);
    return a;
}

// ---- TextBetween ----------------------------------------------------------------------------

struct BetweenCase {
    const char* name;
    Text source, start, end, want;
};

TEST(TextBetween, TextBetweenTheFirstStartAndTheNextEnd) {
    const BetweenCase cases[] = {
        {"plain", "ab<s>xyz</s>cd", "<s>", "</s>", "xyz"},
        {"first start, next end", "<s>1</s><s>2</s>", "<s>", "</s>", "1"},
        {"no start", "abc</s>", "<s>", "</s>", ""},
        {"no end", "<s>abc", "<s>", "</s>", ""},
        {"end right behind start", "<s></s>", "<s>", "</s>", ""},
        {"end before start is skipped", "</s><s>abc</s>", "<s>", "</s>", "abc"},
        {"empty source", "", "<s>", "</s>", ""},
        // The c (0x63) inside the two-byte character B0 63 is no character start: the query
        // starts at the real c.
        {"marker only at character starts",
         "\xB0"
         "c"
         "c?a=1\" accesskey",
         "c", "\" accesskey", "?a=1"},
        {"GBK text kept whole", kSpan + kBeijing + kSpanEnd, kSpan, kSpanEnd, kBeijing},
    };
    for (const BetweenCase& c : cases) EXPECT_EQ(TextBetween(c.source, c.start, c.end), c.want) << c.name;
}

// ---- AllTextsBetween ------------------------------------------------------------------------

TEST(AllTextsBetween, CollectsEveryTextUntilAnEmptyPair) {
    struct Case {
        const char* name;
        Text source;
        std::vector<Text> want;
        int result;
    };
    const Case cases[] = {
        {"three texts", Spans({"1.2.3.4", "HTTP", kBeijing}), {"1.2.3.4", "HTTP", kBeijing}, 3},
        {"third span empty ends it", Spans({"a", "b", "", "c", "d"}), {"a", "b"}, 2},
        {"first span empty: nothing", Spans({"", "a"}), {}, 0},
        {"no spans", "<p>nothing</p>", {}, 0},
        {"last span without its end", Spans({"a"}) + kSpan + "b", {"a"}, 1},
        {"texts kept as cut", Spans({" x ", "<b>&amp;</b>"}), {" x ", "<b>&amp;</b>"}, 2},
    };
    for (const Case& c : cases) {
        TextArray got;
        EXPECT_EQ(AllTextsBetween(c.source, kSpan, kSpanEnd, got), c.result) << c.name;
        EXPECT_EQ(got.items, c.want) << c.name;
    }
}

TEST(AllTextsBetween, AppendsBehindWhatIsThereAndCountsAll) {
    TextArray got = Arr({"old"});
    EXPECT_EQ(AllTextsBetween(Spans({"a", "b"}), kSpan, kSpanEnd, got), 3);
    EXPECT_EQ(got.items, (std::vector<Text>{"old", "a", "b"}));
    // Nothing enclosed: 0, and the collection stays as it was.
    EXPECT_EQ(AllTextsBetween("", kSpan, kSpanEnd, got), 0);
    EXPECT_EQ(ArrayCount(got), 3);
}

TEST(AllTextsBetween, AnEmptyStartMarkerIsFoundWhereTheSearchBegins) {
    // The first text is TextBetween's, and the walk ends behind it (it used to repeat that text
    // without end).
    TextArray got;
    EXPECT_EQ(AllTextsBetween("ab|cd|", "", "|", got), 1);
    EXPECT_EQ(got.items, (std::vector<Text>{"ab"}));
    EXPECT_EQ(TextBetween("ab|cd|", "", "|"), "ab");
    EXPECT_EQ(AllTextsBetween("|ab|", "", "|", got), 0);
    EXPECT_EQ(AllTextsBetween("", "", "|", got), 0);
    EXPECT_EQ(ArrayCount(got), 1);
}

// ---- IsDottedQuad ---------------------------------------------------------------------------

TEST(IsDottedQuad, FourPiecesOnSplittingOnDots) {
    const std::pair<Text, bool> cases[] = {
        {"1.2.3.4", true}, {"127.0.0.150", true}, {"1.2.3.4.", true},  // a trailing dot adds no piece
        {".1.2.3", true},  {"a.b.c.d", true},     {"1.2.3", false},   {"1.2.3.4.5", false},
        {"", false},       {"HTTP", false},       {"1..2.3", true},  // empty pieces between dots count
    };
    for (const auto& [text, want] : cases) EXPECT_EQ(IsDottedQuad(text), want) << text;
}

// ---- AddProxyRows ---------------------------------------------------------------------------

struct LayoutCase {
    const char* name;
    std::vector<Text> texts;
    Rows want;
};

TEST(AddProxyRows, LayoutOfEntries) {
    const LayoutCase cases[] = {
        {"address, type, speed, place", {"1.2.3.4", "HTTP", "x", "here"}, {{"1.2.3.4", "HTTP", "", "here", ""}}},
        {"column 2 is the probe's; fifth and later texts are lost",
         {"1.2.3.4", "t1", "t2", "t3", "t4", "t5", "t6"},
         {{"1.2.3.4", "t1", "", "t3", "t4"}}},
        {"a.b.c.d starts a row like an address", {"a.b.c.d", "HTTP"}, {{"a.b.c.d", "HTTP", "", "", ""}}},
        {"each address starts the next row",
         {"1.1.1.1", "HTTP", "s", kBeijing, kHighAnon, "2.2.2.2", "HTTPS", "3.3.3.3"},
         {{"1.1.1.1", "HTTP", "", kBeijing, kHighAnon}, {"2.2.2.2", "HTTPS", "", "", ""}, {"3.3.3.3", "", "", "", ""}}},
        {"texts before the first address are dropped",
         {"IP", "type", "speed", "place", "1.2.3.4", "HTTP"},
         {{"1.2.3.4", "HTTP", "", "", ""}}},
        {"no address: nothing", {"HTTP", "x"}, {}},
    };
    for (const LayoutCase& c : cases) {
        FakeList list;
        RowCursor cursor;
        AddProxyRows(Arr(c.texts), 1, cursor, list.Ops());
        EXPECT_EQ(list.rows, c.want) << c.name;
    }
}

TEST(AddProxyRows, LeadingTextsNeverTouchAnotherWorkersRow) {
    FakeList list;
    list.rows = {{"9.9.9.9", "HTTP", "", "there", "x"}};  // row 0, appended by another worker
    RowCursor cursor;
    AddProxyRows(Arr({"a", "b", "c", "d", "e"}), 1, cursor, list.Ops());
    EXPECT_EQ(list.rows, (Rows{{"9.9.9.9", "HTTP", "", "there", "x"}}));
    EXPECT_TRUE(list.calls.empty());
}

TEST(AddProxyRows, ARefusedRowTakesNoCells) {
    FakeList list;
    list.rows = {{"9.9.9.9", "", "", "", ""}};
    list.refuseAppends = true;
    RowCursor cursor;
    AddProxyRows(Arr({"1.2.3.4", "HTTP", "x", "here"}), 1, cursor, list.Ops());
    EXPECT_EQ(list.calls, (std::vector<std::string>{"append 1.2.3.4"}));
    EXPECT_EQ(list.rows, (Rows{{"9.9.9.9", "", "", "", ""}}));
}

TEST(AddProxyRows, ASecondPassContinuesTheOpenRowAndAddsOnlyNewTexts) {
    FakeList list;
    RowCursor cursor;
    TextArray collected = Arr({"1.1.1.1", "HTTP", "s", "p1", "2.2.2.2", "HTTP"});
    AddProxyRows(collected, 1, cursor, list.Ops());
    const int firstCount = ArrayCount(collected);
    for (const Text& t : {Text("s2"), Text("p2"), Text("k2"), Text("3.3.3.3"), Text("SOCKS5")})
        ArrayAppend(collected, t);
    AddProxyRows(collected, firstCount + 1, cursor, list.Ops());
    EXPECT_EQ(list.rows, (Rows{{"1.1.1.1", "HTTP", "", "p1", ""},
                               {"2.2.2.2", "HTTP", "", "p2", "k2"},
                               {"3.3.3.3", "SOCKS5", "", "", ""}}));
}

// ---- HarvestPage ----------------------------------------------------------------------------

struct Served {
    std::map<Text, Text> bodies;  // URL -> body; a URL not listed fails (empty bytes)
    std::vector<Text> asked;
    HarvestFetch Fetch() {
        return [this](const Text& url) {
            asked.push_back(url);
            auto it = bodies.find(url);
            return it == bodies.end() ? Bytes{} : B(it->second);
        };
    }
};

TEST(HarvestPage, PageUrlsEncodeTheListingAddress) {
    EXPECT_EQ(HarvestPageUrl(1),
              "http://" PROXYTOOL_GATEWAY_HOST "/tc?bd_page_type=1&src=http%3A%2F%2F" PROXYTOOL_LISTING_HOST
              "%2Fres%2Fip%2Fpage_1.php");
    EXPECT_EQ(HarvestPageUrl(10),
              "http://" PROXYTOOL_GATEWAY_HOST "/tc?bd_page_type=1&src=http%3A%2F%2F" PROXYTOOL_LISTING_HOST
              "%2Fres%2Fip%2Fpage_10.php");
}

TEST(HarvestPage, TwoPartsGiveEachEntryOnceAndTheTrueCount) {
    const Text query = "?bd_page_type=1&src=x&tc_part=2";
    Served served;
    // The second entry is cut across the two parts.
    served.bodies[HarvestPageUrl(3)] =
        Part({"1.1.1.1", "HTTP", "0.5s", kBeijing, kHighAnon, "2.2.2.2", "HTTPS"}, query);
    served.bodies[kBase + query] = Part({"0.7s", "p2", "k2", "3.3.3.3", "HTTP", "0.1s", "p3"});
    FakeList list;
    HarvestPageWith(3, served.Fetch(), list.Ops());

    EXPECT_EQ(served.asked, (std::vector<Text>{HarvestPageUrl(3), kBase + query}));
    EXPECT_EQ(list.rows, (Rows{{"1.1.1.1", "HTTP", "", kBeijing, kHighAnon},
                               {"2.2.2.2", "HTTPS", "", "p2", "k2"},
                               {"3.3.3.3", "HTTP", "", "p3", ""}}));
    EXPECT_EQ(list.labels, (std::vector<Text>{kLabelPrefix + "3" + kLabelSuffix}));
}

TEST(HarvestPage, TheLabelCountsEveryWorkersRows) {
    Served served;
    served.bodies[HarvestPageUrl(1)] = Part({"1.1.1.1", "HTTP"}, "?q=2");
    FakeList list;
    list.rows = Rows(57, {"9.9.9.9", "", "", "", ""});
    HarvestPageWith(1, served.Fetch(), list.Ops());
    EXPECT_EQ(list.labels, (std::vector<Text>{kLabelPrefix + "58" + kLabelSuffix}));
}

TEST(HarvestPage, EveryFetchFailingLeavesTheListEmptyAndTheLabelAtZero) {
    Served served;  // nothing is served
    FakeList list;
    HarvestPageWith(7, served.Fetch(), list.Ops());
    // No link in an empty page: the second fetch asks the bare gateway base.
    EXPECT_EQ(served.asked, (std::vector<Text>{HarvestPageUrl(7), kBase}));
    EXPECT_TRUE(list.rows.empty());
    EXPECT_EQ(list.labels, (std::vector<Text>{kLabelPrefix + "0" + kLabelSuffix}));
}

TEST(HarvestPage, TheContinuationQueryIsSentAsCut) {
    const Text query = "?bd_page_type=1&amp;src=http%3A%2F%2Fh%2Fres%2Fip%2Fpage_2.php&amp;tc_part=2";
    Served served;
    served.bodies[HarvestPageUrl(2)] = Part({"1.1.1.1"}, query);
    FakeList list;
    HarvestPageWith(2, served.Fetch(), list.Ops());
    ASSERT_EQ(served.asked.size(), 2u);
    EXPECT_EQ(served.asked[1], kBase + query);
}

TEST(HarvestPage, PagesWithoutUsableMarkupAddNothing) {
    struct Case {
        const char* name;
        Text body;
    };
    const Case cases[] = {
        {"no data block", "<html>" + Spans({"1.1.1.1", "HTTP"}) + "</html>"},
        {"block without its end", kBlockOpen + Spans({"1.1.1.1", "HTTP"}) + "</div>"},
        {"block without spans", kBlockOpen + "<p>1.1.1.1 HTTP</p>" + kBlockClose},
        {"first span empty", kBlockOpen + Spans({"", "1.1.1.1", "HTTP"}) + kBlockClose},
    };
    for (const Case& c : cases) {
        Served served;
        served.bodies[HarvestPageUrl(4)] = c.body;
        FakeList list;
        HarvestPageWith(4, served.Fetch(), list.Ops());
        EXPECT_TRUE(list.rows.empty()) << c.name;
        EXPECT_EQ(list.labels, (std::vector<Text>{kLabelPrefix + "0" + kLabelSuffix})) << c.name;
    }
}

TEST(HarvestPage, ASecondPartBeforeAnyAddressOfOursLeavesOtherRowsAlone) {
    Served served;
    served.bodies[HarvestPageUrl(5)] = Part({"IP", "type"}, "?p=2");
    served.bodies[kBase + "?p=2"] = Part({"speed", "place", "5.5.5.5", "HTTP"});
    FakeList list;
    list.rows = {{"9.9.9.9", "HTTP", "", "there", ""}};
    HarvestPageWith(5, served.Fetch(), list.Ops());
    EXPECT_EQ(list.rows, (Rows{{"9.9.9.9", "HTTP", "", "there", ""}, {"5.5.5.5", "HTTP", "", "", ""}}));
}

}  // namespace
