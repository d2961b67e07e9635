// KorvaneProject: one loaded PLC project, shared by every login that opened
// its path. It owns the project's variable catalogue (VarTable), its type
// registry and its type compiler, reads the var file into them, answers the
// catalogue's selections into a login's VarSelection, and compares its
// project stamp with the var file on disk.
//
// Locking: every operation holds the project's recursive lock for its whole
// run, the one-second waits between read attempts included. The project set
// takes its own lock before a project's lock, never the other way round.
//
// Decisions of this implementation:
// - Selections and re-reads: a read that starts (bRead doing real work, by
//   any login) begins a new catalogue generation. Every selection is tied to
//   the generation it was built from; a selection of an earlier generation
//   is emptied at its next use (it then yields no entries and counts 0).
//   This is the same as emptying the selections of all attached logins when
//   a read starts, without the project having to know its logins. The login
//   rebuilds its selection with its next selecting query.
// - Paths: projects are identified by their full path as given (the
//   document interface lower-cases it). '\' and '/' both separate path
//   components in the derivation of directory and name; the project's files
//   are found through the platform's Windows-rule resolution, which matches
//   each component without regard to case, so a lower-cased path still
//   reaches "Var/Line1.VAR" on a case-sensitive file system.
// - Temporary type file: "<temporary directory>\tmp-<process id>-<n>.dty",
//   n being the project's identifier (Id), which numbers the projects of
//   the process. The process id keeps two
//   server processes (of one user or of two) apart in a shared directory,
//   n keeps the projects of one process apart. The file is created with the
//   platform's safe creation for shared directories (owner-only mode, no
//   following of symbolic links, refusal of a file owned by someone else or
//   with several links), exclusively while it is written, and deleted after
//   the compilation and after a failed gathering. Someone who plants a file
//   at that name can make the type compilation fail, but can neither read
//   nor redirect it.
// - The temporary directory is TEMP when it fits the 100-byte buffer (at
//   most 99 characters); a longer or missing TEMP gives the platform's
//   temporary directory.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "platform/FileSystem.h"
#include "platform/Sync.h"
#include "server/CsLock.h"
#include "server/TypeCompiler.h"
#include "server/TypeRegistry.h"
#include "server/VarFilter.h"
#include "server/VarRecord.h"
#include "server/VarSelection.h"
#include "server/VarTable.h"

class ProjectSet;
class SymAttr;

/// One entry of a selection as KorvaneProject::TakeEntries hands it to its
/// visitor: what NextEntry gives, with the texts as views into the catalogue
/// or into the selection's element record, valid only during the visit.
struct EntryView {
    std::string_view name;
    std::string_view comment;
    VarInfo info;
    int32_t kind = 0;
};

/// Results of KorvaneProject::ReadHeader.
namespace readheader {
constexpr int Ok = 0;
constexpr int NoVersionLine = 1;
constexpr int NoTimeStampLine = 2; ///< also a time stamp line that cannot be read
constexpr int WrongVersion = 3;
} // namespace readheader

class KorvaneProject {
public:
    /// A project for the full path `path`: derives directory, name and var
    /// file, fixes the temporary type file, starts empty and not loaded.
    /// `compiler` (may be null: every read then fails in its type
    /// compilation) becomes the project's own.
    KorvaneProject(const std::string& path, std::unique_ptr<TypeCompiler> compiler);
    /// Destroys catalogue, registry and compiler instance.
    ~KorvaneProject();
    KorvaneProject(const KorvaneProject&) = delete;
    KorvaneProject& operator=(const KorvaneProject&) = delete;

    // ----------------------------------------------------- path derivation

    /// From full path F: B = F up to its last '.' (all of F without one);
    /// directory = B up to its last separator ('\' or '/'), all of B without
    /// one; name = B after its last separator, all of B without one; var
    /// file = directory + "\var\" + name + ".var".
    static void DerivePaths(const std::string& fullPath, std::string& directory, std::string& name,
                            std::string& varFile);
    /// The temporary directory for type files (see the file comment), with
    /// one trailing separator removed.
    static std::string TemporaryDirectory();

    const std::string& FullPath() const { return fullPath; }
    /// The project's 32-bit identifier: non-zero, unique in the process and
    /// never reused; printed where traces name the project object.
    uint32_t Id() const { return id; }
    const std::string& ProjectDirectory() const { return projectDir; }
    const std::string& ProjectName() const { return projectName; }
    const std::string& VarFilePath() const { return varFile; }
    const std::string& TempTypeFile() const { return tempTypeFile; }
    /// ".." (base of korvane.ini and of the global library directories).
    const std::string& SettingsBase() const { return settingsBase; }
    /// "." (the server program's directory).
    const std::string& ServerDirectory() const { return serverDir; }

    /// Logins attached to the project.
    int32_t LoginCount() const;
    /// Counts a login in / out (Login::Attach and its destruction).
    void AddLogin();
    void RemoveLogin();

    /// The loaded flag and the project stamp (0 and 0 until a header is read).
    bool IsLoaded();
    uint16_t StampDate();
    int32_t StampMsec();
    /// The catalogue generation (see the file comment); changes when a read starts.
    uint64_t Generation();
    /// Number of variables in the catalogue.
    size_t VariableCount();
    /// Bytes of memory the catalogue holds (for measurements).
    size_t CatalogueMemoryBytes();

