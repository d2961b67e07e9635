// The result arrays of one GetVarInfoBlock call and the checks made before
// they are copied to Java (see KorvaneVarBlock.h).
#include "java/bridge/KorvaneVarBlock.h"

#include "platform/Bstr.h"
#include "platform/SafeArray.h"

namespace {

// The number of elements of the one-dimensional array in `cell` when it is
// of type VT_ARRAY|`element`; -1 (type mismatch) otherwise.
int64_t Elements(const VARIANT& cell, VARTYPE element) {
    if (cell.vt != (VT_ARRAY | element) || cell.parray == nullptr)
        return -1;
    SAFEARRAY* array = cell.parray;
    if (SafeArrayGetDim(array) != 1)
        return -1;
    VARTYPE vt = VT_EMPTY;
    if (FAILED(SafeArrayGetVartype(array, &vt)) || vt != element)
        return -1;
    LONG lower = 0, upper = 0;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper)))
        return -1;
    return static_cast<int64_t>(upper) - lower + 1;
}

} // namespace

KorvaneVarBlock::KorvaneVarBlock() {
    for (VARIANT& cell : m_cells)
        VariantInit(&cell);
}

KorvaneVarBlock::~KorvaneVarBlock() {
    for (VARIANT& cell : m_cells)
        VariantClear(&cell);
}

HRESULT KorvaneVarBlock::Check(int32_t count, int32_t capacity) const {
    if (count <= 0)
        return S_OK;
    if (count > capacity)
        return DISP_E_BADINDEX;
    HRESULT hr = S_OK;
    for (int which = 0; which < Count; ++which) {
        const VARTYPE element = which == Names || which == Cmnts ? VT_BSTR : VT_I2;
        const int64_t have = Elements(m_cells[which], element);
        // A wrong type outweighs a short array: it says more about the reply.
        if (have < 0)
            return DISP_E_TYPEMISMATCH;
        if (have < count)
            hr = DISP_E_BADINDEX;
    }
    return hr;
}

HRESULT KorvaneVarBlock::AccessNumbers(Array which, const SHORT** data) const {
    void* raw = nullptr;
    const HRESULT hr = SafeArrayAccessData(m_cells[which].parray, &raw);
    *data = SUCCEEDED(hr) ? static_cast<const SHORT*>(raw) : nullptr;
    return hr;
}

void KorvaneVarBlock::UnaccessNumbers(Array which) const { SafeArrayUnaccessData(m_cells[which].parray); }

bool KorvaneVarBlock::CopyString(Array which, int32_t index, BSTR* text) const {
    *text = nullptr;
    SAFEARRAY* array = m_cells[which].parray;
    LONG lower = 0;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)))
        return false;
    LONG at = lower + index;
    return SUCCEEDED(SafeArrayGetElement(array, &at, text));
}
