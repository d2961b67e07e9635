// Library: the compiler's template library. It keeps the program units and
// the visible data types that compilations declared, and owns the initial
// values of declared variables, for the facade's later steps (encoding,
// deleting variables) and for type-name lookups of later declarations.
//
// Reading function-block library template files is not done here: a library
// starts empty and holds only what compilations put into it.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

class ErrMess;
class SymAttr;
class SymTab;
class TiInitValSpec;

/// The template library of one compiler facade.
///
/// Ownership: the unit and type records belong to their symbol tables; the
/// library only refers to them and must be told when they go
/// (ReleaseUnits, ForgetRecord). The initial values given to KeepInitVal
/// belong to the library and are destroyed with it or by ReleaseInitVals.
class Library {
public:
    /// An empty library reporting to `sink` (may be null).
    explicit Library(ErrMess* sink);
    /// Destroys the initial values it owns; the unit and type records are
    /// left to their tables.
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    /// Registers a program unit (kind 5). A unit of the same name registered
    /// before is replaced. 0; 1001 for null or an anonymous unit; 1003 for a
    /// record of another kind; 1006 out of memory.
    short AddUnit(SymAttr* unit);
    /// The registered unit of that name (case-blind), or null.
    SymAttr* FindUnit(const char* name) const;
    /// Number of registered units.
    size_t GetUnitCount() const { return units.list.size(); }
    /// The i-th registered unit in registration order (null past the end).
    SymAttr* GetUnit(size_t i) const { return i < units.list.size() ? units.list[i] : nullptr; }
    /// Forgets every unit record (their tables are about to go).
    void ReleaseUnits();

    /// Registers a visible data type declared in a TYPE block. A type of the
    /// same name registered before is replaced. 0; 1001 null or anonymous;
    /// 1003 not a data type; 1006 out of memory.
    short AddType(SymAttr* type);
    /// The registered type of that name (case-blind), or null.
    SymAttr* FindType(const char* name) const;
    size_t GetTypeCount() const { return types.list.size(); }
    SymAttr* GetType(size_t i) const { return i < types.list.size() ? types.list[i] : nullptr; }

    /// Forgets every reference to `rec` (a unit, a type, or a variable whose
    /// initial value the library keeps; that value is destroyed).
    void ForgetRecord(SymAttr* rec);

    /// Takes over the initial value `value` of the variable `var` (several
    /// variables may share one value: it is kept once). 0; 1001 for a null
    /// value; 1006 out of memory (nothing is kept: the caller still owns the
    /// value).
    short KeepInitVal(SymAttr* var, TiInitValSpec* value);
    /// Number of distinct initial values kept.
    size_t GetInitValCount() const;
    /// Destroys every kept initial value. Variables of `global` (may be null)
    /// that still refer to one of them have their initial value cleared
    /// first: those outlive the library when the global table is kept.
    void ReleaseInitVals(SymTab* global);

private:
    struct Kept {
        SymAttr* var;
        TiInitValSpec* value;
    };
    // Records in registration order and an index from the case-folded name
    // to the position, so that registering and finding stay constant-time
    // for libraries of many thousand types.
    struct Registry {
        std::vector<SymAttr*> list;
        std::unordered_map<std::string, size_t> byName;
    };
    static bool Register(Registry& r, SymAttr* rec);
    static SymAttr* Find(const Registry& r, const char* name);
    static void Forget(Registry& r, SymAttr* rec);
    void DestroyValue(TiInitValSpec* value);

    ErrMess* sink;
    Registry units;
    Registry types;
    std::vector<Kept> kept;
};
