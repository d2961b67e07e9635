// The registry functions: handles, key paths, value types and sizes, access
// rights, deletion, enumeration and where the store lives.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/Registry.h"
#include "tests/platform/PlatformTestSupport.h"

using platform_test::ScopedEnv;
using platform_test::TempDir;

namespace {

HKEY rawKey(uint64_t value) { return reinterpret_cast<HKEY>(static_cast<uintptr_t>(value)); }

class RegistryTest : public ::testing::Test {
protected:
    TempDir dir;
    ScopedEnv store{"KORVANE_REGISTRY", dir / "registry.db"};

    HKEY create(HKEY root, const char* path, REGSAM sam = KEY_ALL_ACCESS) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, sam, nullptr, &key,
                                  nullptr));
        return key;
    }
    HKEY open(HKEY root, const char* path, REGSAM sam) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(root, path, 0, sam, &key));
        return key;
    }
};

TEST_F(RegistryTest, HandleValuesAreCheckedNotTrusted) {
    HKEY closed = create(HKEY_CURRENT_USER, "Software\\Closed");
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(closed));
    int local = 0;
    struct Case {
        const char* name;
        HKEY key;
        LONG expected;
    } cases[] = {
        {"null", nullptr, ERROR_INVALID_HANDLE},
        {"below the roots", rawKey(0x7FFFFFFFu), ERROR_INVALID_HANDLE},
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT, ERROR_SUCCESS},
        {"HKEY_USERS", HKEY_USERS, ERROR_SUCCESS},
        {"one past HKEY_USERS", rawKey(0xFFFFFFFF80000004ull), ERROR_INVALID_HANDLE},
        {"zero-extended HKEY_CLASSES_ROOT", rawKey(0x80000000u), ERROR_SUCCESS},
        {"zero-extended HKEY_LOCAL_MACHINE", rawKey(0x80000002u), ERROR_SUCCESS},
        {"zero-extended one past", rawKey(0x80000004u), ERROR_INVALID_HANDLE},
        {"root with other high bits", rawKey(0x0000000180000001ull), ERROR_INVALID_HANDLE},
        {"closed handle", closed, ERROR_INVALID_HANDLE},
        {"address of a local", reinterpret_cast<HKEY>(&local), ERROR_INVALID_HANDLE},
        {"INVALID_HANDLE_VALUE", reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE), ERROR_INVALID_HANDLE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HKEY key = rawKey(0x1234);
        EXPECT_EQ(c.expected, RegOpenKeyExA(c.key, "", 0, KEY_READ, &key));
        if (c.expected == ERROR_SUCCESS) {
            EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
        } else {
            EXPECT_EQ(nullptr, key);
            DWORD size = 0;
            EXPECT_EQ(c.expected, RegQueryValueExA(c.key, "v", nullptr, nullptr, nullptr, &size));
            EXPECT_EQ(c.expected, RegSetValueExA(c.key, "v", 0, REG_DWORD, nullptr, 0));
            EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(c.key));
        }
    }
}

TEST_F(RegistryTest, RootsAreSignExtendedLikeWindows) {
    EXPECT_EQ(static_cast<uintptr_t>(0xFFFFFFFF80000000ull), reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT));
    EXPECT_EQ(static_cast<uintptr_t>(0xFFFFFFFF80000003ull), reinterpret_cast<uintptr_t>(HKEY_USERS));
    EXPECT_EQ(0x20019u, KEY_READ);
    EXPECT_EQ(0x20006u, KEY_WRITE);
    EXPECT_EQ(0xF003Fu, KEY_ALL_ACCESS);
    // The same root handed in both ways names the same key.
    HKEY a = create(rawKey(0x80000002u), "Shared\\Root");
    const DWORD v = 77;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(a, "n", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4));
    HKEY b = open(HKEY_LOCAL_MACHINE, "Shared\\Root", KEY_READ);
    DWORD got = 0, size = sizeof got;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(b, "n", nullptr, nullptr, reinterpret_cast<BYTE*>(&got), &size));
    EXPECT_EQ(77u, got);
    RegCloseKey(a);
    RegCloseKey(b);
}

