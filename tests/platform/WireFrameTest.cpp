// Frame headers, the bounded writer and reader, and message bodies.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/Bstr.h"
#include "platform/Variant.h"
#include "platform/WireMessage.h"

namespace {

std::vector<uint8_t> header(uint32_t length, uint8_t type, uint8_t flags = 0, uint16_t reserved = 0,
                            uint32_t call = 7) {
    std::vector<uint8_t> h(12);
    std::memcpy(&h[0], &length, 4);
    h[4] = type;
    h[5] = flags;
    std::memcpy(&h[6], &reserved, 2);
    std::memcpy(&h[8], &call, 4);
    return h;
}

TEST(WireFrameTest, HeaderChecks) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        bool ok;
    };
    const Case cases[] = {
        {"empty body", header(0, 1), true},
        {"largest body", header(kWireMaxFrameBytes, 8), true},
        {"one past the largest body", header(kWireMaxFrameBytes + 1, 8), false},
        {"largest u32 length", header(0xFFFFFFFFu, 8), false},
        {"type 0", header(4, 0), false},
        {"last type", header(4, 11), true},
        {"type past the last", header(4, 12), false},
        {"flags set", header(4, 1, 1), false},
        {"reserved set", header(4, 1, 0, 0x100), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WireHeader h;
        EXPECT_EQ(WireDecodeHeader(c.bytes.data(), &h), c.ok);
        if (c.ok) {
            EXPECT_EQ(h.callId, 7u);
        }
    }
}

TEST(WireFrameTest, WriterRefusesToGrowPastTheFrameLimit) {
    WireWriter w(WireType::Invoke, 1);
    std::vector<uint8_t> chunk(kWireMaxFrameBytes, 0);
    w.Bytes(chunk.data(), chunk.size());
    EXPECT_FALSE(w.overflowed()) << "exactly the largest body";
    w.U8(0);
    EXPECT_TRUE(w.overflowed());
    EXPECT_EQ(w.size(), kWireHeaderBytes + kWireMaxFrameBytes) << "stopped growing";
}

TEST(WireFrameTest, ReaderFailsOnceAndStaysFailed) {
    const uint8_t bytes[] = {1, 2, 3};
    WireReader r(bytes, sizeof bytes);
    uint16_t a;
    uint32_t b;
    EXPECT_TRUE(r.U16(&a));
    EXPECT_EQ(a, 0x0201);
    EXPECT_FALSE(r.U32(&b)) << "only one byte left";
    uint8_t c;
    EXPECT_FALSE(r.U8(&c)) << "a failed reader reads nothing more";
    EXPECT_TRUE(r.failed());
    EXPECT_FALSE(r.atEnd());
}

TEST(WireFrameTest, NullAndEmptyStringsStayDistinct) {
    struct Case {
        const char* name;
        BSTR s;
    };
    BSTR empty = SysAllocString(u"");
    BSTR text = SysAllocString(u"\u00e4\u00f6");
    const Case cases[] = {{"null", nullptr}, {"empty", empty}, {"text", text}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WireWriter w(WireType::Invoke, 1);
        w.String(c.s);
        auto& f = w.Finish();
        WireReader r(f.data() + kWireHeaderBytes, f.size() - kWireHeaderBytes);
        BSTR out = reinterpret_cast<BSTR>(1);
        ASSERT_TRUE(r.String(&out));
        EXPECT_TRUE(r.atEnd());
        EXPECT_EQ(out == nullptr, c.s == nullptr);
        EXPECT_EQ(SysStringLen(out), SysStringLen(c.s));
        if (out) {
            EXPECT_EQ(std::memcmp(out, c.s, SysStringByteLen(c.s)), 0);
        }
        SysFreeString(out);
    }
    SysFreeString(empty);
    SysFreeString(text);
}

