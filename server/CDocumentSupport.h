// Helpers shared by the members of CDocument: text conversion at the COM
// boundary (Windows-1252 inside, UTF-16 outside), output writing that
// skips null pointers, the not-wanted marker, new result arrays, and the
// entry trace.
#pragma once

#include <string>
#include <string_view>

#include "platform/Bstr.h"
#include "platform/SafeArray.h"
#include "platform/Variant.h"

namespace varsvc {

/// `text` as narrow Windows-1252 text; a null BSTR gives "". Characters
/// outside Windows-1252 become '?'. Embedded zeros are kept.
std::string NarrowFromBstr(BSTR text);
/// A new BSTR holding the Windows-1252 `text`; null only when out of memory.
BSTR BstrFromNarrow(std::string_view text);
/// Replaces the in,out string *slot by a new BSTR of `text`, freeing the old
/// one. A null `slot` is skipped (true). False when out of memory (the old
/// string is then kept).
bool ReplaceBstr(BSTR* slot, const std::string& text);

/// Writes `value` to *out unless `out` is null.
template <typename T, typename V>
inline void SetOut(T* out, V value) {
    if (out != nullptr)
        *out = static_cast<T>(value);
}

/// True when the in,out VARIANT `v` is the not-wanted marker: VT_I2 or VT_I4
/// holding 0. A null pointer counts as the marker too: there is nowhere to
/// put an array.
bool IsNotWanted(const VARIANT* v);

/// Clears `v` and stores in it a new zeroed one-dimensional array of `count`
/// elements of `vt` (lower bound 0) as VT_ARRAY|vt. False when the array
/// cannot be made (`v` is then VT_EMPTY) or `v` is null.
bool MakeResultArray(VARIANT* v, VARTYPE vt, ULONG count);

/// Writes the entry trace "<compile time>: CDocument::<member> () invoked.".
void EntryTrace(const char* member);

} // namespace varsvc
