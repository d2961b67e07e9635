// The server side of a connection, fed with frames directly: the request
// sequence, answers for unknown objects and classes, the malformed-frame
// table (each closes the connection), and the release of a connection's
// objects when it closes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/Bstr.h"
#include "platform/ComServerSession.h"
#include "platform/Variant.h"
#include "platform/WireMessage.h"
#include "tests/platform/server/TestObject.h"

namespace {

using Bytes = std::vector<uint8_t>;

HRESULT lookup(REFCLSID clsid, IClassFactory** factory) {
    if (clsid != CLSID_TestObject)
        return REGDB_E_CLASSNOTREG;
    *factory = TestObjectFactory();
    (*factory)->AddRef();
    return S_OK;
}

Bytes raw(std::initializer_list<int> b) {
    Bytes v;
    for (int x : b)
        v.push_back(static_cast<uint8_t>(x));
    return v;
}

// A frame with the given type and body.
Bytes frame(WireType type, const Bytes& body, uint32_t call = 1) {
    Bytes f(12 + body.size(), 0);
    uint32_t n = static_cast<uint32_t>(body.size());
    std::memcpy(&f[0], &n, 4);
    f[4] = static_cast<uint8_t>(type);
    std::memcpy(&f[8], &call, 4);
    std::copy(body.begin(), body.end(), f.begin() + 12);
    return f;
}

class ComServerSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_alive = g_testObjectsAlive.load();
        m_session = std::make_unique<ComServerSession>(lookup, 4321);
    }
    void TearDown() override {
        m_session.reset();
        EXPECT_EQ(g_testObjectsAlive.load(), m_alive) << "every object released";
    }

    // Feeds bytes and serves everything complete; returns the last step.
    ComServerSession::Step feed(const Bytes& b) {
        m_session->Receive(b.data(), b.size());
        ComServerSession::Step last = ComServerSession::Step::Idle, s;
        while ((s = m_session->ServeOne()) == ComServerSession::Step::Served)
            last = s;
        return s == ComServerSession::Step::Close ? s : last;
    }

    // Takes the next reply frame out of the output.
    Bytes takeReply(WireHeader* h) {
        EXPECT_GE(m_session->OutputSize(), kWireHeaderBytes);
        if (m_session->OutputSize() < kWireHeaderBytes)
            return {};
        EXPECT_TRUE(WireDecodeHeader(m_session->OutputData(), h));
        Bytes body(m_session->OutputData() + kWireHeaderBytes,
                   m_session->OutputData() + kWireHeaderBytes + h->length);
        m_session->Consumed(kWireHeaderBytes + h->length);
        return body;
    }

    void hello() {
        ASSERT_EQ(feed(WireEncodeHello(1, WireHello{}, false)), ComServerSession::Step::Served);
        WireHeader h;
        Bytes body = takeReply(&h);
        WireReader r(body.data(), body.size());
        WireHello out;
        ASSERT_TRUE(WireDecodeHello(r, &out, true));
        EXPECT_EQ(out.pid, 4321u);
        EXPECT_EQ(out.hr, S_OK);
    }

    uint64_t create(HRESULT* hr, const CLSID& clsid = CLSID_TestObject) {
        feed(WireEncodeCreate(2, WireCreate{clsid, IID_IUnknown}));
        WireHeader h;
        Bytes body = takeReply(&h);
        EXPECT_EQ(h.type, WireType::CreateReply);
        EXPECT_EQ(h.callId, 2u);
        WireReader r(body.data(), body.size());
        WireCreateReply out;
        EXPECT_TRUE(WireDecodeCreateReply(r, &out));
        *hr = out.hr;
        return out.objectId;
    }

    HRESULT status() {
        WireHeader h;
        Bytes body = takeReply(&h);
        WireReader r(body.data(), body.size());
        HRESULT hr = E_UNEXPECTED;
        EXPECT_TRUE(WireDecodeStatusReply(r, &hr));
        return hr;
    }

    HRESULT add(uint64_t id, LONG a, LONG b, LONG* sum) {
        VARIANT args[2];
        VariantInit(&args[0]);
        VariantInit(&args[1]);
        args[0].vt = args[1].vt = VT_I4;
        args[0].lVal = b;
        args[1].lVal = a;
        DISPPARAMS dp{args, nullptr, 2, 0};
        Bytes f;
        EXPECT_EQ(WireEncodeInvoke(3, id, 1, 0, DISPATCH_METHOD, &dp, true, true, &f, nullptr), S_OK);
        feed(f);
        WireHeader h;
        Bytes body = takeReply(&h);
        WireReader r(body.data(), body.size());
        WireInvokeReply reply;
        EXPECT_TRUE(WireDecodeInvokeReply(r, &reply));
        if (SUCCEEDED(reply.hr))
            *sum = reply.result.lVal;
        return reply.hr;
    }

    long m_alive = 0;
    std::unique_ptr<ComServerSession> m_session;
};

