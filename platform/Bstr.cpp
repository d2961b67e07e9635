// BSTR allocation: one task-allocator block holding a 4-byte word of our
// own, the 32-bit byte count and the characters with their terminating
// zero; the first word keeps the characters 8-byte aligned and holds the
// block's size class for the per-thread cache. Strings decoded together
// (an array arriving from another process) may instead share one block, a
// string arena: their first word then names the arena, which is freed with
// its last string.
#include "platform/Bstr.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/OleMemory.h"

namespace {

constexpr size_t kHeader = 8;  // class word + byte count; the BSTR points past it

// Cached blocks come in classes of 16 bytes up to kCacheLargest; each
// thread keeps at most kCacheBytes of them.
constexpr size_t kClassStep = 16;
constexpr size_t kCacheLargest = 1024;
constexpr size_t kClasses = kCacheLargest / kClassStep;
constexpr size_t kCacheBytes = 4u << 20;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

bool cacheEnabled() {
    static const bool enabled = !kSanitized && std::getenv("OANOCACHE") == nullptr;
    return enabled;
}

// Set once the thread's cache is gone: strings freed by later thread-exit
// code (other thread-local objects) go straight back to the heap.
thread_local bool t_cacheGone = false;

// A thread's free lists: a freed block's first 8 bytes link it to the next.
struct Cache {
    void* heads[kClasses + 1] = {};
    size_t bytes = 0;
    ~Cache() {
        t_cacheGone = true;
        for (void*& head : heads)
            while (head) {
                void* next;
                std::memcpy(&next, head, sizeof next);
                CoTaskMemFree(head);
                head = next;
            }
    }
};
thread_local Cache t_cache;

uint32_t classWord(const char* block) {
    uint32_t c;
    std::memcpy(&c, block, sizeof c);
    return c;
}

uint32_t prefixOf(BSTR bstr) {
    uint32_t count;
    std::memcpy(&count, reinterpret_cast<char*>(bstr) - sizeof count, sizeof count);
    return count;
}

char* blockOf(BSTR bstr) { return reinterpret_cast<char*>(bstr) - kHeader; }

// A block for `total` bytes: from the cache when its class has one.
char* takeBlock(size_t total) {
    const size_t cls = (total + kClassStep - 1) / kClassStep;
    if (cacheEnabled() && cls <= kClasses) {
        if (korvane::platform::OleInjectionArmed() && korvane::platform::OleInjectedFailure())
            return nullptr;
        Cache& cache = t_cache;
        if (void* head = t_cacheGone ? nullptr : cache.heads[cls]) {
            std::memcpy(&cache.heads[cls], head, sizeof(void*));
            cache.bytes -= cls * kClassStep;
            char* block = static_cast<char*>(head);
            uint32_t word = static_cast<uint32_t>(cls);
            std::memcpy(block, &word, sizeof word);
            return block;
        }
        char* block = static_cast<char*>(std::malloc(cls * kClassStep));
        if (block) {
            uint32_t word = static_cast<uint32_t>(cls);
            std::memcpy(block, &word, sizeof word);
        }
        return block;
    }
    char* block = static_cast<char*>(CoTaskMemAlloc(total));
    if (block)
        std::memset(block, 0, sizeof(uint32_t));  // class 0: not cached
    return block;
}

// Arena strings: the class word is kArenaFlag with the string's distance
// from the arena's start in 8-byte units. The arena starts with the count
// of its strings not yet freed and its capacity.
constexpr uint32_t kArenaFlag = 0x80000000u;
constexpr size_t kArenaHeader = 16;
constexpr size_t kArenaMaxBytes = size_t{kArenaFlag - 1} * 8;
using ArenaCount = std::atomic<uint32_t>;
static_assert(sizeof(ArenaCount) <= 8 && alignof(ArenaCount) <= 8);

// Each thread keeps the last arena block it freed, up to kSpareLargest
// bytes, for the next arena: a fresh block of that size would come from
// pages the heap had just given back, and touching them again costs more
// than filling the strings.
constexpr size_t kSpareLargest = 4u << 20;
thread_local bool t_spareGone = false;
struct Spare {
    char* block = nullptr;
    size_t bytes = 0;
    ~Spare() {
        t_spareGone = true;
        CoTaskMemFree(block);
    }
};
thread_local Spare t_spare;

char* arenaOf(char* block, uint32_t word) { return block - size_t{word & ~kArenaFlag} * 8; }

size_t arenaCapacity(const char* arena) {
    uint64_t bytes;
    std::memcpy(&bytes, arena + 8, sizeof bytes);
    return static_cast<size_t>(bytes);
}

// Drops `n` strings of the arena; the last one frees it (or keeps it as
// this thread's spare).
void releaseArena(char* arena, uint32_t n) {
    auto* live = std::launder(reinterpret_cast<ArenaCount*>(arena));
    if (live->fetch_sub(n, std::memory_order_acq_rel) != n)
        return;
    live->~ArenaCount();
    const size_t bytes = arenaCapacity(arena);
    if (t_spareGone || bytes > kSpareLargest) {
        CoTaskMemFree(arena);
        return;
    }
    Spare& spare = t_spare;
    if (spare.block && spare.bytes >= bytes) {
        CoTaskMemFree(arena);
        return;
    }
    CoTaskMemFree(spare.block);
    spare.block = arena;
    spare.bytes = bytes;
}

// A block for an arena of `bytes`: this thread's spare when it fits and is
// not much larger, else a new one.
char* takeArena(size_t bytes) {
    if (!t_spareGone) {
        Spare& spare = t_spare;
        if (spare.block && spare.bytes >= bytes && spare.bytes / 4 <= bytes + 4096) {
            char* block = spare.block;
            spare.block = nullptr;
            const uint64_t capacity = spare.bytes;
            std::memcpy(block + 8, &capacity, sizeof capacity);
            return block;
        }
    }
    char* block = static_cast<char*>(CoTaskMemAlloc(kArenaHeader + bytes));
    if (block) {
        const uint64_t capacity = bytes;
        std::memcpy(block + 8, &capacity, sizeof capacity);
    }
    return block;
}

void giveBlock(char* block) {
    const uint32_t cls = classWord(block);
    if (cls & kArenaFlag) {
        releaseArena(arenaOf(block, cls), 1);
        return;
    }
    if (cls == 0 || cls > kClasses) {
        CoTaskMemFree(block);
        return;
    }
    if (t_cacheGone) {
        std::free(block);
        return;
    }
    Cache& cache = t_cache;
    if (cache.bytes + cls * kClassStep > kCacheBytes) {
        std::free(block);
        return;
    }
    std::memcpy(block, &cache.heads[cls], sizeof(void*));
    cache.heads[cls] = block;
    cache.bytes += cls * kClassStep;
}

// Fills a block whose class word is written: the byte count, `byteLength`
// bytes copied from `src` (zeros when null) and the terminator. Two zero
// bytes end the text; an odd byte count gets a third so that the
// terminator is a whole, zero code unit.
BSTR fillBlock(char* block, const void* src, UINT byteLength) {
    uint32_t count = byteLength;
    std::memcpy(block + kHeader - sizeof(uint32_t), &count, sizeof count);
    char* text = block + kHeader;
    if (src)
        std::memcpy(text, src, byteLength);
    else
        std::memset(text, 0, byteLength);
    std::memset(text + byteLength, 0, 3);
    return reinterpret_cast<BSTR>(text);
}

// A BSTR of `byteLength` bytes copied from `src` (zeros when null).
BSTR allocBytes(const void* src, UINT byteLength) {
    if (byteLength > BSTR_MAX_CHARS * 2u)
        return nullptr;
    char* block = takeBlock(kHeader + byteLength + 3);
    return block ? fillBlock(block, src, byteLength) : nullptr;
}

UINT lengthOf(LPCOLESTR text) {
    UINT n = 0;
    while (text[n] != 0)
        ++n;
    return n;
}

} // namespace

