// Client-side activation of a class in its local server: connecting to the
// class's endpoint, starting the registered server program when nobody
// listens (under the class's activation lock, so that concurrent first
// activations start one server), and the hello and create exchange that
// yields a proxy. The server side's part is the readiness signal to the
// client that started it. See platform/ComRuntime.h for the model.
#pragma once

#include <string>
#include <vector>

#include "platform/ComBase.h"

namespace korvane::platform {

/// Activates `clsid` in its local server and queries the new object for
/// `iid` (IID_IUnknown or IID_IDispatch: other interfaces give
/// E_NOINTERFACE). Results as CoCreateInstance.
HRESULT ComActivateLocalServer(REFCLSID clsid, REFIID iid, void** object);

/// The program and arguments of HKEY_CLASSES_ROOT\CLSID\{clsid}\LocalServer32
/// (REGDB_E_CLASSNOTREG when missing or empty).
HRESULT ComReadLocalServer(REFCLSID clsid, std::vector<std::string>* argv);

/// Splits a LocalServer32 command line: a program in double quotes, or
/// the whole line when it names an existing file (a path with blanks),
/// else the text up to the first blank; then blank-separated arguments
/// (double quotes group). False for an empty line or an unclosed quote.
bool ComSplitCommandLine(const std::string& line, std::vector<std::string>* argv);

/// Server side: tells the client that started this process, if any, that
/// its class is registered. Only the first call does something.
void ComSignalReadiness();

} // namespace korvane::platform
