// The frames of the COM wire between clients and local servers: a fixed
// 12-byte header followed by a body, all little-endian, with the named
// limits that every frame is checked against, and the bounded byte writer
// and reader the frame bodies are built with.
//
// Header: u32 body length, u8 frame type, u8 flags (0), u16 reserved (0),
// u32 call identifier (a reply repeats its request's). The body length is
// checked against kWireMaxFrameBytes before anything is allocated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Guid.h"
#include "platform/OleAuto.h"

namespace korvane::platform {
class BstrArena;
}

// ---- limits -----------------------------------------------------------------

/// "KVCM": the first word of a hello frame.
constexpr uint32_t kWireMagic = 0x4D43564Bu;
/// Protocol version: a peer of another major version is refused.
constexpr uint16_t kWireVersionMajor = 1;
constexpr uint16_t kWireVersionMinor = 0;
constexpr size_t kWireHeaderBytes = 12;
/// Largest frame body.
constexpr uint32_t kWireMaxFrameBytes = 16u << 20;
/// Largest string, in bytes (2 per UTF-16 unit).
constexpr uint32_t kWireMaxStringBytes = 8u << 20;
/// Most elements of one array, all dimensions together.
constexpr uint32_t kWireMaxArrayElements = 1u << 20;
/// Most dimensions of one array.
constexpr uint16_t kWireMaxArrayDims = 8;
/// Most arguments of one call.
constexpr uint32_t kWireMaxArgs = 64;
/// Most names of one GetIDsOfNames, and the longest name in characters.
constexpr uint32_t kWireMaxNames = 64;
constexpr uint32_t kWireMaxNameChars = 1024;
/// Deepest nesting of VARIANTs within a value (an array of VARIANTs, a
/// reference to a VARIANT: each adds one level).
constexpr int kWireMaxNesting = 4;
/// Most memory that decoding one frame may allocate (strings, arrays).
constexpr size_t kWireMaxDecodedBytes = 64u << 20;
/// Most live objects that one connection may hold on the server.
constexpr uint32_t kWireMaxObjectsPerConnection = 1024;
/// Replies a server keeps queued for a client that does not read them
/// before it stops reading that client's requests.
constexpr size_t kWireMaxPendingReplyBytes = 32u << 20;

/// Frame types. Requests go from client to server; each gets one reply.
enum class WireType : uint8_t {
    Hello = 1,           ///< magic, version, pid
    HelloReply = 2,      ///< magic, version, pid, HRESULT
    Create = 3,          ///< CLSID, IID
    CreateReply = 4,     ///< HRESULT, object id
    QueryInterface = 5,  ///< object id, IID
    GetIDsOfNames = 6,   ///< object id, LCID, names
    IdsReply = 7,        ///< HRESULT, DISPIDs
    Invoke = 8,          ///< object id, call, arguments
    InvokeReply = 9,     ///< HRESULT, argErr, EXCEPINFO, result, by-reference values
    Release = 10,        ///< object id
    StatusReply = 11,    ///< HRESULT
};

/// A decoded frame header.
struct WireHeader {
    uint32_t length = 0;
    WireType type = WireType::Hello;
    uint32_t callId = 0;
};

/// Reads a header from `bytes` (at least kWireHeaderBytes). False when it is
/// malformed: an unknown type, flags or reserved bits set, or a body longer
/// than kWireMaxFrameBytes.
bool WireDecodeHeader(const uint8_t* bytes, WireHeader* header);

// ---- bounded writer and reader ---------------------------------------------

/// Appends little-endian values to a frame; the header is written first and
/// its length filled in by Finish. Tracks the size against
/// kWireMaxFrameBytes: once it is exceeded, `overflowed()` is true and the
/// frame must not be sent.
class WireWriter {
public:
    /// Starts a frame of `type` for call `callId`, in `storage` when given
    /// (its old contents go, its capacity is reused: a caller that keeps
    /// one buffer for many frames allocates nothing per frame), else in a
    /// buffer of the writer's own.
    WireWriter(WireType type, uint32_t callId, std::vector<uint8_t>* storage = nullptr);
    WireWriter(const WireWriter&) = delete;
    WireWriter& operator=(const WireWriter&) = delete;
    void U8(uint8_t v) { put(&v, 1); }
    void U16(uint16_t v);
    void U32(uint32_t v);
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void U64(uint64_t v);
    void Bytes(const void* data, size_t n) { put(data, n); }
    void Guid(REFGUID g);
    /// A string: u32 byte count (0xFFFFFFFF for a null BSTR), then the bytes.
    void String(BSTR s);
    /// Appends `n` bytes and returns where they start, for the caller to
    /// fill (valid until the next write); null once the frame overflowed.
    uint8_t* Extend(size_t n);
    /// Writes the body length into the header and hands out the frame.
    std::vector<uint8_t>& Finish();
    bool overflowed() const { return m_overflow; }
    size_t size() const { return m_buf->size(); }

private:
    void put(const void* data, size_t n);
    std::vector<uint8_t> m_own;
    std::vector<uint8_t>* m_buf;
    bool m_overflow = false;
};

/// Reads a frame body. Every read checks the bytes left; the first failure
/// makes `failed()` true and every later read fail too. Allocations made
/// while decoding are charged to a budget of kWireMaxDecodedBytes.
class WireReader {
public:
    WireReader(const uint8_t* data, size_t size) : m_p(data), m_left(size) {}
    bool U8(uint8_t* v) { return get(v, 1); }
    bool U16(uint16_t* v);
    bool U32(uint32_t* v);
    bool I32(int32_t* v);
    bool U64(uint64_t* v);
    bool Guid(GUID* g);
    /// `n` raw bytes into `out`.
    bool Bytes(void* out, size_t n) { return get(out, n); }
    /// A string as written by WireWriter::String, at most `maxBytes` long.
    /// *s is a new BSTR (null for a null string) that the caller frees.
    /// With an `arena`, the string is made in it (see BstrArena).
    bool String(BSTR* s, uint32_t maxBytes = kWireMaxStringBytes,
                korvane::platform::BstrArena* arena = nullptr);
    /// Charges `bytes` of memory to the budget; false once it is spent.
    bool Charge(size_t bytes);
    /// Marks the frame malformed.
    bool Fail() {
        m_failed = true;
        return false;
    }
    size_t left() const { return m_failed ? 0 : m_left; }
    bool failed() const { return m_failed; }
    /// True when every byte was read and nothing failed.
    bool atEnd() const { return !m_failed && m_left == 0; }

private:
    bool get(void* out, size_t n);
    const uint8_t* m_p;
    size_t m_left;
    size_t m_spent = 0;
    bool m_failed = false;
};
