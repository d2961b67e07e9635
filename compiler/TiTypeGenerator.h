// TiTypeGenerator: writes C typedef declarations for the user-defined data
// types of a symbol table, each followed by a pointer type, in declaration
// order, so that C code (function-block implementations) shares the memory
// layout of the compiled IEC types.
//
// Decisions taken where the rules leave room:
// - The C header that defines BOOL, BYTE, WORD, INT, UINT, DINT, UDINT,
//   REAL, TIME and FB_PTR_CONV is not written here; the declarations
//   assume it.
// - Enumeration values are written without indentation (only structure
//   components are indented), the last value followed by a line break.
// - An alias of an enumeration type ("TYPE C2 : COLOR") is written as a
//   derived type ("typedef COLOR C2;"), not as a second enumeration: the
//   values repeated under another name would declare every enumerator twice
//   and the declarations would not compile.
// - The element of an array is the first visible type along the element
//   links; when none is visible (an array of an anonymous structure), the
//   last type reached is named.
// - A formatted piece longer than the line buffer (200 characters, the
//   indentation included) is cut to it; with type names cut to 32
//   characters no declaration comes near that.
// - "a type name not found in the table": before a type is generated its
//   name is looked up in the table again; a name that finds another record
//   (or none) is status 1.
#pragma once

#include <cstddef>
#include <cstdint>

class IOBase;
class SymAttr;
class SymTab;

namespace typegen {

// Status of GenerateAll_C_Types.
constexpr int ST_OK = 0;
constexpr int ST_NAME = 1;   ///< a type name not found in the table, or the name sink failed
constexpr int ST_OUTPUT = 2; ///< the output failed
constexpr int ST_NO_MEMORY = 10;

/// Size of the line buffer in characters.
constexpr size_t kLineBuffer = 200;
/// Type names are written cut to this many characters.
constexpr size_t kMaxTypeName = 32;
/// Indentation of structure components.
constexpr int kIndentStep = 2;

/// The C name of an elementary type id: "BOOL", "BYTE", "WORD", "INT",
/// "UINT", "DINT", "UDINT", "REAL", "TIME"; "*****" for every other id.
const char* ElemCName(short id);

} // namespace typegen

/// The generator of one table's C declarations.
///
/// Ownership: the table and the output object are the caller's; the
/// generator owns only its list of collected types.
class TiTypeGenerator {
public:
    /// A generator over `table` writing to `out` (either may be null and be
    /// given to GenerateAll_C_Types instead; without an output object the
    /// lines go to the standard output).
    TiTypeGenerator(SymTab* table, IOBase* out);
    /// Frees the collected list.
    ~TiTypeGenerator();
    TiTypeGenerator(const TiTypeGenerator&) = delete;
    TiTypeGenerator& operator=(const TiTypeGenerator&) = delete;

    /// A non-null `table` or `out` replaces the one given at construction.
    /// Collects the visible structures, arrays, enumerations, subranges and
    /// derived types of the table in ascending declaration sequence number
    /// (equal numbers in the table's walking order) and writes each with
    /// its pointer type. With `names`, each type's name (cut to 32
    /// characters) is also written to it as a line. Returns the status: 0;
    /// 1 a type name not found, or the name sink failed; 2 the output
    /// failed; 10 out of memory. The first failure stops; lines written
    /// stay written. Without a table nothing is written and 0 returned.
    int GenerateAll_C_Types(IOBase* names, SymTab* table, IOBase* out);

    /// The status of the last run.
    int GetStatus() const { return status; }
    /// Number of types collected by the last run.
    size_t GetTypeCount() const { return count; }
    /// The i-th collected type in generation order (null past the end).
    SymAttr* GetType(size_t i) const { return i < count ? types[i] : nullptr; }

private:
    bool Collect();
    void Generate(SymAttr* t);
    void GenStruct(SymAttr* t, const char* name);
    void GenArray(SymAttr* t, const char* name);
    void GenEnum(SymAttr* t, const char* name);
    void GenComponent(SymAttr* c);
    void PutCounts(const SymAttr* from, bool skipSelf);
    /// Formats a piece (printf) and appends it to the line buffer.
    void Put(const char* fmt, ...);
    void Append(const char* piece);
    void Flush();
    void WriteLine(const char* text);

    SymTab* table;
    IOBase* out;
    int indent = 0;
    char line[typegen::kLineBuffer + 1];
    size_t lineLen = 0;
    int status = 0;
    SymAttr** types = nullptr;
    size_t count = 0;
};
