// Replacement nothrow operator new / new[] for the compiler test program.
// Memory comes from the ordinary operators, so every delete still matches
// (also under AddressSanitizer), unless the armed allocation is reached.
#include "tests/compiler/AllocFailure.h"

#include <atomic>
#include <cstddef>
#include <new>

namespace {

std::atomic<bool> g_armed{false};
std::atomic<long> g_count{0};
std::atomic<long> g_failAt{-1};
std::atomic<bool> g_failed{false};

bool ShouldFail() {
    if (!g_armed.load()) {
        return false;
    }
    if (g_count.fetch_add(1) == g_failAt.load()) {
        g_failed.store(true);
        return true;
    }
    return false;
}

} // namespace

namespace allocfail {

void FailNth(long n) {
    g_count.store(0);
    g_failAt.store(n);
    g_failed.store(false);
    g_armed.store(true);
}

void Disarm() {
    g_armed.store(false);
}

bool Failed() {
    return g_failed.load();
}

} // namespace allocfail

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (ShouldFail()) {
        return nullptr;
    }
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (ShouldFail()) {
        return nullptr;
    }
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}
