// CsLock: holds a critical section (recursive lock) for the lifetime of a
// scope, so that every exit of an operation releases its lock.
#pragma once

#include "platform/Sync.h"

class CsLock {
public:
    explicit CsLock(CRITICAL_SECTION& cs) : section(cs) { EnterCriticalSection(&section); }
    ~CsLock() { LeaveCriticalSection(&section); }
    CsLock(const CsLock&) = delete;
    CsLock& operator=(const CsLock&) = delete;

private:
    CRITICAL_SECTION& section;
};
