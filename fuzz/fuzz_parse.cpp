// Fuzz target of the compiler: arbitrary text, cut at the first zero byte as
// a C string would be, is compiled through morval::Parse, once as one string
// and once through a line reader, under the catalogue server's options and
// under lenient ones. The tree handed back is dumped and freed, the current
// unit's variables deleted and the declarations reset, so that every input
// starts from the same empty tables. Besides the sanitizers the target checks
// that Parse never fails on source text and traps when it does.
#include "compiler/ErrMess.h"
#include "compiler/SymTabSet.h"
#include "compiler/TiNode.h"
#include "compiler/morval.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

// The text the line reader serves, and where it stands.
const char* g_text = nullptr;
size_t g_pos = 0;

char* Reader(char* buffer, unsigned short size) {
    if (g_text == nullptr || g_text[g_pos] == '\0' || size < 2) {
        return nullptr;
    }
    size_t n = 0;
    while (g_text[g_pos] != '\0' && n + 1 < size) {
        char c = g_text[g_pos++];
        buffer[n++] = c;
        if (c == '\n') {
            break;
        }
    }
    buffer[n] = '\0';
    return buffer;
}

void Compile(morval& m, const char* text, bool reader) {
    TiNode* tree = nullptr;
    short rc = 0;
    if (reader) {
        g_text = text;
        g_pos = 0;
        rc = m.Parse(&Reader, "fuzz", nullptr, &tree, nullptr, nullptr);
    } else {
        rc = m.Parse(text, "fuzz", nullptr, &tree, nullptr, nullptr);
    }
    // Errors in the source never make the compilation fail.
    Check(rc == 0);
    Check(m.GetNoOfErrors() >= 0);
    std::string dump = TiDumpTreeText(tree);
    Check(!dump.empty());
    delete tree;
    m.DelVars();
    Check(m.reset(0) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool quiet = false;
    if (!quiet) {
        // The compiler writes every message and trace to the standard
        // output; a fuzzing run has no use for them.
        quiet = std::freopen("/dev/null", "w", stdout) != nullptr;
    }
    size_t length = 0;
    while (length < size && data[length] != 0) {
        ++length;
    }
    std::vector<char> text(length + 1, 0);
    if (length > 0) {
        std::memcpy(text.data(), data, length);
    }

    morval server(nullptr, nullptr, nullptr);
    Check(server.GetStatus() == 0);
    server.modeFlags |= 0x8000;
    server.langFlags |= TiCompOptions::DigitNames;
    server.langFlags &= static_cast<uint16_t>(~TiCompOptions::LowerCaseKeywords);
    Compile(server, text.data(), true);

    morval lenient(nullptr, nullptr, nullptr);
    lenient.langFlags |= TiCompOptions::LowerCaseKeywords | TiCompOptions::NestedComments |
                         TiCompOptions::TildeLiterals;
    Compile(lenient, text.data(), false);
    return 0;
}
