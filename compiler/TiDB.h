// TiDB: the compiler's adapter to the host database. It stands in for the
// editor host's database: it keeps the current program unit (name and unit
// type), numbers declared variables, and answers the host queries that have
// no host behind them with empty results.
#pragma once

#include <cstdint>

class BADatabase;
class AISection;
class SymTabSet;
class ErrMess;
class SymAttr;
class TiCompOptions;

/// The database adapter of one compiler facade.
///
/// Ownership: the adapter stores the host database, the table set and the
/// sink without owning them. It owns the copy of the current unit's name.
class TiDB {
public:
    /// Name of the current unit before any unit is declared.
    static constexpr const char* kInitialUnitName = "p";
    /// Unit type of the current unit before any unit is declared (a program).
    static constexpr unsigned char kInitialUnitType = 4;

    /// An adapter for `db` (may be null) over `set` reporting to `sink`
    /// (both may be null). The current unit is "p" of unit type 4; the
    /// variable counter starts at 0, so the first number handed out is 1.
    TiDB(BADatabase* db, SymTabSet* set, ErrMess* sink);
    ~TiDB();
    TiDB(const TiDB&) = delete;
    TiDB& operator=(const TiDB&) = delete;

    /// 0 when usable; 1006 when the initial unit name could not be copied.
    short GetConstrStatus() const { return status; }

    /// The host database (may be null).
    BADatabase* GetDatabase() const { return database; }
    /// Replaces the host database.
    void SetContext(BADatabase* db) { database = db; }
    /// Selects the host section the next compilation reads. Without a host
    /// behind the adapter only the section is stored. Returns 0.
    short SetSection(AISection* section, TiCompOptions* opts);
    /// The section given to SetSection (may be null).
    AISection* GetSection() const { return section; }
    /// Section mode for TiMorval::ParseSection (stored only).
    void SetSectionMode(bool flag) { sectionMode = flag; }
    bool GetSectionMode() const { return sectionMode; }

    /// Name of the current program unit (never null).
    const char* GetUnitName() const;
    /// Unit type of the current program unit (1 function, 2 function block,
    /// 4 program).
    unsigned char GetUnitType() const { return unitType; }
    /// Makes `name` (copied; null keeps the old name) of `unitType` the
    /// current unit. 0, or 1006 when the copy could not be made (the old
    /// name stays, the type changes).
    short SetUnit(const char* name, unsigned char unitType);

    /// The next variable number of the running counter: 1, 2, 3, ...; after
    /// 65535 it wraps to 1 (0 is never handed out).
    unsigned short NextVarNumber();
    /// The last number handed out (0 before the first).
    unsigned short GetVarNumber() const { return varCounter; }

    /// A function-block template from the host database. Without a host
    /// there is none: always null.
    SymAttr* GetFBTemplate(const char* name);

private:
    BADatabase* database;
    SymTabSet* set;
    ErrMess* sink;
    AISection* section = nullptr;
    char* unitName = nullptr;
    unsigned char unitType = kInitialUnitType;
    bool sectionMode = false;
    unsigned short varCounter = 0;
    short status = 0;
};
