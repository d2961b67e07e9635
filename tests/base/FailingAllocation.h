// Failure injection for the non-throwing allocations of the base library:
// the test program replaces the nothrow forms of operator new, so that a
// chosen allocation answers null while every other one is served normally.
#pragma once

namespace failalloc {

/// From now on, count nothrow allocations and let the one with index `n`
/// (0 = the next one) fail; later ones succeed again.
void FailNth(long n);
/// Stops failing and counting.
void Disarm();
/// Nothrow allocations counted since the last FailNth.
long Count();
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

} // namespace failalloc
