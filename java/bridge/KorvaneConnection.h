// The one process-wide connection of the KorvaneJni library to a catalogue
// server document ("Varsvc.Document"), with the COM apartment it lives in,
// and late-bound calls of the document's members by dispatch identifier.
//
// Decisions taken here:
// - The library holds at most one COM initialisation of its own, made by
//   the first Login on a thread and undone by Logout or a failed Login on
//   that thread. A second Login on the same thread replaces the connection
//   without initialising COM again, so one Logout always leaves the
//   apartment (repeated Logins do not stack initialisations that no Logout
//   could undo). A Logout on another thread drops the connection but cannot
//   leave the login thread's apartment; that thread leaves it at its next
//   failed Login or Logout.
// - A dispatch call that fails (server gone, call on the wrong thread,
//   argument rejected by the dispatcher, time-out) reports its failing
//   HRESULT as the method's result. Every failing HRESULT is below -32768,
//   so it can never be mistaken for a 16-bit server status. A member that
//   failed with DISP_E_EXCEPTION reports the exception's own failing code
//   when it carries one. The connection is kept: a later call reports
//   again what the proxy answers, and Logout still releases it.
// - Without a connection no call is made and the result is
//   CO_E_NOTINITIALIZED (0x800401F0): no document, no apartment of ours.
#pragma once

#include <cstdint>

#include "platform/ComBase.h"
#include "platform/Variant.h"

/// Status of a native method: the server's 16-bit status sign-extended, or
/// a failing HRESULT of the bridge or of COM.
using KorvaneResult = int32_t;

/// Result of a method that needs the connection when there is none.
inline constexpr KorvaneResult KORVANE_NO_CONNECTION = CO_E_NOTINITIALIZED;

/// The process-wide connection. Not guarded: one Java thread at a time, the
/// thread that logged in (its COM apartment serves the proxy).
class KorvaneConnection {
public:
    /// Step 1 and 2 of Login: enters the calling thread into a
    /// single-threaded apartment (unless this library already did on this
    /// thread), releases any connection held, resolves `classText` (a CLSID
    /// string when it starts with '{', else a ProgID), creates the object
    /// (in-process server, handler or local server) for IUnknown, runs it
    /// and keeps its IDispatch. S_OK, or the failing HRESULT after the
    /// apartment has been left again.
    static HRESULT Connect(const char16_t* classText);

    /// Releases the connection if one is held and, on the thread that
    /// entered it, leaves the apartment that Connect entered. Safe to call
    /// at any time and more than once.
    static void Disconnect();

    /// Releases the connection without touching any apartment (the library
    /// is being unloaded, on a thread of the virtual machine's choice).
    static void ReleaseOnUnload();

    /// The document, or null when not connected. Borrowed.
    static IDispatch* Document();

    /// Calls member `dispid` of `document` with DISPATCH_METHOD and the
    /// `count` arguments `args` given in declaration order (reversed into
    /// DISPPARAMS here). The member's VT_I2 result sign-extended, or the
    /// failing HRESULT of the call (see the file comment); a result of any
    /// type other than VT_I2 (empty included) gives DISP_E_TYPEMISMATCH. By-reference arguments
    /// hold the server's values afterwards whatever the result.
    static KorvaneResult Call(IDispatch* document, DISPID dispid, VARIANT* args, unsigned count);
};

/// VARIANT builders for the arguments of KorvaneConnection::Call. None of
/// them owns memory: the by-reference ones point at caller-owned cells and
/// KorvaneBstr borrows the caller's string.
VARIANT KorvaneI2(SHORT value);
VARIANT KorvaneI4(LONG value);
VARIANT KorvaneBstr(BSTR text);
VARIANT KorvaneRefI2(SHORT* cell);
VARIANT KorvaneRefI4(LONG* cell);
VARIANT KorvaneRefVariant(VARIANT* cell);
