// The COM runtime of a process: apartments (CoInitializeEx,
// CoUninitialize), class objects of local servers (CoRegisterClassObject,
// CoRevokeClassObject), activation (CoCreateInstance), OleRun, and the
// class identifiers of ProgIDs (CLSIDFromProgID, CLSIDFromString,
// ProgIDFromCLSID).
//
// Model:
// - A thread enters a single-threaded apartment (STA) or the one
//   multithreaded apartment (MTA) with CoInitializeEx. A local server
//   registers its class objects on an STA thread; every call that clients
//   make on its objects is then served on that thread, one at a time,
//   while it waits in GetMessage/PeekMessage (platform/MessageLoop.h).
//   Registering a local server class from the MTA is not supported
//   (CO_E_NOT_SUPPORTED): there would be no thread to serve it.
// - A class registered with CLSCTX_LOCAL_SERVER listens at its endpoint
//   (platform/ComEndpoint.h). One process at a time may serve a class
//   (another's registration fails with CO_E_OBJISREG).
// - CoCreateInstance with CLSCTX_LOCAL_SERVER connects to the endpoint.
//   When nobody listens, it takes the class's activation lock, reads the
//   program from HKEY_CLASSES_ROOT\CLSID\{clsid}\LocalServer32, starts it
//   with the argument "-Embedding" (own session, standard streams on
//   /dev/null), and waits until it has registered the class (at most the
//   activation time-out, ComSetActivationTimeout, default 30000 ms), so
//   that clients activating at the same moment start one server. The
//   server tells its starter that it is ready through the descriptor named
//   by the environment variable KORVANE_COM_READY_FD, which the runtime
//   reads (and removes from the environment) when the program starts.
//   The result is a proxy (platform/ComProxy.h) that offers IUnknown and
//   IDispatch; asking for another interface gives E_NOINTERFACE.
// - A class registered in this process is created directly when the
//   registering apartment is the caller's; from another thread it is
//   reached through its endpoint like from another process.
// - The in-process contexts alone (CLSCTX_INPROC_SERVER/HANDLER) find
//   only classes registered in this process: in-process servers (DLLs)
//   are not supported, so such a request for any other class answers
//   REGDB_E_CLASSNOTREG, as Windows does for a class without an
//   InprocServer32 entry.
// - Objects that clients hold live until the client releases them or its
//   connection closes (a client that dies releases them at once).
//   CoRevokeClassObject stops new activations at once (its endpoint goes);
//   objects already made keep being served until CoUninitialize, which
//   closes every connection.
#pragma once

#include "platform/ComBase.h"
#include "platform/OleAuto.h"

// CoInitializeEx flags.
constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
constexpr DWORD COINIT_DISABLE_OLE1DDE = 0x4;
constexpr DWORD COINIT_SPEED_OVER_MEMORY = 0x8;

// Class contexts.
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

// Class object registration flags.
constexpr DWORD REGCLS_SINGLEUSE = 0;
constexpr DWORD REGCLS_MULTIPLEUSE = 1;
constexpr DWORD REGCLS_MULTI_SEPARATE = 2;
constexpr DWORD REGCLS_SUSPENDED = 4;

/// Enters the calling thread into an apartment: COINIT_APARTMENTTHREADED
/// for a single-threaded one, else the multithreaded one. S_OK the first
/// time; S_FALSE for a further call with the same model (each needs a
/// CoUninitialize); RPC_E_CHANGED_MODE for another model; E_INVALIDARG
/// for a non-null `reserved`.
HRESULT CoInitializeEx(LPVOID reserved, DWORD coinit);
/// CoInitializeEx(reserved, COINIT_APARTMENTTHREADED).
HRESULT CoInitialize(LPVOID reserved);
/// Undoes one CoInitializeEx. The last one leaves the apartment: class
/// objects still registered there are revoked and every client connection
/// it serves is closed (their objects released). Called from inside a
/// call that the apartment serves, the leaving waits until the thread ends.
void CoUninitialize();

/// Registers the class object `unknown` (it must offer IClassFactory) of
/// `clsid`. `context` CLSCTX_LOCAL_SERVER makes it reachable from other
/// processes (and, as on Windows, from this one); CLSCTX_INPROC_SERVER
/// alone only from this process. `flags` must be REGCLS_MULTIPLEUSE or
/// REGCLS_MULTI_SEPARATE. *cookie receives the number for
/// CoRevokeClassObject. Results: S_OK; E_INVALIDARG; E_NOINTERFACE;
/// CO_E_NOTINITIALIZED; CO_E_NOT_SUPPORTED (local server from the MTA);
/// CO_E_OBJISREG (already registered here, or served by another process);
/// the runtime directory's or socket's failure.
HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* unknown, DWORD context, DWORD flags,
                              LPDWORD cookie);
/// Revokes a registration: the endpoint is closed and removed, the class
/// object released. Must be called on the registering thread
/// (RPC_E_WRONG_THREAD). CO_E_OBJNOTREG for an unknown cookie.
HRESULT CoRevokeClassObject(DWORD cookie);

/// Creates an object of `clsid` and queries it for `iid` (see the file
/// comment for the contexts). Results: S_OK and *object; E_POINTER for a
/// null `object`; CO_E_NOTINITIALIZED; CLASS_E_NOAGGREGATION for an outer
/// object with a local server; REGDB_E_CLASSNOTREG; CO_E_SERVER_EXEC_FAILURE
/// when the server program could not be started or did not register in
/// time; HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) for a missing program;
/// E_ACCESSDENIED for an endpoint of another user; E_NOINTERFACE; or what
/// the class factory answers.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, LPVOID* object);

/// Puts a loaded object into its running state. No object here needs it:
/// S_OK for any object, E_INVALIDARG for null.
HRESULT OleRun(IUnknown* object);

/// The CLSID that HKEY_CLASSES_ROOT\<progId>\CLSID names. CO_E_CLASSSTRING
/// when the ProgID or its CLSID entry is missing or malformed; E_INVALIDARG
/// for null arguments.
HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid);
/// A CLSID from its registry form "{...}" or, for text without a brace,
/// from a ProgID. A null text gives CLSID_NULL. CO_E_CLASSSTRING otherwise.
HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID clsid);
/// The ProgID of HKEY_CLASSES_ROOT\CLSID\{clsid}\ProgID, in a new
/// task-allocator string. REGDB_E_CLASSNOTREG when there is none.
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId);

namespace korvane::platform {

/// True when the calling thread is in a single-threaded apartment.
bool ComCurrentApartmentIsSingleThreaded();
/// The longest wait of CoCreateInstance for a server to start, in
/// milliseconds (default 30000).
void ComSetActivationTimeout(DWORD milliseconds);
DWORD ComActivationTimeout();

} // namespace korvane::platform
