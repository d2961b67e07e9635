// The registry store in SQLite and the Windows registry functions on top of
// it. One connection per store file and process; every call runs under one
// process lock and in one SQLite transaction, so that a call is atomic for
// the threads of this process and for every other process of the user.
#include "platform/Registry.h"

#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/LastError.h"

namespace {

// How long a call waits for another process's write transaction.
constexpr int kBusyTimeoutMs = 10000;
// Deepest key path accepted (Windows allows 512 levels).
constexpr size_t kMaxKeyDepth = 512;
// Key ids of the predefined roots in the store; a root's handle value is
// 0x80000000 + (id - 1).
constexpr int64_t kFirstRootId = 1;
constexpr uint32_t kRootBase = 0x80000000u;
constexpr uint32_t kRootCount = 4;
const char* const kRootNames[kRootCount] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                            "HKEY_LOCAL_MACHINE", "HKEY_USERS"};

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS keys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " parent INTEGER NOT NULL,"
    " name BLOB NOT NULL,"
    " folded BLOB NOT NULL,"
    " written INTEGER NOT NULL DEFAULT 0,"
    " UNIQUE(parent, folded));"
    "CREATE TABLE IF NOT EXISTS vals("
    " key INTEGER NOT NULL,"
    " name BLOB NOT NULL,"
    " folded BLOB NOT NULL,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " PRIMARY KEY(key, folded));";

struct Store {
    sqlite3* db = nullptr;
    pid_t pid = 0;
    dev_t device = 0; // the file the connection was opened on
    ino_t inode = 0;
};

struct KeyHandle {
    std::string store; // the store file the key lives in
    int64_t id = 0;
    REGSAM access = 0;
};

// All registry state of the process, guarded by `lock`. Never destroyed:
// other static destructors may still close keys at exit.
struct Registry {
    std::mutex lock;
    std::map<std::string, Store> stores;
    std::unordered_map<uintptr_t, KeyHandle> handles;
    uintptr_t next = 0x100000;
};

Registry& registry() {
    static Registry* r = new Registry;
    return *r;
}

// ----- names -----

std::string fold(std::string_view s) {
    // Names compare without regard to ASCII case; other bytes compare as they
    // are, so no code page is assumed for the store.
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

// Splits a key path at '\' into its components. One trailing '\' is allowed;
// a leading one or an empty component is a malformed path.
LONG splitPath(LPCSTR subKey, std::vector<std::string>& parts) {
    parts.clear();
    if (subKey == nullptr || subKey[0] == '\0') {
        return ERROR_SUCCESS;
    }
    std::string_view path(subKey);
    if (path.back() == '\\') {
        path.remove_suffix(1);
    }
    size_t start = 0;
    for (;;) {
        size_t end = path.find('\\', start);
        std::string_view part = path.substr(start, end == std::string_view::npos ? path.npos : end - start);
        if (part.empty()) {
            return ERROR_BAD_PATHNAME;
        }
        if (part.size() > REG_MAX_KEY_NAME) {
            return ERROR_INVALID_PARAMETER;
        }
        parts.emplace_back(part);
        if (parts.size() > kMaxKeyDepth) {
            return ERROR_INVALID_PARAMETER;
        }
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

REGSAM normaliseAccess(REGSAM sam) {
    if (sam & (GENERIC_ALL | MAXIMUM_ALLOWED)) {
        sam |= KEY_ALL_ACCESS;
    }
    if (sam & GENERIC_READ) {
        sam |= KEY_READ;
    }
    if (sam & GENERIC_WRITE) {
        sam |= KEY_WRITE;
    }
    if (sam & GENERIC_EXECUTE) {
        sam |= KEY_EXECUTE;
    }
    return sam & ~(GENERIC_ALL | GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | MAXIMUM_ALLOWED);
}

int64_t nowFileTime() {
    // 100-ns intervals since 1601-01-01, as FILETIME counts.
    using namespace std::chrono;
    int64_t unix100ns =
        duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count() / 100;
    return unix100ns + 116444736000000000LL;
}

// ----- the store file -----

bool makeDirs(const std::string& path) {
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            std::string prefix = path.substr(0, i);
            if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
                return false;
            }
        }
    }
    return true;
}

