// The registry store shared by several processes: no write is lost, no value
// is seen torn, and a writer killed in the middle of a burst leaves a
// consistent store.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "platform/Registry.h"
#include "tests/platform/PlatformTestSupport.h"

using platform_test::ScopedEnv;
using platform_test::TempDir;

namespace {

// A value whose every byte is derivable from its first two, so that a read
// of a mix of two writes shows.
std::string pattern(int writer, int serial, size_t size) {
    std::string v(size, '\0');
    v[0] = static_cast<char>(writer);
    v[1] = static_cast<char>(serial);
    for (size_t i = 2; i < size; ++i) {
        v[i] = static_cast<char>((writer * 31 + serial * 7 + static_cast<int>(i)) & 0xFF);
    }
    return v;
}

bool consistent(const std::string& v, size_t size) {
    if (v.size() != size) {
        return false;
    }
    return v == pattern(static_cast<unsigned char>(v[0]), static_cast<unsigned char>(v[1]), size);
}

LONG readValue(HKEY key, const std::string& name, std::string& out) {
    std::vector<BYTE> buf(8192);
    DWORD size = static_cast<DWORD>(buf.size());
    DWORD type = 0;
    LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, buf.data(), &size);
    if (rc == ERROR_SUCCESS) {
        out.assign(reinterpret_cast<const char*>(buf.data()), size);
    }
    return rc;
}

LONG writeValue(HKEY key, const std::string& name, const std::string& v) {
    return RegSetValueExA(key, name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(v.data()),
                          static_cast<DWORD>(v.size()));
}

HKEY createKey(const std::string& path) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return nullptr;
    }
    return key;
}

std::string integrityCheck(const std::string& path) {
    sqlite3* db = nullptr;
    std::string result = "cannot open";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr) == SQLITE_OK &&
            sqlite3_step(s) == SQLITE_ROW) {
            result = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        }
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return result;
}

TEST(RegistryConcurrencyTest, SeveralProcessesLoseNoWriteAndSeeNoTornValue) {
    TempDir dir;
    ScopedEnv store("KORVANE_REGISTRY", dir / "registry.db");
    constexpr int kWriters = 4;
    constexpr int kValues = 40;
    constexpr size_t kSize = 3000;
    {
        HKEY shared = createKey("Software\\Shared");
        ASSERT_NE(nullptr, shared);
        RegCloseKey(shared);
    }
    struct Case {
        const char* name;
        int writers;
    } cases[] = {{"one writer", 1}, {"several writers", kWriters}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<pid_t> children;
        for (int w = 0; w < c.writers; ++w) {
            children.push_back(platform_test::spawn([&, w]() -> int {
                HKEY shared = createKey("Software\\Shared");
                HKEY own = createKey("Software\\Own" + std::to_string(w));
                if (!shared || !own) {
                    return 2;
                }
                for (int j = 0; j < kValues; ++j) {
                    std::string v = pattern(w, j, kSize);
                    std::string name = "w" + std::to_string(w) + "_" + std::to_string(j);
                    if (writeValue(shared, name, v) != ERROR_SUCCESS || writeValue(own, name, v) != ERROR_SUCCESS ||
                        writeValue(shared, "Hot", v) != ERROR_SUCCESS) {
                        return 3;
                    }
                    // Read what others write meanwhile: every value seen must
                    // be one whole write.
                    std::string seen;
                    if (readValue(shared, "Hot", seen) != ERROR_SUCCESS || !consistent(seen, kSize)) {
                        return 4;
                    }
                    int other = (w + 1) % c.writers;
                    LONG rc = readValue(shared, "w" + std::to_string(other) + "_" + std::to_string(j), seen);
                    if (rc == ERROR_SUCCESS && seen != pattern(other, j, kSize)) {
                        return 5;
                    }
                    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
                        return 6;
                    }
                }
                RegCloseKey(shared);
                RegCloseKey(own);
                return 0;
            }));
        }
        for (pid_t pid : children) {
            ASSERT_GT(pid, 0);
            EXPECT_EQ(0, platform_test::reap(pid));
        }
        HKEY shared = createKey("Software\\Shared");
        for (int w = 0; w < c.writers; ++w) {
            HKEY own = createKey("Software\\Own" + std::to_string(w));
            for (int j = 0; j < kValues; ++j) {
                std::string name = "w" + std::to_string(w) + "_" + std::to_string(j);
                std::string v;
                ASSERT_EQ(ERROR_SUCCESS, readValue(shared, name, v)) << name;
                EXPECT_TRUE(pattern(w, j, kSize) == v) << name;
                ASSERT_EQ(ERROR_SUCCESS, readValue(own, name, v)) << name;
                EXPECT_TRUE(pattern(w, j, kSize) == v) << name;
            }
            RegCloseKey(own);
        }
        std::string hot;
        ASSERT_EQ(ERROR_SUCCESS, readValue(shared, "Hot", hot));
        EXPECT_TRUE(consistent(hot, kSize));
        RegCloseKey(shared);
    }
    EXPECT_EQ("ok", integrityCheck(dir / "registry.db"));
}

