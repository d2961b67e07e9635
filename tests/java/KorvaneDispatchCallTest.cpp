// Late-bound calls of the KorvaneJni bridge on an in-process document: the
// argument order in DISPPARAMS, the status taken from the result, failing
// calls reported as their HRESULT, and the apartment left by a failed
// connection.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "java/bridge/KorvaneConnection.h"
#include "platform/Bstr.h"
#include "platform/ComRuntime.h"

namespace {

// A document that records the arguments it was called with and answers
// with a set HRESULT, result and exception.
class RecordingDocument final : public IDispatch {
public:
    HRESULT answer = S_OK;
    VARIANT reply{};
    SCODE exceptionCode = 0;
    DISPID lastId = 0;
    std::vector<VARTYPE> types; // in declaration order
    std::vector<LONG> values;   // lVal of by-value I4 / *plVal of by-reference I4, else 0

    HRESULT QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return DISP_E_BADINDEX; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* p, VARIANT* result, EXCEPINFO* excep,
                   UINT*) override {
        lastId = id;
        types.clear();
        values.clear();
        EXPECT_EQ(flags, DISPATCH_METHOD);
        for (UINT i = p->cArgs; i-- > 0;) {
            const VARIANT& v = p->rgvarg[i];
            types.push_back(v.vt);
            values.push_back(v.vt == VT_I4 ? v.lVal : v.vt == (VT_BYREF | VT_I4) ? *v.plVal : 0);
            if (v.vt == (VT_BYREF | VT_I4))
                *v.plVal += 1; // written back through the caller's cell
        }
        if (answer == DISP_E_EXCEPTION) {
            // Strings the caller must free (a leak shows under the sanitizer).
            excep->bstrSource = SysAllocString(u"fake");
            excep->bstrDescription = SysAllocString(u"failed");
            excep->scode = exceptionCode;
        }
        if (SUCCEEDED(answer))
            VariantCopy(result, &reply);
        return answer;
    }
};

VARIANT Reply(VARTYPE vt, LONG value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    if (vt == VT_I2)
        v.iVal = static_cast<SHORT>(value);
    else if (vt == VT_I4)
        v.lVal = value;
    else if (vt == VT_BSTR)
        v.bstrVal = SysAllocString(u"0");
    return v;
}