BSTR SysAllocString(LPCOLESTR text) {
    if (!text)
        return nullptr;
    return SysAllocStringLen(text, lengthOf(text));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    if (length > BSTR_MAX_CHARS)
        return nullptr;
    return allocBytes(text, length * 2u);
}

BSTR SysAllocStringByteLen(LPCSTR bytes, UINT length) { return allocBytes(bytes, length); }

INT SysReAllocStringLen(BSTR* bstr, const OLECHAR* text, UINT length) {
    if (!bstr)
        return FALSE;
    // Allocate first: `text` may point into the old string.
    BSTR fresh = SysAllocStringLen(text, length);
    if (!fresh)
        return FALSE;
    SysFreeString(*bstr);
    *bstr = fresh;
    return TRUE;
}

INT SysReAllocString(BSTR* bstr, LPCOLESTR text) {
    if (!bstr)
        return FALSE;
    if (!text) {
        // Windows gives an empty string here, not null.
        return SysReAllocStringLen(bstr, nullptr, 0);
    }
    return SysReAllocStringLen(bstr, text, lengthOf(text));
}

void SysFreeString(BSTR bstr) {
    if (bstr)
        giveBlock(blockOf(bstr));
}

UINT SysStringLen(BSTR bstr) { return bstr ? prefixOf(bstr) / 2u : 0u; }

