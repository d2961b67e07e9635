// TiCompOptions: the compiler's option record (warning checks, report limits,
// language and scanning switches, the list file) and the process-wide
// user-preference record that new option records start from.
#pragma once

#include <cstdint>
#include <cstdio>

/// The option record. Its fields, their order and widths are shared by the
/// hosts and the compiler (the compiler facade derives from it).
///
/// Ownership: listFileName is a malloc'ed copy owned by the record and freed
/// by the destructor. listFile is the open list file; the destructor does not
/// close it, CloseListFile (or OpenListFile) does. A copy of a record gets its
/// own copy of the name and shares the list file handle, so close the file
/// through one record only.
///
/// The user-preference record lives as long as the library; it is read when
/// records are created and is not guarded against concurrent writers.
class TiCompOptions {
public:
    // checkFlags: which checks produce warnings.
    static constexpr uint16_t ParNotAssigned = 0x0001; ///< parameter not assigned
    static constexpr uint16_t DeclNotUsed = 0x0002;    ///< declaration not used
    static constexpr uint16_t UnrchCode = 0x0004;      ///< unreachable code
    // modeFlags.
    static constexpr uint16_t QueryVar = 0x4000;         ///< query variables
    static constexpr uint16_t EchoSource = 0x2000;       ///< scanner echoes consumed source
    static constexpr uint16_t GrammarStartMask = 0x1C00; ///< bits 0x0400, 0x0800, 0x1000
    // langFlags.
    static constexpr uint16_t NestedComments = 0x0001;    ///< "(*" inside a comment nests
    static constexpr uint16_t LowerCaseKeywords = 0x0020; ///< keywords and prefixes in any case
    static constexpr uint16_t ILCommentsOk = 0x0040;      ///< IL comment before further tokens
    static constexpr uint16_t LangDefault = 0x0080;       ///< set in the default record
    static constexpr uint16_t DigitNames = 0x0100;        ///< names may begin with digits
    static constexpr uint16_t TildeLiterals = 0x0200;     ///< '~' may begin a literal

    static constexpr int16_t DefaultErrRepLimit = 25;
    static constexpr int16_t DefaultWarnRepLimit = 100;

    uint16_t checkFlags;  ///< warning checks, ParNotAssigned ...
    uint16_t auxFlags;    ///< switches of the compilation context
    uint16_t localFlags;  ///< the "local" options (see CopyLocals)
    uint16_t hostFlags;   ///< switches set by the compiler facade for a run
    uint16_t modeFlags;   ///< QueryVar, EchoSource, grammar start, context bits
    uint16_t langFlags;   ///< NestedComments ...
    int16_t errRepLimit;  ///< errors reported before reporting stops
    int16_t warnRepLimit; ///< warnings reported before reporting stops
    int32_t reserved;     ///< always zero
    char* listFileName;   ///< owned copy of the list file's name, or null
    FILE* listFile;       ///< the open list file, or null

    /// With defaults, for the user-preference record itself, and while that
    /// record is not initialised (before the library's load finished, after
    /// its unload began): the default record (checkFlags 0x0007, modeFlags
    /// 0x4000, langFlags 0x0080, limits 25 and 100, the rest 0). Otherwise a
    /// copy of the user preferences without list file name and list file.
    explicit TiCompOptions(bool defaults = false);
    /// Frees the list file name (the list file is not closed).
    ~TiCompOptions();
    /// Copies every field, duplicating the name and sharing the file handle.
    TiCompOptions(const TiCompOptions& other);
    TiCompOptions& operator=(const TiCompOptions& other);

    /// This record takes o's localFlags.
    void CopyLocals(const TiCompOptions& o);
    /// This record takes o's langFlags, checkFlags, errRepLimit and warnRepLimit.
    void CopyGlobals(const TiCompOptions& o);
    /// True when localFlags or langFlags differ: a program compiled under o
    /// must be compiled again under this record.
    bool MustBeRecompiled(const TiCompOptions& o) const;

    /// Compares every field of the record; the list file names by their text
    /// (null only equals null) so that a copy equals its original, the list
    /// file by handle. Padding bytes take no part.
    bool operator==(const TiCompOptions& o) const;
    bool operator!=(const TiCompOptions& o) const { return !(*this == o); }

    void SetQueryVar() { modeFlags |= QueryVar; }
    void SetParNotAssigned() { checkFlags |= ParNotAssigned; }
    void SetDeclNotUsed() { checkFlags |= DeclNotUsed; }
    void SetUnrchCode() { checkFlags |= UnrchCode; }
    void SetErrRepLimit(short limit) { errRepLimit = limit; }
    void SetWarnRepLimit(short limit) { warnRepLimit = limit; }

    /// Replaces the name by a copy of `name` (null counts as ""), closes an
    /// open list file (never the standard streams), and, when the name is not
    /// empty, opens it for writing in text mode as listFile (null when it
    /// cannot be opened). The name is used as given, relative to the current
    /// directory.
    void OpenListFile(const char* name);
    /// Frees the name, closes the list file unless it is a standard stream,
    /// and clears listFile.
    void CloseListFile();

    /// Makes this record's options the user preferences: the user-preference
    /// record takes this record's localFlags (as TiCompOptionsInitLocals) and
    /// its langFlags, checkFlags, errRepLimit and warnRepLimit (as
    /// TiCompOptionsInitGlobals). This record is not changed. The host's
    /// settings thus reach every option record created afterwards.
    void UpdateUserPrefs();

private:
    void SetDefaults();
    void CopyFields(const TiCompOptions& other);
};

/// A copy of the user-preference record.
TiCompOptions TiCompOptionsGetUserPrefs();
/// The user preferences take o's localFlags.
void TiCompOptionsInitLocals(const TiCompOptions& o);
/// The user preferences take o's langFlags, checkFlags, errRepLimit and
/// warnRepLimit.
void TiCompOptionsInitGlobals(const TiCompOptions& o);