TEST_F(ComServerSessionTest, RequestSequence) {
    hello();
    HRESULT hr;
    uint64_t id = create(&hr);
    ASSERT_EQ(hr, S_OK);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(m_session->ObjectCount(), 1u);
    LONG sum = 0;
    EXPECT_EQ(add(id, 40, 2, &sum), S_OK);
    EXPECT_EQ(sum, 42);

    feed(WireEncodeQueryInterface(4, WireObjectRequest{id, IID_IDispatch}));
    EXPECT_EQ(status(), S_OK);
    feed(WireEncodeQueryInterface(4, WireObjectRequest{id, IID_IClassFactory}));
    EXPECT_EQ(status(), E_NOINTERFACE);

    LPOLESTR names[2] = {const_cast<LPOLESTR>(u"Concat"), const_cast<LPOLESTR>(u"nope")};
    Bytes f;
    ASSERT_EQ(WireEncodeNames(5, id, 0, names, 2, &f), S_OK);
    feed(f);
    WireHeader h;
    Bytes body = takeReply(&h);
    WireReader r(body.data(), body.size());
    WireIdsReply ids;
    ASSERT_TRUE(WireDecodeIdsReply(r, &ids));
    EXPECT_EQ(ids.hr, DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids.ids, (std::vector<DISPID>{2, DISPID_UNKNOWN}));

    feed(WireEncodeRelease(6, id));
    EXPECT_EQ(status(), S_OK);
    EXPECT_EQ(m_session->ObjectCount(), 0u);
    EXPECT_EQ(g_testObjectsAlive.load(), m_alive) << "released at once";
}

TEST_F(ComServerSessionTest, UnknownObjectsAndClasses) {
    hello();
    HRESULT hr;
    create(&hr, IID_IDispatch);
    EXPECT_EQ(hr, REGDB_E_CLASSNOTREG);
    LONG sum;
    EXPECT_EQ(add(12345, 1, 2, &sum), RPC_E_DISCONNECTED);
    feed(WireEncodeRelease(6, 12345));
    EXPECT_EQ(status(), RPC_E_DISCONNECTED);
    feed(WireEncodeQueryInterface(4, WireObjectRequest{12345, IID_IDispatch}));
    EXPECT_EQ(status(), RPC_E_DISCONNECTED);

    uint64_t id = create(&hr);
    feed(WireEncodeRelease(6, id));
    EXPECT_EQ(status(), S_OK);
    EXPECT_EQ(add(id, 1, 2, &sum), RPC_E_DISCONNECTED) << "a released identifier is gone";
}

