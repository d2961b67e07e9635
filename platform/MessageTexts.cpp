// The compiler's message texts, one sorted table by number, and LoadStringA,
// which hands them out as Windows hands out string resources.
//
// Every text is a printf format. A message reported without parameters has no
// '%' in its text at all, because some callers show such texts as they stand
// (the literal scanner's and formatter's ReturnCurError) and others pass them
// through printf. The comments name the parameters, in order, of the messages
// that take any; printf ignores surplus arguments, so a caller may add more
// (an internal error's revision text, say) but never fewer.
#include "platform/MessageTexts.h"

#include "platform/LastError.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

// The texts 3521-3533 name the kinds of declaration section, one per bit of
// the compiler's section flags, and serve as parameters of 3462 and 3464:
// 0x0001 FUNCTION, 0x0002 FUNCTION_BLOCK, 0x0004 PROGRAM (the program unit
// being declared), 0x0008 VAR_INPUT, 0x0010 VAR_OUTPUT, 0x0020 VAR_IN_OUT,
// 0x0040 VAR, 0x0080 VAR_GLOBAL, 0x0100 VAR_EXTERNAL, 0x0200 the CONSTANT
// qualifier, 0x0400 the RETAIN qualifier, 0x0800 located variables (AT),
// 0x1000 VAR_ACCESS. This assignment fits every rule on the bits: function
// block instances are refused in inputs, outputs, in-outs, constants and at
// addresses (0x0A38); outputs and in-outs are refused inside a function; the
// deletable variables are those of the four unit-level sections (0x78).
const MessageTextEntry kMessageTexts[] = {
    {1704, "Fraction below one millisecond dropped"},
    {1717, "Too many warnings; further warnings are not reported"},
    {1718, "Comment in an Instruction List line"},
    {3401, "%s(%d,%d): warning: "}, // source name, line, column
    {3402, "%s(%d,%d): error: "},   // source name, line, column
    {3403, "warning: "},
    {3404, "error: "},
    {3405, "Out of memory, or no value given"},
    {3406, "Out of memory in %s, line %d"}, // module name, line
    {3407, "Data type not supported"},
    {3409, "Too many errors; further errors are not reported"},
    {3410, "TIME constant expected, or malformed duration"},
    {3411, "Invalid binary digit or misplaced underscore"},
    {3412, "Invalid octal digit or misplaced underscore"},
    {3413, "Invalid hexadecimal digit or misplaced underscore"},
    {3414, "Integer constant expected, or invalid decimal digit or misplaced underscore"},
    {3415, "REAL constant expected, or malformed real"},
    {3416, "DATE constant expected, or malformed date"},
    {3417, "DATE_AND_TIME constant expected, or malformed date and time"},
    {3418, "TIME_OF_DAY constant expected, or malformed time of day"},
    {3419, "Invalid character: no literal or token begins here"},
    {3420, "STRING constant expected, or string not terminated"},
    {3421, "Double underscore in a name"},
    {3422, "Invalid year, month or day"},
    {3423, "Duration negative or above 4294967295 ms"},
    {3424, "Value out of range"},
    {3425, "BOOL value other than 0 or 1"},
    {3426, "Bit string constant expected"},
    {3427, "Type prefix not applicable, or text after the literal"},
    {3428, "Parser stack overflow"},
    {3429, "No buffer, or buffer too small"},
    {3430, "Value is not a number"},
    {3438, "Upper bound below lower bound"},
    {3462, "%s not allowed together with %s"},              // two section texts (3521-3533)
    {3464, "Function block instance not allowed here: %s"}, // section text (3521-3533)
    {3465, "'%s' is already declared"},                     // name
    {3472, "Type '%s' has no component or value '%s'"},     // type name, name
    {3478, "Index must be an integer constant"},
    {3479, "Index out of the array bounds"},
    {3480, "'%s' is not an array type"}, // type name
    {3481, "Too many indexes"},
    {3482, "VAR section of a function before its VAR_INPUT section"},
    {3485, "Only a function block can be used as a type here"},
    {3486, "Name is not a data type"},
    {3489, "Minus sign not applicable to this constant; ignored"},
    {3491, "Subrange bound must be an integer constant"},
    {3492, "Value outside the subrange, or bound not representable"},
    {3495, "Comment opened at line %d, column %d is not closed"}, // start line, start column
    {3499, "Data type larger than 65535 bytes"},
    {3504, "Function block '%s' used outside a program unit"}, // unit name
    {3505, "Initial value not allowed in a type declaration"},
    {3508, "Syntax error"},
    {3509, "';' expected"},
    {3510, "':=' expected instead of '='"},
    {3511, "'%s' expected"}, // token text
    {3512, "')' expected"},
    {3514, "']' expected"},
    {3515, "Statement not closed by its END_ keyword"},
    {3518, "Keyword used as a name"},
    {3519, "Invalid direct address"},
    {3521, "FUNCTION"},
    {3522, "FUNCTION_BLOCK"},
    {3523, "PROGRAM"},
    {3524, "VAR_INPUT"},
    {3525, "VAR_OUTPUT"},
    {3526, "VAR_IN_OUT"},
    {3527, "VAR"},
    {3528, "VAR_GLOBAL"},
    {3529, "VAR_EXTERNAL"},
    {3530, "CONSTANT"},
    {3531, "RETAIN"},
    {3532, "AT (located variable)"},
    {3533, "VAR_ACCESS"},
    {3534, "Repetition count 0"},
    {3535, "Repetition count 1"},
    {3536, "Too many initial values for the array"},
    {3537, "'%s' is not a value of the expected type"},       // name
    {3538, "Value does not match the enumeration type '%s'"}, // type name
    {3539, "Array value does not match type '%s'"},           // type name
    {3540, "Structure value does not match type '%s'"},       // type name
    {3541, "Value does not match type '%s'"},                 // type name
    {3548, "Operation code %d has no mnemonic"},              // operation code
    {3552, "Name too long"},
    {3553, "Keyword or name written with lower-case letters"},
    {3554, "Internal compiler error in %s, line %d"},         // module name, line
    {3555, "Internal compiler error %d in %s, line %d (%s)"}, // code, module, line, revision
    {3556, "Structure larger than 65535 bytes"},
    {3572, "Declaration after the first statement"},
    {3575, "'%s' is not declared"},                     // name
    {3577, "Function block type '%s' not found"},       // type name
    {3603, "%s literals need a higher language level"}, // elementary type name
    {3612, "%s sections are not supported"},            // section keyword
    {3614, "Literal prefix written in mixed case"},
    {3617, "Generic data type not allowed here"},
};