TEST_F(RegistryTest, KeyPathsFollowWindowsRules) {
    RegCloseKey(create(HKEY_CURRENT_USER, "Software\\Velmora Automation\\Norvik"));
    const std::string longest(REG_MAX_KEY_NAME, 'k');
    const std::string tooLong(REG_MAX_KEY_NAME + 1, 'k');
    struct Case {
        const char* name;
        std::string path;
        LONG expected;
    } cases[] = {
        {"empty opens the key itself", "", ERROR_SUCCESS},
        {"exact case", "Software\\Velmora Automation\\Norvik", ERROR_SUCCESS},
        {"other case", "SOFTWARE\\velmora automation\\NORVIK", ERROR_SUCCESS},
        {"one trailing separator", "Software\\Velmora Automation\\", ERROR_SUCCESS},
        {"leading separator", "\\Software", ERROR_BAD_PATHNAME},
        {"empty component", "Software\\\\Norvik", ERROR_BAD_PATHNAME},
        {"two trailing separators", "Software\\\\", ERROR_BAD_PATHNAME},
        {"missing leaf", "Software\\Velmora Automation\\Missing", ERROR_FILE_NOT_FOUND},
        {"missing middle", "Software\\Nobody\\Norvik", ERROR_FILE_NOT_FOUND},
        {"slash is part of a name", "Software/Velmora Automation", ERROR_FILE_NOT_FOUND},
        {"longest component", "Software\\" + longest, ERROR_FILE_NOT_FOUND},
        {"component one too long", "Software\\" + tooLong, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HKEY key = nullptr;
        EXPECT_EQ(c.expected, RegOpenKeyExA(HKEY_CURRENT_USER, c.path.c_str(), 0, KEY_READ, &key));
        EXPECT_EQ(c.expected == ERROR_SUCCESS, key != nullptr);
        if (key) {
            RegCloseKey(key);
        }
    }
    // The longest component can be created, one more cannot.
    HKEY key = nullptr;
    std::string path = "Software\\" + longest;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_READ,
                                             nullptr, &key, nullptr));
    RegCloseKey(key);
    path = "Software\\" + tooLong;
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                                       KEY_READ, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegCreateKeyExA(HKEY_CURRENT_USER, nullptr, 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, nullptr));
}

TEST_F(RegistryTest, CreateReportsDispositionAndKeepsFirstCase) {
    struct Case {
        const char* name;
        const char* path;
        DWORD disposition;
    } cases[] = {
        {"new", "Software\\MixedCase", REG_CREATED_NEW_KEY},
        {"same name again", "Software\\MixedCase", REG_OPENED_EXISTING_KEY},
        {"other case", "SOFTWARE\\MIXEDCASE", REG_OPENED_EXISTING_KEY},
        {"new below existing", "software\\mixedcase\\Child", REG_CREATED_NEW_KEY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HKEY key = nullptr;
        DWORD disposition = 0;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, c.path, 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &key, &disposition));
        EXPECT_EQ(c.disposition, disposition);
        RegCloseKey(key);
    }
    HKEY software = open(HKEY_CURRENT_USER, "Software", KEY_READ);
    char name[64];
    DWORD size = sizeof name;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyExA(software, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
    EXPECT_STREQ("MixedCase", name);
    EXPECT_EQ(9u, size);
    RegCloseKey(software);
}