// The store file named by KORVANE_REGISTRY, else the per-user default.
// "" when no home directory can be found.
std::string storePath() {
    const char* env = std::getenv("KORVANE_REGISTRY");
    if (env != nullptr && env[0] != '\0') {
        return env;
    }
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        std::string homeDir;
        if (home != nullptr && home[0] == '/') {
            homeDir = home;
        } else {
            struct passwd pw {};
            struct passwd* found = nullptr;
            std::vector<char> buf(16384);
            if (getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found &&
                found->pw_dir != nullptr && found->pw_dir[0] == '/') {
                homeDir = found->pw_dir;
            }
        }
        if (homeDir.empty()) {
            return std::string();
        }
        base = homeDir + "/.config";
    }
    std::string dir = base + "/korvane";
    if (!makeDirs(dir)) {
        return std::string();
    }
    return dir + "/registry.db";
}

LONG sqliteError(int rc, LONG fallback) {
    switch (rc & 0xFF) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return ERROR_BADDB;
    case SQLITE_NOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_CANTOPEN:
        return ERROR_CANTOPEN;
    case SQLITE_FULL:
        return ERROR_DISK_FULL;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return ERROR_ACCESS_DENIED;
    default:
        return fallback;
    }
}

int execRetry(sqlite3* db, const char* sql) {
    // The busy handler covers most waits; a few statements (journal mode
    // change, first schema) can still see SQLITE_BUSY when several
    // processes open a new store at once, so they are repeated.
    int rc = SQLITE_OK;
    for (int attempt = 0; attempt < 50; ++attempt) {
        rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
        if ((rc & 0xFF) != SQLITE_BUSY && (rc & 0xFF) != SQLITE_LOCKED) {
            return rc;
        }
        ::usleep(20000);
    }
    return rc;
}

LONG openStore(const std::string& path, sqlite3** out) {
    *out = nullptr;
    // Made private before SQLite creates it; its journal files copy the mode.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return errno == EACCES || errno == EPERM ? ERROR_ACCESS_DENIED : ERROR_CANTOPEN;
    }
    ::close(fd);
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(db);
        return sqliteError(rc, ERROR_CANTOPEN);
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db, 1);
    // WAL lets readers run beside a writer; synchronous FULL makes every
    // committed change durable. Either way a killed writer leaves the last
    // committed state.
    rc = execRetry(db, "PRAGMA journal_mode=WAL");
    if (rc == SQLITE_OK) {
        rc = execRetry(db, "PRAGMA synchronous=FULL");
    }
    if (rc == SQLITE_OK) {
        std::string init = std::string("BEGIN IMMEDIATE;") + kSchema;
        for (uint32_t i = 0; i < kRootCount; ++i) {
            init += "INSERT OR IGNORE INTO keys(id,parent,name,folded) VALUES(" +
                    std::to_string(kFirstRootId + i) + ",0,'" + kRootNames[i] + "','" +
                    fold(kRootNames[i]) + "');";
        }
        init += "COMMIT;";
        rc = execRetry(db, init.c_str());
        if (rc != SQLITE_OK) {
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        }
    }
    if (rc != SQLITE_OK) {
        sqlite3_close(db);
        return sqliteError(rc, ERROR_CANTOPEN);
    }
    *out = db;
    return ERROR_SUCCESS;
}

// The connection to `path` for this process. A connection inherited through
// fork() belongs to the parent: it is left alone (closing it could disturb
// the parent's locks) and a new one is opened. A connection whose file was
// removed or replaced since is closed and opened again, so that a store
// made anew under an old name is really used.
LONG storeFor(const std::string& path, sqlite3** db) {
    Registry& r = registry();
    struct stat st {};
    bool present = ::stat(path.c_str(), &st) == 0;
    auto it = r.stores.find(path);
    if (it != r.stores.end()) {
        Store& s = it->second;
        if (s.pid == ::getpid()) {
            if (present && s.device == st.st_dev && s.inode == st.st_ino) {
                *db = s.db;
                return ERROR_SUCCESS;
            }
            sqlite3_close_v2(s.db);
        }
        r.stores.erase(it);
    }
    LONG rc = openStore(path, db);
    if (rc != ERROR_SUCCESS) {
        return rc;
    }
    if (::stat(path.c_str(), &st) != 0) {
        sqlite3_close_v2(*db);
        *db = nullptr;
        return ERROR_CANTOPEN;
    }
    r.stores[path] = Store{*db, ::getpid(), st.st_dev, st.st_ino};
    return ERROR_SUCCESS;
}

