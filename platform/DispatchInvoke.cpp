// The dispatcher: name lookup and late-bound calls served from an interface
// description.
#include "platform/DispatchInvoke.h"

#include <cstring>
#include <vector>

#include "platform/Bstr.h"

namespace {

bool sameName(const char16_t* a, const char16_t* b) {
    if (!a || !b)
        return false;
    for (;; ++a, ++b) {
        char16_t x = *a, y = *b;
        if (x >= u'A' && x <= u'Z')
            x = static_cast<char16_t>(x - u'A' + u'a');
        if (y >= u'A' && y <= u'Z')
            y = static_cast<char16_t>(y - u'A' + u'a');
        if (x != y)
            return false;
        if (x == 0)
            return true;
    }
}

// The member `dispid` that may be invoked with `flags`.
const MemberDescription* findMember(const InterfaceDescription* iface, DISPID dispid, WORD flags) {
    for (UINT i = 0; i < iface->memberCount; ++i) {
        const MemberDescription& m = iface->members[i];
        if (m.dispid != dispid)
            continue;
        bool fits = false;
        switch (m.invokeKind) {
        case INVOKE_FUNC:
            fits = flags & DISPATCH_METHOD;
            break;
        case INVOKE_PROPERTYGET:
            fits = flags & DISPATCH_PROPERTYGET;
            break;
        case INVOKE_PROPERTYPUT:
            fits = flags & DISPATCH_PROPERTYPUT;
            break;
        case INVOKE_PROPERTYPUTREF:
            fits = flags & DISPATCH_PROPERTYPUTREF;
            break;
        }
        if (fits)
            return &m;
    }
    return nullptr;
}

bool isMissingMarker(const VARIANTARG& v) {
    return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND;
}

// Zero value of a by-value type: VT_BSTR gets an empty string.
HRESULT zeroValue(VARTYPE vt, VARIANT* out) {
    VariantInit(out);
    out->vt = vt;
    out->llVal = 0;
    if (vt == VT_BSTR) {
        out->bstrVal = SysAllocStringLen(nullptr, 0);
        if (!out->bstrVal) {
            out->vt = VT_EMPTY;
            return E_OUTOFMEMORY;
        }
    }
    return S_OK;
}

// Everything one call needs, released in the destructor.
struct CallFrame {
    explicit CallFrame(UINT n) : args(n), cells(n), owned(n, false) {
        for (UINT i = 0; i < n; ++i) {
            VariantInit(&args[i]);
            VariantInit(&cells[i]);
        }
    }
    ~CallFrame() {
        for (size_t i = 0; i < cells.size(); ++i)
            if (owned[i])
                VariantClear(&cells[i]);
    }
    CallFrame(const CallFrame&) = delete;
    CallFrame& operator=(const CallFrame&) = delete;

    // Points args[i] at the value held in cells[i] as a VT_BYREF|vt reference.
    void referToCell(UINT i, VARTYPE byrefVt) {
        args[i].vt = byrefVt;
        if ((byrefVt & ~VT_BYREF) == VT_VARIANT)
            args[i].pvarVal = &cells[i];
        else
            args[i].byref = &cells[i].llVal;
    }

    std::vector<VARIANTARG> args;   // what the member receives
    std::vector<VARIANT> cells;     // temporaries: coerced values, retval, by-ref cells
    std::vector<bool> owned;        // cells[i] must be cleared afterwards
};

// Writes the final value of a by-reference temporary back into the caller's
// by-value argument: converted to the argument's own type when possible,
// otherwise in the parameter's type.
void writeBack(VARIANTARG* arg, VARIANT* cell, VARTYPE cellVt, bool cellIsVariant) {
    VARIANT value;
    VariantInit(&value);
    if (cellIsVariant) {
        value = *cell;
        VariantInit(cell);
    } else {
        value = *cell;
        value.vt = cellVt;
        VariantInit(cell);
    }
    VARIANT converted;
    VariantInit(&converted);
    if (!cellIsVariant && arg->vt != VT_EMPTY &&
        SUCCEEDED(VariantChangeType(&converted, &value, 0, arg->vt))) {
        VariantClear(&value);
        value = converted;
    }
    if (FAILED(VariantClear(arg))) {
        VariantClear(&value);
        return;
    }
    *arg = value;
}

} // namespace

