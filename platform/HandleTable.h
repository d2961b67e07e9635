// Kernel object handles: one process-wide table that gives out the HANDLE
// values of threads, events, mutexes, files and pipes, and CloseHandle for
// every kind.
#pragma once

#include <memory>

#include "platform/WinTypes.h"

/// Closes a handle of any kind (thread, event, mutex, file, pipe). The object
/// goes when its last handle is closed; a thread keeps running. Returns TRUE,
/// or FALSE with ERROR_INVALID_HANDLE for a null, closed, pseudo or unknown
/// handle (INVALID_HANDLE_VALUE included).
BOOL CloseHandle(HANDLE handle);

/// Makes a second handle to the same object in this process (source and
/// target process handles must be null or GetCurrentProcess()). Options and
/// access are ignored. FALSE with ERROR_INVALID_HANDLE for a bad source.
BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, HANDLE* target,
                     DWORD access, BOOL inherit, DWORD options);

/// The pseudo handle of the current process (as on Windows, the value -1).
HANDLE GetCurrentProcess();

namespace korvane::platform {

/// The base of every object that a kernel handle can name. Objects are shared:
/// each handle holds a reference, so an object lives while a handle or a
/// running operation uses it.
class KernelObject {
public:
    enum class Kind { Thread, Event, Mutex, File, Find };
    explicit KernelObject(Kind kind) : m_kind(kind) {}
    virtual ~KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;
    Kind kind() const { return m_kind; }

private:
    Kind m_kind;
};

/// Enters `object` into the table and returns its new handle, never reused in
/// the life of the process; null if the table is full (ERROR_NOT_ENOUGH_MEMORY
/// is then set).
HANDLE HandleInsert(std::shared_ptr<KernelObject> object);
/// The object named by `handle`, or null (ERROR_INVALID_HANDLE set) when the
/// handle is not open. `kind`, when given, must match too.
std::shared_ptr<KernelObject> HandleLookup(HANDLE handle);
std::shared_ptr<KernelObject> HandleLookup(HANDLE handle, KernelObject::Kind kind);
/// Removes `handle` from the table and hands back its object (null and
/// ERROR_INVALID_HANDLE when not open).
std::shared_ptr<KernelObject> HandleRemove(HANDLE handle);

} // namespace korvane::platform