UINT SysStringByteLen(BSTR bstr) { return bstr ? prefixOf(bstr) : 0u; }

namespace korvane::platform {

bool BstrCacheEnabled() { return cacheEnabled(); }

size_t BstrArena::Footprint(UINT byteLength) { return (kHeader + size_t{byteLength} + 3 + 7) & ~size_t{7}; }

BstrArena::~BstrArena() { Finish(); }

bool BstrArena::Begin(size_t bytes) {
    Finish();
    // With a failure injected, strings are made one by one, so that the
    // injection counts them.
    if (!cacheEnabled() || OleInjectionArmed() || bytes == 0 || bytes > kArenaMaxBytes - kArenaHeader)
        return false;
    m_block = takeArena(bytes);
    if (!m_block)
        return false;
    new (m_block) ArenaCount(0);
    m_next = kArenaHeader;
    m_end = kArenaHeader + bytes;
    m_strings = 0;
    return true;
}

BSTR BstrArena::Add(const void* bytes, UINT byteLength) {
    if (!m_block || byteLength > BSTR_MAX_CHARS * 2u || Footprint(byteLength) > m_end - m_next)
        return SysAllocStringByteLen(static_cast<LPCSTR>(bytes), byteLength);
    char* block = m_block + m_next;
    const uint32_t word = kArenaFlag | static_cast<uint32_t>(m_next / 8);
    std::memcpy(block, &word, sizeof word);
    m_next += Footprint(byteLength);
    ++m_strings;
    return fillBlock(block, bytes, byteLength);
}

void BstrArena::Finish() {
    if (!m_block)
        return;
    // The arena's own reference is dropped last: it frees an arena that
    // holds no string.
    auto* live = std::launder(reinterpret_cast<ArenaCount*>(m_block));
    live->fetch_add(m_strings + 1, std::memory_order_relaxed);
    releaseArena(m_block, 1);
    m_block = nullptr;
}

void BstrFreeMany(BSTR* strings, size_t count) {
    size_t i = 0;
    while (i < count) {
        if (!strings[i]) {
            ++i;
            continue;
        }
        char* block = blockOf(strings[i]);
        const uint32_t word = classWord(block);
        if (!(word & kArenaFlag)) {
            giveBlock(block);
            ++i;
            continue;
        }
        // A run of strings of one arena is released with one count.
        char* arena = arenaOf(block, word);
        uint32_t run = 1;
        for (++i; i < count && strings[i] && run < kArenaFlag; ++i) {
            char* next = blockOf(strings[i]);
            const uint32_t w = classWord(next);
            if (!(w & kArenaFlag) || arenaOf(next, w) != arena)
                break;
            ++run;
        }
        releaseArena(arena, run);
    }
}

} // namespace korvane::platform
