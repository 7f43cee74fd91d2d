#include "text/fatal.h"

void FatalIndexError(int index) {
    if (index < 1) FatalError(kFatalIndexBelowOne, kFatalIndexBelowOneMessage);
    FatalError(kFatalIndexBeyondEnd, kFatalIndexBeyondEndMessage);
}

void FatalAllocationError(std::size_t bytes) { FatalError(std::nullopt, AllocationFailureMessage(bytes)); }
