// Fuzz target of the server side of the COM wire: arbitrary bytes, as a
// client could send them, go into a connection's ComServerSession serving
// the test class; the same bytes are also decoded as every reply frame
// body, as a client's proxy would decode them. Nothing may crash, and the
// session's memory stays within the wire's limits.
//
// Input: byte 0 holds options; the rest is the client's byte stream.
//   bit 0     a valid hello and a create request of the test class come
//             first, so that the stream reaches the object
//   bits 1-7  feed the stream in chunks of this many bytes plus one
//             (0: all at once), as a socket may split it
// Every 8 bytes "OBJECTID" in the stream are replaced by the identifier of
// the created object, so that corpus entries can address it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/ComServerSession.h"
#include "platform/WireMessage.h"
#include "tests/platform/server/TestObject.h"

namespace {

HRESULT lookup(REFCLSID clsid, IClassFactory** factory) {
    if (clsid != CLSID_TestObject)
        return REGDB_E_CLASSNOTREG;
    *factory = TestObjectFactory();
    return S_OK;
}

void decodeAsReplies(const uint8_t* data, size_t size) {
    {
        WireReader r(data, size);
        WireInvokeReply reply;
        WireDecodeInvokeReply(r, &reply);
    }
    {
        WireReader r(data, size);
        WireIdsReply reply;
        WireDecodeIdsReply(r, &reply);
    }
    {
        WireReader r(data, size);
        WireHello hello;
        WireDecodeHello(r, &hello, true);
    }
    {
        WireReader r(data, size);
        WireCreateReply reply;
        WireDecodeCreateReply(r, &reply);
    }
    if (size >= kWireHeaderBytes) {
        WireHeader h;
        WireDecodeHeader(data, &h);
    }
}

// Serves everything complete; false once the session wants to close.
bool serve(ComServerSession& s) {
    for (;;) {
        ComServerSession::Step step = s.ServeOne();
        // The socket would send the replies; here they are dropped.
        s.Consumed(s.OutputSize());
        if (step == ComServerSession::Step::Close)
            return false;
        if (step == ComServerSession::Step::Idle)
            return true;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A call must not sleep, nor build megabytes: each run stays short.
    g_testWorkSleepLimitMs = 0;
    g_testMakeStringsLimit = 1 << 16;
    if (size == 0)
        return 0;
    const uint8_t options = data[0];
    std::vector<uint8_t> stream(data + 1, data + size);
    decodeAsReplies(stream.data(), stream.size());

    const long aliveBefore = g_testObjectsAlive.load();
    {
        ComServerSession session(lookup, 1);
        uint64_t objectId = 0;
        if (options & 1) {
            std::vector<uint8_t> hello = WireEncodeHello(1, WireHello{}, false);
            std::vector<uint8_t> create = WireEncodeCreate(2, WireCreate{CLSID_TestObject, IID_IDispatch});
            session.Receive(hello.data(), hello.size());
            session.Receive(create.data(), create.size());
            session.ServeOne();
            session.Consumed(session.OutputSize());
            session.ServeOne();
            // The create reply's object identifier: last 8 bytes of the frame.
            if (session.OutputSize() >= kWireHeaderBytes + 12)
                std::memcpy(&objectId, session.OutputData() + kWireHeaderBytes + 4, 8);
            session.Consumed(session.OutputSize());
        }
        for (size_t i = 0; i + 8 <= stream.size(); ++i)
            if (std::memcmp(stream.data() + i, "OBJECTID", 8) == 0)
                std::memcpy(stream.data() + i, &objectId, 8);

        const size_t chunk = (options >> 1) == 0 ? stream.size() : static_cast<size_t>(options >> 1) + 1;
        for (size_t pos = 0; pos < stream.size(); pos += chunk) {
            size_t n = stream.size() - pos < chunk ? stream.size() - pos : chunk;
            session.Receive(stream.data() + pos, n);
            if (!serve(session))
                break;
            if (session.ObjectCount() > kWireMaxObjectsPerConnection)
                std::abort();  // the object limit was not kept
        }
    }
    // Closing the session released every object it made.
    if (g_testObjectsAlive.load() != aliveBefore)
        std::abort();
    return 0;
}
