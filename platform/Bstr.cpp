// BSTR allocation: one task-allocator block holding a 4-byte word of our
// own, the 32-bit byte count and the characters with their terminating
// zero; the first word keeps the characters 8-byte aligned and holds the
// block's size class for the per-thread cache.
#include "platform/Bstr.h"

#include <cstdlib>
#include <cstring>

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

void giveBlock(char* block) {
    const uint32_t cls = classWord(block);
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

// A BSTR of `byteLength` bytes copied from `src` (zeros when null).
BSTR allocBytes(const void* src, UINT byteLength) {
    if (byteLength > BSTR_MAX_CHARS * 2u)
        return nullptr;
    // Two zero bytes end the text; an odd byte count gets a third so that
    // the terminator is a whole, zero code unit.
    char* block = takeBlock(kHeader + byteLength + 3);
    if (!block)
        return nullptr;
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
} // namespace korvane::platform
