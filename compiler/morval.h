// morval: the facade of the compiler library Morval32. A host constructs one
// morval, feeds it IEC 61131-3 source text (through a line reader or as one
// string), reads the resulting symbol tables directly, and resets or deletes
// declarations between sources. The facade owns the options (its base), the
// symbol tables, the template library, the database adapter and the
// message sink.
//
// Decisions where the rules leave room or had to be made sound:
// - Parse returns 0 whenever the compilation ran, also when the source had
//   errors (counted and reported) or the parser gave up on it; internal
//   failures return their code (608, 612, -616, 626, -632, 636).
// - The template library is destroyed with the facade and replaced by
//   reset (its initial values with it), and the compilation objects are
//   released on every path: nothing the facade made outlives it.
// - DelVar keeps the unit's variable lists sound: when the deleted variable
//   heads its unit's interface or other list, the unit's list starts at the
//   next variable.
// - ResetErrors with counts: a maximum of 0 means no limit for errors and
//   for warnings alike, as the sink's limits do; otherwise the limit is the
//   maximum minus what was counted so far, at least 1 once anything was
//   counted (warnings at or over a non-zero maximum: 1).
// - ParseVar reads the path with TiVariable::Parse under a private copy of
//   the default options that takes over the facade's langFlags, so that a
//   path is spelled by the rules of the declarations it names. No target
//   can be checked here: `flag` alone sets TildeLiterals for the run. The
//   result is TiVariable::Parse's: 0; 1 when errors were reported; -2 for a
//   null text; -1 out of memory.
// - ParseInitVal reads the value under a private copy of the default
//   options that takes over the facade's langFlags, as ParseVar does. It
//   returns 0 for a value that parsed and fits the type; 1 for
//   text that could not be parsed or held no value (errors reported); the
//   check's code when the value does not fit (the value is then destroyed).
// - Encode and EncodeSection encode with TiEncoder (docs/encoder.md). The
//   statement trees of Parse are kept for them (TiUnitBodies) when the host
//   does not take them; a host that takes a tree hands it back with
//   AdoptTree. The kept trees go with reset, when a variable is deleted and
//   when a unit is compiled again (any of them may name the records that
//   go).
// - Every object the facade makes is announced to the memory registration
//   under "morval" and withdrawn before it is freed.
#pragma once

#include "base/TiCompOptions.h"

#include <cstdint>
#include <cstdio>

class AISection;
class AST_Update;
class BADatabase;
class ErrMess;
class Library;
class SymAttr;
class SymTab;
class SymTabSet;
class TiDB;
class TiInitValSpec;
class TiNode;
class TiUnitBodies;
class TiVariable;
class wiShellWindow;
struct ErrDesc;

/// Message counts that hosts carry across calls: errors and warnings so
/// far, and their maxima.
struct ErrCount {
    uint16_t errors = 0;
    uint16_t warnings = 0;
    uint16_t maxErrors = 0;
    uint16_t maxWarnings = 0;
};