TEST_F(RegistryTest, ValuesKeepTypeAndExactBytes) {
    HKEY key = create(HKEY_CURRENT_USER, "Software\\Values");
    const std::string maximum(REG_MAX_VALUE_SIZE, '\xA5');
    struct Case {
        const char* name;
        DWORD type;
        std::string bytes;
    } cases[] = {
        {"empty binary", REG_BINARY, std::string()},
        {"empty string without terminator", REG_SZ, std::string()},
        {"string with terminator", REG_SZ, std::string("Symb00\0", 7)},
        {"string without terminator", REG_SZ, std::string("abc")},
        {"Windows-1252 string", REG_SZ, std::string("\xE4\xF6\xFC\0", 4)},
        {"expandable string", REG_EXPAND_SZ, std::string("%TEMP%\\x\0", 9)},
        {"binary with zeros and 0xFF", REG_BINARY, std::string("\0\xFF\0\x01", 4)},
        {"dword", REG_DWORD, std::string("\x78\x56\x34\x12", 4)},
        {"dword of wrong size", REG_DWORD, std::string("\x01\x02", 2)},
        {"multi string", REG_MULTI_SZ, std::string("a\0bc\0\0", 6)},
        {"qword", REG_QWORD, std::string("\1\2\3\4\5\6\7\x08", 8)},
        {"none", REG_NONE, std::string("x")},
        {"unknown type", 0x12345678u, std::string("y")},
        {"largest value", REG_BINARY, maximum},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, c.name, 0, c.type,
                                                reinterpret_cast<const BYTE*>(c.bytes.data()),
                                                static_cast<DWORD>(c.bytes.size())));
    }
    // Read back through a fresh handle after all writes.
    HKEY reader = open(HKEY_CURRENT_USER, "software\\values", KEY_READ);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DWORD type = 0xDEAD, size = 0;
        ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(reader, c.name, nullptr, &type, nullptr, &size));
        EXPECT_EQ(c.type, type);
        ASSERT_EQ(c.bytes.size(), size);
        std::vector<BYTE> buf(size + 1, 0xEE);
        ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(reader, c.name, nullptr, &type, buf.data(), &size));
        EXPECT_EQ(0, std::memcmp(buf.data(), c.bytes.data(), c.bytes.size()));
        EXPECT_EQ(0xEE, buf[size]) << "no terminator may be added";
    }
    const std::string tooLarge(REG_MAX_VALUE_SIZE + 1, 'x');
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegSetValueExA(key, "too large", 0, REG_BINARY, reinterpret_cast<const BYTE*>(tooLarge.data()),
                             static_cast<DWORD>(tooLarge.size())));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegSetValueExA(key, "null data", 0, REG_BINARY, nullptr, 4));
    DWORD size = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(reader, "too large", nullptr, nullptr, nullptr, &size));
    RegCloseKey(reader);
    RegCloseKey(key);
}

TEST_F(RegistryTest, QuerySizeConvention) {
    HKEY key = create(HKEY_CURRENT_USER, "Software\\Sizes");
    const char text[] = "0123456789"; // 11 bytes with terminator
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 11));
    struct Case {
        const char* name;
        const char* value;
        bool buffer;      // pass a buffer
        bool sizePointer; // pass the size
        DWORD sizeIn;
        LONG expected;
        DWORD sizeOut;
        bool written;
    } cases[] = {
        {"size only", "Text", false, true, 0, ERROR_SUCCESS, 11, false},
        {"zero-size buffer", "Text", true, true, 0, ERROR_MORE_DATA, 11, false},
        {"one short", "Text", true, true, 10, ERROR_MORE_DATA, 11, false},
        {"exact", "Text", true, true, 11, ERROR_SUCCESS, 11, true},
        {"larger", "Text", true, true, 64, ERROR_SUCCESS, 11, true},
        {"name in other case", "TEXT", true, true, 64, ERROR_SUCCESS, 11, true},
        {"buffer without size", "Text", true, false, 0, ERROR_INVALID_PARAMETER, 0, false},
        {"neither: existence test", "Text", false, false, 0, ERROR_SUCCESS, 0, false},
        {"missing value", "Nothing", true, true, 64, ERROR_FILE_NOT_FOUND, 64, false},
        {"missing default value", "", true, true, 64, ERROR_FILE_NOT_FOUND, 64, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char buf[64];
        std::memset(buf, '#', sizeof buf);
        DWORD size = c.sizeIn;
        LONG rc = RegQueryValueExA(key, c.value, nullptr, nullptr, c.buffer ? reinterpret_cast<BYTE*>(buf) : nullptr,
                                   c.sizePointer ? &size : nullptr);
        EXPECT_EQ(c.expected, rc);
        if (c.sizePointer) {
            EXPECT_EQ(c.sizeOut, size);
        }
        if (c.written) {
            EXPECT_STREQ(text, buf);
        } else {
            EXPECT_EQ('#', buf[0]);
        }
    }
    RegCloseKey(key);
}

