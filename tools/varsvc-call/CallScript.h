// The call language of varsvc-call: one call per line, `Member(arg, ...)`,
// parsed into calls with typed argument values and their positions.
//
// Arguments: integers (decimal, optional '-', 32-bit range), strings in
// double quotes (escapes \" \\ and \uXXXX; the text is UTF-8), `null`,
// `none` (the not-wanted marker), `_` (an output's default), `$Name` (the
// last value an output parameter called Name returned), and arrays
// `bstr[...]`, `i2[...]`, `i4[...]`, `variant[...]`. A line whose first
// non-blank character is '#' is a comment; blank lines are skipped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varsvccall {

/// One argument as written.
struct CallValue {
    enum class Kind { Integer, String, Null, None, Default, Array, Reference };
    enum class ArrayType { Bstr, I2, I4, Variant };

    Kind kind = Kind::Null;
    int32_t integer = 0;             ///< Kind::Integer
    std::u16string text;             ///< Kind::String (UTF-16)
    ArrayType arrayType = ArrayType::Variant;
    std::vector<CallValue> elements; ///< Kind::Array
    std::string reference;           ///< Kind::Reference: the name after '$'
    int line = 0;                    ///< 1-based position of the value's first character
    int column = 0;
};

/// One call: the member's name as written and its arguments.
struct Call {
    std::string member;
    std::vector<CallValue> args;
    int line = 0;
    int column = 0;
};

/// A syntax error with its 1-based position.
struct ScriptError {
    int line = 0;
    int column = 0;
    std::string message;
};

/// Parses one line (`lineNumber` for the positions). Returns true with
/// `hasCall` false for a blank or comment line, true with the call, or
/// false with `error`.
bool ParseCallLine(const std::string& text, int lineNumber, Call& call, bool& hasCall, ScriptError& error);

/// Parses every line of `text` (lines end with "\n"; a "\r" before it is
/// dropped). False at the first error.
bool ParseScript(const std::string& text, std::vector<Call>& calls, ScriptError& error);

/// UTF-8 `text` as UTF-16; a malformed sequence becomes U+FFFD.
std::u16string Utf16FromUtf8(const std::string& text);

/// "line L, column C: message".
std::string FormatError(const ScriptError& error);

} // namespace varsvccall
