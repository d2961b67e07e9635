// Safe arrays: a 16-byte prefix holding the element type, the descriptor with
// its bounds, and a separate task-allocator block of elements.
#include "platform/SafeArray.h"

#include <climits>
#include <cstddef>
#include <cstring>

#include "platform/Bstr.h"
#include "platform/ComBase.h"
#include "platform/OleMemory.h"
#include "platform/Variant.h"

namespace {

constexpr size_t kPrefix = 16;          // keeps the descriptor 16-byte aligned
constexpr size_t kVartypeOffset = 12;   // the type sits just before the descriptor
constexpr ULONG kMaxLocks = 0xFFFF;
constexpr USHORT kOwnedKinds = FADF_BSTR | FADF_VARIANT | FADF_UNKNOWN | FADF_DISPATCH;

size_t descriptorSize(UINT cDims) {
    return offsetof(SAFEARRAY, rgsabound) + static_cast<size_t>(cDims) * sizeof(SAFEARRAYBOUND);
}

char* blockOf(SAFEARRAY* psa) { return reinterpret_cast<char*>(psa) - kPrefix; }

// Element size and the feature flag of an element type; 0 when unsupported.
ULONG elementSize(VARTYPE vt, USHORT* features) {
    *features = 0;
    switch (vt) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
        return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
        return 8;
    case VT_BSTR:
        *features = FADF_BSTR;
        return sizeof(BSTR);
    case VT_UNKNOWN:
        *features = FADF_UNKNOWN;
        return sizeof(IUnknown*);
    case VT_DISPATCH:
        *features = FADF_DISPATCH;
        return sizeof(IDispatch*);
    case VT_VARIANT:
        *features = FADF_VARIANT;
        return sizeof(VARIANT);
    default:
        return 0;
    }
}

// True when every bound's upper end lLbound + cElements - 1 fits a LONG.
bool boundFits(const SAFEARRAYBOUND& b) {
    return static_cast<int64_t>(b.lLbound) + static_cast<int64_t>(b.cElements) - 1 <= INT32_MAX;
}

// Element count of the whole array, false on overflow.
bool elementCount(const SAFEARRAY* psa, size_t* count) {
    size_t n = 1;
    for (USHORT i = 0; i < psa->cDims; ++i) {
        size_t c = psa->rgsabound[i].cElements;
        if (c != 0 && n > SIZE_MAX / c)
            return false;
        n *= c;
    }
    *count = n;
    return true;
}

bool dataBytes(const SAFEARRAY* psa, size_t* bytes) {
    size_t n;
    if (!elementCount(psa, &n) || psa->cbElements == 0)
        return false;
    if (n > static_cast<size_t>(PTRDIFF_MAX) / psa->cbElements)
        return false;
    *bytes = n * psa->cbElements;
    return true;
}

void setVartype(SAFEARRAY* psa, VARTYPE vt) {
    std::memcpy(blockOf(psa) + kVartypeOffset, &vt, sizeof vt);
}

HRESULT allocDescriptor(UINT cDims, SAFEARRAY** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (cDims == 0 || cDims > SAFEARRAY_MAX_DIMS)
        return E_INVALIDARG;
    char* block = static_cast<char*>(CoTaskMemAlloc(kPrefix + descriptorSize(cDims)));
    if (!block)
        return E_OUTOFMEMORY;
    std::memset(block, 0, kPrefix + descriptorSize(cDims));
    SAFEARRAY* psa = reinterpret_cast<SAFEARRAY*>(block + kPrefix);
    psa->cDims = static_cast<USHORT>(cDims);
    *out = psa;
    return S_OK;
}

// Frees the owned resources of `count` elements starting at `data`. The
// slots are zeroed unless the whole block is about to be freed anyway.
void releaseElements(SAFEARRAY* psa, char* data, size_t count, bool zero = true) {
    if (!(psa->fFeatures & kOwnedKinds) || !data)
        return;
    if (psa->fFeatures & FADF_BSTR) {
        // The element block of a BSTR array is aligned for pointers.
        korvane::platform::BstrFreeMany(reinterpret_cast<BSTR*>(data), count);
        if (zero)
            std::memset(data, 0, count * sizeof(BSTR));
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        char* e = data + i * psa->cbElements;
        if (psa->fFeatures & FADF_VARIANT) {
            VariantClear(reinterpret_cast<VARIANT*>(e));
        } else {
            IUnknown* u;
            std::memcpy(&u, e, sizeof u);
            if (u)
                u->Release();
        }
        if (zero)
            std::memset(e, 0, psa->cbElements);
    }
}

