// A command-line tool for the Java tests of Halvex: writes registry values of
// any type with exact bytes, and prints a value's type and bytes, in the store
// named by KORVANE_REGISTRY.
//
//   halvex_fixture mkkey <root> <path>
//   halvex_fixture set <root> <path> <name> <type> <hex bytes>
//   halvex_fixture get <root> <path> <name>
//
// <root> is a number (decimal or 0x hex, e.g. 0x80000001); an empty <name>
// is the key's default value. `get` prints "<type> <hex>" ("<type> -" for an
// empty value), "missing" for a missing value or "nokey" for a missing key.
// The exit status is 0 on success, 1 for bad arguments, 2 when a registry
// call fails otherwise.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace {

bool ParseRoot(const char* text, HKEY* root) {
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 0);
    if (end == text || *end != '\0') {
        return false;
    }
    *root = reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<int32_t>(value)));
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool ParseHex(const char* text, std::vector<BYTE>& out) {
    const size_t length = std::strlen(text);
    if (length % 2 != 0) {
        return false;
    }
    for (size_t i = 0; i < length; i += 2) {
        const int high = HexDigit(text[i]);
        const int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        out.push_back(static_cast<BYTE>(high * 16 + low));
    }
    return true;
}

int Usage() {
    std::fprintf(stderr, "usage: halvex_fixture mkkey <root> <path>\n"
                         "       halvex_fixture set <root> <path> <name> <type> <hex>\n"
                         "       halvex_fixture get <root> <path> <name>\n");
    return 1;
}

int Fail(const char* what, LSTATUS rc) {
    std::fprintf(stderr, "halvex_fixture: %s failed with error %ld\n", what, static_cast<long>(rc));
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        return Usage();
    }
    const std::string command = argv[1];
    HKEY root = nullptr;
    if (!ParseRoot(argv[2], &root)) {
        return Usage();
    }
    const char* path = argv[3];

    if (command == "mkkey" && argc == 4) {
        HKEY key = nullptr;
        const LSTATUS rc =
            RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        if (rc != ERROR_SUCCESS) {
            return Fail("RegCreateKeyExA", rc);
        }
        RegCloseKey(key);
        return 0;
    }

    if (command == "set" && argc == 7) {
        char* end = nullptr;
        const unsigned long type = std::strtoul(argv[5], &end, 0);
        std::vector<BYTE> data;
        if (end == argv[5] || *end != '\0' || !ParseHex(argv[6], data)) {
            return Usage();
        }
        HKEY key = nullptr;
        LSTATUS rc =
            RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        if (rc != ERROR_SUCCESS) {
            return Fail("RegCreateKeyExA", rc);
        }
        static const BYTE none = 0;
        rc = RegSetValueExA(key, argv[4], 0, static_cast<DWORD>(type),
                            data.empty() ? &none : data.data(), static_cast<DWORD>(data.size()));
        RegCloseKey(key);
        return rc == ERROR_SUCCESS ? 0 : Fail("RegSetValueExA", rc);
    }

    if (command == "get" && argc == 5) {
        HKEY key = nullptr;
        LSTATUS rc = RegOpenKeyExA(root, path, 0, KEY_READ, &key);
        if (rc == ERROR_FILE_NOT_FOUND) {
            std::printf("nokey\n");
            return 0;
        }
        if (rc != ERROR_SUCCESS) {
            return Fail("RegOpenKeyExA", rc);
        }
        DWORD type = 0;
        DWORD size = 0;
        rc = RegQueryValueExA(key, argv[4], nullptr, &type, nullptr, &size);
        std::vector<BYTE> data(static_cast<size_t>(size) + 1);
        if (rc == ERROR_SUCCESS) {
            DWORD got = static_cast<DWORD>(data.size());
            rc = RegQueryValueExA(key, argv[4], nullptr, &type, data.data(), &got);
            size = got;
        }
        RegCloseKey(key);
        if (rc == ERROR_FILE_NOT_FOUND) {
            std::printf("missing\n");
            return 0;
        }
        if (rc != ERROR_SUCCESS) {
            return Fail("RegQueryValueExA", rc);
        }
        std::printf("%lu ", static_cast<unsigned long>(type));
        if (size == 0) {
            std::printf("-");
        }
        for (DWORD i = 0; i < size; ++i) {
            std::printf("%02x", data[i]);
        }
        std::printf("\n");
        return 0;
    }
    return Usage();
}
