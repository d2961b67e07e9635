// Helpers of the literal scanner tests: run the ts_scan/ts_parse pair on a
// text and copy out what a test compares (status, positions, constant).
#pragma once

#include "base/IEC_CONSTANT.h"
#include "base/ts_parse.h"

#include <cstring>
#include <string>
#include <vector>

namespace tstest {

/// What one parse of a literal left behind.
struct Parsed {
    int result = -1;      ///< tsparse result
    short err = 0;        ///< first status
    short errPos = 0;
    short consumed = 0;
    uint16_t flags = 0;
    short typeId = 0;
    double number = 0.0;  ///< integer (as double) or real value
    bool digitOk = false; ///< the integer read out as a double without error
    uint32_t u32 = 0;     ///< TIME or TIME_OF_DAY milliseconds
    uint16_t date = 0;
    IEC_DT dt{};
    std::string str;      ///< decoded string
    bool hasStr = false;
    std::string rest;     ///< text after the literal
};

/// Parses `text` as one literal with a fresh constant, in `mode`.
inline Parsed Parse(const std::string& text, short mode = 0, int depth = ts_parse::kDefaultDepth) {
    std::vector<char> buf(text.begin(), text.end());
    buf.push_back(0);
    IEC_CONSTANT c;
    ts_scan s;
    ts_parse p(depth);
    s.tsreset(buf.data(), c, mode);
    p.tsreset();
    Parsed r;
    r.result = p.tsparse(&s);
    r.err = s.ErrStatus();
    r.errPos = s.ErrPos();
    r.consumed = s.Consumed();
    r.flags = c.flags;
    r.typeId = c.typeId;
    if (c.flags & iec::CONST_INTEGER) {
        r.digitOk = c.value.digit.GetDoubleVal(&r.number) == 0;
    } else if (c.flags & iec::CONST_REAL) {
        r.number = c.value.dbl;
    }
    r.u32 = c.value.time;
    r.date = c.value.date;
    r.dt = c.value.dt;
    if ((c.flags & iec::CONST_STRING) && c.value.str != nullptr) {
        r.hasStr = true;
        r.str = c.value.str;
    }
    r.rest = s.Cur() != nullptr ? std::string(s.Cur()) : std::string();
    return r;
}

/// The tokens of `text` up to and including the first 0 (at most `max`).
inline std::vector<short> Tokens(const std::string& text, short mode = 0, size_t max = 64) {
    std::vector<char> buf(text.begin(), text.end());
    buf.push_back(0);
    IEC_CONSTANT c;
    ts_scan s;
    s.tsreset(buf.data(), c, mode);
    std::vector<short> out;
    for (size_t i = 0; i < max; ++i) {
        TSSTYPE v;
        short t = s.tslex(v);
        void* str = v.str;
        if (t == TS_STRING) {
            s.DiscardToken(t, &str);
        }
        out.push_back(t);
        if (t == TS_END) {
            break;
        }
    }
    return out;
}

} // namespace tstest
