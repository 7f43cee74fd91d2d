// Child program of fatal_box_test: hits one fatal run-time error, chosen by its argument.
//   index0        element 0 of an array, on a worker thread
//   index_beyond  element count+1 of an array, on the main thread
//   alloc         an allocation that cannot succeed
#include <windows.h>

#include <cstring>
#include <new>
#include <thread>

#include "text/text.h"

namespace {

volatile std::size_t g_sink;

int HitIndexBeyond() {
    TextArray a;
    ArrayAppend(a, "x");
    ArrayAppend(a, "y");
    g_sink = ArrayItem(a, 3).size();
    return 0;
}

DWORD WINAPI HitIndexZero(LPVOID) {
    TextArray a;
    ArrayAppend(a, "x");
    g_sink = ArrayItem(a, 0).size();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    if (std::strcmp(argv[1], "index0") == 0) {
        HANDLE t = CreateThread(nullptr, 0, HitIndexZero, nullptr, 0, nullptr);
        WaitForSingleObject(t, INFINITE);
        return 3;  // not reached: the worker ends the whole process
    }
    if (std::strcmp(argv[1], "index_beyond") == 0) return HitIndexBeyond() + 3;
    if (std::strcmp(argv[1], "alloc") == 0) {
        // More than any address space this process can have.
        const std::size_t huge = sizeof(void*) == 8 ? (std::size_t{1} << 47) : std::size_t{0xFFFFF000u};
        char* p = new char[huge];
        g_sink = reinterpret_cast<std::size_t>(p);
        return 3;
    }
    return 2;
}
