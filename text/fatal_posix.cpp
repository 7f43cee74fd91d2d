// Native (Linux) side of the fatal run-time error, for the portable unit tests: the box text
// goes to stderr and the process ends with exit code -1 (seen as 255).
#include <unistd.h>

#include <cstdio>

#include "text/fatal.h"

void FatalError(std::optional<int> code, std::string_view message) {
    const Text text = FatalMessageText(code, message);
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
    _exit(-1);
}
