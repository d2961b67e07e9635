// The JNI-free part of the Halvex library: the exception texts, the mutex
// name, the mapping of Java root numbers to key handles, and the conversions
// between registry value bytes and the Java forms of the values.
//
// Decisions taken here (the Java side of the library is this project's own):
// - A REG_SZ value becomes a Java string by decoding its bytes as modified
//   UTF-8 up to the first zero byte (or the end of the data when no zero
//   byte is present; modified UTF-8 never carries a raw zero). Standard UTF-8
//   four-byte sequences are accepted as well and become a surrogate pair.
//   Bytes that are not well-formed (Windows-1252 text written by another
//   program, a truncated sequence) become U+FFFD, one per maximal ill-formed
//   subpart, so that any stored bytes give a valid string instead of being
//   handed to the virtual machine unchecked.
// - A REG_DWORD value must hold exactly 4 bytes (little-endian); any other
//   size is "Unsupported value type" rather than a read past the data.
// - A value larger than REG_MAX_VALUE_SIZE is never copied for writing: the
//   write fails as the store would refuse it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Registry.h"

namespace korvane::halvex {

/// The Java class of every error the native methods raise.
inline constexpr const char* kExceptionClass = "com/velmoraautomation/util/HalvexException";
/// The name of the process marker created by createMutex.
inline constexpr const char* kMutexName = "ZEPMutex";

/// The failures the native methods report to Java.
enum class HalvexError {
    OpenKeyFailed,     ///< the key root\path could not be opened
    QueryValueFailed,  ///< the value could not be read, or the write failed
    UnsupportedType,   ///< the value's type (or the Java object's class) has no conversion
    CreateMutexFailed, ///< the named mutex could not be created or opened
};

/// The exception message of `error`: "Open key failed", "Query value key
/// failed", "Unsupported value type", "Create mutex failed". Never null.
const char* HalvexMessage(HalvexError error);

/// The key handle for the Java "root" field: the 32-bit value sign-extended
/// to the width of a pointer, as the predefined roots are defined. Any value
/// is safe to hand to the registry functions: an unknown one is rejected by
/// them with ERROR_INVALID_HANDLE.
HKEY RootFromJava(int32_t root);

/// The Java form a registry value takes when it is read.
enum class JavaForm {
    String,      ///< REG_SZ: java.lang.String
    Integer,     ///< REG_DWORD of exactly 4 bytes: java.lang.Integer
    Bytes,       ///< REG_BINARY: byte[] of the value's size
    Unsupported, ///< every other type, and a REG_DWORD of another size
};

/// The Java form of a value of registry type `type` holding `size` bytes.
JavaForm ReadForm(DWORD type, size_t size);

/// Decodes the bytes of a REG_SZ value into UTF-16 code units (see the file
/// comment for the rules). `data` may be null when `size` is 0.
std::vector<uint16_t> DecodeStringValue(const uint8_t* data, size_t size);

/// The signed value of 4 little-endian bytes.
int32_t DecodeDword(const uint8_t* data);
/// The 4 little-endian bytes of `value`, as REG_DWORD stores it.
std::array<uint8_t, 4> EncodeDword(int32_t value);

/// True when a value of `size` bytes may be written (at most
/// REG_MAX_VALUE_SIZE bytes).
bool WriteSizeFits(size_t size);

} // namespace korvane::halvex
