// The five columns of the proxy list (超级列表框1), in order: the one table the window, the
// harvest, the probe, the proxy switch and the test windows all build on. Portable: the harvest's
// row assembly uses it natively too.
#pragma once

#include <iterator>

enum ListColumn : int {
    kColumnAddress = 0,   // IP地址: the proxy's IPv4 address; a dotted quad starts a row
    kColumnType = 1,      // 代理类型: "HTTP" for the proxies the probe and 按钮2 accept
    kColumnDelay = 2,     // 延时: the reply delay, "47ms" or "超时"
    kColumnLocation = 3,  // 详细地址: a location text of the proxy
    kColumnExtra = 4,     // untitled: a further text of the listing, when present
};

// Who writes a column's cells once its row exists.
enum class ColumnFiller { kHarvest, kProbe };

struct ListColumnSpec {
    ListColumn index;
    const char* title;  // GBK
    int width;          // pixels
    ColumnFiller filledBy;
};

inline constexpr ListColumnSpec kListColumns[] = {
    {kColumnAddress, "IP\xB5\xD8\xD6\xB7", 120, ColumnFiller::kHarvest},                 // IP地址
    {kColumnType, "\xB4\xFA\xC0\xED\xC0\xE0\xD0\xCD", 80, ColumnFiller::kHarvest},       // 代理类型
    {kColumnDelay, "\xD1\xD3\xCA\xB1", 50, ColumnFiller::kProbe},                        // 延时
    {kColumnLocation, "\xCF\xEA\xCF\xB8\xB5\xD8\xD6\xB7", 150, ColumnFiller::kHarvest},  // 详细地址
    {kColumnExtra, "", 50, ColumnFiller::kHarvest},
};
inline constexpr int kListColumnCount = static_cast<int>(std::size(kListColumns));

// True for an existing column whose cells the harvest writes (every one but the probe's).
constexpr bool HarvestFillsColumn(int column) {
    return column >= 0 && column < kListColumnCount && kListColumns[column].filledBy == ColumnFiller::kHarvest;
}

static_assert(
    [] {
        for (int i = 0; i < kListColumnCount; ++i)
            if (kListColumns[i].index != i) return false;
        return true;
    }(),
    "the table lists the columns in their order");