TEST_F(RegistryTest, DefaultValueIsNullOrEmptyName) {
    HKEY key = create(HKEY_CLASSES_ROOT, "VarSvc.Document");
    const char text[] = "Document Class";
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text));
    char buf[32] = {};
    DWORD size = sizeof buf;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size));
    EXPECT_STREQ(text, buf);
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, ""));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, nullptr, nullptr, nullptr, nullptr, &size));
    RegCloseKey(key);
}

TEST_F(RegistryTest, AccessRightsAreChecked) {
    RegCloseKey(create(HKEY_CURRENT_USER, "Software\\Access\\Existing"));
    HKEY setup = open(HKEY_CURRENT_USER, "Software\\Access", KEY_ALL_ACCESS);
    const DWORD one = 1;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(setup, "v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4));
    RegCloseKey(setup);
    struct Case {
        const char* name;
        REGSAM sam;
        LONG query, set, remove, createNew, openExisting, enumerate;
    } cases[] = {
        {"no rights", 0, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED,
         ERROR_SUCCESS, ERROR_ACCESS_DENIED},
        {"KEY_READ", KEY_READ, ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED,
         ERROR_SUCCESS, ERROR_SUCCESS},
        {"GENERIC_READ", GENERIC_READ, ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED,
         ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_SUCCESS},
        {"KEY_WRITE", KEY_WRITE, ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS,
         ERROR_ACCESS_DENIED},
        {"KEY_QUERY_VALUE", KEY_QUERY_VALUE, ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED,
         ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_ACCESS_DENIED},
        {"KEY_ALL_ACCESS", KEY_ALL_ACCESS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS,
         ERROR_SUCCESS, ERROR_SUCCESS},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HKEY key = open(HKEY_CURRENT_USER, "Software\\Access", c.sam);
        DWORD size = 0;
        EXPECT_EQ(c.query, RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size));
        EXPECT_EQ(c.set, RegSetValueExA(key, "v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4));
        EXPECT_EQ(c.remove, RegDeleteValueA(key, "v"));
        if (c.remove == ERROR_SUCCESS) {
            RegSetValueExA(key, "v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4);
        }
        std::string fresh = "New" + std::to_string(n++);
        HKEY sub = nullptr;
        EXPECT_EQ(c.createNew,
                  RegCreateKeyExA(key, fresh.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr));
        RegCloseKey(sub);
        EXPECT_EQ(c.openExisting,
                  RegCreateKeyExA(key, "Existing", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr));
        RegCloseKey(sub);
        char name[32];
        size = sizeof name;
        EXPECT_EQ(c.enumerate, RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
        RegCloseKey(key);
    }
}

TEST_F(RegistryTest, DeleteKeyRules) {
    RegCloseKey(create(HKEY_CURRENT_USER, "Software\\Del\\Parent\\Child"));
    HKEY leaf = create(HKEY_CURRENT_USER, "Software\\Del\\Leaf");
    const DWORD v = 5;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(leaf, "v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4));
    HKEY del = open(HKEY_CURRENT_USER, "Software\\Del", KEY_READ);
    struct Case {
        const char* name;
        HKEY key;
        const char* path;
        LONG expected;
    } cases[] = {
        {"null name", del, nullptr, ERROR_INVALID_PARAMETER},
        {"missing", del, "Missing", ERROR_FILE_NOT_FOUND},
        {"has sub-keys", del, "Parent", ERROR_ACCESS_DENIED},
        {"a root itself", HKEY_CURRENT_USER, "", ERROR_ACCESS_DENIED},
        {"leaf in other case", del, "LEAF", ERROR_SUCCESS},
        {"leaf again", del, "Leaf", ERROR_FILE_NOT_FOUND},
        {"child through a path", HKEY_CURRENT_USER, "Software\\Del\\Parent\\Child", ERROR_SUCCESS},
        {"parent now empty", del, "Parent", ERROR_SUCCESS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, RegDeleteKeyA(c.key, c.path));
    }
    // A handle on a deleted key answers ERROR_KEY_DELETED, and a key made
    // again under that name starts without the old values.
    DWORD size = 0;
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExA(leaf, "v", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_KEY_DELETED, RegSetValueExA(leaf, "v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4));
    HKEY again = create(HKEY_CURRENT_USER, "Software\\Del\\Leaf");
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(again, "v", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExA(leaf, "v", nullptr, nullptr, nullptr, &size));
    // "" deletes the handle's own key.
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(again, ""));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(leaf));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(again));
    RegCloseKey(del);
}

TEST_F(RegistryTest, DeleteValueRules) {
    HKEY key = create(HKEY_CURRENT_USER, "Software\\DelValue");
    const BYTE b = 1;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "LocalService", 0, REG_BINARY, &b, 1));
    struct Case {
        const char* name;
        const char* value;
        LONG expected;
    } cases[] = {
        {"missing", "Other", ERROR_FILE_NOT_FOUND},
        {"other case", "localservice", ERROR_SUCCESS},
        {"already gone", "LocalService", ERROR_FILE_NOT_FOUND},
        {"missing default", nullptr, ERROR_FILE_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, RegDeleteValueA(key, c.value));
    }
    RegCloseKey(key);
}

TEST_F(RegistryTest, EnumerationOrderAndBuffers) {
    for (const char* name : {"beta", "Alpha", "GAMMA"}) {
        RegCloseKey(create(HKEY_CURRENT_USER, (std::string("Software\\Enum\\") + name).c_str()));
    }
    HKEY key = open(HKEY_CURRENT_USER, "Software\\Enum", KEY_ALL_ACCESS);
    for (const char* name : {"zeta", "Eta"}) {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2));
    }
    struct Case {
        DWORD index;
        DWORD bufSize;
        LONG expected;
        const char* name;
    } keys[] = {
        {0, 0, ERROR_MORE_DATA, ""},       {0, 5, ERROR_MORE_DATA, ""}, {0, 6, ERROR_SUCCESS, "Alpha"},
        {1, 64, ERROR_SUCCESS, "beta"},    {2, 64, ERROR_SUCCESS, "GAMMA"},
        {3, 64, ERROR_NO_MORE_ITEMS, ""},  {0xFFFFFFFF, 64, ERROR_NO_MORE_ITEMS, ""},
    };
    for (const Case& c : keys) {
        SCOPED_TRACE(std::string("key ") + std::to_string(c.index) + "/" + std::to_string(c.bufSize));
        char name[64] = {};
        DWORD size = c.bufSize;
        EXPECT_EQ(c.expected, RegEnumKeyExA(key, c.index, name, &size, nullptr, nullptr, nullptr, nullptr));
        if (c.expected == ERROR_SUCCESS) {
            EXPECT_STREQ(c.name, name);
            EXPECT_EQ(std::strlen(c.name), size);
        }
    }
    Case values[] = {
        {0, 3, ERROR_MORE_DATA, ""}, {0, 4, ERROR_SUCCESS, "Eta"}, {1, 5, ERROR_SUCCESS, "zeta"},
        {2, 64, ERROR_NO_MORE_ITEMS, ""},
    };
    for (const Case& c : values) {
        SCOPED_TRACE(std::string("value ") + std::to_string(c.index));
        char name[64] = {};
        DWORD size = c.bufSize, type = 0, dataSize = 0;
        EXPECT_EQ(c.expected, RegEnumValueA(key, c.index, name, &size, nullptr, &type, nullptr, &dataSize));
        if (c.expected == ERROR_SUCCESS) {
            EXPECT_STREQ(c.name, name);
            EXPECT_EQ(REG_SZ, type);
            EXPECT_EQ(2u, dataSize);
        }
    }
    RegCloseKey(key);
}

