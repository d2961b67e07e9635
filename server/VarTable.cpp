// VarTable: compact storage, hashing and ordering of the catalogue records.
#include "server/VarTable.h"

#include <algorithm>
#include <cstring>

#include "server/VarFileFormat.h"

using varsvc::LowerAsciiByte;

namespace {
constexpr size_t kMaxRecords = 0xFFFFFFFEu; // hash slots hold record number + 1
constexpr size_t kMinHashSlots = 64;
} // namespace

static_assert(sizeof(VarTable::Index) == 4);

VarTable::VarTable() = default;
VarTable::~VarTable() = default;

void VarTable::Clear() {
    blocks.clear();
    blocks.shrink_to_fit();
    chunks.clear();
    chunks.shrink_to_fit();
    chunkUsed = 0;
    count = 0;
    std::vector<uint64_t>().swap(hash);
    std::vector<Index>().swap(order);
    orderedCount = 0;
}

void VarTable::Reserve(size_t records) {
    if (records > kMaxRecords)
        records = kMaxRecords;
    size_t slots = kMinHashSlots;
    while (slots < records * 2)
        slots *= 2;
    while (hash.size() < slots)
        GrowHash();
}

bool VarTable::StoreText(std::string_view name, std::string_view comment, uint32_t& offset) {
    const size_t need = name.size() + comment.size();
    if (chunks.empty() || chunkUsed + need > kChunkBytes) {
        // A text never straddles two chunks; the rest of the old one stays unused.
        if (chunks.size() >= kMaxChunks)
            return false;
        chunks.push_back(std::unique_ptr<char[]>(new char[kChunkBytes]));
        chunkUsed = 0;
    }
    char* at = chunks.back().get() + chunkUsed;
    if (!name.empty())
        memcpy(at, name.data(), name.size());
    if (!comment.empty())
        memcpy(at + name.size(), comment.data(), comment.size());
    offset = static_cast<uint32_t>((chunks.size() - 1) << kChunkShift) | chunkUsed;
    chunkUsed += static_cast<uint32_t>(need);
    return true;
}

uint32_t VarTable::HashKey(std::string_view name) {
    // FNV-1a over the lower-cased bytes, folded to 32 bits.
    uint64_t h = 1469598103934665603ull;
    for (char c : name) {
        h ^= LowerAsciiByte(static_cast<unsigned char>(c));
        h *= 1099511628211ull;
    }
    return static_cast<uint32_t>(h ^ (h >> 32));
}