TEST(RegistryConcurrencyTest, WriterKilledMidBurstLeavesConsistentStore) {
    TempDir dir;
    ScopedEnv store("KORVANE_REGISTRY", dir / "registry.db");
    constexpr size_t kSize = 4000;
    // Kill after different amounts of work: at once, early, later.
    struct Case {
        const char* name;
        int killAfterMs;
    } cases[] = {{"at once", 0}, {"early", 15}, {"later", 120}};
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int fds[2];
        ASSERT_EQ(0, ::pipe(fds));
        const int writer = ++round;
        const std::string keyName = "Software\\Burst" + std::to_string(writer);
        pid_t pid = platform_test::spawn([&]() -> int {
            ::close(fds[0]);
            HKEY key = createKey(keyName);
            if (!key) {
                return 2;
            }
            for (int j = 0; j < 100000; ++j) {
                // Each write is a new value and an update of the counter
                // "Last"; a crash may fall between them, never inside one.
                if (writeValue(key, "v" + std::to_string(j), pattern(writer, j & 0xFF, kSize)) != ERROR_SUCCESS) {
                    return 3;
                }
                DWORD last = static_cast<DWORD>(j);
                if (RegSetValueExA(key, "Last", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&last), 4) !=
                    ERROR_SUCCESS) {
                    return 4;
                }
                if (j == 2) {
                    char ready = 'r';
                    if (::write(fds[1], &ready, 1) != 1) {
                        return 5;
                    }
                }
            }
            return 0;
        });
        ASSERT_GT(pid, 0);
        ::close(fds[1]);
        char ready = 0;
        ASSERT_EQ(1, ::read(fds[0], &ready, 1));
        ::close(fds[0]);
        ::usleep(static_cast<useconds_t>(c.killAfterMs) * 1000);
        ASSERT_EQ(0, ::kill(pid, SIGKILL));
        EXPECT_EQ(1000 + SIGKILL, platform_test::reap(pid));

        EXPECT_EQ("ok", integrityCheck(dir / "registry.db"));
        HKEY key = createKey(keyName);
        ASSERT_NE(nullptr, key);
        DWORD last = 0, size = 4;
        ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Last", nullptr, nullptr, reinterpret_cast<BYTE*>(&last), &size));
        ASSERT_GE(last, 2u);
        // Every value up to the counter is whole; at most one more (written
        // before the counter's update) may exist, whole as well.
        for (DWORD j = 0; j <= last + 1; ++j) {
            std::string v;
            LONG rc = readValue(key, "v" + std::to_string(j), v);
            if (j <= last) {
                ASSERT_EQ(ERROR_SUCCESS, rc) << j;
            }
            if (rc == ERROR_SUCCESS) {
                EXPECT_TRUE(pattern(writer, static_cast<int>(j & 0xFF), kSize) == v) << "value " << j << " is torn";
            }
        }
        std::string v;
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, readValue(key, "v" + std::to_string(last + 2), v));
        // The store still takes writes.
        EXPECT_EQ(ERROR_SUCCESS, writeValue(key, "after", "x"));
        RegCloseKey(key);
    }
}

} // namespace
