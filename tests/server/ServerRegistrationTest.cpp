// Registration of the server: every registry entry of the two scripts and
// the type library, their removal (keeping the shared keys and what other
// software put there), the value "LocalService", keys replaced whole, the
// message boxes of the automatic registration, and failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "platform/Guid.h"
#include "platform/MessageBox.h"
#include "platform/Registry.h"
#include "server/ServerRegistration.h"
#include "server/VarsvcTypeLib.h"
#include "tests/server/DocumentTestSupport.h"

using namespace servertest;

namespace {

const std::string kClsid = korvane::platform::GuidToText(CLSID_Document);
const std::string kLibid = korvane::platform::GuidToText(LIBID_Varsvc);
const std::string kIid = korvane::platform::GuidToText(IID_IVarsvc);
const std::string kDiid = korvane::platform::GuidToText(DIID_DIVarsvc);
constexpr char kProgram[] = "/opt/varsvc/bin/varsvc";

// Every key below `path` ("" = the root) and every string value, as
// "Key\Path" and "Key\Path: name = value" (name "@" for the default).
void Dump(const std::string& path, std::vector<std::string>& out) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    if (!path.empty())
        out.push_back(path);
    for (DWORD i = 0;; ++i) {
        char name[512];
        DWORD nameSize = sizeof name;
        BYTE data[2048];
        DWORD dataSize = sizeof data;
        DWORD type = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS)
            break;
        std::string value(reinterpret_cast<char*>(data), dataSize);
        if (!value.empty() && value.back() == '\0')
            value.pop_back();
        out.push_back(path + ": " + (nameSize == 0 ? std::string("@") : std::string(name, nameSize)) + " = " +
                      (type == REG_SZ ? value : "<type " + std::to_string(type) + ">"));
    }
    std::vector<std::string> children;
    for (DWORD i = 0;; ++i) {
        char name[512];
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        children.emplace_back(name, nameSize);
    }
    RegCloseKey(key);
    for (const std::string& child : children)
        Dump(path.empty() ? child : path + "\\" + child, out);
}

std::set<std::string> Entries() {
    std::vector<std::string> out;
    Dump("", out);
    return std::set<std::string>(out.begin(), out.end());
}

void SetString(const std::string& path, const char* name, const std::string& value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
}

// The entries of a registered server.
std::set<std::string> Registered() {
    const std::string c = "CLSID\\" + kClsid;
    const std::string t = "TypeLib\\" + kLibid;
    std::set<std::string> e = {
        "AppID",
        "AppID\\" + kClsid,
        "AppID\\" + kClsid + ": @ = Varsvc",
        "AppID\\Varsvc.exe",
        "AppID\\Varsvc.exe: AppID = " + kClsid,
        "VarSvc.Document",
        "VarSvc.Document: @ = Document Class",
        "VarSvc.Document\\CLSID",
        "VarSvc.Document\\CLSID: @ = " + kClsid,
        "CLSID",
        c,
        c + ": @ = Varsvc.Document",
        c + ": AppID = " + kClsid,
        c + "\\ProgID",
        c + "\\ProgID: @ = Varsvc.Document",
        c + "\\Programmable",
        c + "\\LocalServer",
        c + "\\LocalServer: @ = " + kProgram,
        c + "\\LocalServer32",
        c + "\\LocalServer32: @ = " + kProgram,
        c + "\\TypeLib",
        c + "\\TypeLib: @ = " + kLibid,
        // The type library.
        "TypeLib",
        t,
        t + "\\1.0",
        t + "\\1.0: @ = Varsvc",
        t + "\\1.0\\FLAGS",
        t + "\\1.0\\FLAGS: @ = 0",
        t + "\\1.0\\HELPDIR",
        t + "\\1.0\\HELPDIR: @ = /opt/varsvc/bin",
        t + "\\1.0\\409",
        t + "\\1.0\\409\\win64",
        t + "\\1.0\\409\\win64: @ = " + kProgram,
        "Interface",
    };
    for (const auto& [iid, name] : {std::pair{kIid, "IVarsvc"}, std::pair{kDiid, "DIVarsvc"}}) {
        const std::string i = "Interface\\" + iid;
        for (const std::string& s :
             {i, i + ": @ = " + name, i + "\\ProxyStubClsid", i + "\\ProxyStubClsid: @ = {00020424-0000-0000-C000-000000000046}",
              i + "\\ProxyStubClsid32", i + "\\ProxyStubClsid32: @ = {00020424-0000-0000-C000-000000000046}",
              i + "\\TypeLib", i + "\\TypeLib: @ = " + kLibid, i + "\\TypeLib: Version = 1.0"})
            e.insert(s);
    }
    return e;
}

