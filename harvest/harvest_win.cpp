#include "harvest/harvest.h"

#include "app/list.h"
#include "http/fetch.h"

HarvestListOps ProgramHarvestListOps() { return {ListAppendRow, ListSetCell, ListSetCountLabel}; }

void HarvestPage(int n) {
    // Built on this worker's stack and destroyed by it: no object shared with the other threads
    // is left for the C runtime to destroy at exit while a worker still runs.
    HarvestPageWith(
        n, [](const Text& url) { return FetchUrl(url); }, ProgramHarvestListOps());
}
