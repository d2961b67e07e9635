// The COM task allocator (CoTaskMemAlloc and friends) from which BSTRs, safe
// arrays and strings handed across COM are allocated, with an allocation
// failure hook for tests of the error paths.
#pragma once

#include <cstddef>

#include "platform/OleAuto.h"

/// Allocates `size` bytes (aligned for any type); null when out of memory.
/// A size of 0 gives a valid, unique block.
LPVOID CoTaskMemAlloc(size_t size);
/// Resizes a block from CoTaskMemAlloc (null allocates); on failure returns
/// null and leaves the old block as it was.
LPVOID CoTaskMemRealloc(LPVOID block, size_t size);
/// Frees a block from CoTaskMemAlloc; null is ignored.
void CoTaskMemFree(LPVOID block);

namespace korvane::platform {

/// Test hook: the `n`th task allocation from now (1 = the next one) fails,
/// and every one after it succeeds again; 0 switches the injection off.
/// Per thread, so that concurrent tests do not disturb each other.
void OleFailAllocationAfter(long n);
/// True when the injected failure is due now (consumes one step of the
/// countdown); for allocators that serve blocks without CoTaskMemAlloc.
bool OleInjectedFailure();
/// Per-thread countdown behind OleInjectedFailure (0: off), for its
/// inline fast path.
extern thread_local long t_oleFailAfter;
inline bool OleInjectionArmed() { return t_oleFailAfter > 0; }

} // namespace korvane::platform