class ServerRegistration : public ::testing::Test {
protected:
    TempDir dir;
    EnvOverride store{"KORVANE_REGISTRY", (dir / "registry.db").c_str()};
};

TEST_F(ServerRegistration, RegistersExactlyTheEntriesOfTheTable) {
    EXPECT_FALSE(VarsvcIsRegistered());
    MessageBoxCapture boxes;
    ASSERT_EQ(RegisterVarsvcServer(kProgram, false), S_OK);
    EXPECT_TRUE(VarsvcIsRegistered());
    const std::set<std::string> entries = Entries();
    const std::set<std::string> expected = Registered();
    std::vector<std::string> extra, missing;
    std::set_difference(entries.begin(), entries.end(), expected.begin(), expected.end(), std::back_inserter(extra));
    std::set_difference(expected.begin(), expected.end(), entries.begin(), entries.end(), std::back_inserter(missing));
    EXPECT_TRUE(extra.empty()) << ::testing::PrintToString(extra);
    EXPECT_TRUE(missing.empty()) << ::testing::PrintToString(missing);
    EXPECT_TRUE(boxes.Boxes().empty()) << "the command line registers silently";

    // Registering again changes nothing.
    ASSERT_EQ(RegisterVarsvcServer(kProgram, false), S_OK);
    EXPECT_EQ(Entries(), expected);
}

TEST_F(ServerRegistration, UnregistrationLeavesTheSharedKeysAndOthersEntries) {
    SetString("AppID\\{11111111-2222-3333-4444-555555555555}", nullptr, "Other program");
    SetString("CLSID\\{11111111-2222-3333-4444-555555555555}", nullptr, "Other class");
    const std::set<std::string> before = Entries();
    ASSERT_EQ(RegisterVarsvcServer(kProgram, false), S_OK);
    MessageBoxCapture boxes;
    ASSERT_EQ(UnregisterVarsvcServer(false), S_OK);
    EXPECT_FALSE(VarsvcIsRegistered());
    std::set<std::string> after = Entries();
    // The type library leaves the keys above its own.
    after.erase("TypeLib");
    after.erase("Interface");
    EXPECT_EQ(after, before);
    EXPECT_TRUE(boxes.Boxes().empty());
    // Entries that are gone already count as removed.
    EXPECT_EQ(UnregisterVarsvcServer(false), S_OK);
}

TEST_F(ServerRegistration, LocalServiceGoesAndTheClassKeyIsReplacedWhole) {
    SetString("AppID\\" + kClsid, "LocalService", "VarsvcService");
    SetString("CLSID\\" + kClsid + "\\InprocServer32", nullptr, "/somewhere/old.so");
    SetString("CLSID\\" + kClsid + "\\Programmable\\Stale", nullptr, "x");
    ASSERT_EQ(RegisterVarsvcServer(kProgram, false), S_OK);
    EXPECT_EQ(Entries(), Registered());
}

TEST_F(ServerRegistration, PathsAreStoredAsTheyAre) {
    const std::string odd = "/opt/it's here/bin/varsvc";
    ASSERT_EQ(RegisterVarsvcServer(odd, false), S_OK);
    EXPECT_EQ(Entries().count("CLSID\\" + kClsid + "\\LocalServer32: @ = " + odd), 1u);
}

TEST_F(ServerRegistration, AutomaticRegistrationShowsItsOutcome) {
    MessageBoxCapture boxes;
    ASSERT_EQ(RegisterVarsvcServer(kProgram, true), S_OK);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].caption, "Registration");
    EXPECT_EQ(boxes.Boxes()[0].text, "VARSVC registration succeded!");
    EXPECT_EQ(boxes.Boxes()[0].type, MB_OK);

    ASSERT_EQ(UnregisterVarsvcServer(true), S_OK);
    ASSERT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(boxes.Boxes()[1].text, "VARSVC has been unregistered");
}

TEST_F(ServerRegistration, AStoreThatCannotBeWrittenFailsTheFirstStep) {
    MakeDirs(dir / "not-a-store");
    EnvOverride broken("KORVANE_REGISTRY", (dir / "not-a-store").c_str());
    MessageBoxCapture boxes;
    EXPECT_TRUE(FAILED(RegisterVarsvcServer(kProgram, true)));
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "VARSVC registration has failed (UpdateRegistryFromResource)!");
    EXPECT_FALSE(VarsvcIsRegistered());
    EXPECT_TRUE(FAILED(UnregisterVarsvcServer(true)));
    ASSERT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(boxes.Boxes()[1].text, "VARSVC deregistration has failed (UpdateRegistryFromResource)!");
}

} // namespace