    // ---------------------------------------------------------- var file

    /// Reads the var file unless the project is loaded and `force` is false
    /// (then only a level-1 trace, no file access). Compiles the project's
    /// types first; then up to 5 attempts, a ServerSleep of 1000 ms before
    /// each but the first, each with its traces and log lines; a wrong
    /// version stamp ends the attempts. True when the project holds a
    /// complete read. A failed read keeps the variables read before the
    /// failing line.
    bool bRead(bool force);
    /// Reads the stamp now in the var file into `date`/`msec` (0 and 0 when
    /// the header cannot be read) and sets `upToDate` when the project is
    /// loaded with that stamp; a changed file clears the loaded flag. False
    /// only when the var file cannot be opened.
    bool bVerifyTimeStamp(unsigned short& date, int32_t& msec, bool& upToDate);
    /// Reads lines 1 and 2 of `file`: readheader::Ok, NoVersionLine,
    /// NoTimeStampLine (missing or unreadable), WrongVersion (with log line
    /// and a message box). `date` and `msec` are 0 unless the result is Ok.
    int ReadHeader(FILE* file, unsigned short& date, int32_t& msec);
    /// Reads one line after the header: true/eof false = variable added;
    /// true/eof true = end line; false/eof true = file ended before the end
    /// line (also a last line without line end, and a read error);
    /// false/eof false = line rejected (unknown type name, duplicate name,
    /// blank line).
    bool ReadVarLine(FILE* file, bool& eof);
    /// True when the var file can be opened for reading (closed at once).
    bool CheckLastLine();
    /// Opens the var file for reading (text mode) through the platform's path
    /// rules; null when it cannot be opened. The caller closes it.
    FILE* OpenVarFile();

    // ------------------------------------------------------ data types

    /// Builds the temporary type file from the data-type files of the five
    /// directories, compiles it, clears the type registry and registers the
    /// elementary types. False when the file cannot be made, a data-type file
    /// cannot be read, or the compiler cannot be made or run.
    bool bReadTypes();
    /// Appends the data-type files of the five directories, in order, to
    /// `out`; false at the first directory that fails.
    bool GatherTypeFiles(HANDLE out);
    /// Appends every file matching "*.dty" in `dir` (one trailing separator
    /// ensured) to `out`, each followed by one line feed. True when every
    /// file was copied (also when none matches or the directory is missing).
    bool bAppendFiles(std::string dir, HANDLE out);
    /// True when a file system entry of that name exists (one trailing
    /// separator removed first).
    bool DirExists(std::string path);
    /// The id of the type named `name` (exact case): a registered id, else a
    /// new positive id when the compiler's global table knows the name.
    bool TypeIdOf(std::string_view name, int32_t& id);
    /// The name registered under `id`.
    bool TypeNameOf(int32_t id, std::string& name);
    /// The byte size of the type `id` (negative: elementary table; positive:
    /// its registered name in the global table; 0 fails).
    bool TypeSizeOf(int32_t id, int32_t& size);
    /// The project's type registry and compiler (for the document interface
    /// and tests).
    TypeRegistry& Registry() { return registry; }
    TypeCompiler* Compiler() { return compiler.get(); }

    // -------------------------------------------------------- selections

    /// Lower-cases `NameMask` (A-Z) in place, then SelectVariables with the
    /// filter, filtering on and '+' allowed.
    bool SetFilter(VarSelection& sel, std::string& NameMask, int32_t TypeMask, int32_t AddrMask,
                   int32_t EtcMask);
    /// SetFilter with EtcMask 0, then NextEntry. True when the selection
    /// succeeded and an entry was taken.
    bool FirstByFilter(VarSelection& sel, std::string& NameMask, int32_t TypeMask, int32_t AddrMask,
                       std::string& name, std::string& comment, VarInfo& info);
    /// NextEntry: 1 = an entry was taken, 0 = none left.
    int NextByFilter(VarSelection& sel, std::string& name, std::string& comment, VarInfo& info,
                     int32_t& kind);
    /// Lower-cases `name` in place; selects that exact name or path ('+' not
    /// special) and takes its first entry. True when the selection
    /// succeeded, also when empty (outputs then empty and 0).
    bool FindNamed(VarSelection& sel, std::string& name, std::string& comment, int32_t& kind,
                   VarInfo& info);
    /// SelectByAddress, then NextName. Always true.
    bool FirstByAddress(VarSelection& sel, int32_t addr, int32_t sectId, int32_t addrOffset,
                        int32_t sectCIx, std::string& name);
    /// The VarName of the next entry of the variable list (empty when none is
    /// left), advancing. Always true.
    bool NextName(VarSelection& sel, std::string& name);
    /// Entries in both lists (cursors not looked at); 0 for a stale selection.
    int EntryCount(VarSelection& sel);
    /// Rebuilds `sel` from `filter`: a plain selection (mask without '.',
    /// '[' and, with `allowPlus`, '+') walks the catalogue in key order with
    /// the filter predicate (`useFilter`) or for the exact key; a path
    /// selection resolves components and indexes, or expands a structure or
    /// array after '+'. False only for a path that does not resolve.
    bool SelectVariables(VarFilter& filter, bool useFilter, bool allowPlus, VarSelection& sel);
    /// Rebuilds `sel` with every variable at (addr, sectId, addrOffset) in key
    /// order; none unless `sectCIx` is -1.
    void SelectByAddress(int32_t addr, int32_t sectId, int32_t addrOffset, int32_t sectCIx,
                         VarSelection& sel);
    /// Takes the next entry (variable list first, then element list): 1, or
    /// 0 with empty texts and zeros when none is left.
    int NextEntry(VarSelection& sel, std::string& name, std::string& comment, VarInfo& info,
                  int32_t& kind);
    /// Takes up to `most` entries in NextEntry's order under one hold of the
    /// project's lock (a stale selection is emptied first, as by NextEntry)
    /// and hands each to `visit`, a callable taking `const EntryView&` and
    /// answering whether to go on. Stops when `visit` answers false (that
    /// entry stays taken), after `most` entries, or when none is left.
    /// Returns the number of entries taken. The texts are not copied: a
    /// visitor keeps what it needs of them before it returns, and must not
    /// read the var file (which would replace the catalogue they point into).
    template <typename Visit>
    size_t TakeEntries(VarSelection& sel, size_t most, Visit&& visit);

