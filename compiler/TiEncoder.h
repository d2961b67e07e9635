// TiEncoder: a small encoder of Structured Text program units on the
// instruction emitter (TiEmitter), and TiUnitBodies, the statement trees the
// compiler facade keeps for it. Assignments, the arithmetic, comparison,
// logic and conversion operations (chosen by operand type), IF, WHILE,
// REPEAT and FOR with BTRUE/BFALSE/BRANCH/LABEL, EXIT, RETURN, and calls of
// functions and function blocks become instructions of the listing; docs/
// encoder.md describes the mapping. Every construct it does not encode is
// reported as an internal error with a location code.
//
// Decisions taken where the rules leave room:
// - Every unit is encoded twice: first without listing and without
//   messages, to learn the number of every LABEL, then for real; so every
//   branch of the listing names its target.
// - A unit's listing starts with a line "(* PROGRAM name *)" (FUNCTION,
//   FUNCTION_BLOCK) and ends with RET.
// - Constants stay immediate operands (kind 2, listed IMMVAL); nothing is
//   placed in the constant pool.
// - Intermediate values live in temporary pool variables "$T1", "$T2", ...
//   numbered anew for each statement.
// - Members of function-block instances are pool variables named
//   "instance.member"; a function's result is the pool variable named as
//   the function.
// - Operations without an instruction of their own are calls of elementary
//   functions named by operation and type ("GT_REAL", "MOD_INT",
//   "TIME_MUL_DINT", "DINT_TO_INT") with JMPFFEFB.
// - The trees of a compilation are kept by the facade when the host does
//   not take them (TiUnitBodies). A unit compiled again, or a deleted
//   variable, drops every kept body: any of them may name records that are
//   gone. A unit without a kept body is reported (location 1415) instead of
//   being encoded from records that may be gone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

class ErrMess;
class Library;
class SymAttr;
class SymTabSet;
class TiDB;
class TiNode;

namespace tienc {

// Location codes of the internal errors (message -3555).
constexpr int32_t LOC_STATEMENT = 1401;    ///< a statement kind that is not encoded
constexpr int32_t LOC_EXPRESSION = 1403;   ///< an expression kind that is not encoded
constexpr int32_t LOC_TYPES_DIFFER = 1405; ///< operands of different types
constexpr int32_t LOC_TYPE = 1407;         ///< an operation on a type it is not encoded for
constexpr int32_t LOC_SYMBOL = 1409;       ///< a name that is no variable, constant or unit
constexpr int32_t LOC_INDEX = 1411;        ///< an index the encoder cannot address
constexpr int32_t LOC_EXIT = 1413;         ///< EXIT outside a loop
constexpr int32_t LOC_NO_BODY = 1415;      ///< a unit without a kept body
constexpr int32_t LOC_CALL = 1417;         ///< a call the encoder cannot make
constexpr int32_t LOC_JUMP = 1419;         ///< a conditional RET or a jump
constexpr int32_t LOC_NESTING = 1421;      ///< statements or expressions nested too deep

// Results of EncodeUnit (the facade's per-unit codes).
constexpr short UNIT_OK = 0;
constexpr short UNIT_NO_ENCODER = 150;
constexpr short UNIT_NO_OUTPUT = 151;
constexpr short UNIT_ERRORS = 152;

/// Deepest nesting of statements and expressions encoded.
constexpr int kMaxDepth = 200;

/// Module name and revision given with the internal errors.
constexpr const char* kModule = "TiEncoder.cpp";
constexpr const char* kRevision = "$Revision: 1 $";

} // namespace tienc

/// The statement trees of compiled program units, for the encoder.
///
/// Ownership: the store owns every tree it adopted. The trees refer to
/// symbol records of the facade's tables: the facade clears the store
/// before those go (reset, destruction) and forgets a unit's body when
/// records of it are deleted.
class TiUnitBodies {
public:
    TiUnitBodies() = default;
    /// Destroys the adopted trees.
    ~TiUnitBodies();
    TiUnitBodies(const TiUnitBodies&) = delete;
    TiUnitBodies& operator=(const TiUnitBodies&) = delete;

    /// Takes over `tree` (a STATEM_LIST chain of LABEL nodes, one per unit,
    /// as a compilation hands it over; null is ignored). When the tree
    /// declares a unit that has a body here, every kept body is dropped
    /// first (see ForgetUnitsOf). False when out of memory (the tree is
    /// destroyed then).
    bool Adopt(TiNode* tree);
    /// For a compilation whose tree stays the caller's: when it declares a
    /// unit that has a body here, every kept body is dropped, since the
    /// unit's new scope table replaced records that any body may name.
    void ForgetUnitsOf(const TiNode* tree);
    /// Forgets the body of `unit` (by record, and by its name).
    void Forget(const SymAttr* unit);
    /// Destroys every adopted tree.
    void Clear();

    /// True when the unit has a body here (an empty body counts); `body`
    /// receives it (null for an empty body).
    bool Find(const SymAttr* unit, TiNode** body) const;
    /// Number of units with a body.
    size_t GetCount() const { return entries.size(); }

private:
    struct Entry {
        const SymAttr* unit;
        TiNode* body;
    };
    std::vector<TiNode*> trees;
    std::vector<Entry> entries;
};

/// Encodes program units. One encoder serves any number of units of one
/// facade; it owns nothing it is given.
class TiEncoder {
public:
    /// An encoder over the facade's tables, library, adapter and sink (each
    /// may be null; without a sink nothing is reported).
    TiEncoder(SymTabSet* set, Library* library, TiDB* db, ErrMess* sink);
    ~TiEncoder();
    TiEncoder(const TiEncoder&) = delete;
    TiEncoder& operator=(const TiEncoder&) = delete;

    /// Encodes `unit` with the statements `body` (may be null: an empty
    /// body), writing its listing to `listing` (null: none is written).
    /// Returns 0, 152 when errors were reported while encoding it, or 150
    /// when the emitter could not be made. `instructions` (when given)
    /// receives the number of instructions listed.
    short EncodeUnit(SymAttr* unit, TiNode* body, FILE* listing, int32_t* instructions = nullptr);

    /// Encodes every unit of the library in registration order: 0, or the
    /// first non-zero unit result (150, 151 without listing, 152; a unit
    /// without body is 152 after its report 1415). A listing with units
    /// ends with a line end.
    short EncodeAll(const TiUnitBodies* bodies, FILE* listing);

    /// Encodes the library's unit named `name` (any case): 0, 150, 152 (also
    /// for a name without unit or body, after the report 1415).
    /// `instructions` as for EncodeUnit.
    short EncodeNamed(const TiUnitBodies* bodies, const char* name, FILE* listing,
                      int32_t* instructions = nullptr);

private:
    class Impl;
    SymTabSet* set;
    Library* library;
    TiDB* db;
    ErrMess* sink;
    Impl* ops = nullptr;
};
