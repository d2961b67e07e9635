// TiCompOptions: default and inherited option records, the list file, and the
// process-wide user-preference record created when the library is loaded.
#include "base/TiCompOptions.h"

#include <cstdlib>
#include <cstring>

namespace {

// Constant-initialised before any dynamic initialisation, so records created
// by other libraries' static constructors before this one's can tell that the
// user preferences are not ready yet.
bool g_userPrefsReady = false;

char* CopyName(const char* name) {
    if (!name) {
        return nullptr;
    }
    const size_t n = std::strlen(name) + 1;
    char* copy = static_cast<char*>(std::malloc(n));
    if (copy) {
        std::memcpy(copy, name, n);
    }
    return copy;
}

bool IsStandardStream(FILE* f) {
    return f == stdout || f == stderr || f == stdin;
}

} // namespace

// The user-preference record: initialised with the defaults at load time,
// destroyed at unload.
static TiCompOptions g_userPrefs(true);

TiCompOptions::TiCompOptions(bool defaults) {
    SetDefaults();
    if (defaults || this == &g_userPrefs || !g_userPrefsReady) {
        if (this == &g_userPrefs) {
            g_userPrefsReady = true;
        }
        return;
    }
    CopyFields(g_userPrefs);
    // A new record starts without the preferences' list file.
    std::free(listFileName);
    listFileName = nullptr;
    listFile = nullptr;
}

TiCompOptions::~TiCompOptions() {
    if (this == &g_userPrefs) {
        g_userPrefsReady = false;
    }
    std::free(listFileName);
    listFileName = nullptr;
}

TiCompOptions::TiCompOptions(const TiCompOptions& other) {
    SetDefaults();
    CopyFields(other);
}

TiCompOptions& TiCompOptions::operator=(const TiCompOptions& other) {
    if (this != &other) {
        CopyFields(other);
    }
    return *this;
}

void TiCompOptions::SetDefaults() {
    checkFlags = 0;
    auxFlags = 0;
    localFlags = 0;
    hostFlags = 0;
    modeFlags = 0;
    langFlags = 0;
    errRepLimit = 0;
    warnRepLimit = 0;
    reserved = 0;
    listFileName = nullptr;
    listFile = nullptr;
    SetDeclNotUsed();
    SetUnrchCode();
    SetQueryVar();
    SetErrRepLimit(DefaultErrRepLimit);
    SetWarnRepLimit(DefaultWarnRepLimit);
    SetParNotAssigned();
    langFlags = LangDefault;
}

void TiCompOptions::CopyFields(const TiCompOptions& other) {
    // Copy the name first: `other` may share nothing with this record, but the
    // old name must stay valid until the copy exists.
    char* name = CopyName(other.listFileName);
    std::free(listFileName);
    checkFlags = other.checkFlags;
    auxFlags = other.auxFlags;
    localFlags = other.localFlags;
    hostFlags = other.hostFlags;
    modeFlags = other.modeFlags;
    langFlags = other.langFlags;
    errRepLimit = other.errRepLimit;
    warnRepLimit = other.warnRepLimit;
    reserved = other.reserved;
    listFileName = name;
    listFile = other.listFile;
}

void TiCompOptions::CopyLocals(const TiCompOptions& o) {
    localFlags = o.localFlags;
}

void TiCompOptions::CopyGlobals(const TiCompOptions& o) {
    langFlags = o.langFlags;
    checkFlags = o.checkFlags;
    errRepLimit = o.errRepLimit;
    warnRepLimit = o.warnRepLimit;
}

bool TiCompOptions::MustBeRecompiled(const TiCompOptions& o) const {
    return localFlags != o.localFlags || langFlags != o.langFlags;
}

bool TiCompOptions::operator==(const TiCompOptions& o) const {
    const bool sameName = (listFileName == nullptr && o.listFileName == nullptr) ||
                          (listFileName != nullptr && o.listFileName != nullptr &&
                           std::strcmp(listFileName, o.listFileName) == 0);
    return checkFlags == o.checkFlags && auxFlags == o.auxFlags && localFlags == o.localFlags &&
           hostFlags == o.hostFlags && modeFlags == o.modeFlags && langFlags == o.langFlags &&
           errRepLimit == o.errRepLimit && warnRepLimit == o.warnRepLimit &&
           reserved == o.reserved && sameName && listFile == o.listFile;
}

void TiCompOptions::OpenListFile(const char* name) {
    const char* given = name ? name : "";
    std::free(listFileName);
    listFileName = CopyName(given);
    if (listFile && !IsStandardStream(listFile)) {
        std::fclose(listFile);
    }
    listFile = nullptr;
    if (given[0] != '\0') {
        // Text mode; on this platform "w" is the text mode of "wt".
        listFile = std::fopen(given, "w");
    }
}

void TiCompOptions::CloseListFile() {
    std::free(listFileName);
    listFileName = nullptr;
    if (listFile && !IsStandardStream(listFile)) {
        std::fclose(listFile);
    }
    listFile = nullptr;
}

void TiCompOptions::UpdateUserPrefs() {
    TiCompOptionsInitLocals(*this);
    TiCompOptionsInitGlobals(*this);
}

TiCompOptions TiCompOptionsGetUserPrefs() {
    // Outside the record's lifetime (static construction or destruction of
    // other libraries) the defaults stand in for it.
    return g_userPrefsReady ? g_userPrefs : TiCompOptions(true);
}

void TiCompOptionsInitLocals(const TiCompOptions& o) {
    g_userPrefs.localFlags = o.localFlags;
}

void TiCompOptionsInitGlobals(const TiCompOptions& o) {
    g_userPrefs.langFlags = o.langFlags;
    g_userPrefs.checkFlags = o.checkFlags;
    g_userPrefs.errRepLimit = o.errRepLimit;
    g_userPrefs.warnRepLimit = o.warnRepLimit;
}
