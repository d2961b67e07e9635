// Test helper: a message sink with texts fixed by the tests (so formatting
// can be compared byte for byte whatever the wording of the real table) that
// collects every message, and readers for what it collected.
#pragma once

#include "compiler/ErrMess.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace testsink {

/// Texts: the prefixes carry a visible marker; the internal error and the
/// out-of-memory message print their parameters; every other message number
/// n that the tests use prints "M<n>" followed by its parameters as listed.
inline int Texts(unsigned id, char* buf, int max) {
    const char* t = nullptr;
    switch (id) {
    case 3401: t = "%s(%d,%d): W: "; break;
    case 3402: t = "%s(%d,%d): E: "; break;
    case 3403: t = "W: "; break;
    case 3404: t = "E: "; break;
    case 3406: t = "nomem %s %d"; break;
    case 3409: t = "too many errors"; break;
    case 1717: t = "too many warnings"; break;
    case 3555: t = "internal %d %s %d %s"; break;
    case 3495: t = "M3495 %d %d"; break;
    case 3511: t = "M3511 %s"; break;
    case 3575: t = "M3575 %s"; break;
    case 3603: t = "M3603 %s"; break;
    case 9999: return 0; // a number without text
    default: break;
    }
    char tmp[32];
    if (t == nullptr) {
        std::snprintf(tmp, sizeof tmp, "M%u", id);
        t = tmp;
    }
    std::snprintf(buf, static_cast<size_t>(max), "%s", t);
    return static_cast<int>(std::strlen(buf));
}

/// Configures a sink for the tests: fixed texts, collecting.
inline void Prepare(ErrMess& sink) {
    sink.SetTextLoader(Texts);
    sink.SetCollect(true);
}

/// The collected lines in order.
inline std::vector<std::string> Lines(const ErrMess& sink) {
    std::vector<std::string> out;
    for (const ErrDesc* d = sink.GetCollected(); d != nullptr; d = d->next) {
        out.emplace_back(d->text);
    }
    return out;
}

/// The location codes of the collected internal errors ("E: internal <code> ...").
inline std::vector<int> InternalCodes(const ErrMess& sink) {
    std::vector<int> out;
    for (const ErrDesc* d = sink.GetCollected(); d != nullptr; d = d->next) {
        int code = 0;
        if (d->severity == errmess::SEV_INTERNAL &&
            std::sscanf(d->text, "E: internal %d", &code) == 1) {
            out.push_back(code);
        }
    }
    return out;
}

} // namespace testsink
