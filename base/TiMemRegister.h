// Memory registration: a process-wide diagnostic registry of heap blocks with
// the source unit and line that allocated them. Double registrations and
// withdrawals of unknown blocks are reported on standard output at once.
//
// Output conventions: every text goes to standard output and is flushed at
// once. Lines are 32-bit values printed with %lu as on the 32-bit platform,
// so a negative line prints as its unsigned 32-bit value (-1 as 4294967295).
// A null unit prints as "(null)" (printf's %s is undefined for null).
// Allocation failures: a registry that cannot be made counts as none (every
// call returns at once); a record that cannot be made leaves the block
// unregistered; a unit name that cannot be copied leaves the record without
// unit. None of them is reported. No lock: one thread at a time.
#pragma once

#include "base/HashTab.h"

#include <cstdint>

/// What the registry knows about one block.
class TiMemRegAttr {
public:
    /// A record for `address` without location.
    explicit TiMemRegAttr(void* address) : address(address) {}
    /// Sets the location: `unit` (an interned name, or null) and `line`.
    void DefLoc(char* unit, int32_t line) {
        this->unit = unit;
        this->line = line;
    }

    void* address;          ///< the registered block
    char* unit = nullptr;   ///< interned source-unit name, or null
    int32_t line = 0;       ///< source line
};

/// The registry table: 151 slots keyed by block address (hash: bits 16-31 of
/// the address modulo 151; names compare by identity). Its objects are
/// TiMemRegAttr records made and freed by the table's callbacks. It also
/// holds the interning table of source-unit names (10 slots, case-blind),
/// which keeps one heap copy of each name for the records to point to.
class TiMemRegTab : public HashTab {
public:
    /// Builds the empty registry. `status` (if not null) receives 0, or 1 when
    /// a slot array of either table could not be allocated (the registry then
    /// answers every operation with null or its status).
    explicit TiMemRegTab(short* status);

    /// 0 if `a` is not null and is the same address as `b`, else 1.
    short CmpName(char* a, char* b) override;
    /// Bits 16-31 of the address, modulo the slot count.
    unsigned short hash(char* address) override;

    /// The interned copy of `unit` (made on first use; the comparison ignores
    /// case, so the first spelling is kept). Null for a null name, or when
    /// the copy could not be made.
    char* InternUnit(char* unit);

    /// Slot count of the registry table.
    static constexpr unsigned short kSize = 151;
    /// Slot count of the interning table.
    static constexpr unsigned short kUnitSize = 10;

private:
    HashTab units;
};

/// Switches registration on or off. A registry that exists while registration
/// is on is destroyed first with all its records and names (without a
/// report), so switching on twice starts afresh; switching on makes a new,
/// empty registry.
void TiMemRegisterEnable(bool on);

/// Registers `block` as allocated at `unit`/`line` (the name is copied, so it
/// may be a temporary string). A block registered already is reported as
/// "\nSpeicher %p bereits registiert\nalt: Line: %lu File: %s\nneu: Line: %lu
/// File: %s" and keeps its record; in both cases the record then holds the
/// new location. Null block or registration off: nothing happens.
void TiMemRegisterMemory(void* block, char* unit, int32_t line);

/// Withdraws `block`: its record is removed and 0 returned. An unregistered
/// block is reported as "\nSpeicher wurde %p nicht registiert:\nFile: %s
/// Zeile %lu" and gives 1. Null block or registration off: 0, no output.
int TiMemDeRegisterMemoryFkt(void* block, char* unit, int32_t line);

/// Lists the registered blocks in table order: "\nMemory Dump:" once, then
/// "\nLine: %lu File: %s  Mem: %p" per record. Prints nothing when the
/// registry is empty or registration is off.
void TiMemDumpMemory();
