// The lenient retry of TiLitScan (flags value 2) for each target family:
// corrected values, the canonical or corrected text written back only where
// it fits, and the caller's own error when the retry fails.
#include "base/IecTypeIds.h"
#include "base/TiLitScan.h"
#include "base/TiLitStatus.h"
#include "base/ts_scan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace iec;

namespace {

// A caller's buffer: the text, its terminator, then `room` marker bytes.
struct Buffer {
    std::vector<char> bytes;
    size_t length;
    Buffer(const std::string& text, size_t room) : bytes(text.size() + 1 + room, '#'), length(text.size()) {
        std::memcpy(bytes.data(), text.c_str(), text.size() + 1);
    }
    char* data() { return bytes.data(); }
    std::string text() const { return std::string(bytes.data()); }
    bool markersIntact(size_t from) const {
        for (size_t i = from; i < bytes.size(); ++i) {
            if (bytes[i] != '#') {
                return false;
            }
        }
        return true;
    }
};

struct Case {
    const char* text;
    short status;
    uint64_t value;         // the output's bytes, little endian
    const char* withRoom;   // the text after the scan with room announced
};

template <typename T>
void CheckRetry(short (TiLitScan::*fn)(char*, T*), const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        // Without announced room: nothing beyond the caller's text changes,
        // and the text changes only when the corrected text fits it.
        {
            TiLitScan s;
            s.flags = TI_LITSCAN_LENIENT;
            Buffer b(c.text, 16);
            T out{};
            EXPECT_EQ((s.*fn)(b.data(), &out), c.status);
            uint64_t bits = 0;
            std::memcpy(&bits, &out, sizeof(T) < 8 ? sizeof(T) : 8);
            EXPECT_EQ(bits, c.value);
            EXPECT_TRUE(b.markersIntact(b.length + 1));
            std::string after = b.text();
            EXPECT_TRUE(after == c.text || (after == c.withRoom && after.size() <= b.length));
        }
        // With room: the corrected text is written back.
        {
            TiLitScan s;
            s.flags = TI_LITSCAN_LENIENT;
            Buffer b(c.text, 40);
            s.SetTextCapacity(static_cast<unsigned short>(b.bytes.size()));
            T out{};
            EXPECT_EQ((s.*fn)(b.data(), &out), c.status);
            EXPECT_EQ(b.text(), c.withRoom);
        }
    }
}

} // namespace

TEST(LitScanRetry, Time) {
    CheckRetry<uint32_t>(&TiLitScan::ScanTIME, {
        {"T#1h", 0, 3600000, "T#1h"},               // no retry needed: text unchanged
        {"1h", 0, 3600000, "t#1h"},
        {"T#1H", 0, 3600000, "t#1h"},
        {"TIME#1H30M", 0, 5400000, "t#1h_30m"},
        {"1h70m", 0, 7800000, "t#2h_10m"},           // accepted in mode 8
        {"  90m", 0, 5400000, "t#1h_30m"},
        {"1.5s", 0, 1500, "t#1s_500ms"},
        {"T#1x", LIT_TIME_REQUIRED, 0, "T#1x"},      // the caller's own error
        {"1x", LIT_BAD_DECIMAL_DIGIT, 0, "1x"},
        {"x", LIT_TIME_REQUIRED, 0, "x"},
        {"", LIT_NOT_A_LITERAL, 0, ""},
    });
}

TEST(LitScanRetry, Date) {
    CheckRetry<unsigned short>(&TiLitScan::ScanDATE, {
        {"2000-02-29", 0, PackDate(2000, 2, 29), "d#2000-02-29"},
        {"D#2000-2-9", 0, PackDate(2000, 2, 9), "D#2000-2-9"},     // valid as it is
        {"Date#2000-2-9", 0, PackDate(2000, 2, 9), "d#2000-02-09"},
        {"49-1-1", 0, PackDate(2049, 1, 1), "d#2049-01-01"},
        {"99-1-1", 0, PackDate(1999, 1, 1), "d#1999-01-01"},
        {"50-1-1", LIT_PREFIX_NOT_APPLICABLE, 0, "50-1-1"},          // 1950: no date
        {"2001-02-29", LIT_PREFIX_NOT_APPLICABLE, 0, "2001-02-29"},
    });
}

TEST(LitScanRetry, TimeOfDayAndDateAndTime) {
    CheckRetry<uint32_t>(&TiLitScan::ScanTOD, {
        {"12:30", 0, 45000000, "tod#12:30:00"},
        {"TOD#12:30", 0, 45000000, "tod#12:30:00"},
        {"12:30:15.5", 0, 45015500, "tod#12:30:15.500"},
        {"25:00:00", 0, 90000000, "tod#25:00:00"},
        {"TOD#x", LIT_TOD_REQUIRED, 0, "TOD#x"},
    });
    CheckRetry<IEC_DT>(&TiLitScan::ScanDT, {
        {"2000-01-01-12:30:00", 0, (uint64_t{PackDate(2000, 1, 1)} << 32) | 45000000u,
         "dt#2000-01-01-12:30:00"},
        {"DT#2000-01-01-12:30", 0, (uint64_t{PackDate(2000, 1, 1)} << 32) | 45000000u,
         "dt#2000-01-01-12:30:00"},
        {"DT#2000-01-01", LIT_DT_REQUIRED, 0, "DT#2000-01-01"},
    });
}

