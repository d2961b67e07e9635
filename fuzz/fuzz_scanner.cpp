// Fuzz target of the source scanner: the first byte chooses the options
// (nested comments, lower-case keywords, instruction-list comments, digit
// names, tilde literals, line mode, echo, language level) and the form
// (in-memory text cut at the first zero, or a line reader that hands over
// the raw bytes, zeros included, in lines of at most 1023 bytes); the rest
// is the source. Tokens are read until the end of input. Besides the
// sanitizers, the target traps when the scanner does not reach the end
// within a bound, hands out a literal value of the wrong kind, or echoes
// other characters than the text it consumed.
#include "base/TiCompOptions.h"
#include "compiler/ErrMess.h"
#include "compiler/SymAttr.h"
#include "compiler/SymTabSet.h"
#include "compiler/TiScanner.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

// The reader's source: the raw bytes of the current input.
const uint8_t* g_data = nullptr;
size_t g_size = 0;
size_t g_at = 0;

char* RawReader(char* buf, unsigned short size) {
    if (g_at >= g_size || size < 2) {
        return nullptr;
    }
    size_t n = 0;
    while (n + 1 < size && g_at < g_size) {
        char c = static_cast<char>(g_data[g_at++]);
        buf[n++] = c;
        if (c == '\n') {
            break;
        }
    }
    buf[n] = '\0';
    return buf;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t choice = size > 0 ? data[0] : 0;
    const uint8_t* src = size > 0 ? data + 1 : data;
    size_t srcSize = size > 0 ? size - 1 : 0;

    ErrMess sink;
    // Few messages are echoed: the limits stop reporting early.
    sink.SetLimits(2, 2);
    SymTabSet set(151, nullptr, &sink);
    Check(set.GetStatus() == 0);
    TiCompOptions opts(true);
    if (choice & 0x01) {
        opts.langFlags |= TiCompOptions::NestedComments;
    }
    if (choice & 0x02) {
        opts.langFlags |= TiCompOptions::LowerCaseKeywords;
    }
    if (choice & 0x04) {
        opts.langFlags |= TiCompOptions::ILCommentsOk | TiCompOptions::DigitNames;
    }
    if (choice & 0x08) {
        opts.langFlags |= TiCompOptions::TildeLiterals;
    }
    const bool lineMode = (choice & 0x10) != 0;
    const bool echo = (choice & 0x20) != 0;
    const bool readerForm = (choice & 0x40) != 0;
    if (echo) {
        opts.modeFlags |= TiCompOptions::EchoSource;
    }

    // The text form reads a C string: the source up to its first zero.
    std::vector<char> text(src, src + srcSize);
    text.push_back('\0');
    const size_t textLength = std::strlen(text.data());

    short status = -1;
    TiScanner* scanner = nullptr;
    if (readerForm) {
        g_data = src;
        g_size = srcSize;
        g_at = 0;
        scanner = new TiScanner(RawReader, &set, &sink, &opts, 0, 0, &status);
    } else {
        scanner = new TiScanner(text.data(), &set, &sink, &opts, 0, 0, &status);
    }
    Check(status == 0);
    scanner->SetLineMode(lineMode);
    scanner->SetLanguageLevel((choice & 0x80) ? 0 : 1);
    scanner->EnableEcho();

    // Every token consumes at least one character, except an end of line,
    // whose line feed the next call consumes.
    const size_t bound = 2 * srcSize + 4;
    size_t count = 0;
    size_t consumed = 0;
    for (;;) {
        TokenValue v;
        short t = scanner->lex(&v);
        if (t == 0) {
            break;
        }
        Check(++count <= bound);
        consumed += scanner->GetTokenLength();
        if (t >= tok::LITERAL_FIRST && t <= tok::LITERAL_LAST && v.sym != nullptr) {
            Check(v.sym->GetKind() == sym::KIND_CONSTANT && !v.sym->IsTableOwned());
            Check(v.ownsText == 1 && v.text != nullptr);
            Check(std::strlen(v.text) == scanner->GetTokenLength());
        }
        if (t == tok::NAME || t == tok::DIRECT_ADDR) {
            Check(v.sym == nullptr || v.sym->IsTableOwned());
        }
        scanner->DiscardLiteral(t, &v);
        Check(v.sym == nullptr || v.sym->GetKind() != sym::KIND_CONSTANT);
    }
    Check(scanner->lex(nullptr) == 0); // and it stays at the end
    Check(consumed <= srcSize);

    TiEchoSink* e = scanner->TakeEcho();
    Check((e != nullptr) == echo);
    if (e != nullptr && !readerForm) {
        // The whole text was consumed, and nothing else.
        Check(e->Length() == textLength);
        Check(std::memcmp(e->Text(), text.data(), textLength) == 0);
    }
    delete e;
    delete scanner;
    return 0;
}
