// COM task allocator over the C heap, with the per-thread failure injection.
#include "platform/OleMemory.h"

#include <cstdlib>

namespace korvane::platform {
// Countdown to the injected failure; 0 = off.
thread_local long t_oleFailAfter = 0;
} // namespace korvane::platform

namespace {
// True when this allocation is the one that the test asked to fail.
bool injectedFailure() {
    long& left = korvane::platform::t_oleFailAfter;
    if (left <= 0)
        return false;
    return --left == 0;
}
} // namespace

LPVOID CoTaskMemAlloc(size_t size) {
    if (injectedFailure())
        return nullptr;
    // malloc(0) may return null; COM hands out a real block for size 0.
    return std::malloc(size == 0 ? 1 : size);
}

LPVOID CoTaskMemRealloc(LPVOID block, size_t size) {
    if (injectedFailure())
        return nullptr;
    return std::realloc(block, size == 0 ? 1 : size);
}

void CoTaskMemFree(LPVOID block) { std::free(block); }

namespace korvane::platform {
void OleFailAllocationAfter(long n) { t_oleFailAfter = n < 0 ? 0 : n; }
bool OleInjectedFailure() { return injectedFailure(); }
} // namespace korvane::platform