TEST(LitScanRetry, Reals) {
    float one = 5.0f;
    uint32_t fiveBits;
    std::memcpy(&fiveBits, &one, 4);
    float minus = -5.0f;
    uint32_t minusBits;
    std::memcpy(&minusBits, &minus, 4);
    float big = 100000.0f;
    uint32_t bigBits;
    std::memcpy(&bigBits, &big, 4);
    CheckRetry<float>(&TiLitScan::ScanREAL, {
        {"5", 0, fiveBits, "5.0"},
        {"-5", 0, minusBits, "-5.0"},
        {"real#5", 0, fiveBits, "REAL#5.0"},
        {"REAL#5", 0, fiveBits, "REAL#5.0"},
        {"1e5", 0, bigBits, "1.0e5"},
        {"5x", LIT_BAD_DECIMAL_DIGIT, 0, "5x"},
        {"x", LIT_REAL_REQUIRED, 0, "x"},
    });
    double d = 5.0;
    uint64_t dBits;
    std::memcpy(&dBits, &d, 8);
    CheckRetry<double>(&TiLitScan::ScanLREAL, {
        {"5", 0, dBits, "5.0"},
        {"lreal#5", 0, dBits, "LREAL#5.0"},
        {"5_", LIT_BAD_DECIMAL_DIGIT, 0, "5_"},
    });
}

TEST(LitScanRetry, Bool) {
    CheckRetry<unsigned char>(&TiLitScan::ScanBOOL, {
        {"true", 0, 1, "TRUE"},
        {"False", 0, 0, "FALSE"},
        {"bool#1", 0, 1, "BOOL#1"},
        {"bool#0", 0, 0, "BOOL#0"},
        {"TRUE", 0, 1, "TRUE"},
        {"bool#true", LIT_PREFIX_NOT_APPLICABLE, 0, "bool#true"},
        {"yes", LIT_BITSTRING_REQUIRED, 0, "yes"},
        {"2", LIT_BOOL_RANGE, 1, "2"},
        {"truex", LIT_BITSTRING_REQUIRED, 0, "truex"},
    });
}

TEST(LitScanRetry, OtherTargets) {
    CheckRetry<short>(&TiLitScan::ScanINT, {
        {"int#5", 0, 5, "INT#5"},
        {"Int#-5", 0, 0xFFFB, "INT#-5"},
        {"int#40000", LIT_PREFIX_NOT_APPLICABLE, 0, "int#40000"},
        {"5x", LIT_BAD_DECIMAL_DIGIT, 0, "5x"},
    });
    CheckRetry<uint32_t>(&TiLitScan::ScanDWORD, {
        {"dword#16#ff", 0, 255, "DWORD#16#FF"},
    });
    CheckRetry<char*>(&TiLitScan::ScanSTRING, {
        {"abc", LIT_STRING_REQUIRED, 0, "abc"},
    });
}

// Texts longer than 250 characters get no retry.
TEST(LitScanRetry, LongTextsAreNotRetried) {
    for (size_t blanks : {size_t(247), size_t(248), size_t(300)}) {
        SCOPED_TRACE(blanks);
        std::string text = std::string(blanks, ' ') + "1h";
        TiLitScan s;
        s.flags = TI_LITSCAN_LENIENT;
        Buffer b(text, 40);
        s.SetTextCapacity(static_cast<unsigned short>(b.bytes.size()));
        uint32_t out = 0;
        short st = s.ScanTIME(b.data(), &out);
        if (text.size() <= static_cast<size_t>(TiLitScan::kRetryMax)) {
            EXPECT_EQ(st, 0);
            EXPECT_EQ(out, 3600000u);
            EXPECT_EQ(b.text(), "t#1h");
        } else {
            EXPECT_EQ(st, LIT_BAD_DECIMAL_DIGIT);
            EXPECT_EQ(b.text(), text);
        }
    }
}

// After a retry the status and the accepted length are those of the text
// that decided the outcome.
TEST(LitScanRetry, StatusAfterRetry) {
    TiLitScan s;
    s.flags = TI_LITSCAN_LENIENT;
    Buffer ok("1h", 8);
    uint32_t out = 0;
    EXPECT_EQ(s.ScanTIME(ok.data(), &out), 0);
    short code = 1;
    char* text = nullptr;
    s.ReturnCurError(&code, &text);
    EXPECT_EQ(code, 0);

    Buffer bad("T#1x", 8);
    EXPECT_EQ(s.ScanTIME(bad.data(), &out), LIT_TIME_REQUIRED);
    s.ReturnCurError(&code, &text);
    EXPECT_EQ(code, LIT_TIME_REQUIRED);
    EXPECT_EQ(s.AcceptedLen(), 4);
}