// Copies one element from `src` into the zeroed slot `dst`.
HRESULT copyElement(const SAFEARRAY* psa, const char* src, char* dst) {
    if (psa->fFeatures & FADF_BSTR) {
        BSTR b;
        std::memcpy(&b, src, sizeof b);
        BSTR copy = nullptr;
        if (b) {
            copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(b), SysStringByteLen(b));
            if (!copy)
                return E_OUTOFMEMORY;
        }
        std::memcpy(dst, &copy, sizeof copy);
        return S_OK;
    }
    if (psa->fFeatures & FADF_VARIANT) {
        VARIANT* d = reinterpret_cast<VARIANT*>(dst);
        VariantInit(d);
        return VariantCopy(d, reinterpret_cast<const VARIANT*>(src));
    }
    if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        IUnknown* u;
        std::memcpy(&u, src, sizeof u);
        if (u)
            u->AddRef();
        std::memcpy(dst, &u, sizeof u);
        return S_OK;
    }
    std::memcpy(dst, src, psa->cbElements);
    return S_OK;
}

// Byte offset of the element at `indices` (caller's order, first fastest).
HRESULT offsetOf(const SAFEARRAY* psa, const LONG* indices, size_t* offset) {
    size_t cell = 0, stride = 1;
    for (USHORT k = 0; k < psa->cDims; ++k) {
        const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - 1 - k];
        int64_t rel = static_cast<int64_t>(indices[k]) - b.lLbound;
        if (rel < 0 || rel >= static_cast<int64_t>(b.cElements))
            return DISP_E_BADINDEX;
        cell += static_cast<size_t>(rel) * stride;
        stride *= b.cElements;
    }
    *offset = cell * psa->cbElements;
    return S_OK;
}

} // namespace

HRESULT SafeArrayAllocDescriptor(UINT cDims, SAFEARRAY** out) { return allocDescriptor(cDims, out); }

HRESULT SafeArrayAllocDescriptorEx(VARTYPE vt, UINT cDims, SAFEARRAY** out) {
    USHORT features;
    ULONG size = elementSize(vt, &features);
    if (size == 0) {
        if (out)
            *out = nullptr;
        return E_INVALIDARG;
    }
    HRESULT hr = allocDescriptor(cDims, out);
    if (FAILED(hr))
        return hr;
    (*out)->cbElements = size;
    (*out)->fFeatures = static_cast<USHORT>(features | FADF_HAVEVARTYPE);
    setVartype(*out, vt);
    return S_OK;
}