namespace morvalcode {

// Construction status (GetStatus).
constexpr short ST_NO_SINK = 1;       ///< the message sink could not be made
constexpr short ST_NO_SET = 10;       ///< the symbol-table set could not be made
constexpr short ST_SET_FAILED = 11;   ///< the symbol-table set failed to construct
constexpr short ST_NO_LIBRARY = 12;   ///< the template library could not be made
constexpr short ST_NO_ADAPTER = 13;   ///< the database adapter could not be made

// Internal codes of one compilation (positive: internal error -3555;
// negative: out of memory -3406).
constexpr short CC_NO_CONTEXT = 608;     ///< parse context not allocated
constexpr short CC_CONTEXT_FAILED = 612; ///< parse context reported a failure
constexpr short CC_NO_PARSER = -616;     ///< parser or its stacks not allocated
constexpr short CC_NO_SOURCE = 626;      ///< neither a reader nor a text
constexpr short CC_NO_SCANNER = -632;    ///< scanner not allocated
constexpr short CC_SCANNER_FAILED = 636; ///< scanner reported a failure

// DelVar / DelVars.
constexpr short DV_NO_UNIT = 130;      ///< no adapter, or no current unit
constexpr short DV_NO_TABLE = 131;     ///< the unit has no scope table
constexpr short DV_NOT_FOUND = 132;    ///< the name is not declared there
constexpr short DV_NOT_DELETABLE = 134;///< not a variable of a deletable section

/// ParseInitVal: the text could not be parsed or held no value.
constexpr short PI_NO_VALUE = 1;

// Encode.
constexpr short EN_NO_SET = 160;
constexpr short EN_ERRORS = 161;
constexpr short EN_NO_ENCODER = 162;

// Bits of the option words the facade uses.
constexpr uint16_t HOST_READER = 0x0002;     ///< hostFlags: text comes from a line reader
constexpr uint16_t HOST_FACADE = 0x0008;     ///< hostFlags: set by the facade's constructor
constexpr uint16_t MODE_PARSE_VAR = 0x0200;  ///< modeFlags: an access path is parsed
constexpr uint16_t MODE_INIT_VAL = 0x0400;   ///< modeFlags: an initial value is parsed
constexpr uint16_t MODE_QUERY_VAR = 0x4000;  ///< modeFlags: query variables

/// Buckets of the global table the facade asks for.
constexpr short kGlobalBuckets = 151;
/// Variables of these sections may be deleted (DelVar, DelVars).
constexpr unsigned short kDeletableSections = 0x0078;

/// Source unit named in internal errors, traces and memory registration.
constexpr const char* kModule = "morval";
constexpr const char* kRevision = "$Revision: 1 $";

} // namespace morvalcode

/// The compiler facade. Not thread-safe: one thread at a time.
///
/// Ownership: the facade owns its SymTabSet, Library, TiDB and ErrMess
/// (public members, read by hosts); records in the tables stay owned by
/// the facade until DelVars, reset or destruction. Trees handed out by
/// Parse belong to the caller (free them with delete). A non-zero status
/// makes every operation answer it without work.
class morval : public TiCompOptions {
public:
    /// Options from `opts` (null: the user preferences), hostFlags 0x0008,
    /// a sink for `win`, then reset(0). `db` is the host database (may be
    /// null); nothing is owned but what the facade makes.
    morval(BADatabase* db, wiShellWindow* win, TiCompOptions* opts);
    /// Traces "~morval ...", releases the library's units and destroys the
    /// library, the tables, the sink and the adapter; closes the list file.
    virtual ~morval();
    morval(const morval&) = delete;
    morval& operator=(const morval&) = delete;

    /// Mode 0 discards all declarations, mode 1 keeps the global table; the
    /// library and the adapter are made anew. Returns the status (0, or 10 ..
    /// 13 for a part that could not be made; -3406 is reported then).
    short reset(short mode);

    /// Host line reader: fills `buffer` (of `size` bytes) with the next line
    /// and returns it, or null at the end of the text.
    using LineReader = char* (*)(char* buffer, unsigned short size);

    /// Compiles the text `reader` delivers under `sourceName` (may be null)
    /// for `section` (may be null). `tree` (may be null) receives the
    /// statement tree or null; `counts` (may be null) gets this run's
    /// errors and warnings added. Returns the status when it is not 0,
    /// else 0 or an internal code (see the file comment).
    short Parse(LineReader reader, const char* sourceName, AISection* section, TiNode** tree,
                ErrCount* counts, AST_Update* update);
    /// The same for a source held in one zero-terminated string.
    short Parse(const char* text, const char* sourceName, AISection* section, TiNode** tree,
                ErrCount* counts, AST_Update* update);

