// BSTR, the automation string: UTF-16 code units preceded by a 32-bit byte
// count and followed by a 16-bit zero. Embedded zeros are allowed; the
// length comes from the prefix. A null BSTR reads as the empty string.
//
// As Windows' automation library does, each thread keeps a cache of freed
// short strings' memory and serves new strings from it, so that code that
// makes and frees many strings (every array of strings crossing a process)
// does not wait on the heap. A string freed on one thread may be reused on
// another's allocation only after its own thread frees more. The cache is
// off when the environment variable OANOCACHE is set (as on Windows) and in
// builds with AddressSanitizer, so that the use of a freed string is found.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/OleAuto.h"

/// Largest length in characters that a BSTR may have: its byte count,
/// the prefix and the terminator must fit the 32-bit prefix.
constexpr UINT BSTR_MAX_CHARS = 0x7FFFFFF0u;

/// A new BSTR holding the zero-terminated `text`; null for a null `text` or
/// when out of memory. The caller frees it with SysFreeString.
BSTR SysAllocString(LPCOLESTR text);
/// A new BSTR of `length` characters copied from `text` (which may hold
/// zeros); a null `text` gives `length` zero characters. Null when out of
/// memory or when `length` exceeds BSTR_MAX_CHARS.
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
/// A new BSTR of `length` bytes copied from `bytes` (null: zero bytes),
/// followed by a 16-bit zero; an odd byte count is kept (SysStringByteLen
/// tells it, SysStringLen rounds down).
BSTR SysAllocStringByteLen(LPCSTR bytes, UINT length);
/// Replaces *bstr by a copy of the zero-terminated `text` (which may point
/// into the old string); the old string is freed. TRUE on success; FALSE
/// (nothing changed) for a null `bstr` or when out of memory.
INT SysReAllocString(BSTR* bstr, LPCOLESTR text);
/// The same with `length` characters of `text` (null: zero characters).
INT SysReAllocStringLen(BSTR* bstr, const OLECHAR* text, UINT length);
/// Frees a BSTR; null is ignored.
void SysFreeString(BSTR bstr);
/// Length in characters (the byte count halved); 0 for null.
UINT SysStringLen(BSTR bstr);
/// Length in bytes; 0 for null.
UINT SysStringByteLen(BSTR bstr);

namespace korvane::platform {

/// Whether the per-thread cache of freed strings is on (see the file comment).
bool BstrCacheEnabled();

/// Strings made together in one block: the decoder of an array of strings
/// begins an arena of at least the strings' footprints together (a bound
/// will do) and adds the strings, each an ordinary BSTR that SysFreeString frees on any thread;
/// the block goes when its last string does (a string kept from a large
/// array keeps the whole block). Begin answers false (and Add then makes
/// ordinary strings) when the cache is off, so that AddressSanitizer sees
/// every string on its own; Add also makes an ordinary string once the
/// block is full. Finish, or the destructor, ends the adding; strings must
/// not be freed before it.
class BstrArena {
public:
    BstrArena() = default;
    ~BstrArena();
    BstrArena(const BstrArena&) = delete;
    BstrArena& operator=(const BstrArena&) = delete;
    /// Bytes a string of `byteLength` bytes takes in an arena.
    static size_t Footprint(UINT byteLength);
    /// Starts an arena of `bytes` bytes (at least the sum of the footprints).
    bool Begin(size_t bytes);
    /// A new BSTR of `byteLength` bytes copied from `bytes` (null: zeros);
    /// null when out of memory, as SysAllocStringByteLen.
    BSTR Add(const void* bytes, UINT byteLength);
    /// Ends the adding.
    void Finish();

private:
    char* m_block = nullptr;
    size_t m_next = 0, m_end = 0;
    uint32_t m_strings = 0;
};

/// Frees `count` strings (nulls are skipped), as SysFreeString on each;
/// consecutive strings of one arena are released together.
void BstrFreeMany(BSTR* strings, size_t count);

} // namespace korvane::platform
