// The var file's text rules: line reading, fields, numbers, stamps.
#include "server/VarFileFormat.h"

#include <cctype>
#include <cstring>

namespace varsvc {

bool ReadTextLine(FILE* file, char* buffer, int size) {
    size_t length = 0;
    return ReadTextLine(file, buffer, size, length);
}

bool ReadTextLine(FILE* file, char* buffer, int size, size_t& length) {
    buffer[0] = '\0';
    length = 0;
    if (file == nullptr || size < 2)
        return false;
    if (fgets(buffer, size, file) == nullptr) {
        buffer[0] = '\0';
        return false;
    }
    length = strlen(buffer);
    if (length >= 2 && buffer[length - 2] == '\r' && buffer[length - 1] == '\n') {
        buffer[length - 2] = '\n';
        buffer[length - 1] = '\0';
        --length;
    } else if (length == static_cast<size_t>(size - 1) && buffer[length - 1] == '\r') {
        // The buffer ends in the middle of a CR LF pair: text mode would have
        // delivered the pair as one line feed, which fits in place of the CR.
        int next = getc(file);
        if (next == '\n')
            buffer[length - 1] = '\n';
        else if (next != EOF)
            ungetc(next, file);
    }
    return true;
}

size_t TrimTrailingSpace(char* line) {
    return TrimTrailingSpace(line, strlen(line));
}

size_t TrimTrailingSpace(char* line, size_t length) {
    // The C isspace set of the "C" locale: blank, \t \n \v \f \r.
    while (length > 0 && (line[length - 1] == ' ' || (line[length - 1] >= '\t' && line[length - 1] <= '\r')))
        --length;
    line[length] = '\0';
    return length;
}

bool IsEndLine(std::string_view line) {
    return line.size() >= 6 && line.substr(0, 3) == "@#$" && line.substr(line.size() - 3) == "@#$";
}

void SplitVarFields(std::string_view line, VarFields& fields) {
    const char* p = line.data();
    const char* const end = p + line.size();
    for (std::string_view& field : fields) {
        while (p < end && *p == ',')
            ++p;
        const char* stop = p;
        while (stop < end && *stop != ',')
            ++stop;
        field = std::string_view(p, static_cast<size_t>(stop - p));
        p = stop;
    }
}

int32_t ParseLong(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate the magnitude in 64 bits and stop growing once it is past
    // the 32-bit range, so that no input can overflow.
    int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (magnitude <= INT64_C(0x100000000))
            magnitude = magnitude * 10 + (text[i] - '0');
    }
    int64_t value = negative ? -magnitude : magnitude;
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

uint16_t StampDate(uint16_t year, uint16_t month, uint16_t day) {
    static constexpr int kDaysBefore[13] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    int y = year;
    if (y < 70)
        y += 100;
    if (y < 84 || month < 1 || month > 12)
        return 0;
    int date = day + 365 * y + (y - 81) / 4 + kDaysBefore[month] - 30660;
    if (!(y % 4 == 0 && month > 2))
        date -= 1;
    return static_cast<uint16_t>(date);
}

int32_t StampMsec(uint16_t hour, uint16_t minute, uint16_t second) {
    uint32_t ms = ((uint32_t{hour} * 60u + minute) * 60u + second) * 1000u;
    return static_cast<int32_t>(ms);
}

namespace {
bool IsStampSeparator(char c) { return c == '/' || c == ':' || c == ' ' || c == '\n'; }
} // namespace

bool ParseTimeStamp(std::string_view line, uint16_t& date, int32_t& msec) {
    size_t comma = line.find(',');
    if (comma == std::string_view::npos)
        return false;
    uint16_t numbers[6];
    size_t pos = comma + 1;
    for (uint16_t& number : numbers) {
        while (pos < line.size() && IsStampSeparator(line[pos]))
            ++pos;
        size_t end = pos;
        while (end < line.size() && !IsStampSeparator(line[end]))
            ++end;
        if (end == pos)
            return false; // fewer than six numbers
        // atoi on the token, then the low 16 bits.
        number = static_cast<uint16_t>(static_cast<uint32_t>(ParseLong(line.substr(pos, end - pos))));
        pos = end;
    }
    const uint16_t month = numbers[0], day = numbers[1], year = numbers[2];
    if (month < 1 || month > 12)
        return false;
    date = StampDate(year, month, day);
    msec = StampMsec(numbers[3], numbers[4], numbers[5]);
    return true;
}

void LowerAscii(char* text, size_t length) {
    for (size_t i = 0; i < length; ++i)
        text[i] = static_cast<char>(LowerAsciiByte(static_cast<unsigned char>(text[i])));
}

} // namespace varsvc
