// Helpers of the document-interface tests: a document on a project on disk
// (a private registry store with the library registered, the project's
// directory tree, the log FIFO, a captured debug channel), owners of BSTRs
// and VARIANTs, and the expected texts of entry traces and log lines.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Bstr.h"
#include "platform/SafeArray.h"
#include "platform/Variant.h"
#include "server/CDocument.h"
#include "server/ServerModule.h"
#include "tests/server/ProjectFixture.h"

namespace servertest {

/// Owns a BSTR (freed at the end).
class Bstr {
public:
    Bstr() = default;
    /// A new BSTR of the Windows-1252 `text`.
    explicit Bstr(const std::string& text);
    explicit Bstr(const char16_t* text);
    ~Bstr() { SysFreeString(value); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return value; }
    /// The address for an in,out or out parameter.
    BSTR* out() { return &value; }
    /// The text as Windows-1252 bytes ("" for null).
    std::string text() const;
    bool isNull() const { return value == nullptr; }
    /// Frees the string; null afterwards.
    void Clear() {
        SysFreeString(value);
        value = nullptr;
    }

private:
    BSTR value = nullptr;
};

/// Owns a VARIANT (cleared at the end).
class Var {
public:
    Var() { VariantInit(&value); }
    ~Var() { VariantClear(&value); }
    Var(const Var&) = delete;
    Var& operator=(const Var&) = delete;
    VARIANT* operator&() { return &value; }
    VARIANT& operator*() { return value; }
    VARIANT* operator->() { return &value; }
    /// Makes it the not-wanted marker: VT_I4 (or VT_I2) 0.
    Var& Marker(VARTYPE vt = VT_I4);
    /// Makes it VT_I4 `v`.
    Var& I4(LONG v);
    /// Makes it VT_ARRAY|VT_BSTR of `texts` (nullptr entries: null BSTRs).
    Var& Strings(const std::vector<const char*>& texts);
    /// Makes it VT_ARRAY|VT_I2 of `values`.
    Var& Shorts(const std::vector<SHORT>& values);

private:
    VARIANT value;
};

/// The elements of a VT_ARRAY|VT_BSTR VARIANT ("<null>" for a null
/// element); empty for anything else.
std::vector<std::string> StringsOf(const VARIANT& v);
/// The elements of a VT_ARRAY|VT_I2 or VT_ARRAY|VT_I4 VARIANT as 32-bit
/// values; empty for anything else.
std::vector<int32_t> NumbersOf(const VARIANT& v);

/// The entry trace of `member`.
std::string EntryTraceOf(const std::string& member);
/// A line of the log pipe with the German text `german`.
std::string LogLine(const std::string& german);
/// A handle printed "0x%08X".
std::string Hex(LONG handle);

/// Makes the process-wide project set's type compilers come from the
/// current DocumentEnv (installed before the project set is made).
class DocumentEnv {
public:
    /// A project directory tree with `declarations` as its types, a private
    /// registry store with the library "Varsvc" registered, and a document.
    explicit DocumentEnv(DeclaredTypeCompiler::Declarations declarations = DeclareSmallTypes);
    ~DocumentEnv();

    ProjectEnv& Env() { return *env; }
    IVarsvc& Doc() { return *doc; }
    ServerModule& Module() { return module; }
    /// A second document on the same module.
    IVarsvc* NewDocument();

    /// The lower-cased project path (as the project set knows it).
    std::string ProjectKey() const;
    /// Writes the var file with the variable `lines`.
    void WriteVar(const std::vector<std::string>& lines, const std::string& stamp = kStampLine) {
        env->WriteVar(VarFileText(lines, stamp));
    }
    /// Logs in as `name`; returns the handle (0 on failure).
    LONG Login(const std::string& name = "test");
    /// Logs in and opens the project at `path` (Env().ProjectPath() when
    /// empty); the handle, or 0 when either failed.
    LONG Open(const std::string& path = "");

    /// The captured debug records as texts ("<text>" or "<text>@<file>"),
    /// and forgetting them.
    std::vector<std::string> Traces();
    void ClearTraces();
    /// The log lines written since the last call, one per element.
    std::vector<std::string> Logs();

private:
    std::unique_ptr<ProjectEnv> env;
    std::unique_ptr<EnvOverride> registry;
    ServerModule module;
    IVarsvc* doc = nullptr;
    std::unique_ptr<DebugCapture> capture;
};

/// The registered library's description, registered in the current store.
void RegisterVarsvcLibrary();

} // namespace servertest

namespace servertest {

/// Success when every element of `wanted` occurs in `all`, in this order
/// (other elements may come between them).
::testing::AssertionResult InOrder(const std::vector<std::string>& all,
                                   const std::vector<std::string>& wanted);

/// Variable lines of the document tests (MOTOR_T, BUF_T and M2_T of
/// DeclareSmallTypes; located and unlocated variables, a shared address).
extern const std::vector<std::string> kDocumentLines;

} // namespace servertest