TEST(KorvaneDispatchCall, ArgumentsArriveInDeclarationOrder) {
    RecordingDocument doc;
    doc.reply = Reply(VT_I2, 0);
    LONG cell = 10;
    SHORT shortCell = 0;
    BSTR text = SysAllocString(u"name");
    struct Case {
        const char* name;
        std::vector<VARIANT> args;
        std::vector<VARTYPE> types;
        std::vector<LONG> values;
    };
    const Case cases[] = {
        {"none", {}, {}, {}},
        {"one", {KorvaneI4(7)}, {VT_I4}, {7}},
        {"two", {KorvaneRefI4(&cell), KorvaneBstr(text)}, {VT_BYREF | VT_I4, VT_BSTR}, {10, 0}},
        {"three",
         {KorvaneI4(1), KorvaneRefI2(&shortCell), KorvaneI4(3)},
         {VT_I4, VT_BYREF | VT_I2, VT_I4},
         {1, 0, 3}},
        {"six", {KorvaneI4(1), KorvaneI4(2), KorvaneI4(3), KorvaneI4(4), KorvaneI4(5), KorvaneI4(6)},
         {VT_I4, VT_I4, VT_I4, VT_I4, VT_I4, VT_I4}, {1, 2, 3, 4, 5, 6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<VARIANT> args = c.args;
        EXPECT_EQ(0, KorvaneConnection::Call(&doc, 19, args.data(), static_cast<unsigned>(args.size())));
        EXPECT_EQ(doc.lastId, 19);
        EXPECT_EQ(doc.types, c.types);
        EXPECT_EQ(doc.values, c.values);
    }
    EXPECT_EQ(cell, 11) << "the by-reference cell holds the document's value";
    SysFreeString(text);
}

TEST(KorvaneDispatchCall, StatusFromTheResult) {
    struct Case {
        const char* name;
        VARTYPE vt;
        LONG value;
        KorvaneResult expected;
    };
    const Case cases[] = {
        {"zero", VT_I2, 0, 0},
        {"one", VT_I2, 1, 1},
        {"minus one", VT_I2, -1, -1},
        {"minimum", VT_I2, -32768, -32768},
        {"maximum", VT_I2, 32767, 32767},
        {"empty result", VT_EMPTY, 0, DISP_E_TYPEMISMATCH},
        {"32-bit result", VT_I4, 0, DISP_E_TYPEMISMATCH},
        {"string result", VT_BSTR, 0, DISP_E_TYPEMISMATCH},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingDocument doc;
        doc.reply = Reply(c.vt, c.value);
        EXPECT_EQ(c.expected, KorvaneConnection::Call(&doc, 4, nullptr, 0));
        VariantClear(&doc.reply);
    }
}

TEST(KorvaneDispatchCall, FailingCallsGiveTheirHresult) {
    struct Case {
        const char* name;
        HRESULT answer;
        SCODE exceptionCode;
        KorvaneResult expected;
    };
    const Case cases[] = {
        {"server gone", RPC_S_SERVER_UNAVAILABLE, 0, RPC_S_SERVER_UNAVAILABLE},
        {"died during the call", RPC_S_CALL_FAILED, 0, RPC_S_CALL_FAILED},
        {"wrong thread", RPC_E_WRONG_THREAD, 0, RPC_E_WRONG_THREAD},
        {"argument rejected", DISP_E_TYPEMISMATCH, 0, DISP_E_TYPEMISMATCH},
        {"bad count", DISP_E_BADPARAMCOUNT, 0, DISP_E_BADPARAMCOUNT},
        {"unknown member", DISP_E_MEMBERNOTFOUND, 0, DISP_E_MEMBERNOTFOUND},
        {"exception with its code", DISP_E_EXCEPTION, E_ACCESSDENIED, E_ACCESSDENIED},
        {"exception without a code", DISP_E_EXCEPTION, 0, DISP_E_EXCEPTION},
        {"exception with a success code", DISP_E_EXCEPTION, 1, DISP_E_EXCEPTION},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingDocument doc;
        doc.answer = c.answer;
        doc.exceptionCode = c.exceptionCode;
        doc.reply = Reply(VT_I2, 0);
        const KorvaneResult result = KorvaneConnection::Call(&doc, 2, nullptr, 0);
        EXPECT_EQ(c.expected, result);
        EXPECT_LT(result, -32768) << "never mistaken for a 16-bit status";
    }
}

TEST(KorvaneDispatchCall, WithoutDocument) {
    LONG cell = 5;
    VARIANT args[] = {KorvaneRefI4(&cell)};
    EXPECT_EQ(KORVANE_NO_CONNECTION, KorvaneConnection::Call(nullptr, 3, args, 1));
    EXPECT_EQ(KORVANE_NO_CONNECTION, CO_E_NOTINITIALIZED);
    EXPECT_EQ(cell, 5);
    EXPECT_EQ(KorvaneConnection::Document(), nullptr);
}

// A connection that cannot be made leaves the calling thread outside any
// apartment: a multithreaded one can be entered afterwards (S_OK, not
// RPC_E_CHANGED_MODE or S_FALSE). Only class texts that fail before the
// registry is read: these tests have no store of their own.
TEST(KorvaneConnect, FailedConnectLeavesTheApartment) {
    struct Case {
        const char* name;
        const char16_t* classText;
    };
    const Case cases[] = {
        {"malformed class identifier", u"{not a guid"},
        {"empty class identifier", u"{}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HRESULT connect = S_OK, enter = S_FALSE;
        bool stillSta = true;
        std::thread([&] {
            connect = KorvaneConnection::Connect(c.classText);
            stillSta = korvane::platform::ComCurrentApartmentIsSingleThreaded();
            enter = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            if (SUCCEEDED(enter))
                CoUninitialize();
            KorvaneConnection::Disconnect();
        }).join();
        EXPECT_TRUE(FAILED(connect)) << std::hex << connect;
        EXPECT_FALSE(stillSta);
        EXPECT_EQ(enter, S_OK);
        EXPECT_EQ(KorvaneConnection::Document(), nullptr);
    }
}

TEST(KorvaneConnect, ThreadInAnotherApartment) {
    HRESULT connect = S_OK;
    std::thread([&] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        connect = KorvaneConnection::Connect(u"{not a guid");
        // The thread's own apartment is untouched by the failed Login.
        EXPECT_FALSE(korvane::platform::ComCurrentApartmentIsSingleThreaded());
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
        CoUninitialize();
        CoUninitialize();
    }).join();
    EXPECT_EQ(connect, RPC_E_CHANGED_MODE);
}

} // namespace
