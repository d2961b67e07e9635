// The parser of varsvc-call's call language.
#include "tools/varsvc-call/CallScript.h"

#include <cctype>

namespace varsvccall {

namespace {

// Limits that guard the parser against hostile input.
constexpr size_t kMaxArrayElements = 1u << 20;
constexpr int kMaxArguments = 64;

class LineParser {
public:
    LineParser(const std::string& text, int line) : s(text), lineNo(line) {}

    bool Parse(Call& call, bool& hasCall, ScriptError& error) {
        hasCall = false;
        SkipBlanks();
        if (AtEnd() || s[pos] == '#')
            return true;
        call = Call();
        call.line = lineNo;
        call.column = Column();
        if (!IsIdentStart(Peek()))
            return Fail(error, "a member name expected");
        while (!AtEnd() && IsIdentChar(s[pos]))
            call.member += s[pos++];
        SkipBlanks();
        if (!Take('('))
            return Fail(error, "'(' expected after the member name");
        SkipBlanks();
        if (!Take(')')) {
            for (;;) {
                if (call.args.size() >= static_cast<size_t>(kMaxArguments))
                    return Fail(error, "too many arguments");
                CallValue value;
                if (!ParseValue(value, error, true))
                    return false;
                call.args.push_back(std::move(value));
                SkipBlanks();
                if (Take(')'))
                    break;
                if (!Take(','))
                    return Fail(error, "',' or ')' expected");
                SkipBlanks();
            }
        }
        SkipBlanks();
        if (!AtEnd())
            return Fail(error, "unexpected text after the call");
        hasCall = true;
        return true;
    }

private:
    bool ParseValue(CallValue& v, ScriptError& error, bool topLevel) {
        v.line = lineNo;
        v.column = Column();
        const char c = Peek();
        if (c == '"') {
            v.kind = CallValue::Kind::String;
            return ParseString(v.text, error);
        }
        if (c == '-' || std::isdigit(static_cast<unsigned char>(c))) {
            v.kind = CallValue::Kind::Integer;
            return ParseInteger(v.integer, error);
        }
        if (c == '$') {
            if (!topLevel)
                return Fail(error, "a reference cannot be an array element");
            ++pos;
            if (!IsIdentStart(Peek()))
                return Fail(error, "a parameter name expected after '$'");
            v.kind = CallValue::Kind::Reference;
            while (!AtEnd() && IsIdentChar(s[pos]))
                v.reference += s[pos++];
            return true;
        }
        if (c == '_' && !IsIdentChar(PeekAt(1))) {
            if (!topLevel)
                return Fail(error, "'_' cannot be an array element");
            ++pos;
            v.kind = CallValue::Kind::Default;
            return true;
        }
        if (!IsIdentStart(c))
            return Fail(error, "a value expected");
        std::string word;
        while (!AtEnd() && IsIdentChar(s[pos]))
            word += s[pos++];
        if (word == "null") {
            v.kind = CallValue::Kind::Null;
            return true;
        }
        if (word == "none") {
            if (!topLevel)
                return FailAt(error, v.column, "'none' cannot be an array element");
            v.kind = CallValue::Kind::None;
            return true;
        }
        CallValue::ArrayType type;
        if (word == "bstr")
            type = CallValue::ArrayType::Bstr;
        else if (word == "i2")
            type = CallValue::ArrayType::I2;
        else if (word == "i4")
            type = CallValue::ArrayType::I4;
        else if (word == "variant")
            type = CallValue::ArrayType::Variant;
        else
            return FailAt(error, v.column, "unknown word '" + word + "'");
        if (!topLevel)
            return FailAt(error, v.column, "arrays cannot be nested");
        if (!Take('['))
            return Fail(error, "'[' expected after '" + word + "'");
        v.kind = CallValue::Kind::Array;
        v.arrayType = type;
        SkipBlanks();
        if (Take(']'))
            return true;
        for (;;) {
            if (v.elements.size() >= kMaxArrayElements)
                return Fail(error, "too many array elements");
            CallValue element;
            if (!ParseValue(element, error, false))
                return false;
            if (!ElementFits(type, element))
                return FailAt(error, element.column, "this value cannot be an element of a " + word + " array");
            v.elements.push_back(std::move(element));
            SkipBlanks();
            if (Take(']'))
                return true;
            if (!Take(','))
                return Fail(error, "',' or ']' expected");
            SkipBlanks();
        }
    }

    static bool ElementFits(CallValue::ArrayType type, const CallValue& e) {
        switch (type) {
        case CallValue::ArrayType::Bstr:
            return e.kind == CallValue::Kind::String || e.kind == CallValue::Kind::Null;
        case CallValue::ArrayType::I2:
            return e.kind == CallValue::Kind::Integer && e.integer >= -32768 && e.integer <= 32767;
        case CallValue::ArrayType::I4:
            return e.kind == CallValue::Kind::Integer;
        case CallValue::ArrayType::Variant:
            return e.kind == CallValue::Kind::Integer || e.kind == CallValue::Kind::String ||
                   e.kind == CallValue::Kind::Null;
        }
        return false;
    }

