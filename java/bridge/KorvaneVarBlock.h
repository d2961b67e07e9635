// The eight result VARIANTs of one GetVarInfoBlock call (names, comments,
// types, sizes, addresses, indexes, attributes, component offsets), the
// check that a reply can be copied, and element access for the copy.
//
// Decision taken here: the bridge trusts no reply's shape. Before anything
// is written to Java, a block of `count` entries must come with the two
// string arrays as VT_ARRAY|VT_BSTR, the six numeric arrays as
// VT_ARRAY|VT_I2, each one-dimensional and holding at least `count`
// elements, and `count` must fit every Java array; otherwise the method
// reports a failing HRESULT and writes nothing, instead of copying past the
// end of an array.
#pragma once

#include <cstdint>

#include "platform/OleAuto.h"
#include "platform/Variant.h"

/// The result VARIANTs of one block, each starting empty; cleared (with
/// everything the server put into them) when the object goes.
class KorvaneVarBlock {
public:
    /// Index of each array among the eight, in argument order.
    enum Array { Names, Cmnts, Types, Sizes, Addrs, Indxs, Attrs, CompOffs, Count };

    KorvaneVarBlock();
    ~KorvaneVarBlock();
    KorvaneVarBlock(const KorvaneVarBlock&) = delete;
    KorvaneVarBlock& operator=(const KorvaneVarBlock&) = delete;

    /// The cell of array `which`, to be passed by reference.
    VARIANT* Cell(Array which) { return &m_cells[which]; }

    /// Whether `count` entries can be copied into Java arrays that hold
    /// `capacity` elements each. S_OK for a count of 0 or below (nothing to
    /// copy); DISP_E_BADINDEX when `count` exceeds `capacity` or an array
    /// holds fewer elements; DISP_E_TYPEMISMATCH for an array of another
    /// type or dimension count, or no array at all.
    HRESULT Check(int32_t count, int32_t capacity) const;

    /// Locks numeric array `which` (after a successful Check) and gives its
    /// first element; each successful call needs one UnaccessNumbers.
    HRESULT AccessNumbers(Array which, const SHORT** data) const;
    void UnaccessNumbers(Array which) const;

    /// A copy of element `index` of string array `which` (Names or Cmnts),
    /// owned by the caller (SysFreeString); null stands for an empty
    /// string. False when the element cannot be read.
    bool CopyString(Array which, int32_t index, BSTR* text) const;

private:
    VARIANT m_cells[Count];
};
