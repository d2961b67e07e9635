// VarTable: a project's variables keyed by their lower-cased names, ordered
// by the unsigned bytes of those keys (a shorter key before a longer one with
// the same beginning).
//
// The table is filled by a read of the var file, line by line, and emptied
// before the next read, so it is stored compactly instead of as a node-based
// tree: records of 32 bytes in fixed blocks, names and comments in one
// arena of fixed chunks, an open-addressing hash (slots of the key's 32-bit
// hash and its record number) for exact lookup and duplicate detection at
// insertion, and a sorted list of record numbers for ordered walks, rebuilt
// on the first walk after an insertion.
// The lower-cased key is not stored: comparisons lower-case the name's A-Z
// on the fly.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "server/VarRecord.h"

class VarTable {
public:
    /// Record numbers: 0 .. Size()-1 in insertion order.
    using Index = uint32_t;

    VarTable();
    ~VarTable();
    VarTable(const VarTable&) = delete;
    VarTable& operator=(const VarTable&) = delete;

    /// Removes every record and frees the storage.
    void Clear();
    /// Prepares the hash for about `records` records, so that a read of a
    /// known size does not rehash while it grows. A hint only.
    void Reserve(size_t records);
    /// Copies `record` in under the lower-cased VarName. False (nothing
    /// stored) when that key is present already, when the name or comment
    /// is 65536 bytes or longer, or when the table's storage is exhausted
    /// (more than 4 GiB of text or 2^32 - 2 records).
    bool Insert(const VarRecord& record);
    /// The key's hash for Insert(record, hash), with the hash slot it starts
    /// at fetched ahead into the cache: a reader that prepares a line's
    /// name before it works on the rest of the line hides most of the
    /// memory latency of the insertion.
    uint32_t Prepare(std::string_view name) const;
    /// Insert with the hash that Prepare gave for record.VarName.
    bool Insert(const VarRecord& record, uint32_t preparedHash);
    /// Number of records.
    size_t Size() const { return count; }
    /// The record with that number (Index < Size()); its texts point into
    /// the table.
    VarRecord At(Index index) const;
    /// The record whose key equals `lowerKey` byte for byte. A key holding
    /// an upper-case letter A-Z never matches.
    bool Find(std::string_view lowerKey, Index& index) const;
    /// Every record number in key order.
    const std::vector<Index>& Ordered();
    /// The position in Ordered() of the first key that is not below
    /// `lowerKey` (Size() when none).
    size_t LowerBound(std::string_view lowerKey);
    /// True when the record's key begins with `lowerPrefix`.
    bool KeyStartsWith(Index index, std::string_view lowerPrefix) const;
    /// Bytes of memory the table holds (records, text, indexes), for
    /// measurements.
    size_t MemoryBytes() const;

private:
    struct Packed;
    Packed& Slot(Index index);
    const Packed& Slot(Index index) const;
    std::string_view Name(const Packed& p) const;
    std::string_view Comment(const Packed& p) const;
    bool StoreText(std::string_view name, std::string_view comment, uint32_t& offset);
    const char* TextAt(uint32_t offset) const;
    bool GrowHash();
    static uint32_t HashKey(std::string_view name);
    static int CompareKeys(std::string_view a, std::string_view b);

    std::vector<std::unique_ptr<Packed[]>> blocks; // records, kRecordsPerBlock each
    std::vector<std::unique_ptr<char[]>> chunks;    // text arena, kChunkBytes each
    uint32_t chunkUsed = 0;                         // bytes used in the last chunk
    size_t count = 0;
    // Slots: hash << 32 | (record number + 1), 0 = empty; a power of two.
    // The stored hash spares name comparisons on probes and rehashing.
    std::vector<uint64_t> hash;
    std::vector<Index> order;
    size_t orderedCount = 0; // records covered by `order`
};
