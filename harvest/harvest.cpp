#include "harvest/harvest.h"

#include <string_view>

#include "app/columns.h"
#include "build_config.h"

namespace {

// Markers, byte for byte in code page 936. Views of string literals, not Text objects: the workers
// read them until the process ends, and a Text at namespace scope would be destroyed by the C
// runtime when WinMain returns, while a worker may still be cutting a page.
// <a id="tc_next" href="./t
constexpr std::string_view kLinkStart = "<a id=\"tc_next\" href=\"./t";
constexpr std::string_view kLinkEnd = "\x3E\xCF\xC2\xD2\xB3";  // >下页
constexpr std::string_view kQueryStart = "c";
constexpr std::string_view kQueryEnd = "\" accesskey";
// <div  style="font-weight:bold;" >免费代理IP，HTTP免费代理服务器大全，每日更新</div><div  class="c5" >
constexpr std::string_view kBlockStart =
    "<div  style=\"font-weight:bold;\" >"
    "\xC3\xE2\xB7\xD1\xB4\xFA\xC0\xED\x49\x50\xA3\xAC\x48\x54\x54\x50\xC3\xE2\xB7\xD1\xB4\xFA\xC0\xED\xB7\xFE\xCE\xF1"
    "\xC6\xF7\xB4\xF3\xC8\xAB\xA3\xAC\xC3\xBF\xC8\xD5\xB8\xFC\xD0\xC2"
    "</div><div  class=\"c5\" >";
constexpr std::string_view kBlockEnd = "</div></div></div>";
constexpr std::string_view kEntryStart = "<span  class=\"c7\" >";
constexpr std::string_view kEntryEnd = "</span>";

constexpr std::string_view kLabelPrefix = "\xBB\xF1\xC8\xA1\x69\x70\xCA\xFD\x3A";  // 获取ip数:
constexpr std::string_view kLabelSuffix = "\xB8\xF6";                              // 个

// Only ':' and '/' are encoded; letters, digits, dots and underscores stay as they are.
Text EncodeAddress(std::string_view address) {
    Text out;
    for (char c : address) {
        if (c == ':')
            out += "%3A";
        else if (c == '/')
            out += "%2F";
        else
            out += c;
    }
    return out;
}

}  // namespace

Text GatewayBase() { return ConcatText({"http://", PROXYTOOL_GATEWAY_HOST, "/tc"}); }

Text HarvestPageUrl(int n) {
    const Text address = ConcatText({"http://", PROXYTOOL_LISTING_HOST, "/res/ip/page_", ToText(n), ".php"});
    return ConcatText({GatewayBase(), "?bd_page_type=1&src=", EncodeAddress(address)});
}

Text TextBetween(std::string_view source, std::string_view startMarker, std::string_view endMarker) {
    return TextBetweenMarkers(source, startMarker, endMarker, EndMarkerSearch::kFromStartMarker);
}

int AllTextsBetween(std::string_view source, std::string_view startMarker, std::string_view endMarker,
                    TextArray& collected) {
    const int length = TextLength(startMarker);
    int p = 1;
    auto next = [&]() -> Text {
        // An empty start marker is found right where the search begins. (FindText answers 1 for
        // an empty needle wherever it starts, so the walk would never get past the first text.)
        const int a = startMarker.empty() ? (p <= TextLength(source) ? p : -1) : FindText(source, startMarker, p);
        if (a == -1) return {};
        const int b = FindText(source, endMarker, a);
        p = b;
        if (b == -1) return {};
        return TextMid(source, a + length, b - a - length);
    };
    Text text = next();
    if (text.empty()) return 0;
    while (!text.empty()) {
        ArrayAppend(collected, text);
        text = next();
    }
    return ArrayCount(collected);
}

bool IsDottedQuad(const Text& text) { return ArrayCount(SplitText(text, ".")) == 4; }

void AddProxyRows(const TextArray& collected, int from, RowCursor& cursor, const HarvestListOps& list) {
    const int count = ArrayCount(collected);
    for (int i = from < 1 ? 1 : from; i <= count; ++i) {
        const Text& t = ArrayItem(collected, i);
        if (IsDottedQuad(t)) {
            cursor.row = list.appendRow(t);
            cursor.column = 1;
            cursor.open = true;
            continue;
        }
        // Before this harvest's first address there is no row of ours to fill: drop the text
        // (row 0 may belong to another worker).
        if (!cursor.open) continue;
        // A refused row (-1), the probe's column and columns past the last take nothing.
        if (cursor.row >= 0 && HarvestFillsColumn(cursor.column)) list.setCell(cursor.row, cursor.column, t);
        ++cursor.column;
    }
}

Text CountLabelText(int rows) { return ConcatText({kLabelPrefix, ToText(rows), kLabelSuffix}); }

void HarvestPageWith(int n, const HarvestFetch& fetch, const HarvestListOps& list) {
    TextArray collected;
    RowCursor cursor;

    Text page = ToText(fetch(HarvestPageUrl(n)));
    const Text link = TextBetween(page, kLinkStart, kLinkEnd);
    // For a link target ./tc?query the first "c" is the one of "tc": the query follows it. Sent
    // exactly as cut (no decoding of character references); an empty query leaves the bare base.
    const Text query = TextBetween(link, kQueryStart, kQueryEnd);
    const Text continuationUrl = ConcatText({GatewayBase(), query});
    Text block = TextBetween(page, kBlockStart, kBlockEnd);
    AllTextsBetween(block, kEntryStart, kEntryEnd, collected);
    AddProxyRows(collected, 1, cursor, list);
    const int firstPartCount = ArrayCount(collected);

    // The second part's texts join the collection; only they are turned into rows, continuing the
    // row the first part left open (an entry cut across the two parts stays one row).
    page = ToText(fetch(continuationUrl));
    block = TextBetween(page, kBlockStart, kBlockEnd);
    AllTextsBetween(block, kEntryStart, kEntryEnd, collected);
    AddProxyRows(collected, firstPartCount + 1, cursor, list);

    list.setCountLabel(CountLabelText);
}