    // -------------------------------------------------- project set

    /// Makes a new project for `path`, reads it (bRead(false)) with the
    /// set's lock held for the whole read, and on success adds it to `set`
    /// and sets `project`; on failure destroys it. Does not look for an
    /// existing project (FindProject does).
    static bool FindOrAddProject(ProjectSet& set, const std::string& path, KorvaneProject*& project);
    /// The same on the process-wide ProjectSet::Instance().
    static bool FindOrAddProject(const std::string& path, KorvaneProject*& project);

private:
    bool ResolveStep(const char*& cursor, SymAttr*& type, int32_t& offset, std::string& name,
                     bool allowPlus);
    bool ResolveIndex(const char*& cursor, SymAttr*& type, int32_t& offset, std::string& name);
    bool SelectPath(const std::string& prefix, size_t special, bool allowPlus, VarSelection& sel);
    /// Empties `sel` if it belongs to another project or generation.
    void Refresh(VarSelection& sel);
    /// Takes the next entry of a refreshed `sel` into `entry` (lock held):
    /// the variable list first, then the element list. False when none is
    /// left (`entry` unchanged).
    bool TakeEntry(VarSelection& sel, EntryView& entry);
    void BeginGeneration();

    CRITICAL_SECTION lock;
    uint32_t id = 0;
    std::string fullPath;
    std::string projectDir;
    std::string projectName;
    std::string settingsBase;
    std::string serverDir;
    std::string tempTypeFile;
    std::string varFile;
    std::atomic<int32_t> loginCount{0}; // changed by logins without the project lock
    bool loaded = false;
    std::unique_ptr<TypeCompiler> compiler;
    TypeRegistry registry;
    VarTable table;
    uint16_t stampDate = 0;
    int32_t stampMsec = 0;
    uint64_t generation = 0;
};

inline bool KorvaneProject::TakeEntry(VarSelection& sel, EntryView& entry) {
    while (sel.varCursor < sel.vars.size()) {
        const VarTable::Index index = sel.vars[sel.varCursor++];
        if (index >= table.Size())
            continue; // cannot happen within one generation; never read outside the table
        table.Read(index, entry.name, entry.comment, entry.info, entry.kind);
        return true;
    }
    if (sel.elemCursor < sel.elems.size()) {
        const ElemRecord& e = sel.elems[sel.elemCursor++];
        entry.name = e.Name;
        entry.comment = e.Cmnt;
        entry.info = e.Info;
        entry.kind = 0;
        return true;
    }
    return false;
}

template <typename Visit>
size_t KorvaneProject::TakeEntries(VarSelection& sel, size_t most, Visit&& visit) {
    // Records some entries ahead are fetched into the cache while this one
    // is handed over, and their texts later, once the record that locates
    // them has arrived. An entry costs some tens of nanoseconds, so 16
    // entries cover a memory access that also misses the address
    // translation.
    constexpr size_t kRecordAhead = 32;
    constexpr size_t kTextAhead = 16;
    CsLock hold(lock);
    Refresh(sel);
    size_t taken = 0;
    EntryView entry;
    while (taken < most) {
        const size_t cursor = sel.varCursor;
        if (cursor + kRecordAhead < sel.vars.size() && sel.vars[cursor + kRecordAhead] < table.Size())
            table.PrefetchRecord(sel.vars[cursor + kRecordAhead]);
        if (cursor + kTextAhead < sel.vars.size() && sel.vars[cursor + kTextAhead] < table.Size())
            table.PrefetchText(sel.vars[cursor + kTextAhead]);
        if (!TakeEntry(sel, entry))
            break;
        ++taken;
        if (!visit(static_cast<const EntryView&>(entry)))
            break;
    }
    return taken;
}