constexpr UINT kSignBit16 = 0x8000;

} // namespace

const MessageTextEntry* MessageTextTable(size_t* count) {
    if (count != nullptr) {
        *count = std::size(kMessageTexts);
    }
    return kMessageTexts;
}

const char* FindMessageText(UINT id) {
    // String ids are 16-bit, as on Windows. The compiler's message numbers
    // are signed 16-bit values and callers pass them in either form, so a
    // set sign bit means a negative number, which stands for its magnitude.
    UINT id16 = id & 0xFFFF;
    if ((id16 & kSignBit16) != 0) {
        id16 = 0x10000 - id16;
    }
    const auto* end = std::end(kMessageTexts);
    const auto* it = std::lower_bound(
        std::begin(kMessageTexts), end, id16,
        [](const MessageTextEntry& entry, UINT wanted) { return entry.id < wanted; });
    return it != end && it->id == id16 ? it->text : nullptr;
}

int LoadStringA(HINSTANCE /*module*/, UINT id, LPSTR buf, int bufMax) {
    if (buf == nullptr || bufMax <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char* text = FindMessageText(id);
    if (text == nullptr) {
        buf[0] = '\0';
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    // Windows truncates silently to bufMax - 1 characters and always
    // terminates; the result tells how many characters were copied.
    size_t length = std::strlen(text);
    size_t room = static_cast<size_t>(bufMax) - 1;
    size_t copied = length < room ? length : room;
    std::memcpy(buf, text, copied);
    buf[copied] = '\0';
    return static_cast<int>(copied);
}
