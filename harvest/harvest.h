// The harvest worker: fetches page N of the listing through the transcoding gateway (first part
// and the part behind its next-part link), cuts the entries out by fixed markers and appends them
// to the proxy list, then writes the row count into the count label.
#pragma once

#include <functional>
#include <string_view>

#include "text/text.h"

// The count label's caption for a row count (CountLabelText).
using CountCaption = Text (*)(int rows);

// The list and label operations a harvest drives. The program binds them to app/list.h; tests
// bind recording fakes.
struct HarvestListOps {
    std::function<int(const Text&)> appendRow;           // ListAppendRow
    std::function<void(int, int, const Text&)> setCell;  // ListSetCell
    // Counts the rows and writes caption(count) into the count label as one step of the list's
    // owner (ListSetCountLabel): no append can come between the count and the write, so the
    // caption written last holds the final count whatever order the workers finish in.
    std::function<void(CountCaption)> setCountLabel;
};

// The page fetch: the body of a GET of `url`, empty on failure (FetchUrl in the program).
using HarvestFetch = std::function<Bytes(const Text&)>;

// Where the previous AddProxyRows pass left off, so a later pass continues the open row.
struct RowCursor {
    bool open = false;  // a dotted quad of this harvest has started a row
    int row = -1;       // its index (-1 when the list refused it)
    int column = 0;     // the column the next non-address text is aimed at
};

// Gateway base "http://<gateway>/tc" and the first-part URL of listing page n.
Text GatewayBase();
Text HarvestPageUrl(int n);

// The bytes between the first startMarker and the next endMarker (searched from where the start
// marker begins); empty when either is missing.
Text TextBetween(std::string_view source, std::string_view startMarker, std::string_view endMarker);
// Appends every enclosed text to `collected`, stopping at the first pair that encloses nothing
// (an empty start marker is found where each search begins, so it gives at most one text).
// Returns the count `collected` then holds, or 0 when the first text is missing or empty.
int AllTextsBetween(std::string_view source, std::string_view startMarker, std::string_view endMarker,
                    TextArray& collected);
// True when splitting on "." gives exactly four pieces (the pieces are not examined).
bool IsDottedQuad(const Text& text);
// Turns collected[from..count] (1-based) into rows: a dotted quad appends a row; the texts behind
// it go to columns 1, 3 and 4 (column 2 is the probe's, later texts are lost). Texts before the
// first dotted quad of the harvest (cursor not open) are dropped. Continues from `cursor`.
void AddProxyRows(const TextArray& collected, int from, RowCursor& cursor, const HarvestListOps& list);

// The whole harvest of page n with the given fetch and list operations.
void HarvestPageWith(int n, const HarvestFetch& fetch, const HarvestListOps& list);

// The count label text: "获取ip数:" + rows + "个".
Text CountLabelText(int rows);

#ifdef _WIN32
// The program's list operations (app/list.h), made for each harvest: nothing of them outlives it.
HarvestListOps ProgramHarvestListOps();
// Worker N's harvest in the program: FetchUrl and the real list operations.
void HarvestPage(int n);
#endif
