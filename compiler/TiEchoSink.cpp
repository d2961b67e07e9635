// TiEchoSink: appending with doubling growth and an incomplete mark instead
// of a failure when memory runs out.
#include "compiler/TiEchoSink.h"

#include <cstring>
#include <new>

void TiEchoSink::Append(const char* s, size_t n) {
    if (n == 0 || s == nullptr || incomplete) {
        return;
    }
    if (len + n + 1 > cap) {
        size_t want = cap == 0 ? 256 : cap;
        while (want < len + n + 1) {
            want *= 2;
        }
        char* grown = new (std::nothrow) char[want];
        if (grown == nullptr) {
            incomplete = true;
            return;
        }
        if (buf != nullptr) {
            std::memcpy(grown, buf, len);
        }
        delete[] buf;
        buf = grown;
        cap = want;
    }
    std::memcpy(buf + len, s, n);
    len += n;
    buf[len] = '\0';
}
