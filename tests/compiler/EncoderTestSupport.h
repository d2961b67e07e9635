// Test helper for the encoder: a facade that compiled a program unit around
// a body of Structured Text, and the listing of one of its units read back
// as lines, with the messages of the encoding.
#pragma once

#include "base/TiCompOptions.h"
#include "compiler/ErrMess.h"
#include "compiler/TiEncoder.h"
#include "compiler/morval.h"
#include "tests/compiler/DeclTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace enctest {

/// Declarations every body is compiled with.
inline const char* Declarations() {
    return "TYPE PT : STRUCT X : INT; Y : REAL; END_STRUCT; COLOR : (RED, GREEN); END_TYPE\n"
           "FUNCTION_BLOCK FB1\n"
           "VAR_INPUT IN1 : BOOL; N : INT; END_VAR\n"
           "VAR_OUTPUT Q : BOOL; CV : INT; END_VAR\n"
           "Q := IN1;\n"
           "END_FUNCTION_BLOCK\n"
           "FUNCTION F2 : INT\n"
           "VAR_INPUT A1 : INT; A2 : INT; END_VAR\n"
           "F2 := A1 - A2;\n"
           "END_FUNCTION\n";
}

/// The variables of the program unit P.
inline const char* Variables() {
    return "VAR A, B : INT; U, V : UINT; D : DINT; R, S : REAL; L : LREAL; X, Y : BOOL;\n"
           "W : WORD; T : TIME; P1, P2 : PT; C : COLOR; TAB : ARRAY[1..5] OF INT;\n"
           "M : ARRAY[1..2, 1..3] OF INT; I1 : FB1; STR : STRING; END_VAR\n";
}

/// The lines of a listing text (the leading line end of every line taken
/// off; empty lines dropped).
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at <= text.size()) {
        size_t nl = text.find('\n', at);
        std::string l = text.substr(at, nl == std::string::npos ? std::string::npos : nl - at);
        if (!l.empty()) {
            out.push_back(l);
        }
        if (nl == std::string::npos) {
            break;
        }
        at = nl + 1;
    }
    return out;
}

/// Reads back what was written to a temporary file.
inline std::string ReadBack(FILE* f) {
    std::string s;
    std::fflush(f);
    std::rewind(f);
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        s.append(buf, n);
    }
    return s;
}

/// A compiled source and its encoding.
class Encoded {
public:
    /// Compiles Declarations(), then "PROGRAM P <Variables()> body END_PROGRAM".
    explicit Encoded(const std::string& body, bool withProgram = true) {
        std::string src = Declarations();
        if (withProgram) {
            src += std::string("PROGRAM P\n") + Variables() + body + "\nEND_PROGRAM\n";
        } else {
            src += body;
        }
        TiCompOptions o(true);
        facade = std::make_unique<morval>(nullptr, nullptr, &o);
        facade->GetErrMess()->SetTextLoader(decltest::Texts);
        facade->GetErrMess()->SetCollect(true);
        testing::internal::CaptureStdout();
        parseResult = facade->Parse(src.c_str(), "enc", nullptr, nullptr, nullptr, nullptr);
        testing::internal::GetCapturedStdout();
        compileMessages = decltest::Messages(*facade->GetErrMess());
        facade->ResetErrors(nullptr);
    }

    /// Encodes the unit `name`; the listing's lines after the unit's head.
    std::vector<std::string> Listing(const char* name = "P", short* result = nullptr,
                                     int32_t* count = nullptr) {
        TiEncoder enc(facade->GetSymTabSet(), facade->GetLibrary(), facade->GetDB(),
                      facade->GetErrMess());
        FILE* f = std::tmpfile();
        EXPECT_NE(f, nullptr);
        facade->ResetErrors(nullptr);
        testing::internal::CaptureStdout();
        short rc = enc.EncodeNamed(facade->GetUnitBodies(), name, f, count);
        testing::internal::GetCapturedStdout();
        messages = decltest::Messages(*facade->GetErrMess());
        std::string text = f != nullptr ? ReadBack(f) : std::string();
        if (f != nullptr) {
            std::fclose(f);
        }
        if (result != nullptr) {
            *result = rc;
        }
        std::vector<std::string> lines = Lines(text);
        if (!lines.empty() && lines.front().rfind("(* ", 0) == 0) {
            head = lines.front();
            lines.erase(lines.begin());
        }
        return lines;
    }

    /// The location codes of the internal errors of the last encoding.
    std::vector<int> Locations() const {
        std::vector<int> out;
        for (const decltest::Msg& m : messages) {
            if (m.number == -3555) {
                out.push_back(std::atoi(m.p1.c_str()));
            }
        }
        return out;
    }

    std::unique_ptr<morval> facade;
    short parseResult = -1;
    std::vector<decltest::Msg> compileMessages;
    std::vector<decltest::Msg> messages;
    std::string head;
};

} // namespace enctest
