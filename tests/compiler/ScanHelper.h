// Test helper: runs the source scanner over a text (or through a line
// reader) to the end of input and records every token with its value,
// position and text, and every message the scanner reported.
#pragma once

#include "base/TiCompOptions.h"
#include "compiler/SymTabSet.h"
#include "compiler/TiScanner.h"
#include "tests/compiler/TestSink.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

struct ScannedToken {
    short token;
    std::string text; // the value's name, the literal's text, or "" for none
    uint16_t row, col, len;
    SymAttr* sym;
};

/// A compiler-like environment: table set, sink with fixed texts, options.
class ScanEnv {
public:
    ScanEnv() : set(151, nullptr, &sink), opts(true) {
        testsink::Prepare(sink);
        // One message per position: the sink's own limits stay out of the way.
        sink.SetLimits(0, 0);
    }

    /// Scans `text` to the end (at most `maxTokens`), releasing literal
    /// records. Returns the tokens without the final 0.
    std::vector<ScannedToken> Scan(const char* text, size_t maxTokens = 100000,
                                   TiScanner** keep = nullptr) {
        short st = -1;
        TiScanner* s = new TiScanner(text, &set, &sink, &opts, 0, 0, &st);
        EXPECT_EQ(st, 0);
        auto out = Drain(*s, maxTokens);
        if (keep != nullptr) {
            *keep = s;
        } else {
            delete s;
        }
        return out;
    }

    std::vector<ScannedToken> Drain(TiScanner& s, size_t maxTokens = 100000) {
        std::vector<ScannedToken> out;
        testing::internal::CaptureStdout();
        for (size_t i = 0; i < maxTokens; ++i) {
            TokenValue v;
            short t = s.lex(&v);
            if (t == 0) {
                reachedEnd = true;
                break;
            }
            ScannedToken st{t, "", s.GetTokenRow(), s.GetTokenCol(), s.GetTokenLength(), v.sym};
            if (v.text != nullptr) {
                st.text = v.text;
            } else if (v.sym != nullptr && v.sym->GetName() != nullptr) {
                st.text = v.sym->GetName();
            }
            out.push_back(st);
            s.DiscardLiteral(t, &v);
        }
        stdoutText = testing::internal::GetCapturedStdout();
        return out;
    }

    /// The token numbers only.
    static std::vector<short> Tokens(const std::vector<ScannedToken>& v) {
        std::vector<short> out;
        for (auto& t : v) {
            out.push_back(t.token);
        }
        return out;
    }

    /// Messages as "code@row:col".
    std::vector<std::string> Messages() const {
        std::vector<std::string> out;
        for (const ErrDesc* d = sink.GetCollected(); d != nullptr; d = d->next) {
            std::string t = d->text;
            // "E: M3553" -> "-3553"; "W: M1718" -> "1718"; "E: internal 833 ..." -> "-3555"
            std::string code;
            size_t m = t.find(": M");
            if (t.find("internal") != std::string::npos) {
                code = "-3555";
            } else if (t.find("nomem") != std::string::npos) {
                code = "-3406";
            } else if (m != std::string::npos) {
                size_t e = t.find_first_not_of("0123456789", m + 3);
                code = (d->severity == errmess::SEV_WARNING ? "" : "-") +
                       t.substr(m + 3, e == std::string::npos ? std::string::npos : e - m - 3);
            }
            out.push_back(code + "@" + std::to_string(d->line) + ":" + std::to_string(d->col));
        }
        return out;
    }

    ErrMess sink;
    SymTabSet set;
    TiCompOptions opts;
    bool reachedEnd = false;
    std::string stdoutText;
};