TEST_F(RegistryTest, StoreFollowsEnvironmentAndHandlesStayWithTheirStore) {
    HKEY first = create(HKEY_CURRENT_USER, "Software\\Where");
    const DWORD v = 1;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(first, "v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4));
    {
        ScopedEnv other("KORVANE_REGISTRY", dir / "other.db");
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Where", 0, KEY_READ, &key));
        // The handle opened before keeps reading the store it came from.
        DWORD size = 0;
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(first, "v", nullptr, nullptr, nullptr, &size));
        struct stat st {};
        ASSERT_EQ(0, ::stat((dir / "other.db").c_str(), &st));
        EXPECT_EQ(0600u, st.st_mode & 0777) << "the store is private to the user";
    }
    RegCloseKey(first);
}

TEST_F(RegistryTest, DefaultStoreIsBelowTheConfigurationDirectory) {
    struct Case {
        const char* name;
        const char* xdg;
        std::string home;
        std::string expected;
    } cases[] = {
        {"XDG_CONFIG_HOME", "xdg", dir / "home1", dir / "xdg/korvane/registry.db"},
        {"relative XDG_CONFIG_HOME is ignored", "relative", dir / "home2",
         dir / "home2/.config/korvane/registry.db"},
        {"HOME", nullptr, dir / "home3", dir / "home3/.config/korvane/registry.db"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEnv noStore("KORVANE_REGISTRY", nullptr);
        std::string xdg = c.xdg == nullptr ? "" : (std::string(c.xdg) == "relative" ? "relative/dir" : dir / c.xdg);
        ScopedEnv xdgEnv("XDG_CONFIG_HOME", c.xdg ? xdg.c_str() : nullptr);
        ScopedEnv homeEnv("HOME", c.home);
        HKEY key = create(HKEY_CURRENT_USER, "Software\\Default");
        RegCloseKey(key);
        struct stat st {};
        EXPECT_EQ(0, ::stat(c.expected.c_str(), &st));
    }
}

TEST(RegistryStoreTest, UnusableStoresAreReportedNotDamaged) {
    TempDir dir;
    const std::string garbage(4096, 'g');
    {
        std::FILE* f = std::fopen((dir / "garbage.db").c_str(), "wb");
        ASSERT_NE(nullptr, f);
        std::fwrite(garbage.data(), 1, garbage.size(), f);
        std::fclose(f);
    }
    ASSERT_EQ(0, ::mkdir((dir / "adir").c_str(), 0700));
    struct Case {
        const char* name;
        std::string store;
        LONG expected;
    } cases[] = {
        {"not a database", dir / "garbage.db", ERROR_BADDB},
        {"missing directory", dir / "none/registry.db", ERROR_CANTOPEN},
        {"a directory", dir / "adir", ERROR_CANTOPEN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEnv store("KORVANE_REGISTRY", c.store);
        HKEY key = rawKey(0x1234);
        EXPECT_EQ(c.expected, RegCreateKeyExA(HKEY_CURRENT_USER, "Software", 0, nullptr, 0, KEY_ALL_ACCESS,
                                              nullptr, &key, nullptr));
        EXPECT_EQ(nullptr, key);
        DWORD size = 0;
        EXPECT_EQ(c.expected, RegQueryValueExA(HKEY_CURRENT_USER, "v", nullptr, nullptr, nullptr, &size));
    }
    std::FILE* f = std::fopen((dir / "garbage.db").c_str(), "rb");
    ASSERT_NE(nullptr, f);
    std::string back(8192, '\0');
    back.resize(std::fread(back.data(), 1, back.size(), f));
    std::fclose(f);
    EXPECT_TRUE(back == garbage) << "the file that is no store is left as it was";
}

} // namespace
