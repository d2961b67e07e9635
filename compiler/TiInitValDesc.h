// TiInitValDesc: a cursor that walks the memory layout of an initial
// value's data type element by element and tells for each element which
// record of the value covers it; TiInitValRepIter, the repetition iterator
// it follows repetitions ("3(1, 2)") with.
//
// Decisions:
// - Moving past the last component of a structure ends the walk (-1) like
//   the end of any layout; it is no failure and writes no internal error.
// - An element of a multi-dimensional array that a flat list initialises
//   ("[1, 2, 3, 4, 5, 6]" for ARRAY[1..2, 1..3]) is covered by several
//   records: GetCurrent gives the first of them, GetAsciiSpec gives null
//   (no record has the element's type) and GetSublist refuses it (status 2).
#pragma once

#include "compiler/TiInitValSpec.h"

#include <cstdint>

class SymAttr;

/// Walks a repetition: yields the records of the repeated list `count`
/// times, descending into repetitions inside the list with a nested
/// iterator, so that it only ever yields records that are no repetition.
class TiInitValRepIter {
public:
    // Status values.
    static constexpr short IT_OK = 0;
    static constexpr short IT_NO_RECORD = 1;
    static constexpr short IT_NOT_REPEAT = 2;
    static constexpr short IT_COUNT_ZERO = 3;
    static constexpr short IT_EMPTY = 4;
    static constexpr short IT_NO_MEMORY = 5;
    static constexpr short IT_NESTED_FAILED = 20; ///< a nested iterator could not be made

    /// An iterator on the repetition `rep`, positioned on the first record it
    /// yields. The status tells whether it is usable.
    explicit TiInitValRepIter(TiInitValSpec* rep);
    ~TiInitValRepIter();
    TiInitValRepIter(const TiInitValRepIter&) = delete;
    TiInitValRepIter& operator=(const TiInitValRepIter&) = delete;

    short GetStatus() const { return status; }
    /// The record yielded now, or null when done or not usable.
    TiInitValSpec* Current() const;
    /// Moves to the next record; null when all repetitions are done.
    TiInitValSpec* Next();
    /// Repetitions completed so far.
    uint32_t GetDone() const { return done; }
    uint32_t GetCount() const { return count; }

private:
    bool Enter(); // positions on `cur`, making a nested iterator for a repetition

    short status = IT_OK;
    uint32_t done = 0;
    uint32_t count = 0;
    TiInitValSpec* first = nullptr;
    TiInitValSpec* cur = nullptr;
    TiInitValRepIter* nested = nullptr;
};

/// A cursor that walks the memory layout of a checked initial value's type
/// element by element and tells for each element which record covers it.
class TiInitValDesc {
public:
    // Construction status.
    static constexpr short ST_OK = 0;
    static constexpr short ST_NULL = 1;
    static constexpr short ST_REPEAT = 2;
    static constexpr short ST_ASSIGN = 3;
    static constexpr short ST_KIND = 4;
    static constexpr short ST_TYPE = 5;
    // GetSublist status.
    static constexpr short SUB_OK = 0;
    static constexpr short SUB_NOT_AGGREGATE = 1;
    static constexpr short SUB_NOT_EQUIVALENT = 2;
    static constexpr short SUB_NO_ELEMENT_TYPE = 3;
    static constexpr short SUB_NO_ITERATOR = 4;
    static constexpr short SUB_NO_COMPONENTS = 5;
    static constexpr short SUB_COMPONENT_TYPE = 6;
    static constexpr short SUB_NO_MEMORY = 7;
    // GotoNext results besides 0 and -1.
    static constexpr short NX_STRUCT_END = 2;
    static constexpr short NX_COMPONENT_TYPE = 3;
    static constexpr short NX_ITERATOR_EMPTY = 4;
    static constexpr short NX_ITERATOR = 5;
    static constexpr short NX_NO_TYPE = 7;
    static constexpr short NX_SIZE_ZERO = 8;
    static constexpr short NX_TOO_LARGE = 9;
    static constexpr short NX_END = -1;

    /// A cursor on `spec` as a whole: status 0 for a literal, name,
    /// structure or array record whose type has a size of 1 ... 65535 bytes
    /// (STRING: its text); 1 null; 2 a repetition; 3 a component assignment;
    /// 4 any other kind; 5 no usable type. The total and element size are
    /// the type's size, the offset 0.
    TiInitValDesc(TiInitValSpec* spec, short* status);
    ~TiInitValDesc();
    TiInitValDesc(const TiInitValDesc&) = delete;
    TiInitValDesc& operator=(const TiInitValDesc&) = delete;

    /// A new cursor (owned by the caller) on the inner layout of the current
    /// element: an array's elements or a structure's components, positioned
    /// on the first element and the record that covers it. Null with the
    /// status (see SUB_...) when that cannot be done.
    TiInitValDesc* GetSublist(short* status);
    /// Advances to the next element: 0, -1 at the end of the layout (the
    /// cursor is then cleared), or a failure (see NX_...), which is also
    /// written to standard output as an internal error.
    short GotoNext();
    /// The canonical text of the record covering the current element when
    /// its type is that of the element; the default literal of an
    /// elementary element that no record covers; else null.
    const char* GetAsciiSpec();

    bool IsEnd() const { return end != 0; }
    short GetStatus() const { return status; }
    /// The record covering the current element, or null.
    TiInitValSpec* GetCurrent() const;
    SymAttr* GetCurType() const { return curType; }
    uint16_t GetElemSize() const { return elemSize; }
    uint16_t GetOffset() const { return offset; }
    uint16_t GetTotalSize() const { return totalSize; }
    SymAttr* GetComponent() const { return curComp; }
    SymAttr* GetParentType() const { return parentType; }

private:
    TiInitValDesc();
    void Clear();
    short Advance(uint32_t target);
    short StartStream(TiInitValSpec* rec);
    TiInitValSpec* FindAssign(SymAttr* comp) const;

    uint8_t end = 0;
    TiInitValSpec* cur = nullptr; // the list position (a repetition while iterating)
    SymAttr* curType = nullptr;
    uint16_t elemSize = 0;
    SymAttr* curComp = nullptr;
    uint16_t offset = 0;
    TiInitValSpec* list = nullptr; // first record of the list walked
    SymAttr* parentType = nullptr;
    uint16_t totalSize = 0;
    short status = ST_OK;
    TiInitValRepIter* iter = nullptr;
    uint32_t recStart = 0; // offset at which the covering record starts
};
