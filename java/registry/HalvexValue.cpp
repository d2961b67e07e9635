// Conversions between registry value bytes and the Java forms of the values,
// and the exception texts of the Halvex library.
#include "java/registry/HalvexValue.h"

namespace korvane::halvex {

namespace {

constexpr uint16_t kReplacement = 0xFFFD;

bool IsContinuation(uint8_t byte) {
    return (byte & 0xC0) == 0x80;
}

} // namespace

const char* HalvexMessage(HalvexError error) {
    switch (error) {
    case HalvexError::OpenKeyFailed:
        return "Open key failed";
    case HalvexError::QueryValueFailed:
        return "Query value key failed";
    case HalvexError::UnsupportedType:
        return "Unsupported value type";
    case HalvexError::CreateMutexFailed:
        return "Create mutex failed";
    }
    return "Unsupported value type";
}

HKEY RootFromJava(int32_t root) {
    // The predefined roots are 32-bit values sign-extended to a pointer
    // (HKEY_LOCAL_MACHINE 0x80000002 is the Java int -2147483646).
    return reinterpret_cast<HKEY>(static_cast<intptr_t>(root));
}

JavaForm ReadForm(DWORD type, size_t size) {
    switch (type) {
    case REG_SZ:
        return JavaForm::String;
    case REG_DWORD:
        // Anything but 4 bytes cannot be an int; reading 4 bytes of it would
        // run past the data.
        return size == 4 ? JavaForm::Integer : JavaForm::Unsupported;
    case REG_BINARY:
        return JavaForm::Bytes;
    default:
        return JavaForm::Unsupported;
    }
}

std::vector<uint16_t> DecodeStringValue(const uint8_t* data, size_t size) {
    std::vector<uint16_t> out;
    if (data == nullptr) {
        return out;
    }
    out.reserve(size);
    size_t i = 0;
    while (i < size) {
        const uint8_t lead = data[i];
        if (lead == 0) {
            break; // the terminator; modified UTF-8 never holds a raw zero
        }
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        // Modified UTF-8 writes U+0000 as the overlong pair C0 80.
        if (lead == 0xC0 && i + 1 < size && data[i + 1] == 0x80) {
            out.push_back(0);
            i += 2;
            continue;
        }
        // Length of the sequence and the range allowed for its second byte;
        // other continuation bytes are 80..BF. Three-byte sequences for
        // D800..DFFF are accepted: modified UTF-8 carries supplementary
        // characters (and Java's unpaired surrogates) that way.
        size_t length = 0;
        uint8_t low = 0x80, high = 0xBF;
        uint32_t code = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0F;
            if (lead == 0xE0) {
                low = 0xA0; // below is overlong
            }
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07;
            if (lead == 0xF0) {
                low = 0x90; // below is overlong
            } else if (lead == 0xF4) {
                high = 0x8F; // above is beyond U+10FFFF
            }
        }
        if (length == 0) {
            // A stray continuation byte or a byte that never starts a sequence.
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        size_t taken = 1;
        bool complete = true;
        while (taken < length) {
            if (i + taken >= size) {
                complete = false;
                break;
            }
            const uint8_t byte = data[i + taken];
            const bool fits = taken == 1 ? (byte >= low && byte <= high) : IsContinuation(byte);
            if (!fits) {
                complete = false;
                break;
            }
            code = (code << 6) | (byte & 0x3F);
            ++taken;
        }
        if (!complete) {
            // One replacement for the maximal ill-formed subpart; decoding
            // resumes at the byte that broke the sequence.
            out.push_back(kReplacement);
            i += taken;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<uint16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<uint16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<uint16_t>(code));
        }
        i += length;
    }
    return out;
}

int32_t DecodeDword(const uint8_t* data) {
    const uint32_t bits = static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
                          (static_cast<uint32_t>(data[2]) << 16) |
                          (static_cast<uint32_t>(data[3]) << 24);
    return static_cast<int32_t>(bits);
}

std::array<uint8_t, 4> EncodeDword(int32_t value) {
    const uint32_t bits = static_cast<uint32_t>(value);
    return {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
            static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
}

bool WriteSizeFits(size_t size) {
    return size <= REG_MAX_VALUE_SIZE;
}

} // namespace korvane::halvex
