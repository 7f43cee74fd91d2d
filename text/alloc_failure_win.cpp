// A failed allocation is a fatal run-time error: the program shows the error box with the byte
// count instead of throwing std::bad_alloc. Linked into the Windows executables only (the native
// test build keeps the sanitizers' own allocator).
#include <cstdlib>
#include <new>

#include "text/fatal.h"

void* operator new(std::size_t size) {
    if (void* p = std::malloc(size ? size : 1)) return p;
    FatalAllocationError(size);
}

void* operator new[](std::size_t size) {
    if (void* p = std::malloc(size ? size : 1)) return p;
    FatalAllocationError(size);
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