TEST_F(ComServerSessionTest, MalformedFramesClose) {
    const Bytes goodHello = WireEncodeHello(1, WireHello{}, false);
    Bytes tooLong(12, 0);
    uint32_t big = kWireMaxFrameBytes + 1;
    std::memcpy(&tooLong[0], &big, 4);
    tooLong[4] = static_cast<uint8_t>(WireType::Invoke);
    struct Case {
        const char* name;
        bool helloFirst;
        Bytes bytes;
    };
    const Case cases[] = {
        {"oversized length, body never sent", true, tooLong},
        {"unknown frame type", true, frame(static_cast<WireType>(0x40), {})},
        {"flags set", true, [] { Bytes f = frame(WireType::Release, raw({1, 0, 0, 0, 0, 0, 0, 0})); f[5] = 1; return f; }()},
        {"request before hello", false, WireEncodeRelease(1, 1)},
        {"hello with wrong magic", false, frame(WireType::Hello, raw({'X', 'V', 'C', 'M', 1, 0, 0, 0, 0, 0, 0, 0}))},
        {"hello too short", false, frame(WireType::Hello, raw({'K', 'V', 'C', 'M'}))},
        {"second hello", true, goodHello},
        {"reply frame from a client", true, WireEncodeStatusReply(1, S_OK)},
        {"release body too short", true, frame(WireType::Release, raw({1, 2, 3}))},
        {"release with trailing byte", true, frame(WireType::Release, raw({1, 0, 0, 0, 0, 0, 0, 0, 9}))},
        {"create body too short", true, frame(WireType::Create, raw({1, 2}))},
        {"names count 0", true, frame(WireType::GetIDsOfNames, raw({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}))},
        {"names with a null name", true, frame(WireType::GetIDsOfNames, raw({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}))},
        {"invoke with more named than arguments", true, frame(WireType::Invoke, raw({1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}))},
        {"invoke with 65 arguments", true, frame(WireType::Invoke, raw({1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 65, 0, 0, 0, 0, 0, 0, 0}))},
        {"invoke with an unknown type", true, frame(WireType::Invoke, raw({1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0x0F, 0}))},
        {"invoke wants flag 4", true, frame(WireType::Invoke, raw({1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0}))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_session = std::make_unique<ComServerSession>(lookup, 4321);
        if (c.helloFirst) {
            hello();
            HRESULT hr;
            create(&hr);  // an object that the close must release
            ASSERT_EQ(hr, S_OK);
        }
        EXPECT_EQ(feed(c.bytes), ComServerSession::Step::Close);
        m_session.reset();
        EXPECT_EQ(g_testObjectsAlive.load(), m_alive);
    }
}

TEST_F(ComServerSessionTest, OtherMajorVersionIsAnsweredThenClosed) {
    WireHello old;
    old.major = kWireVersionMajor + 1;
    EXPECT_EQ(feed(WireEncodeHello(1, old, false)), ComServerSession::Step::Close);
    WireHeader h;
    Bytes body = takeReply(&h);
    WireReader r(body.data(), body.size());
    WireHello out;
    ASSERT_TRUE(WireDecodeHello(r, &out, true));
    EXPECT_EQ(out.hr, RPC_E_VERSION_MISMATCH);
}

TEST_F(ComServerSessionTest, FramesSplitAnywhere) {
    Bytes all = WireEncodeHello(1, WireHello{}, false);
    Bytes c = WireEncodeCreate(2, WireCreate{CLSID_TestObject, IID_IDispatch});
    all.insert(all.end(), c.begin(), c.end());
    for (uint8_t b : all)
        ASSERT_NE(feed(Bytes{b}), ComServerSession::Step::Close);
    WireHeader h;
    takeReply(&h);
    EXPECT_EQ(h.type, WireType::HelloReply);
    takeReply(&h);
    EXPECT_EQ(h.type, WireType::CreateReply);
    EXPECT_EQ(m_session->ObjectCount(), 1u);
}

TEST_F(ComServerSessionTest, ObjectLimitPerConnection) {
    hello();
    HRESULT hr = S_OK;
    for (uint32_t i = 0; i < kWireMaxObjectsPerConnection; ++i) {
        create(&hr);
        ASSERT_EQ(hr, S_OK) << "object " << i;
    }
    create(&hr);
    EXPECT_EQ(hr, E_OUTOFMEMORY);
    EXPECT_EQ(m_session->ObjectCount(), kWireMaxObjectsPerConnection);
}

TEST_F(ComServerSessionTest, ReplyTooLargeForTheWire) {
    hello();
    HRESULT hr;
    uint64_t id = create(&hr);
    VARIANT args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    args[0].vt = args[1].vt = VT_I4;
    args[0].lVal = static_cast<LONG>(kWireMaxStringBytes / 2 + 1);  // length
    args[1].lVal = 1;                                               // count
    DISPPARAMS dp{args, nullptr, 2, 0};
    Bytes f;
    ASSERT_EQ(WireEncodeInvoke(3, id, 6, 0, DISPATCH_METHOD, &dp, true, false, &f, nullptr), S_OK);
    ASSERT_EQ(feed(f), ComServerSession::Step::Served);
    WireHeader h;
    Bytes body = takeReply(&h);
    WireReader r(body.data(), body.size());
    WireInvokeReply reply;
    ASSERT_TRUE(WireDecodeInvokeReply(r, &reply));
    EXPECT_EQ(reply.hr, RPC_E_SERVER_CANTMARSHAL_DATA);
    EXPECT_EQ(reply.result.vt, VT_EMPTY);
}

TEST_F(ComServerSessionTest, UnreadRepliesStopInput) {
    hello();
    HRESULT hr;
    uint64_t id = create(&hr);
    VARIANT args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    args[0].vt = args[1].vt = VT_I4;
    args[0].lVal = 1 << 20;  // length: 2 MiB per string
    args[1].lVal = 3;        // count
    DISPPARAMS dp{args, nullptr, 2, 0};
    Bytes f;
    ASSERT_EQ(WireEncodeInvoke(3, id, 6, 0, DISPATCH_METHOD, &dp, true, false, &f, nullptr), S_OK);
    int served = 0;
    while (m_session->WantsInput() && served < 20) {
        feed(f);
        ++served;
    }
    EXPECT_FALSE(m_session->WantsInput());
    EXPECT_EQ(served, 6) << "six replies of 6 MiB pass the 32 MiB mark";
    m_session->Consumed(m_session->OutputSize());
    EXPECT_TRUE(m_session->WantsInput());
}

TEST_F(ComServerSessionTest, UnservedInputStopsInput) {
    hello();
    Bytes burst(kWireHeaderBytes + kWireMaxFrameBytes - 1, 0);
    m_session->Receive(burst.data(), burst.size());
    EXPECT_TRUE(m_session->WantsInput()) << "one byte short of the limit";
    m_session->Receive(burst.data(), 1);
    EXPECT_FALSE(m_session->WantsInput()) << "one largest frame is buffered at most";
}

} // namespace