// ----- statements -----

class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        m_rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return m_rc == SQLITE_OK; }
    int prepareResult() const { return m_rc; }
    Statement& bind(int i, int64_t v) {
        sqlite3_bind_int64(m_stmt, i, v);
        return *this;
    }
    Statement& bindBlob(int i, const void* data, size_t size) {
        // An empty blob must stay a blob: binding a null pointer would store
        // NULL.
        if (size == 0) {
            sqlite3_bind_zeroblob(m_stmt, i, 0);
        } else {
            sqlite3_bind_blob64(m_stmt, i, data, size, SQLITE_TRANSIENT);
        }
        return *this;
    }
    Statement& bindText(int i, std::string_view s) { return bindBlob(i, s.data(), s.size()); }
    int step() { return sqlite3_step(m_stmt); }
    int64_t integer(int col) { return sqlite3_column_int64(m_stmt, col); }
    std::string blob(int col) {
        const void* p = sqlite3_column_blob(m_stmt, col);
        int n = sqlite3_column_bytes(m_stmt, col);
        return p == nullptr || n <= 0 ? std::string() : std::string(static_cast<const char*>(p), n);
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
    int m_rc = SQLITE_OK;
};

// One transaction; rolled back unless committed.
class Transaction {
public:
    Transaction(sqlite3* db, bool write) : m_db(db) {
        m_rc = sqlite3_exec(db, write ? "BEGIN IMMEDIATE" : "BEGIN", nullptr, nullptr, nullptr);
        m_open = m_rc == SQLITE_OK;
    }
    ~Transaction() {
        if (m_open) {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        }
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    int beginResult() const { return m_rc; }
    int commit() {
        int rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) {
            m_open = false;
        }
        return rc;
    }

private:
    sqlite3* m_db;
    int m_rc;
    bool m_open = false;
};

// ----- handles -----

// A predefined root as its key id (1..4), or 0. Both the sign-extended form
// that 64-bit Windows uses and the zero-extended form are roots.
int64_t rootId(HKEY key) {
    auto v = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(key));
    uint64_t high = v >> 32;
    auto low = static_cast<uint32_t>(v);
    if ((high != 0 && high != 0xFFFFFFFFull) || low < kRootBase || low >= kRootBase + kRootCount) {
        return 0;
    }
    return kFirstRootId + (low - kRootBase);
}

bool isRoot(HKEY key) { return rootId(key) != 0; }

