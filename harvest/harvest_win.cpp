#include "harvest/harvest.h"

#include "app/list.h"
#include "http/fetch.h"

void HarvestPage(int n) {
    static const HarvestListOps kList{ListAppendRow, ListSetCell, ListRowCount, SetLabelCaption};
    HarvestPageWith(n, [](const Text& url) { return FetchUrl(url); }, kList);
}
