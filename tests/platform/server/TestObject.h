// A small dual-interface class for the tests of the automation layer: every
// parameter kind the layer carries (integers, strings, dates, booleans,
// VARIANTs, arrays, by-reference values, optional and retval parameters,
// a property), a failing member, and members that reveal the serving
// thread and process. Used in-process by the dispatcher tests and out of
// process by the test server program.
#pragma once

#include <atomic>

#include "platform/ComBase.h"
#include "platform/DispatchInvoke.h"
#include "platform/TypeLib.h"

inline constexpr CLSID CLSID_TestObject = {0x6A1C2F30, 0x51B7, 0x4E0D, {0x9C, 0x11, 0x2B, 0x7E, 0x43, 0xD5, 0x80, 0x01}};
inline constexpr IID IID_ITestObject = {0x6A1C2F31, 0x51B7, 0x4E0D, {0x9C, 0x11, 0x2B, 0x7E, 0x43, 0xD5, 0x80, 0x01}};
inline constexpr GUID LIBID_TestLib = {0x6A1C2F32, 0x51B7, 0x4E0D, {0x9C, 0x11, 0x2B, 0x7E, 0x43, 0xD5, 0x80, 0x01}};
inline constexpr char kTestProgId[] = "Korvane.TestObject";

/// The dual interface, members in slot order (slots 7 onwards).
class ITestObject : public IDispatch {
public:
    virtual HRESULT Add(LONG a, LONG b, LONG* sum) = 0;                       // 1
    virtual HRESULT Concat(BSTR a, BSTR b, BSTR* joined) = 0;                // 2
    virtual HRESULT Swap(LONG* a, LONG* b) = 0;                              // 3
    virtual HRESULT Echo(VARIANT value, VARIANT* copy) = 0;                  // 4
    virtual HRESULT Append(BSTR* text, BSTR suffix) = 0;                     // 5
    /// At most g_testMakeStringsLimit characters in all (else E_INVALIDARG).
    virtual HRESULT MakeStrings(LONG count, LONG length, VARIANT* array) = 0;  // 6
    virtual HRESULT SumArray(VARIANT* array, LONG* sum) = 0;                 // 7
    virtual HRESULT Optional(LONG a, VARIANT b, LONG* result) = 0;           // 8
    virtual HRESULT Fail(LONG hr) = 0;                                       // 9
    virtual HRESULT get_Value(LONG* value) = 0;                              // 10 (get)
    virtual HRESULT put_Value(LONG value) = 0;                               // 10 (put)
    virtual HRESULT Describe(SHORT s, DATE d, VARIANT_BOOL b, BSTR* text) = 0; // 11
    virtual HRESULT Work(LONG milliseconds, LONG* threadId) = 0;             // 12
    virtual HRESULT ProcessId(LONG* pid) = 0;                                // 13
    virtual HRESULT LiveObjects(LONG* count) = 0;                            // 14
    virtual HRESULT Reverse(VARIANT* array) = 0;                             // 15
    virtual HRESULT Triple(LONG a, LONG b, LONG* c) = 0;                     // 16
    virtual HRESULT Quit() = 0;                                              // 17
    virtual HRESULT Scale(SHORT* value, DATE* when) = 0;                     // 18
    virtual HRESULT MaxConcurrency(LONG* most) = 0;                          // 19

protected:
    ~ITestObject() = default;
};

/// The interface and library descriptions.
extern const InterfaceDescription kTestObjectInterface;
extern const TypeLibDescription kTestTypeLib;

/// Number of TestObject instances alive in this process.
extern std::atomic<long> g_testObjectsAlive;
/// Calls of Work() running right now in this process, and the most ever
/// running at once (the serialisation check of the apartment thread).
extern std::atomic<long> g_testWorkRunning;
extern std::atomic<long> g_testWorkMaxRunning;
/// Longest sleep of Work() in milliseconds (the fuzz target sets 0).
extern std::atomic<long> g_testWorkSleepLimitMs;
/// Most characters MakeStrings() makes in all, one counted per string
/// (the fuzz target lowers it to keep each run short).
extern std::atomic<long> g_testMakeStringsLimit;
/// Called by Quit(); the test server posts WM_QUIT from it. May be null.
extern void (*g_testQuitHook)();

/// Creates a TestObject and queries it for `iid`.
HRESULT CreateTestObject(REFIID iid, void** object);

/// The class object of TestObject (a static: AddRef/Release do not free it).
IClassFactory* TestObjectFactory();