int VarTable::CompareKeys(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char ca = LowerAsciiByte(static_cast<unsigned char>(a[i]));
        unsigned char cb = LowerAsciiByte(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool VarTable::GrowHash() {
    size_t slots = hash.empty() ? kMinHashSlots : hash.size() * 2;
    std::vector<uint64_t> grown(slots, 0);
    const size_t mask = slots - 1;
    for (uint64_t slot : hash) {
        if (slot == 0)
            continue;
        size_t s = (slot >> 32) & mask;
        while (grown[s] != 0)
            s = (s + 1) & mask;
        grown[s] = slot;
    }
    hash.swap(grown);
    return true;
}

uint32_t VarTable::Prepare(std::string_view name) const {
    const uint32_t h = HashKey(name);
    if (!hash.empty())
        __builtin_prefetch(&hash[h & (hash.size() - 1)]);
    return h;
}

bool VarTable::Insert(const VarRecord& r) { return Insert(r, HashKey(r.VarName)); }

bool VarTable::Insert(const VarRecord& r, uint32_t h) {
    if (r.VarName.size() > 0xFFFF || r.VarCmnt.size() > 0xFFFF || count >= kMaxRecords)
        return false;
    if (r.VarKind < INT16_MIN || r.VarKind > INT16_MAX || r.VarIECMemDescSectID < INT16_MIN ||
        r.VarIECMemDescSectID > INT16_MAX || r.VarIECMemDescSectCIx < INT16_MIN ||
        r.VarIECMemDescSectCIx > INT16_MAX || r.VarAttr < INT8_MIN || r.VarAttr > INT8_MAX)
        return false;

    // Keep the hash at most half full, then probe for the key; only equal
    // hashes need the names compared.
    if ((count + 1) * 2 > hash.size())
        GrowHash();
    const size_t mask = hash.size() - 1;
    size_t s = h & mask;
    while (hash[s] != 0) {
        if ((hash[s] >> 32) == h &&
            CompareKeys(Name(Slot(static_cast<Index>((hash[s] & 0xFFFFFFFFu) - 1))), r.VarName) == 0)
            return false;
        s = (s + 1) & mask;
    }

    uint32_t text = 0;
    if (!StoreText(r.VarName, r.VarCmnt, text))
        return false;
    if ((count & (kRecordsPerBlock - 1)) == 0)
        blocks.push_back(std::unique_ptr<Packed[]>(new Packed[kRecordsPerBlock]));
    Packed& p = Slot(static_cast<Index>(count));
    p.text = text;
    p.nameLength = static_cast<uint16_t>(r.VarName.size());
    p.commentLength = static_cast<uint16_t>(r.VarCmnt.size());
    p.type = r.VarType;
    p.size = r.VarSize;
    p.addr = r.VarAddr;
    p.offset = r.VarIECMemDescAddrOffset;
    p.kind = static_cast<int16_t>(r.VarKind);
    p.section = static_cast<int16_t>(r.VarIECMemDescSectID);
    p.componentIndex = static_cast<int16_t>(r.VarIECMemDescSectCIx);
    p.attr = static_cast<int8_t>(r.VarAttr);
    ++count;
    hash[s] = (uint64_t{h} << 32) | count;
    return true;
}

bool VarTable::Find(std::string_view lowerKey, Index& index) const {
    if (count == 0)
        return false;
    const size_t mask = hash.size() - 1;
    const uint32_t h = HashKey(lowerKey);
    size_t s = h & mask;
    for (; hash[s] != 0; s = (s + 1) & mask) {
        if ((hash[s] >> 32) != h)
            continue;
        const Index candidate = static_cast<Index>((hash[s] & 0xFFFFFFFFu) - 1);
        std::string_view name = Name(Slot(candidate));
        if (name.size() == lowerKey.size()) {
            bool equal = true;
            for (size_t i = 0; i < name.size() && equal; ++i)
                equal = LowerAsciiByte(static_cast<unsigned char>(name[i])) ==
                        static_cast<unsigned char>(lowerKey[i]);
            if (equal) {
                index = candidate;
                return true;
            }
        }
    }
    return false;
}

const std::vector<VarTable::Index>& VarTable::Ordered() {
    if (orderedCount == count)
        return order;
    // Sort on the first eight lower-cased bytes as one number (zero-padded,
    // which keeps a shorter key first: names hold no zero bytes); only equal
    // prefixes need the full comparison.
    struct Entry {
        uint64_t prefix;
        Index index;
    };
    std::vector<Entry> entries(count);
    for (size_t i = 0; i < count; ++i) {
        std::string_view name = Name(Slot(static_cast<Index>(i)));
        uint64_t prefix = 0;
        for (size_t k = 0; k < 8; ++k) {
            unsigned char c = k < name.size() ? LowerAsciiByte(static_cast<unsigned char>(name[k])) : 0;
            prefix = (prefix << 8) | c;
        }
        entries[i] = {prefix, static_cast<Index>(i)};
    }
    std::sort(entries.begin(), entries.end(), [this](const Entry& a, const Entry& b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        return CompareKeys(Name(Slot(a.index)), Name(Slot(b.index))) < 0;
    });
    order.resize(count);
    order.shrink_to_fit();
    for (size_t i = 0; i < count; ++i)
        order[i] = entries[i].index;
    orderedCount = count;
    return order;
}

size_t VarTable::LowerBound(std::string_view lowerKey) {
    const std::vector<Index>& o = Ordered();
    auto it = std::lower_bound(o.begin(), o.end(), lowerKey, [this](Index i, std::string_view key) {
        return CompareKeys(Name(Slot(i)), key) < 0;
    });
    return static_cast<size_t>(it - o.begin());
}

bool VarTable::KeyStartsWith(Index index, std::string_view lowerPrefix) const {
    std::string_view name = Name(Slot(index));
    if (name.size() < lowerPrefix.size())
        return false;
    for (size_t i = 0; i < lowerPrefix.size(); ++i)
        if (LowerAsciiByte(static_cast<unsigned char>(name[i])) != static_cast<unsigned char>(lowerPrefix[i]))
            return false;
    return true;
}

size_t VarTable::MemoryBytes() const {
    return blocks.size() * kRecordsPerBlock * sizeof(Packed) + chunks.size() * size_t{kChunkBytes} +
           hash.capacity() * sizeof(uint64_t) + order.capacity() * sizeof(Index);
}
