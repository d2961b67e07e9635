// TiMemSpec: where a literal constant's value lives in controller memory. It
// is the key of the memory-descriptor index of the symbol tables, which
// hashes and compares it byte by byte.
#pragma once

#include <cstdint>
#include <type_traits>

/// Memory descriptor of a literal constant: its type, byte size and
/// placement. The record has no padding, so two descriptors are equal
/// exactly when their bytes are equal. What the section and offset mean is
/// decided by the code generator; before placement both are 0.
struct TiMemSpec {
    int16_t id = 0;      ///< type id of the value (handed over by SymAttr::DefID)
    uint16_t size = 0;   ///< byte size of the value
    int32_t section = 0; ///< memory section that holds the value
    int32_t offset = 0;  ///< byte offset within the section
};

static_assert(std::has_unique_object_representations_v<TiMemSpec>,
              "TiMemSpec is compared and hashed byte by byte: it must have no padding");