    /// Parses one variable access path against the current declarations.
    /// Traces "morval::ParseVar %s". *var (when given) receives the path
    /// (owned by the caller) or null; with `errors` the messages are
    /// collected and the list handed over. 0; 1 errors; -2 null text; -1
    /// out of memory; or the status.
    short ParseVar(const char* text, TiVariable** var, ErrDesc** errors, bool flag);
    /// Parses an initial value for `type` and checks it. *value (when given)
    /// receives it (owned by the caller; TiDelInitValSpecList) or null.
    /// With `errors`, the messages are collected and the list handed over.
    /// 0; 1 nothing parsed; the check's code; or the status.
    short ParseInitVal(const char* text, SymAttr* type, TiInitValSpec** value, ErrDesc** errors);

    /// Deletes the variable `name` of the current unit (see morvalcode::DV_*).
    short DelVar(const char* name);
    /// Deletes every variable of the current unit in the deletable sections;
    /// the OR of the results (130, 131 as DelVar).
    short DelVars();

    /// With status 0 passes `db` to the adapter and the tables; otherwise
    /// an internal error is reported. Returns 0.
    short SetContext(BADatabase* db);
    /// Makes the sink if missing, else re-initialises it for `win`. 0 when a
    /// sink exists afterwards, else 1.
    short SetErrMessWin(wiShellWindow* win);
    /// The sink's error count; 1 without sink.
    short GetNoOfErrors();
    /// The sink's warning count; 0 without sink.
    short GetNoOfWarnings();
    /// Clears the sink's counts and collected messages and sets its limits
    /// (see the file comment).
    void ResetErrors(ErrCount* counts);

    /// Generates code for the units of the template library, the listing
    /// to `out`: 160 without tables, 161 when errors were reported, 162
    /// when no encoder can be made; otherwise the first non-zero unit
    /// result (150 no encoder, 151 no output, 152 errors), else 0.
    short Encode(FILE* out);
    /// Takes over a statement tree that Parse handed out, so that its units
    /// can be encoded (null is ignored).
    void AdoptTree(TiNode* tree);
    /// The kept statement trees (null before the first).
    TiUnitBodies* GetUnitBodies() const { return bodies; }

    /// The construction status (0 when usable).
    short GetStatus() const { return static_cast<short>(status); }
    /// The symbol tables (hosts read the global and elementary tables).
    SymTabSet* GetSymTabSet() const { return st_set; }
    ErrMess* GetErrMess() const { return errMess; }
    Library* GetLibrary() const { return library; }
    TiDB* GetDB() const { return db_if; }

    // The members after the options, in the design's order.
    Library* library = nullptr;  ///< function-block template library
    SymTabSet* st_set = nullptr; ///< symbol tables
    TiDB* db_if = nullptr;       ///< database adapter
    ErrMess* errMess = nullptr;  ///< message sink
    int32_t status = 0;          ///< 0, or the construction failure
    BADatabase* database;        ///< host database (may be null)
    int32_t reserved = 0;
    void* encoder = nullptr;     ///< the code generator while Encode runs
    TiUnitBodies* bodies = nullptr; ///< statement trees kept for encoding

protected:
    /// One compilation of `reader` or `text` with the options `opts`, the
    /// scanner's start marker and context flags. `tree` / `initVal` receive
    /// what the parse built (when given). Returns 0 or an internal code
    /// (reported).
    short Compile(LineReader reader, const char* text, TiCompOptions* opts, short startToken,
                  unsigned short contextFlags, AST_Update* update, TiNode** tree,
                  TiInitValSpec** initVal);
    /// Reports the internal error `location` (-3555).
    void ReportInternal(int32_t location, int line);
    void ReportNoMemory(int line);

private:
    short DeleteRecord(SymAttr* rec);
    /// After a Parse: the host's tree tells which unit bodies are replaced,
    /// a tree the host did not take is kept.
    void KeepTree(TiNode** hostTree, TiNode* kept);
    short CurrentUnitTable(SymTab** table);
};
