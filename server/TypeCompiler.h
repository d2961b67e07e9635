// TypeCompiler: the compiler instance behind a project's data types. It runs
// one compilation of the project's concatenated type file and answers type
// lookups from the compiler's symbol tables (the global table for derived
// types, the elementary-type table for elementary ones).
//
// The compiler itself is reached through a small set of virtual members, so
// that the one production implementation (on the compiler facade `morval`)
// stays apart from everything the server does around it: opening the type
// file, serving its lines through the line reader, registering elementary
// types and the lookups, which are written here against the symbol tables.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

class SymAttr;
class SymTabSet;
class TypeRegistry;

/// The line reader handed to the compiler: reads the next line of the type
/// file being compiled into `buffer` (`size` bytes) with the fgets rule in
/// text mode (CR LF arrives as LF) and returns `buffer`, or null at the end
/// of the file, without a current file, or for a `size` below 2. One type file is current in the process at a
/// time (see TypeCompiler::Compile).
char* TypeFileLineReader(char* buffer, unsigned short size);

class TypeCompiler {
public:
    virtual ~TypeCompiler();

    /// Makes the compiler instance if none exists (with the server's option
    /// settings and the base library's memory registration switched on).
    /// True when an instance exists afterwards.
    virtual bool Create() = 0;
    /// Releases the compiler's declarations and destroys the instance if one
    /// exists (memory registration switched off). True when no instance
    /// exists afterwards.
    virtual bool Destroy() = 0;
    /// True while an instance exists.
    virtual bool HasInstance() const = 0;

    /// Destroy() and then Create(); true when both succeed.
    bool Reset();
    /// Compiles the file at `path` (a Windows path, opened for reading in
    /// text mode). False without an instance or when the file cannot be
    /// opened; otherwise the file is made the current type file, the
    /// compiler parses it through TypeFileLineReader, the file is closed and
    /// the result is true: the compiler's own result is not looked at
    /// (declarations that failed to compile are simply unknown afterwards).
    /// Compilations of the process run one at a time.
    bool Compile(const std::string& path);
    /// Registers every entry of the elementary-type table whose id is
    /// negative under its name and id, in the table's walk order (of two
    /// names with one id the first delivered wins). Nothing without an
    /// instance.
    void RegisterElementary(TypeRegistry& registry);
    /// The elementary-type table's record for `id`; null without an instance.
    SymAttr* LookupById(short id);
    /// The global table's record named `name` (compared without regard to
    /// case by that table), of any kind; null without an instance.
    SymAttr* LookupByName(const std::string& name);

protected:
    /// The process-wide lock under which compilations run (the line reader's
    /// current file is process-wide). Implementations also take it around
    /// other process-wide compiler state; it is not recursive.
    static std::mutex& ProcessLock();
    /// The symbol tables of the instance (null without one).
    virtual SymTabSet* Tables() = 0;
    /// Lets the instance parse the lines that `reader` delivers, under the
    /// source name "VARSVC32". Called by Compile only, with an instance.
    virtual void ParseTypeFile(char* (*reader)(char* buffer, unsigned short size)) = 0;
};

/// Makes the TypeCompiler of a new project; may return null when no compiler
/// is available, in which case every read of that project fails in its type
/// compilation.
using TypeCompilerFactory = std::function<std::unique_ptr<TypeCompiler>()>;
