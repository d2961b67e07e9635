// The process-wide table of kernel object handles. Handle values are counters
// (multiples of 4, as on Windows) that are never given out twice, so a stale
// handle can never reach an object opened later.
#include "platform/HandleTable.h"

#include <mutex>
#include <unordered_map>

#include "platform/LastError.h"

namespace korvane::platform {
namespace {

struct Table {
    std::mutex lock;
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
    // Starts well above the small integers that stray casts produce and
    // below the pseudo handles at the top of the address range.
    uintptr_t next = 0x10000;
};

Table& table() {
    // Never destroyed: threads may still close handles while the process
    // exits and static destructors run.
    static Table* t = new Table;
    return *t;
}

constexpr uintptr_t kHandleStep = 4;
// Pseudo handles (GetCurrentProcess = -1, GetCurrentThread = -2) and the
// predefined registry roots live up there; table handles stay below.
constexpr uintptr_t kHandleLimit = 0x7FFFFFFF0000ull;

} // namespace

HANDLE HandleInsert(std::shared_ptr<KernelObject> object) {
    if (!object) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Table& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    if (t.next >= kHandleLimit) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    uintptr_t value = t.next;
    t.next += kHandleStep;
    t.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> HandleLookup(HANDLE handle) {
    Table& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == t.objects.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return it->second;
}

std::shared_ptr<KernelObject> HandleLookup(HANDLE handle, KernelObject::Kind kind) {
    std::shared_ptr<KernelObject> object = HandleLookup(handle);
    if (object && object->kind() != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return object;
}

std::shared_ptr<KernelObject> HandleRemove(HANDLE handle) {
    Table& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == t.objects.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    std::shared_ptr<KernelObject> object = std::move(it->second);
    t.objects.erase(it);
    return object;
}

} // namespace korvane::platform

using korvane::platform::KernelObject;

BOOL CloseHandle(HANDLE handle) {
    // A search handle belongs to FindClose; Windows refuses it here too.
    std::shared_ptr<KernelObject> object = korvane::platform::HandleLookup(handle);
    if (!object || object->kind() == KernelObject::Kind::Find) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    object = korvane::platform::HandleRemove(handle);
    if (!object) {
        return FALSE; // closed by another thread meanwhile
    }
    // The object itself goes when the last reference (another handle, a
    // running wait) drops; for files that closes the descriptor.
    object.reset();
    return TRUE;
}

HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }

BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, HANDLE* target,
                     DWORD /*access*/, BOOL /*inherit*/, DWORD /*options*/) {
    HANDLE self = GetCurrentProcess();
    if ((sourceProcess != nullptr && sourceProcess != self) ||
        (targetProcess != nullptr && targetProcess != self)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (target == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::shared_ptr<KernelObject> object = korvane::platform::HandleLookup(source);
    if (!object || object->kind() == KernelObject::Kind::Find) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    HANDLE copy = korvane::platform::HandleInsert(std::move(object));
    if (copy == nullptr) {
        return FALSE;
    }
    *target = copy;
    return TRUE;
}