HRESULT SafeArrayAllocData(SAFEARRAY* psa) {
    if (!psa || psa->cDims == 0)
        return E_INVALIDARG;
    for (USHORT i = 0; i < psa->cDims; ++i)
        if (!boundFits(psa->rgsabound[i]))
            return E_INVALIDARG;
    size_t bytes;
    if (!dataBytes(psa, &bytes))
        return E_INVALIDARG;
    void* data = CoTaskMemAlloc(bytes);
    if (!data)
        return E_OUTOFMEMORY;
    std::memset(data, 0, bytes);
    psa->pvData = data;
    return S_OK;
}

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* bounds) {
    if (!bounds)
        return nullptr;
    SAFEARRAY* psa;
    if (FAILED(SafeArrayAllocDescriptorEx(vt, cDims, &psa)))
        return nullptr;
    // Windows keeps the bounds in reverse order of the caller's dimensions.
    for (UINT i = 0; i < cDims; ++i)
        psa->rgsabound[cDims - 1 - i] = bounds[i];
    if (FAILED(SafeArrayAllocData(psa))) {
        SafeArrayDestroyDescriptor(psa);
        return nullptr;
    }
    return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    SAFEARRAYBOUND bound{cElements, lLbound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroyData(SAFEARRAY* psa) {
    if (!psa)
        return E_INVALIDARG;
    if (psa->cLocks > 0)
        return DISP_E_ARRAYISLOCKED;
    if (psa->pvData) {
        size_t count = 0;
        if (elementCount(psa, &count))
            releaseElements(psa, static_cast<char*>(psa->pvData), count, false);
        CoTaskMemFree(psa->pvData);
        psa->pvData = nullptr;
    }
    return S_OK;
}

HRESULT SafeArrayDestroyDescriptor(SAFEARRAY* psa) {
    if (!psa)
        return S_OK;
    if (psa->cLocks > 0)
        return DISP_E_ARRAYISLOCKED;
    CoTaskMemFree(blockOf(psa));
    return S_OK;
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa)
        return S_OK;
    if (psa->cDims == 0)
        return E_INVALIDARG;
    if (psa->cLocks > 0)
        return DISP_E_ARRAYISLOCKED;
    HRESULT hr = SafeArrayDestroyData(psa);
    if (FAILED(hr))
        return hr;
    return SafeArrayDestroyDescriptor(psa);
}

UINT SafeArrayGetDim(SAFEARRAY* psa) { return psa ? psa->cDims : 0; }

UINT SafeArrayGetElemsize(SAFEARRAY* psa) { return psa ? psa->cbElements : 0; }

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* bound) {
    if (!psa || !bound)
        return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    *bound = psa->rgsabound[psa->cDims - nDim].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* bound) {
    if (!psa || !bound)
        return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - nDim];
    // Computed in 64 bits: creation guarantees the result fits a LONG.
    *bound = static_cast<LONG>(static_cast<int64_t>(b.lLbound) + b.cElements - 1);
    return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* vt) {
    if (!psa || !vt)
        return E_INVALIDARG;
    if (psa->fFeatures & FADF_HAVEVARTYPE) {
        std::memcpy(vt, blockOf(psa) + kVartypeOffset, sizeof *vt);
        return S_OK;
    }
    if (psa->fFeatures & FADF_BSTR)
        *vt = VT_BSTR;
    else if (psa->fFeatures & FADF_VARIANT)
        *vt = VT_VARIANT;
    else if (psa->fFeatures & FADF_UNKNOWN)
        *vt = VT_UNKNOWN;
    else if (psa->fFeatures & FADF_DISPATCH)
        *vt = VT_DISPATCH;
    else
        return E_INVALIDARG;
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
    if (!psa)
        return E_INVALIDARG;
    if (psa->cLocks >= kMaxLocks)
        return E_UNEXPECTED;
    ++psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
    if (!psa)
        return E_INVALIDARG;
    if (psa->cLocks == 0)
        return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** data) {
    if (!psa || !data)
        return E_INVALIDARG;
    HRESULT hr = SafeArrayLock(psa);
    *data = SUCCEEDED(hr) ? psa->pvData : nullptr;
    return hr;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) { return SafeArrayUnlock(psa); }

HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* indices, void** element) {
    if (!psa || !indices || !element)
        return E_INVALIDARG;
    size_t offset;
    HRESULT hr = offsetOf(psa, indices, &offset);
    if (FAILED(hr))
        return hr;
    *element = static_cast<char*>(psa->pvData) + offset;
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* indices, void* value) {
    if (!psa || !indices || !value)
        return E_INVALIDARG;
    size_t offset;
    HRESULT hr = offsetOf(psa, indices, &offset);
    if (FAILED(hr))
        return hr;
    SafeArrayLock(psa);
    const char* src = static_cast<const char*>(psa->pvData) + offset;
    if (psa->fFeatures & FADF_VARIANT)
        VariantInit(static_cast<VARIANT*>(value));
    hr = copyElement(psa, src, static_cast<char*>(value));
    SafeArrayUnlock(psa);
    return hr;
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* indices, void* value) {
    if (!psa || !indices)
        return E_INVALIDARG;
    bool pointerValue = psa->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH);
    // A BSTR or interface element takes the pointer itself, which may be
    // null; every other type needs the address of a value.
    if (!pointerValue && !value)
        return E_INVALIDARG;
    size_t offset;
    HRESULT hr = offsetOf(psa, indices, &offset);
    if (FAILED(hr))
        return hr;
    SafeArrayLock(psa);
    char* dst = static_cast<char*>(psa->pvData) + offset;
    if (psa->fFeatures & FADF_BSTR) {
        BSTR in = static_cast<BSTR>(value);
        BSTR copy = nullptr;
        if (in) {
            copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(in), SysStringByteLen(in));
            if (!copy)
                hr = E_OUTOFMEMORY;
        }
        if (SUCCEEDED(hr)) {
            BSTR old;
            std::memcpy(&old, dst, sizeof old);
            SysFreeString(old);
            std::memcpy(dst, &copy, sizeof copy);
        }
    } else if (psa->fFeatures & FADF_VARIANT) {
        // VariantCopy clears the old element first.
        hr = VariantCopy(reinterpret_cast<VARIANT*>(dst), static_cast<const VARIANT*>(value));
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        IUnknown* in = static_cast<IUnknown*>(value);
        IUnknown* old;
        std::memcpy(&old, dst, sizeof old);
        if (in)
            in->AddRef();
        std::memcpy(dst, &in, sizeof in);
        if (old)
            old->Release();
    } else {
        std::memcpy(dst, value, psa->cbElements);
    }
    SafeArrayUnlock(psa);
    return hr;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** out) {
    if (!out)
        return E_INVALIDARG;
    *out = nullptr;
    if (!psa)
        return S_OK;
    if (psa->cDims == 0 || psa->cbElements == 0)
        return E_INVALIDARG;
    size_t count, bytes;
    if (!elementCount(psa, &count) || !dataBytes(psa, &bytes))
        return E_INVALIDARG;
    SAFEARRAY* copy;
    HRESULT hr = allocDescriptor(psa->cDims, &copy);
    if (FAILED(hr))
        return hr;
    // Flags that describe where the source lives do not carry over.
    copy->fFeatures = static_cast<USHORT>(psa->fFeatures & ~(FADF_AUTO | FADF_STATIC | FADF_EMBEDDED |
                                                             FADF_FIXEDSIZE));
    copy->cbElements = psa->cbElements;
    std::memcpy(blockOf(copy) + kVartypeOffset, blockOf(psa) + kVartypeOffset, sizeof(VARTYPE));
    for (USHORT i = 0; i < psa->cDims; ++i)
        copy->rgsabound[i] = psa->rgsabound[i];
    hr = SafeArrayAllocData(copy);
    if (FAILED(hr)) {
        SafeArrayDestroyDescriptor(copy);
        return hr;
    }
    const char* src = static_cast<const char*>(psa->pvData);
    char* dst = static_cast<char*>(copy->pvData);
    for (size_t i = 0; i < count && src; ++i) {
        hr = copyElement(psa, src + i * psa->cbElements, dst + i * psa->cbElements);
        if (FAILED(hr)) {
            // The elements copied so far, and the zeroed rest, go with it.
            SafeArrayDestroy(copy);
            return hr;
        }
    }
    *out = copy;
    return S_OK;
}

