// Failure injection for the compiler's allocations: the test program
// replaces the nothrow forms of operator new, so that one chosen allocation
// answers null while every other one is served normally.
#pragma once

namespace allocfail {

/// From now on count nothrow allocations and fail the one with index `n`
/// (0 = the next one); later ones succeed again.
void FailNth(long n);
/// Stops counting and failing.
void Disarm();
/// True once the chosen allocation has been failed.
bool Failed();

/// Arms FailNth(n) for the lifetime of the object.
class Scope {
public:
    explicit Scope(long n) { FailNth(n); }
    ~Scope() { Disarm(); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};

} // namespace allocfail
