// Type library registration: the keys RegisterTypeLib writes, their removal
// by UnRegisterTypeLib, and LoadRegTypeLib's version and locale rules.
#include <gtest/gtest.h>

#include <string>

#include "platform/Registry.h"
#include "platform/TypeLibRegistration.h"
#include "tests/platform/ComTestSupport.h"

using namespace comtest;

namespace {

std::string readDefault(const std::string& key, const char* name = nullptr) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return "<missing>";
    char buf[512] = {};
    DWORD size = sizeof buf, type = 0;
    LONG rc = RegQueryValueExA(h, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(h);
    return rc == ERROR_SUCCESS && type == REG_SZ ? std::string(buf) : "<no value>";
}

const std::string kLib = "TypeLib\\{6A1C2F32-51B7-4E0D-9C11-2B7E43D58001}";
const std::string kIface = "Interface\\{6A1C2F31-51B7-4E0D-9C11-2B7E43D58001}";

TEST(ComTypeLibTest, RegisterWritesTheWindowsKeys) {
    Environment env;
    ASSERT_EQ(RegisterTypeLib(&kTestTypeLib, u"/opt/korvane/bin/server", u"/opt/korvane/bin"), S_OK);
    struct Case {
        std::string key;
        const char* name;
        std::string value;
    };
    const Case cases[] = {
        {kLib + "\\1.0", nullptr, "Korvane test library"},
        {kLib + "\\1.0\\FLAGS", nullptr, "0"},
        {kLib + "\\1.0\\HELPDIR", nullptr, "/opt/korvane/bin"},
        {kLib + "\\1.0\\409\\win64", nullptr, "/opt/korvane/bin/server"},
        {kIface, nullptr, "ITestObject"},
        {kIface + "\\ProxyStubClsid", nullptr, "{00020424-0000-0000-C000-000000000046}"},
        {kIface + "\\ProxyStubClsid32", nullptr, "{00020424-0000-0000-C000-000000000046}"},
        {kIface + "\\TypeLib", nullptr, "{6A1C2F32-51B7-4E0D-9C11-2B7E43D58001}"},
        {kIface + "\\TypeLib", "Version", "1.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(readDefault(c.key, c.name), c.value);
    }
    EXPECT_EQ(RegisterTypeLib(nullptr, u"x", nullptr), E_INVALIDARG);
    EXPECT_EQ(RegisterTypeLib(&kTestTypeLib, nullptr, nullptr), E_INVALIDARG);
}

TEST(ComTypeLibTest, LoadRegTypeLibVersionsAndLocales) {
    Environment env;
    const TypeLibDescription* lib = reinterpret_cast<const TypeLibDescription*>(1);
    EXPECT_EQ(LoadRegTypeLib(LIBID_TestLib, 1, 0, 0x409, &lib), TYPE_E_LIBNOTREGISTERED) << "nothing registered";
    EXPECT_EQ(lib, nullptr);
    ASSERT_EQ(RegisterTypeLib(&kTestTypeLib, u"/srv", nullptr), S_OK);
    struct Case {
        const char* name;
        WORD major, minor;
        LCID lcid;
        HRESULT hr;
    };
    const Case cases[] = {
        {"exact", 1, 0, 0x409, S_OK},
        {"another country's locale: its primary language 9 is not registered", 1, 0, 0x809, TYPE_E_LIBNOTREGISTERED},
        {"neutral locale is not registered", 1, 0, 0, TYPE_E_LIBNOTREGISTERED},
        {"higher minor asked", 1, 1, 0x409, TYPE_E_LIBNOTREGISTERED},
        {"other major", 2, 0, 0x409, TYPE_E_LIBNOTREGISTERED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        lib = nullptr;
        EXPECT_EQ(LoadRegTypeLib(LIBID_TestLib, c.major, c.minor, c.lcid, &lib), c.hr);
        EXPECT_EQ(lib, c.hr == S_OK ? &kTestTypeLib : nullptr);
    }
    // A locale-neutral entry serves every locale.
    Environment::setDefault(kLib + "\\1.0\\0\\win64", "/srv");
    EXPECT_EQ(LoadRegTypeLib(LIBID_TestLib, 1, 0, 0x807, &lib), S_OK);
    EXPECT_EQ(TypeLibFindInterface(lib, IID_ITestObject), &kTestObjectInterface);
    EXPECT_EQ(TypeLibFindInterface(lib, IID_IDispatch), nullptr);
    EXPECT_EQ(LoadRegTypeLib(LIBID_TestLib, 1, 0, 0x409, nullptr), E_INVALIDARG);
}

TEST(ComTypeLibTest, UnregisterRemovesWhatRegisterWrote) {
    Environment env;
    EXPECT_EQ(UnRegisterTypeLib(LIBID_TestLib, 1, 0, 0x409, SYS_WIN64), TYPE_E_REGISTRYACCESS);
    ASSERT_EQ(RegisterTypeLib(&kTestTypeLib, u"/srv", nullptr), S_OK);
    // An interface of another library stays.
    Environment::setDefault("Interface\\{11111111-2222-3333-4444-555555555555}\\TypeLib", "{99999999-2222-3333-4444-555555555555}");
    ASSERT_EQ(UnRegisterTypeLib(LIBID_TestLib, 1, 0, 0x409, SYS_WIN64), S_OK);
    for (const std::string& key : {kLib, kLib + "\\1.0", kIface, kIface + "\\TypeLib"}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(readDefault(key), "<missing>");
    }
    EXPECT_EQ(readDefault("Interface\\{11111111-2222-3333-4444-555555555555}\\TypeLib"),
              "{99999999-2222-3333-4444-555555555555}");
    const TypeLibDescription* lib;
    EXPECT_EQ(LoadRegTypeLib(LIBID_TestLib, 1, 0, 0x409, &lib), TYPE_E_LIBNOTREGISTERED);
}

TEST(ComTypeLibTest, UnregisterKeepsOtherLocales) {
    Environment env;
    ASSERT_EQ(RegisterTypeLib(&kTestTypeLib, u"/srv", nullptr), S_OK);
    Environment::setDefault(kLib + "\\1.0\\407\\win64", "/srv-de");
    ASSERT_EQ(UnRegisterTypeLib(LIBID_TestLib, 1, 0, 0x409, SYS_WIN64), S_OK);
    EXPECT_EQ(readDefault(kLib + "\\1.0\\409"), "<missing>");
    EXPECT_EQ(readDefault(kLib + "\\1.0\\407\\win64"), "/srv-de");
    EXPECT_EQ(readDefault(kLib + "\\1.0"), "Korvane test library") << "still in use by the other locale";
}

} // namespace