HRESULT SafeArrayCopyData(SAFEARRAY* source, SAFEARRAY* target) {
    if (!source || !target || source->cDims != target->cDims ||
        source->cbElements != target->cbElements ||
        (source->fFeatures & kOwnedKinds) != (target->fFeatures & kOwnedKinds))
        return E_INVALIDARG;
    for (USHORT i = 0; i < source->cDims; ++i)
        if (source->rgsabound[i].cElements != target->rgsabound[i].cElements ||
            source->rgsabound[i].lLbound != target->rgsabound[i].lLbound)
            return E_INVALIDARG;
    size_t count;
    if (!elementCount(source, &count))
        return E_INVALIDARG;
    const char* src = static_cast<const char*>(source->pvData);
    char* dst = static_cast<char*>(target->pvData);
    if (!src || !dst)
        return count == 0 ? S_OK : E_INVALIDARG;
    for (size_t i = 0; i < count; ++i) {
        char* slot = dst + i * target->cbElements;
        releaseElements(target, slot, 1);
        HRESULT hr = copyElement(source, src + i * source->cbElements, slot);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* bound) {
    if (!psa || !bound || psa->cDims == 0)
        return E_INVALIDARG;
    if (psa->cLocks > 0 || (psa->fFeatures & FADF_FIXEDSIZE))
        return DISP_E_ARRAYISLOCKED;
    if (!boundFits(*bound))
        return E_INVALIDARG;
    // The last caller dimension is stored first and varies slowest, so a
    // change of it only adds or removes elements at the end of the block.
    size_t oldCount, oldBytes;
    if (!elementCount(psa, &oldCount) || !dataBytes(psa, &oldBytes))
        return E_INVALIDARG;
    SAFEARRAYBOUND saved = psa->rgsabound[0];
    psa->rgsabound[0] = *bound;
    size_t newCount, newBytes;
    if (!elementCount(psa, &newCount) || !dataBytes(psa, &newBytes)) {
        psa->rgsabound[0] = saved;
        return E_INVALIDARG;
    }
    char* data = static_cast<char*>(psa->pvData);
    if (newCount < oldCount) {
        releaseElements(psa, data + newBytes, oldCount - newCount);
        // A failed shrink keeps the larger block, which is harmless.
        void* smaller = CoTaskMemRealloc(data, newBytes);
        if (smaller)
            psa->pvData = smaller;
    } else if (newCount > oldCount) {
        void* larger = CoTaskMemRealloc(data, newBytes);
        if (!larger) {
            psa->rgsabound[0] = saved;
            return E_OUTOFMEMORY;
        }
        std::memset(static_cast<char*>(larger) + oldBytes, 0, newBytes - oldBytes);
        psa->pvData = larger;
    }
    return S_OK;
}
