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
    /// Asks the processor to fetch record `index` (Index < Size()) into the
    /// cache ahead of its read: a walk in key order meets the records in
    /// no particular order of storage.
    void PrefetchRecord(Index index) const { __builtin_prefetch(&Slot(index)); }
    /// The same for the record's name and comment; reads the record (best
    /// fetched ahead itself some steps before).
    void PrefetchText(Index index) const { __builtin_prefetch(TextAt(Slot(index).text)); }
    /// The name, the comment (views into the table, valid until it is next
    /// changed), the eight values reported for the record (CompOff 0) and
    /// its kind code; what At gives, without building a VarRecord. Inline,
    /// for the readers that walk many records at a time.
    void Read(Index index, std::string_view& name, std::string_view& comment, VarInfo& info,
              int32_t& kind) const;
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
    // Records per block and text bytes per chunk, as powers of two.
    static constexpr uint32_t kChunkShift = 20;
    static constexpr uint32_t kChunkBytes = 1u << kChunkShift; // 1 MiB of text per chunk
    static constexpr uint32_t kMaxChunks = 1u << (32 - kChunkShift); // text offsets are 32-bit
    static constexpr uint32_t kBlockShift = 15;
    static constexpr uint32_t kRecordsPerBlock = 1u << kBlockShift; // 1 MiB of records per block

    // One record in 32 bytes. Kind, section and component index are 16-bit
    // in the var file and the attribute is at most 7, so they are stored
    // narrow.
    struct Packed {
        uint32_t text; // arena offset of the name; the comment follows it
        uint16_t nameLength;
        uint16_t commentLength;
        int32_t type;
        int32_t size;
        int32_t addr;
        int32_t offset;
        int16_t kind;
        int16_t section;
        int16_t componentIndex;
        int8_t attr;
    };
    static_assert(sizeof(Packed) == 32);

    Packed& Slot(Index index) { return blocks[index >> kBlockShift][index & (kRecordsPerBlock - 1)]; }
    const Packed& Slot(Index index) const { return blocks[index >> kBlockShift][index & (kRecordsPerBlock - 1)]; }
    const char* TextAt(uint32_t offset) const {
        return chunks[offset >> kChunkShift].get() + (offset & (kChunkBytes - 1));
    }
    std::string_view Name(const Packed& p) const { return std::string_view(TextAt(p.text), p.nameLength); }
    std::string_view Comment(const Packed& p) const {
        return std::string_view(TextAt(p.text) + p.nameLength, p.commentLength);
    }
    bool StoreText(std::string_view name, std::string_view comment, uint32_t& offset);
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

inline VarRecord VarTable::At(Index index) const {
    VarRecord r;
    VarInfo info;
    Read(index, r.VarName, r.VarCmnt, info, r.VarKind);
    r.VarType = info.VarType;
    r.VarSize = info.VarSize;
    r.VarAddr = info.VarAddr;
    r.VarIECMemDescSectID = info.VarIECMemDescSectID;
    r.VarIECMemDescAddrOffset = info.VarIECMemDescAddrOffset;
    r.VarIECMemDescSectCIx = info.VarIECMemDescSectCIx;
    r.VarAttr = info.VarAttr;
    return r;
}

inline void VarTable::Read(Index index, std::string_view& name, std::string_view& comment, VarInfo& info,
                           int32_t& kind) const {
    const Packed& p = Slot(index);
    const char* text = TextAt(p.text);
    name = std::string_view(text, p.nameLength);
    comment = std::string_view(text + p.nameLength, p.commentLength);
    info.VarType = p.type;
    info.VarSize = p.size;
    info.VarAddr = p.addr;
    info.VarIECMemDescSectID = p.section;
    info.VarIECMemDescAddrOffset = p.offset;
    info.VarIECMemDescSectCIx = p.componentIndex;
    info.VarAttr = p.attr;
    info.CompOff = 0;
    kind = p.kind;
}
