// Output forms of the morval command: JSON text, the user-defined data types
// of a compilation as text or JSON lines, diagnostics in the
// "FILE:LINE:COL: severity NUMBER: TEXT" form, and the message texts that
// let the diagnostics show their numbers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class SymAttr;
class SymTab;
struct ErrDesc;

namespace morvaltool {

/// `s` as a JSON string with its quotes; bytes of the ANSI code page beyond
/// ASCII become \u escapes of their Unicode characters. Null gives null.
std::string JsonString(const char* s);

/// The class of a user-defined data type as the type listing names it:
/// "struct", "array", "enum", "subrange" or "alias".
const char* TypeClassName(const SymAttr* t);

/// Writes the visible user-defined data types of `table` in declaration
/// order: one JSON object per line with `json`, else a readable text.
/// Returns the number of types written.
size_t WriteTypes(FILE* out, SymTab* table, bool json);

/// Message texts for the compiler's sink that carry their numbers: the
/// position prefixes are left out, and every text starts with a marker
/// holding the message's number. Same contract as LoadStringA.
int MarkedTexts(unsigned id, char* buf, int bufMax);

/// Writes every collected message of `list` to `err` as
/// "FILE:LINE:COL: warning|error|internal error NUMBER: TEXT". The texts
/// must come from MarkedTexts.
void WriteDiagnostics(FILE* err, const char* file, const ErrDesc* list);

} // namespace morvaltool
