// Frame header and the bounded little-endian writer and reader.
#include "platform/WireFrame.h"

#include <cstring>

#include "platform/Bstr.h"

namespace {

uint32_t load32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

constexpr uint32_t kNullString = 0xFFFFFFFFu;

} // namespace

bool WireDecodeHeader(const uint8_t* b, WireHeader* h) {
    uint32_t length = load32(b);
    uint8_t type = b[4];
    if (length > kWireMaxFrameBytes || type < static_cast<uint8_t>(WireType::Hello) ||
        type > static_cast<uint8_t>(WireType::StatusReply) || b[5] != 0 || b[6] != 0 || b[7] != 0)
        return false;
    h->length = length;
    h->type = static_cast<WireType>(type);
    h->callId = load32(b + 8);
    return true;
}

WireWriter::WireWriter(WireType type, uint32_t callId, std::vector<uint8_t>* storage)
    : m_buf(storage ? storage : &m_own) {
    // The header is laid down directly; put() counts only body bytes.
    m_buf->assign(kWireHeaderBytes, 0);
    (*m_buf)[4] = static_cast<uint8_t>(type);
    for (int i = 0; i < 4; ++i)
        (*m_buf)[8 + static_cast<size_t>(i)] = static_cast<uint8_t>(callId >> (8 * i));
}

void WireWriter::put(const void* data, size_t n) {
    if (m_overflow)
        return;
    if (m_buf->size() - kWireHeaderBytes + n > kWireMaxFrameBytes) {
        // Stop growing: the frame can never be sent anyway.
        m_overflow = true;
        return;
    }
    const uint8_t* p = static_cast<const uint8_t*>(data);
    m_buf->insert(m_buf->end(), p, p + n);
}

uint8_t* WireWriter::Extend(size_t n) {
    if (m_overflow || m_buf->size() - kWireHeaderBytes + n > kWireMaxFrameBytes) {
        m_overflow = true;
        return nullptr;
    }
    size_t old = m_buf->size();
    m_buf->resize(old + n);
    return m_buf->data() + old;
}

void WireWriter::U16(uint16_t v) {
    uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
    put(b, 2);
}

void WireWriter::U32(uint32_t v) {
    uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                    static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
    put(b, 4);
}

void WireWriter::U64(uint64_t v) {
    U32(static_cast<uint32_t>(v));
    U32(static_cast<uint32_t>(v >> 32));
}

void WireWriter::Guid(REFGUID g) {
    U32(g.Data1);
    U16(g.Data2);
    U16(g.Data3);
    put(g.Data4, 8);
}

void WireWriter::String(BSTR s) {
    if (!s) {
        U32(kNullString);
        return;
    }
    UINT bytes = SysStringByteLen(s);
    if (bytes > kWireMaxStringBytes) {
        m_overflow = true;
        return;
    }
    U32(bytes);
    put(s, bytes);
}

std::vector<uint8_t>& WireWriter::Finish() {
    uint32_t body = static_cast<uint32_t>(m_buf->size() - kWireHeaderBytes);
    for (int i = 0; i < 4; ++i)
        (*m_buf)[static_cast<size_t>(i)] = static_cast<uint8_t>(body >> (8 * i));
    return *m_buf;
}

bool WireReader::get(void* out, size_t n) {
    if (m_failed || m_left < n)
        return Fail();
    std::memcpy(out, m_p, n);
    m_p += n;
    m_left -= n;
    return true;
}

bool WireReader::U16(uint16_t* v) {
    uint8_t b[2];
    if (!get(b, 2))
        return false;
    *v = static_cast<uint16_t>(b[0] | b[1] << 8);
    return true;
}

bool WireReader::U32(uint32_t* v) {
    uint8_t b[4];
    if (!get(b, 4))
        return false;
    *v = load32(b);
    return true;
}

bool WireReader::I32(int32_t* v) {
    uint32_t u;
    if (!U32(&u))
        return false;
    *v = static_cast<int32_t>(u);
    return true;
}

bool WireReader::U64(uint64_t* v) {
    uint32_t lo, hi;
    if (!U32(&lo) || !U32(&hi))
        return false;
    *v = static_cast<uint64_t>(hi) << 32 | lo;
    return true;
}

bool WireReader::Guid(GUID* g) {
    return U32(&g->Data1) && U16(&g->Data2) && U16(&g->Data3) && get(g->Data4, 8);
}

bool WireReader::Charge(size_t bytes) {
    if (m_failed || bytes > kWireMaxDecodedBytes - m_spent)
        return Fail();
    m_spent += bytes;
    return true;
}

bool WireReader::String(BSTR* s, uint32_t maxBytes, korvane::platform::BstrArena* arena) {
    *s = nullptr;
    uint32_t bytes;
    if (!U32(&bytes))
        return false;
    if (bytes == kNullString)
        return true;
    // The length is checked against the limit and the bytes actually
    // present before anything is allocated.
    if (bytes > maxBytes || bytes > m_left || !Charge(bytes + 16u))
        return Fail();
    BSTR b = arena ? arena->Add(m_p, bytes) : SysAllocStringByteLen(reinterpret_cast<LPCSTR>(m_p), bytes);
    if (!b)
        return Fail();
    m_p += bytes;
    m_left -= bytes;
    *s = b;
    return true;
}