    bool ParseInteger(int32_t& out, ScriptError& error) {
        const int start = Column();
        bool negative = Take('-');
        if (!std::isdigit(static_cast<unsigned char>(Peek())))
            return Fail(error, "a digit expected");
        int64_t value = 0;
        while (!AtEnd() && std::isdigit(static_cast<unsigned char>(s[pos]))) {
            value = value * 10 + (s[pos++] - '0');
            if (value > 2147483648LL)
                return FailAt(error, start, "integer out of the 32-bit range");
        }
        if (negative)
            value = -value;
        if (value > 2147483647LL)
            return FailAt(error, start, "integer out of the 32-bit range");
        if (!AtEnd() && IsIdentChar(s[pos]))
            return Fail(error, "unexpected character in a number");
        out = static_cast<int32_t>(value);
        return true;
    }

    bool ParseString(std::u16string& out, ScriptError& error) {
        ++pos; // the opening quote
        for (;;) {
            if (AtEnd())
                return Fail(error, "unterminated string");
            const unsigned char c = static_cast<unsigned char>(s[pos]);
            if (c == '"') {
                ++pos;
                return true;
            }
            if (c == '\\') {
                ++pos;
                const char e = Peek();
                if (e == '"' || e == '\\') {
                    out += static_cast<char16_t>(e);
                    ++pos;
                } else if (e == 'u') {
                    ++pos;
                    unsigned unit = 0;
                    for (int i = 0; i < 4; ++i) {
                        const char h = Peek();
                        if (!std::isxdigit(static_cast<unsigned char>(h)))
                            return Fail(error, "four hexadecimal digits expected after \\u");
                        unit = unit * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(h))
                                                                     ? h - '0'
                                                                     : std::tolower(static_cast<unsigned char>(h)) - 'a' + 10);
                        ++pos;
                    }
                    out += static_cast<char16_t>(unit);
                } else {
                    return Fail(error, "unknown escape (\\\", \\\\ and \\uXXXX are known)");
                }
                continue;
            }
            if (c < 0x20)
                return Fail(error, "control character in a string");
            // UTF-8 to UTF-16.
            uint32_t cp = 0;
            int more = 0;
            if (c < 0x80) {
                cp = c;
            } else if ((c & 0xE0) == 0xC0) {
                cp = c & 0x1F;
                more = 1;
            } else if ((c & 0xF0) == 0xE0) {
                cp = c & 0x0F;
                more = 2;
            } else if ((c & 0xF8) == 0xF0) {
                cp = c & 0x07;
                more = 3;
            } else {
                return Fail(error, "invalid UTF-8 in a string");
            }
            const int at = Column();
            ++pos;
            for (int i = 0; i < more; ++i) {
                const unsigned char n = static_cast<unsigned char>(Peek());
                if ((n & 0xC0) != 0x80)
                    return FailAt(error, at, "invalid UTF-8 in a string");
                cp = (cp << 6) | (n & 0x3F);
                ++pos;
            }
            static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
            if (cp < kMin[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
                return FailAt(error, at, "invalid UTF-8 in a string");
            if (cp >= 0x10000) {
                cp -= 0x10000;
                out += static_cast<char16_t>(0xD800 + (cp >> 10));
                out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
            } else {
                out += static_cast<char16_t>(cp);
            }
        }
    }

    static bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
    static bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
    bool AtEnd() const { return pos >= s.size(); }
    char Peek() const { return AtEnd() ? '\0' : s[pos]; }
    char PeekAt(size_t offset) const { return pos + offset < s.size() ? s[pos + offset] : '\0'; }
    int Column() const { return static_cast<int>(pos) + 1; }
    void SkipBlanks() {
        while (!AtEnd() && (s[pos] == ' ' || s[pos] == '\t'))
            ++pos;
    }
    bool Take(char c) {
        if (Peek() != c || AtEnd())
            return false;
        ++pos;
        return true;
    }
    bool Fail(ScriptError& error, const std::string& message) { return FailAt(error, Column(), message); }
    bool FailAt(ScriptError& error, int column, const std::string& message) {
        error.line = lineNo;
        error.column = column;
        error.message = message;
        return false;
    }

    const std::string& s;
    int lineNo;
    size_t pos = 0;
};

} // namespace

bool ParseCallLine(const std::string& text, int lineNumber, Call& call, bool& hasCall, ScriptError& error) {
    return LineParser(text, lineNumber).Parse(call, hasCall, error);
}

bool ParseScript(const std::string& text, std::vector<Call>& calls, ScriptError& error) {
    int lineNumber = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        ++lineNumber;
        Call call;
        bool hasCall = false;
        if (!ParseCallLine(line, lineNumber, call, hasCall, error))
            return false;
        if (hasCall)
            calls.push_back(std::move(call));
        start = end + 1;
    }
    return true;
}

std::u16string Utf16FromUtf8(const std::string& text) {
    std::u16string out;
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        int more = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        uint32_t cp = more == 0 ? c : more == 1 ? (c & 0x1Fu) : more == 2 ? (c & 0x0Fu) : (c & 0x07u);
        bool valid = more >= 0 && i + static_cast<size_t>(more) < text.size() + (more == 0 ? 1 : 0);
        for (int k = 1; valid && k <= more; ++k) {
            const unsigned char n = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            valid = (n & 0xC0) == 0x80;
            cp = (cp << 6) | (n & 0x3Fu);
        }
        static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (valid && (cp < kMin[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
            valid = false;
        if (!valid) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += static_cast<size_t>(more) + 1;
    }
    return out;
}

std::string FormatError(const ScriptError& error) {
    return "line " + std::to_string(error.line) + ", column " + std::to_string(error.column) + ": " +
           error.message;
}

} // namespace varsvccall
