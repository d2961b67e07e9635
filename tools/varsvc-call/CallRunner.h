// Running varsvc-call's calls: each call is checked against the member's
// description in the type library "Varsvc", its arguments are bound to the
// member's parameters (by-reference cells for every in,out and out
// parameter), the member is invoked late-bound through IDispatch, and the
// result is written as one JSON object:
//
//   {"member": "Login", "hresult": "0x00000000", "rc": 0, "out": {"Handle": 1}}
//
// "hresult" is the member's HRESULT (for DISP_E_EXCEPTION the member's own
// failure code from the exception information), "rc" the returned status
// (null when the call returned none), "out" every in,out and out parameter
// in declaration order. The browse mode reads a project's whole catalogue
// through the same calls.
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "platform/ComBase.h"
#include "platform/TypeLib.h"
#include "platform/Variant.h"
#include "tools/varsvc-call/CallScript.h"

namespace varsvccall {

/// The member of IVarsvc named `name` (ASCII case ignored), or null.
const MemberDescription* FindMember(const std::string& name);

/// Checks `call` against its member: the member exists, the argument count
/// is that of its parameters without the final status, and each argument
/// can stand for its parameter (references are resolved when the call
/// runs). False with the argument's position otherwise.
bool CheckCall(const Call& call, ScriptError& error);

/// The outcome of one call.
struct CallOutcome {
    HRESULT hr = S_OK;     ///< the member's HRESULT (see the file comment)
    bool hasRc = false;    ///< a status was returned
    SHORT rc = 0;
    std::string json;      ///< the JSON object, without a line end
};

class CallRunner {
public:
    /// Calls go to `object` (a reference is kept while the runner lives).
    explicit CallRunner(IDispatch* object);
    ~CallRunner();
    CallRunner(const CallRunner&) = delete;
    CallRunner& operator=(const CallRunner&) = delete;

    /// Runs a checked call. False with `error` (at the argument) when a
    /// reference names no output seen so far or its value does not fit the
    /// parameter; nothing is called then.
    bool Run(const Call& call, CallOutcome& outcome, ScriptError& error);
    /// The last value an output parameter `name` returned, or null.
    const VARIANT* Output(const std::string& name) const;

private:
    IDispatch* object;
    std::map<std::string, VARIANT> outputs;
};

/// The browse mode: logs in, opens `project`, selects with the name mask
/// `mask`, reads the selection in blocks and writes a table (name, type
/// name, size, address kind, section, offset, attribute, comment) to `out`,
/// then logs out. Failures go to `err`. Returns the exit code: 0, or 1.
int Browse(IDispatch* object, const std::string& project, const std::string& mask, FILE* out, FILE* err);

} // namespace varsvccall