HRESULT DispGetIDsOfNames(const InterfaceDescription* iface, LPOLESTR* names, UINT count,
                          DISPID* dispids) {
    if (!iface)
        return E_INVALIDARG;
    if (count == 0)
        return S_OK;
    if (!names || !dispids)
        return E_INVALIDARG;
    HRESULT hr = S_OK;
    const MemberDescription* member = nullptr;
    for (UINT i = 0; i < iface->memberCount && !member; ++i)
        if (sameName(iface->members[i].name, names[0]))
            member = &iface->members[i];
    dispids[0] = member ? member->dispid : DISPID_UNKNOWN;
    if (!member)
        hr = DISP_E_UNKNOWNNAME;
    for (UINT k = 1; k < count; ++k) {
        dispids[k] = DISPID_UNKNOWN;
        if (member)
            for (UINT p = 0; p < member->paramCount; ++p)
                if (sameName(member->params[p].name, names[k])) {
                    dispids[k] = static_cast<DISPID>(p);
                    break;
                }
        if (dispids[k] == DISPID_UNKNOWN)
            hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT DispInvoke(IDispatch* self, const InterfaceDescription* iface, DISPID dispid, WORD flags,
                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
    if (!self || !iface || !params)
        return E_INVALIDARG;
    const UINT cArgs = params->cArgs, cNamed = params->cNamedArgs;
    if (cNamed > cArgs || (cArgs && !params->rgvarg) || (cNamed && !params->rgdispidNamedArgs))
        return E_INVALIDARG;
    const MemberDescription* m = findMember(iface, dispid, flags);
    if (!m)
        return DISP_E_MEMBERNOTFOUND;

    const UINT total = m->paramCount;
    const bool hasRetval = total > 0 && (m->params[total - 1].flags & PARAMFLAG_FRETVAL);
    const UINT n = hasRetval ? total - 1 : total;   // parameters the caller supplies
    const bool isPut = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);

    // A property put names its value DISPID_PROPERTYPUT, as Windows requires.
    if (isPut && (cNamed != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)) {
        if (argErr)
            *argErr = 0;
        return DISP_E_PARAMNOTFOUND;
    }

    // Which rgvarg entry feeds each parameter (-1: none).
    std::vector<long> source(n, -1);
    const UINT positional = cArgs - cNamed;
    if (positional > n)
        return DISP_E_BADPARAMCOUNT;
    for (UINT j = 0; j < positional; ++j)
        source[j] = static_cast<long>(cArgs - 1 - j);
    for (UINT k = 0; k < cNamed; ++k) {
        DISPID id = params->rgdispidNamedArgs[k];
        long pos = (id == DISPID_PROPERTYPUT && isPut) ? static_cast<long>(n) - 1 : id;
        if (pos < 0 || pos >= static_cast<long>(n) || source[static_cast<size_t>(pos)] != -1) {
            if (argErr)
                *argErr = k;
            return DISP_E_PARAMNOTFOUND;
        }
        source[static_cast<size_t>(pos)] = static_cast<long>(k);
    }
    if (cNamed == 0) {
        UINT required = 0;
        for (UINT i = 0; i < n; ++i)
            if (!(m->params[i].flags & PARAMFLAG_FOPT))
                required = i + 1;
        if (positional < required)
            return DISP_E_BADPARAMCOUNT;
    }

    CallFrame frame(total);
    // Arguments passed by value where the parameter is a reference: their
    // rgvarg index, for the write-back of [out] values.
    std::vector<long> writeBackFrom(total, -1);

    for (UINT i = 0; i < n; ++i) {
        const ParamDescription& p = m->params[i];
        const bool byRef = p.vt & VT_BYREF;
        const VARTYPE target = p.vt & static_cast<VARTYPE>(~VT_BYREF);
        const long src = source[i];
        VARIANTARG* arg = src >= 0 ? &params->rgvarg[src] : nullptr;

        if (!arg || isMissingMarker(*arg)) {
            if (!(p.flags & PARAMFLAG_FOPT)) {
                if (argErr && src >= 0)
                    *argErr = static_cast<UINT>(src);
                return DISP_E_PARAMNOTOPTIONAL;
            }
            // A missing optional argument: the marker for a VARIANT,
            // otherwise the type's zero.
            HRESULT hr = S_OK;
            if (target == VT_VARIANT) {
                frame.cells[i].vt = VT_ERROR;
                frame.cells[i].scode = DISP_E_PARAMNOTFOUND;
            } else if (target & VT_ARRAY) {
                frame.cells[i].vt = target;
                frame.cells[i].parray = nullptr;
            } else {
                hr = zeroValue(target, &frame.cells[i]);
            }
            if (FAILED(hr))
                return hr;
            frame.owned[i] = true;
            if (byRef)
                frame.referToCell(i, p.vt);
            else
                frame.args[i] = frame.cells[i];
            continue;
        }

        if (!byRef) {
            if (target == VT_VARIANT || arg->vt == target ||
                ((target & VT_ARRAY) && arg->vt == target)) {
                frame.args[i] = *arg;
                continue;
            }
            HRESULT hr = VariantChangeType(&frame.cells[i], arg, 0, target);
            if (FAILED(hr)) {
                if (argErr)
                    *argErr = static_cast<UINT>(src);
                return hr;
            }
            frame.owned[i] = true;
            frame.args[i] = frame.cells[i];
            continue;
        }

        // By-reference parameter.
        if (arg->vt == p.vt) {
            if (!arg->byref) {
                if (argErr)
                    *argErr = static_cast<UINT>(src);
                return E_INVALIDARG;
            }
            frame.args[i] = *arg;
            continue;
        }
        if (arg->vt & VT_BYREF) {
            if (argErr)
                *argErr = static_cast<UINT>(src);
            return DISP_E_TYPEMISMATCH;
        }
        // A value where a reference is expected: pass a converted temporary.
        HRESULT hr = target == VT_VARIANT ? VariantCopy(&frame.cells[i], arg)
                                          : VariantChangeType(&frame.cells[i], arg, 0, target);
        if (FAILED(hr)) {
            if (argErr)
                *argErr = static_cast<UINT>(src);
            return hr;
        }
        frame.owned[i] = true;
        frame.referToCell(i, p.vt);
        if (p.flags & PARAMFLAG_FOUT)
            writeBackFrom[i] = src;
    }

    if (hasRetval) {
        const VARTYPE target = m->params[n].vt & static_cast<VARTYPE>(~VT_BYREF);
        if (target != VT_VARIANT) {
            frame.cells[n].vt = target;
            frame.cells[n].llVal = 0;
        }
        frame.owned[n] = true;
        frame.referToCell(n, m->params[n].vt);
    }

    HRESULT callResult = m->call(self, frame.args.data());

    for (UINT i = 0; i < n; ++i)
        if (writeBackFrom[i] >= 0) {
            const VARTYPE target = m->params[i].vt & static_cast<VARTYPE>(~VT_BYREF);
            writeBack(&params->rgvarg[writeBackFrom[i]], &frame.cells[i], target,
                      target == VT_VARIANT);
            frame.owned[i] = false;
        }

    if (FAILED(callResult)) {
        if (excepInfo) {
            std::memset(excepInfo, 0, sizeof *excepInfo);
            excepInfo->scode = callResult;
        }
        return DISP_E_EXCEPTION;
    }
    if (result) {
        VariantInit(result);
        if (hasRetval) {
            // The value moves to the caller, who owns it from now on.
            *result = frame.cells[n];
            VariantInit(&frame.cells[n]);
            frame.owned[n] = false;
        }
    }
    return S_OK;
}
