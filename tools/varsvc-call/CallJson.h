// JSON text of varsvc-call's results: strings from UTF-16 (escaped, UTF-8
// otherwise), numbers, and automation values (VARIANTs and safe arrays).
#pragma once

#include <string>

#include "platform/OleAuto.h"
#include "platform/Variant.h"

namespace varsvccall {

/// A JSON string of UTF-16 `text` of `length` units: '"' and '\' escaped,
/// control characters and lone surrogates as \uXXXX, everything else as
/// UTF-8.
std::string JsonString(const char16_t* text, size_t length);
/// A JSON string of a BSTR, or null for a null BSTR.
std::string JsonBstr(BSTR text);
/// The shortest decimal text that reads back as `value`; null for a value
/// that JSON cannot carry (not a number, infinite).
std::string JsonDouble(double value);
/// A VARIANT as JSON: VT_EMPTY and VT_NULL null, numbers and dates as
/// numbers, booleans true/false, strings as by JsonBstr, one-dimensional
/// arrays (and the elements of others, in memory order) as arrays,
/// references followed. A type without a JSON form gives a string naming it.
std::string JsonVariant(const VARIANT& value);
/// "0x" and eight upper-case hexadecimal digits.
std::string HexStatus(HRESULT hr);

} // namespace varsvccall