// Finds the handle's store, key and rights. Needs the registry lock.
LONG resolveHandle(HKEY key, KeyHandle& out) {
    if (int64_t id = rootId(key)) {
        out.store = storePath();
        if (out.store.empty()) {
            return ERROR_CANTOPEN;
        }
        out.id = id;
        out.access = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    Registry& r = registry();
    auto it = r.handles.find(reinterpret_cast<uintptr_t>(key));
    if (it == r.handles.end()) {
        return ERROR_INVALID_HANDLE;
    }
    out = it->second;
    return ERROR_SUCCESS;
}

HKEY newHandle(const std::string& store, int64_t id, REGSAM access) {
    Registry& r = registry();
    uintptr_t value = r.next;
    r.next += 4;
    r.handles.emplace(value, KeyHandle{store, id, access});
    return reinterpret_cast<HKEY>(value);
}

// ----- store queries (inside a transaction) -----

// 1 when the key exists, 0 when not, -1 (with *rc) on a store error.
int keyExists(sqlite3* db, int64_t id, int* rc) {
    Statement s(db, "SELECT 1 FROM keys WHERE id=?");
    if (!s.ok()) {
        *rc = s.prepareResult();
        return -1;
    }
    int step = s.bind(1, id).step();
    if (step == SQLITE_ROW) {
        return 1;
    }
    if (step == SQLITE_DONE) {
        return 0;
    }
    *rc = step;
    return -1;
}

// The child of `parent` called `name` (any case): its id, 0 when missing,
// -1 on a store error.
int64_t childId(sqlite3* db, int64_t parent, const std::string& name, int* rc) {
    Statement s(db, "SELECT id FROM keys WHERE parent=? AND folded=?");
    if (!s.ok()) {
        *rc = s.prepareResult();
        return -1;
    }
    std::string folded = fold(name);
    int step = s.bind(1, parent).bindText(2, folded).step();
    if (step == SQLITE_ROW) {
        return s.integer(0);
    }
    if (step == SQLITE_DONE) {
        return 0;
    }
    *rc = step;
    return -1;
}

// Common start of every call on a handle: the lock is held by the caller;
// resolves the handle, its connection and checks its rights and its key.
struct Call {
    KeyHandle handle;
    sqlite3* db = nullptr;
};

LONG beginCall(HKEY key, REGSAM needed, Call& call) {
    LONG rc = resolveHandle(key, call.handle);
    if (rc != ERROR_SUCCESS) {
        return rc;
    }
    if ((call.handle.access & needed) != needed) {
        return ERROR_ACCESS_DENIED;
    }
    return storeFor(call.handle.store, &call.db);
}

LONG checkKey(Call& call, LONG storeFailure) {
    int rc = SQLITE_OK;
    int exists = keyExists(call.db, call.handle.id, &rc);
    if (exists < 0) {
        return sqliteError(rc, storeFailure);
    }
    return exists ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

LONG copyData(const std::string& bytes, LPBYTE data, LPDWORD dataSize) {
    auto size = static_cast<DWORD>(bytes.size());
    if (data == nullptr) {
        if (dataSize != nullptr) {
            *dataSize = size;
        }
        return ERROR_SUCCESS;
    }
    // Nothing is written into a short buffer; the caller learns the size.
    if (*dataSize < size) {
        *dataSize = size;
        return ERROR_MORE_DATA;
    }
    if (size != 0) {
        std::memcpy(data, bytes.data(), size);
    }
    *dataSize = size;
    return ERROR_SUCCESS;
}

// Copies a name with its terminator into a buffer of *size characters.
LONG copyName(const std::string& name, LPSTR buffer, LPDWORD size) {
    if (static_cast<uint64_t>(name.size()) + 1 > *size) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(buffer, name.data(), name.size());
    buffer[name.size()] = '\0';
    *size = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

} // namespace

// ----- the registry functions -----

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM samDesired, PHKEY result) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    std::vector<std::string> parts;
    LONG rc = splitPath(subKey, parts);
    std::lock_guard<std::mutex> guard(registry().lock);
    Call call;
    // Opening a sub-key needs no right on the parent handle, as on Windows:
    // the rights asked for apply to the new handle.
    LONG handleRc = beginCall(key, 0, call);
    if (handleRc != ERROR_SUCCESS) {
        return handleRc;
    }
    if (rc != ERROR_SUCCESS) {
        return rc;
    }
    Transaction txn(call.db, false);
    if (txn.beginResult() != SQLITE_OK) {
        return sqliteError(txn.beginResult(), ERROR_CANTREAD);
    }
    if ((rc = checkKey(call, ERROR_CANTREAD)) != ERROR_SUCCESS) {
        return rc;
    }
    int64_t id = call.handle.id;
    for (const std::string& part : parts) {
        int src = SQLITE_OK;
        id = childId(call.db, id, part, &src);
        if (id < 0) {
            return sqliteError(src, ERROR_CANTREAD);
        }
        if (id == 0) {
            return ERROR_FILE_NOT_FOUND;
        }
    }
    *result = newHandle(call.handle.store, id, normaliseAccess(samDesired));
    return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM samDesired,
                        const SECURITY_ATTRIBUTES*, PHKEY result, LPDWORD disposition) {
    if (result == nullptr || subKey == nullptr) {
        if (result != nullptr) {
            *result = nullptr;
        }
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    std::vector<std::string> parts;
    LONG rc = splitPath(subKey, parts);
    std::lock_guard<std::mutex> guard(registry().lock);
    Call call;
    LONG handleRc = beginCall(key, 0, call);
    if (handleRc != ERROR_SUCCESS) {
        return handleRc;
    }
    if (rc != ERROR_SUCCESS) {
        return rc;
    }
    Transaction txn(call.db, true);
    if (txn.beginResult() != SQLITE_OK) {
        return sqliteError(txn.beginResult(), ERROR_CANTWRITE);
    }
    if ((rc = checkKey(call, ERROR_CANTWRITE)) != ERROR_SUCCESS) {
        return rc;
    }
    int64_t id = call.handle.id;
    bool created = false;
    for (const std::string& part : parts) {
        int src = SQLITE_OK;
        int64_t child = childId(call.db, id, part, &src);
        if (child < 0) {
            return sqliteError(src, ERROR_CANTWRITE);
        }
        if (child == 0) {
            // Only making a key needs the right to create sub-keys; opening
            // an existing one through this call does not.
            if (!created && (call.handle.access & KEY_CREATE_SUB_KEY) == 0) {
                return ERROR_ACCESS_DENIED;
            }
            Statement ins(call.db, "INSERT INTO keys(parent,name,folded,written) VALUES(?,?,?,?)");
            if (!ins.ok()) {
                return sqliteError(ins.prepareResult(), ERROR_CANTWRITE);
            }
            std::string folded = fold(part);
            int step = ins.bind(1, id).bindText(2, part).bindText(3, folded).bind(4, nowFileTime()).step();
            if (step != SQLITE_DONE) {
                return sqliteError(step, ERROR_CANTWRITE);
            }
            child = sqlite3_last_insert_rowid(call.db);
            created = true;
        }
        id = child;
    }
    int crc = txn.commit();
    if (crc != SQLITE_OK) {
        return sqliteError(crc, ERROR_CANTWRITE);
    }
    *result = newHandle(call.handle.store, id, normaliseAccess(samDesired));
    if (disposition != nullptr) {
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                         LPDWORD dataSize) {
    std::lock_guard<std::mutex> guard(registry().lock);
    Call call;
    LONG rc = beginCall(key, KEY_QUERY_VALUE, call);
    if (rc != ERROR_SUCCESS) {
        return rc;
    }
    if (data != nullptr && dataSize == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    Transaction txn(call.db, false);
    if (txn.beginResult() != SQLITE_OK) {
        return sqliteError(txn.beginResult(), ERROR_CANTREAD);
    }
    if ((rc = checkKey(call, ERROR_CANTREAD)) != ERROR_SUCCESS) {
        return rc;
    }
    Statement s(call.db, "SELECT type, data FROM vals WHERE key=? AND folded=?");
    if (!s.ok()) {
        return sqliteError(s.prepareResult(), ERROR_CANTREAD);
    }
    std::string folded = fold(valueName == nullptr ? "" : valueName);
    int step = s.bind(1, call.handle.id).bindText(2, folded).step();
    if (step == SQLITE_DONE) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (step != SQLITE_ROW) {
        return sqliteError(step, ERROR_CANTREAD);
    }
    if (type != nullptr) {
        *type = static_cast<DWORD>(s.integer(0));
    }
    return copyData(s.blob(1), data, dataSize);
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data,
                       DWORD size) {
    std::lock_guard<std::mutex> guard(registry().lock);
    Call call;
    LONG rc = beginCall(key, KEY_SET_VALUE, call);
    if (rc != ERROR_SUCCESS) {
        return rc;
    }
    std::string_view name(valueName == nullptr ? "" : valueName);
    if ((data == nullptr && size != 0) || size > REG_MAX_VALUE_SIZE ||
        name.size() > REG_MAX_VALUE_NAME) {
        return ERROR_INVALID_PARAMETER;
    }
    Transaction txn(call.db, true);
    if (txn.beginResult() != SQLITE_OK) {
        return sqliteError(txn.beginResult(), ERROR_CANTWRITE);
    }
    if ((rc = checkKey(call, ERROR_CANTWRITE)) != ERROR_SUCCESS) {
        return rc;
    }
    // A value written again under another case keeps the name it was first
    // written with, as a key does.
    Statement s(call.db,
                "INSERT INTO vals(key,name,folded,type,data) VALUES(?,?,?,?,?) "
                "ON CONFLICT(key,folded) DO UPDATE SET type=excluded.type, data=excluded.data");
    if (!s.ok()) {
        return sqliteError(s.prepareResult(), ERROR_CANTWRITE);
    }
    std::string folded = fold(name);
    int step = s.bind(1, call.handle.id)
                   .bindText(2, name)
                   .bindText(3, folded)
                   .bind(4, static_cast<int64_t>(type))
                   .bindBlob(5, data, size)
                   .step();
    if (step != SQLITE_DONE) {
        return sqliteError(step, ERROR_CANTWRITE);
    }
    Statement touch(call.db, "UPDATE keys SET written=? WHERE id=?");
    if (touch.ok()) {
        touch.bind(1, nowFileTime()).bind(2, call.handle.id).step();
    }
    int crc = txn.commit();
    return crc == SQLITE_OK ? ERROR_SUCCESS : sqliteError(crc, ERROR_CANTWRITE);
}

LSTATUS RegDeleteValueA(HKEY key, LPCSTR valueName) {
    std::lock_guard<std::mutex> guard(registry().lock);
    Call call;
    LONG rc = beginCall(key, KEY_SET_VALUE, call);
    if (rc != ERROR_SUCCESS) {
        return rc;
    }
    Transaction txn(call.db, true);
    if (txn.beginResult() != SQLITE_OK) {
        return sqliteError(txn.beginResult(), ERROR_CANTWRITE);
    }
    if ((rc = checkKey(call, ERROR_CANTWRITE)) != ERROR_SUCCESS) {
        return rc;
    }
    Statement s(call.db, "DELETE FROM vals WHERE key=? AND folded=?");
    if (!s.ok()) {
        return sqliteError(s.prepareResult(), ERROR_CANTWRITE);
    }
    std::string folded = fold(valueName == nullptr ? "" : valueName);
    int step = s.bind(1, call.handle.id).bindText(2, folded).step();
    if (step != SQLITE_DONE) {
        return sqliteError(step, ERROR_CANTWRITE);
    }
    if (sqlite3_changes(call.db) == 0) {
        return ERROR_FILE_NOT_FOUND;
    }
    int crc = txn.commit();
    return crc == SQLITE_OK ? ERROR_SUCCESS : sqliteError(crc, ERROR_CANTWRITE);
}

LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    if (subKey == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    std::vector<std::string> parts;
    LONG rc = splitPath(subKey, parts);
    std::lock_guard<std::mutex> guard(registry().lock);
    Call call;
    // The store keeps no security descriptors: deleting needs no right on
    // the parent handle, as Windows checks only the deleted key's own.
    LONG handleRc = beginCall(key, 0, call);
    if (handleRc != ERROR_SUCCESS) {
        return handleRc;
    }
    if (rc != ERROR_SUCCESS) {
        return rc;
    }
    Transaction txn(call.db, true);
    if (txn.beginResult() != SQLITE_OK) {
        return sqliteError(txn.beginResult(), ERROR_CANTWRITE);
    }
    if ((rc = checkKey(call, ERROR_CANTWRITE)) != ERROR_SUCCESS) {
        return rc;
    }
    int64_t id = call.handle.id;
    for (const std::string& part : parts) {
        int src = SQLITE_OK;
        id = childId(call.db, id, part, &src);
        if (id < 0) {
            return sqliteError(src, ERROR_CANTWRITE);
        }
        if (id == 0) {
            return ERROR_FILE_NOT_FOUND;
        }
    }
    // An empty name deletes the handle's own key; a root stays.
    if (id < kFirstRootId + static_cast<int64_t>(kRootCount)) {
        return ERROR_ACCESS_DENIED;
    }
    {
        Statement s(call.db, "SELECT 1 FROM keys WHERE parent=? LIMIT 1");
        if (!s.ok()) {
            return sqliteError(s.prepareResult(), ERROR_CANTWRITE);
        }
        int step = s.bind(1, id).step();
        if (step == SQLITE_ROW) {
            return ERROR_ACCESS_DENIED; // Windows deletes only keys without sub-keys
        }
        if (step != SQLITE_DONE) {
            return sqliteError(step, ERROR_CANTWRITE);
        }
    }
    for (const char* sql : {"DELETE FROM vals WHERE key=?", "DELETE FROM keys WHERE id=?"}) {
        Statement s(call.db, sql);
        if (!s.ok()) {
            return sqliteError(s.prepareResult(), ERROR_CANTWRITE);
        }
        int step = s.bind(1, id).step();
        if (step != SQLITE_DONE) {
            return sqliteError(step, ERROR_CANTWRITE);
        }
    }
    int crc = txn.commit();
    return crc == SQLITE_OK ? ERROR_SUCCESS : sqliteError(crc, ERROR_CANTWRITE);
}

LSTATUS RegCloseKey(HKEY key) {
    if (isRoot(key)) {
        return ERROR_SUCCESS;
    }
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.handles.erase(reinterpret_cast<uintptr_t>(key)) != 0 ? ERROR_SUCCESS
                                                                  : ERROR_INVALID_HANDLE;
}

// Runs an enumeration query whose parameters are the owning key's id and
// the zero-based index, positioned on its one row: ERROR_NO_MORE_ITEMS past
// the last entry.
static LONG stepToNth(Statement& s, int64_t owner, DWORD index) {
    if (!s.ok()) {
        return sqliteError(s.prepareResult(), ERROR_CANTREAD);
    }
    int step = s.bind(1, owner).bind(2, static_cast<int64_t>(index)).step();
    if (step == SQLITE_DONE) {
        return ERROR_NO_MORE_ITEMS;
    }
    if (step != SQLITE_ROW) {
        return sqliteError(step, ERROR_CANTREAD);
    }
    return ERROR_SUCCESS;
}

LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD, LPSTR className,
                      LPDWORD classSize, PFILETIME lastWriteTime) {
    std::lock_guard<std::mutex> guard(registry().lock);
    Call call;
    LONG rc = beginCall(key, KEY_ENUMERATE_SUB_KEYS, call);
    if (rc != ERROR_SUCCESS) {
        return rc;
    }
    if (name == nullptr || nameSize == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    Transaction txn(call.db, false);
    if (txn.beginResult() != SQLITE_OK) {
        return sqliteError(txn.beginResult(), ERROR_CANTREAD);
    }
    if ((rc = checkKey(call, ERROR_CANTREAD)) != ERROR_SUCCESS) {
        return rc;
    }
    Statement s(call.db,
                "SELECT name, written FROM keys WHERE parent=? ORDER BY folded LIMIT 1 OFFSET ?");
    if ((rc = stepToNth(s, call.handle.id, index)) != ERROR_SUCCESS) {
        return rc;
    }
    if ((rc = copyName(s.blob(0), name, nameSize)) != ERROR_SUCCESS) {
        return rc;
    }
    // Keys carry no class names here.
    if (className != nullptr && classSize != nullptr && *classSize > 0) {
        className[0] = '\0';
    }
    if (classSize != nullptr) {
        *classSize = 0;
    }
    if (lastWriteTime != nullptr) {
        auto t = static_cast<uint64_t>(s.integer(1));
        lastWriteTime->dwLowDateTime = static_cast<DWORD>(t);
        lastWriteTime->dwHighDateTime = static_cast<DWORD>(t >> 32);
    }
    return ERROR_SUCCESS;
}

LSTATUS RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameSize, LPDWORD,
                      LPDWORD type, LPBYTE data, LPDWORD dataSize) {
    std::lock_guard<std::mutex> guard(registry().lock);
    Call call;
    LONG rc = beginCall(key, KEY_QUERY_VALUE, call);
    if (rc != ERROR_SUCCESS) {
        return rc;
    }
    if (valueName == nullptr || valueNameSize == nullptr || (data != nullptr && dataSize == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    Transaction txn(call.db, false);
    if (txn.beginResult() != SQLITE_OK) {
        return sqliteError(txn.beginResult(), ERROR_CANTREAD);
    }
    if ((rc = checkKey(call, ERROR_CANTREAD)) != ERROR_SUCCESS) {
        return rc;
    }
    Statement s(call.db,
                "SELECT name, type, data FROM vals WHERE key=? ORDER BY folded LIMIT 1 OFFSET ?");
    if ((rc = stepToNth(s, call.handle.id, index)) != ERROR_SUCCESS) {
        return rc;
    }
    if ((rc = copyName(s.blob(0), valueName, valueNameSize)) != ERROR_SUCCESS) {
        return rc;
    }
    if (type != nullptr) {
        *type = static_cast<DWORD>(s.integer(1));
    }
    return copyData(s.blob(2), data, dataSize);
}
