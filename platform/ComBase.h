// The COM base interfaces IUnknown, IDispatch and IClassFactory as abstract
// classes with their members in Windows' slot order. A dual interface is a
// class derived from IDispatch with its own members following in slot order.
#pragma once

#include "platform/Guid.h"
#include "platform/OleAuto.h"

/// Type information of a dispatch interface. Only its identity crosses this
/// layer: type information is served from static descriptions (see
/// platform/TypeLib.h), and IDispatch::GetTypeInfo of this layer's
/// objects answers that none is available.
struct ITypeInfo;

/// Slots 0-2 of every interface. QueryInterface rules: asking for
/// IID_IUnknown always gives the same pointer for one object; a successful
/// query adds a reference; an unknown interface gives E_NOINTERFACE and a
/// null *object; a null `object` gives E_POINTER. AddRef/Release return the
/// new count (for diagnostics only); the object frees itself at 0.
class IUnknown {
public:
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    IUnknown() = default;
    IUnknown(const IUnknown&) = default;
    IUnknown& operator=(const IUnknown&) = default;
    ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;

/// Slots 3-6: late-bound access by dispatch identifier. See
/// platform/DispatchInvoke.h for the rules of GetIDsOfNames and Invoke.
class IDispatch : public IUnknown {
public:
    virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
    virtual HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) = 0;
    virtual HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                  DISPID* dispids) = 0;
    virtual HRESULT Invoke(DISPID dispid, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) = 0;

protected:
    IDispatch() = default;
    IDispatch(const IDispatch&) = default;
    IDispatch& operator=(const IDispatch&) = default;
    ~IDispatch() = default;
};
using LPDISPATCH = IDispatch*;

/// Slots 3-4 of a class object: makes instances of one class. LockServer
/// keeps the server module loaded while a client holds the lock.
class IClassFactory : public IUnknown {
public:
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) = 0;
    virtual HRESULT LockServer(BOOL lock) = 0;

protected:
    IClassFactory() = default;
    IClassFactory(const IClassFactory&) = default;
    IClassFactory& operator=(const IClassFactory&) = default;
    ~IClassFactory() = default;
};
using LPCLASSFACTORY = IClassFactory*;