TEST(WireFrameTest, SimpleMessagesRoundTrip) {
    const GUID g = {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
    auto body = [](const std::vector<uint8_t>& f, WireType type) {
        WireHeader h;
        EXPECT_TRUE(WireDecodeHeader(f.data(), &h));
        EXPECT_EQ(h.type, type);
        EXPECT_EQ(h.length, f.size() - kWireHeaderBytes);
        EXPECT_EQ(h.callId, 99u);
        return WireReader(f.data() + kWireHeaderBytes, h.length);
    };
    {
        WireHello in;
        in.pid = 1234;
        in.hr = E_FAIL;
        auto f = WireEncodeHello(99, in, true);
        WireReader r = body(f, WireType::HelloReply);
        WireHello out;
        ASSERT_TRUE(WireDecodeHello(r, &out, true));
        EXPECT_EQ(out.pid, 1234u);
        EXPECT_EQ(out.hr, E_FAIL);
        EXPECT_EQ(out.magic, kWireMagic);
    }
    {
        auto f = WireEncodeCreate(99, WireCreate{g, IID_IDispatch});
        WireReader r = body(f, WireType::Create);
        WireCreate out;
        ASSERT_TRUE(WireDecodeCreate(r, &out));
        EXPECT_EQ(out.clsid, g);
        EXPECT_EQ(out.iid, IID_IDispatch);
    }
    {
        auto f = WireEncodeCreateReply(99, WireCreateReply{S_OK, 0x1122334455667788ull});
        WireReader r = body(f, WireType::CreateReply);
        WireCreateReply out;
        ASSERT_TRUE(WireDecodeCreateReply(r, &out));
        EXPECT_EQ(out.objectId, 0x1122334455667788ull);
    }
    {
        LPOLESTR names[2] = {const_cast<LPOLESTR>(u"Add"), const_cast<LPOLESTR>(u"b")};
        std::vector<uint8_t> f;
        ASSERT_EQ(WireEncodeNames(99, 5, 0x409, names, 2, &f), S_OK);
        WireReader r = body(f, WireType::GetIDsOfNames);
        WireNamesRequest out;
        ASSERT_TRUE(WireDecodeNames(r, &out));
        ASSERT_EQ(out.names.size(), 2u);
        EXPECT_EQ(std::u16string(out.names[0]), u"Add");
        EXPECT_EQ(out.lcid, 0x409u);
    }
}

TEST(WireFrameTest, NameLimits) {
    std::u16string longest(kWireMaxNameChars, u'n');
    std::u16string tooLong(kWireMaxNameChars + 1, u'n');
    std::vector<LPOLESTR> many(kWireMaxNames + 1, const_cast<LPOLESTR>(u"x"));
    LPOLESTR one[1] = {longest.data()};
    LPOLESTR bad[1] = {tooLong.data()};
    std::vector<uint8_t> f;
    EXPECT_EQ(WireEncodeNames(1, 1, 0, one, 1, &f), S_OK);
    EXPECT_EQ(WireEncodeNames(1, 1, 0, bad, 1, &f), RPC_E_CLIENT_CANTMARSHAL_DATA);
    EXPECT_EQ(WireEncodeNames(1, 1, 0, many.data(), kWireMaxNames, &f), S_OK);
    EXPECT_EQ(WireEncodeNames(1, 1, 0, many.data(), kWireMaxNames + 1, &f), RPC_E_CLIENT_CANTMARSHAL_DATA);
    EXPECT_EQ(WireEncodeNames(1, 1, 0, many.data(), 0, &f), RPC_E_CLIENT_CANTMARSHAL_DATA);
}

TEST(WireFrameTest, InvokeRoundTripWithReferencesAndNames) {
    LONG cell = 5;
    BSTR s = SysAllocString(u"arg");
    VARIANT args[3];
    VariantInit(&args[0]);
    args[0].vt = VT_BYREF | VT_I4;
    args[0].plVal = &cell;
    VariantInit(&args[1]);
    args[1].vt = VT_BSTR;
    args[1].bstrVal = s;
    VariantInit(&args[2]);
    args[2].vt = VT_I2;
    args[2].iVal = -2;
    DISPID named[1] = {1};
    DISPPARAMS dp{args, named, 3, 1};
    std::vector<uint8_t> f;
    ASSERT_EQ(WireEncodeInvoke(42, 77, 16, 0x409, DISPATCH_METHOD, &dp, true, false, &f, nullptr), S_OK);
    WireReader r(f.data() + kWireHeaderBytes, f.size() - kWireHeaderBytes);
    WireInvokeRequest q;
    ASSERT_TRUE(WireDecodeInvoke(r, &q));
    EXPECT_EQ(q.objectId, 77u);
    EXPECT_EQ(q.dispid, 16);
    EXPECT_TRUE(q.wantResult);
    EXPECT_FALSE(q.wantExcepInfo);
    ASSERT_EQ(q.args.size(), 3u);
    EXPECT_EQ(q.argVts[0], VT_BYREF | VT_I4);
    EXPECT_EQ(q.args[0].vt, VT_I4);
    EXPECT_EQ(q.args[0].lVal, 5);
    EXPECT_EQ(q.named, std::vector<DISPID>{1});
    SysFreeString(s);

    // Too many arguments never leave the client.
    std::vector<VARIANT> lots(kWireMaxArgs + 1);
    for (VARIANT& v : lots)
        VariantInit(&v);
    DISPPARAMS big{lots.data(), nullptr, kWireMaxArgs + 1, 0};
    EXPECT_EQ(WireEncodeInvoke(1, 1, 1, 0, DISPATCH_METHOD, &big, false, false, &f, nullptr),
              RPC_E_CLIENT_CANTMARSHAL_DATA);
    DISPPARAMS inconsistent{args, nullptr, 1, 2};
    EXPECT_EQ(WireEncodeInvoke(1, 1, 1, 0, DISPATCH_METHOD, &inconsistent, false, false, &f, nullptr),
              E_INVALIDARG);
    VARIANT unsupported;
    unsupported.vt = VT_DECIMAL;
    DISPPARAMS badArg{&unsupported, nullptr, 1, 0};
    UINT which = 99;
    EXPECT_EQ(WireEncodeInvoke(1, 1, 1, 0, DISPATCH_METHOD, &badArg, false, false, &f, &which),
              DISP_E_BADVARTYPE);
    EXPECT_EQ(which, 0u);
}

TEST(WireFrameTest, InvokeReplyCarriesReferencesBack) {
    LONG cell = 9;
    BSTR text = SysAllocString(u"out");
    VARIANT args[2];
    VariantInit(&args[0]);
    args[0].vt = VT_I4;  // by value: not sent back
    args[0].lVal = 1;
    VariantInit(&args[1]);
    args[1].vt = VT_BYREF | VT_I4;
    args[1].plVal = &cell;
    VARIANT result;
    VariantInit(&result);
    result.vt = VT_BSTR;
    result.bstrVal = text;
    EXCEPINFO ex{};
    ex.scode = E_FAIL;
    ex.bstrDescription = SysAllocString(u"why");
    std::vector<uint8_t> f;
    ASSERT_EQ(WireEncodeInvokeReply(3, DISP_E_EXCEPTION, 1, &ex, &result, args, 2, &f), S_OK);
    WireReader r(f.data() + kWireHeaderBytes, f.size() - kWireHeaderBytes);
    WireInvokeReply reply;
    ASSERT_TRUE(WireDecodeInvokeReply(r, &reply));
    EXPECT_EQ(reply.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(reply.argErr, 1u);
    ASSERT_TRUE(reply.hasExcepInfo);
    EXPECT_EQ(reply.excep.scode, E_FAIL);
    EXPECT_EQ(std::u16string(reply.excep.bstrDescription), u"why");
    EXPECT_EQ(reply.result.vt, VT_BSTR);
    ASSERT_EQ(reply.byRefs.size(), 1u);
    EXPECT_EQ(reply.byRefs[0].index, 1u);
    EXPECT_EQ(reply.byRefs[0].vt, VT_BYREF | VT_I4);
    EXPECT_EQ(reply.byRefs[0].value.lVal, 9);
    SysFreeString(text);
    SysFreeString(ex.bstrDescription);
}

TEST(WireFrameTest, MalformedReplyBodies) {
    auto reply = [](std::initializer_list<int> b) {
        std::vector<uint8_t> v;
        for (int x : b)
            v.push_back(static_cast<uint8_t>(x));
        return v;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> body;
    };
    const Case cases[] = {
        {"empty", reply({})},
        {"excep flag 2", reply({0, 0, 0, 0, 0, 0, 0, 0, 2})},
        {"result as a reference", reply({0, 0, 0, 0, 0, 0, 0, 0, 0, 0x03, 0x40, 1, 0, 0, 0, 0, 0, 0, 0})},
        {"by-reference value not a reference", reply({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0x03, 0, 1, 0, 0, 0})},
        {"too many references", reply({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0, 0, 0})},
        {"trailing byte", reply({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xAA})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WireReader r(c.body.data(), c.body.size());
        WireInvokeReply out;
        EXPECT_FALSE(WireDecodeInvokeReply(r, &out));
    }
    // The well-formed minimum: S_OK, no argErr, no details, VT_EMPTY, no references.
    std::vector<uint8_t> ok = reply({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    WireReader r(ok.data(), ok.size());
    WireInvokeReply out;
    EXPECT_TRUE(WireDecodeInvokeReply(r, &out));
}

} // namespace
