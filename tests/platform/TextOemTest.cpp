// ANSI/OEM conversion: CharToOemA and OemToCharA between Windows-1252 and
// code page 850, with best-fit look-alikes and in-place use.
#include "platform/LastError.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct ByteCase {
    const char* name;
    unsigned char from;
    unsigned char to;
};

unsigned char AnsiToOem(unsigned char b) {
    char buf[2] = {static_cast<char>(b), 0};
    EXPECT_TRUE(CharToOemA(buf, buf));
    return static_cast<unsigned char>(buf[0]);
}

unsigned char OemToAnsi(unsigned char b) {
    char buf[2] = {static_cast<char>(b), 0};
    EXPECT_TRUE(OemToCharA(buf, buf));
    return static_cast<unsigned char>(buf[0]);
}

// Windows-1252 characters that code page 850 lacks (the undefined bytes
// included); every other byte has an exact counterpart.
bool AnsiMissingFromOem(unsigned char b) {
    return b >= 0x80 && b <= 0x9F && b != 0x83;
}

// Code page 850 characters that Windows-1252 lacks: the shades, blocks and
// box-drawing characters, the dotless i, the double low line, the black square.
bool OemMissingFromAnsi(unsigned char b) {
    static const std::string missing = "\xB0\xB1\xB2\xB3\xB4\xB9\xBA\xBB\xBC\xBF\xC0\xC1\xC2\xC3"
                                       "\xC4\xC5\xC8\xC9\xCA\xCB\xCC\xCD\xCE\xD5\xD9\xDA\xDB\xDC"
                                       "\xDF\xF2\xFE";
    return missing.find(static_cast<char>(b)) != std::string::npos;
}

TEST(TextOem, LettersOemHas) {
    const ByteCase cases[] = {
        {"nul", 0x00, 0x00},         {"control", 0x1B, 0x1B},        {"ascii letter", 'A', 'A'},
        {"del", 0x7F, 0x7F},         {"a umlaut", 0xE4, 0x84},       {"o umlaut", 0xF6, 0x94},
        {"u umlaut", 0xFC, 0x81},    {"A umlaut", 0xC4, 0x8E},       {"O umlaut", 0xD6, 0x99},
        {"U umlaut", 0xDC, 0x9A},    {"sharp s", 0xDF, 0xE1},        {"e acute", 0xE9, 0x82},
        {"E acute", 0xC9, 0x90},     {"e grave", 0xE8, 0x8A},        {"a grave", 0xE0, 0x85},
        {"c cedilla", 0xE7, 0x87},   {"n tilde", 0xF1, 0xA4},        {"y diaeresis", 0xFF, 0x98},
        {"florin", 0x83, 0x9F},      {"no-break space", 0xA0, 0xFF}, {"section sign", 0xA7, 0xF5},
        {"degree sign", 0xB0, 0xF8}, {"micro sign", 0xB5, 0xE6},     {"middle dot", 0xB7, 0xFA},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(AnsiToOem(c.from), c.to);
        EXPECT_EQ(OemToAnsi(c.to), c.from);
    }
}

TEST(TextOem, AnsiBestFit) {
    const ByteCase cases[] = {
        {"euro", 0x80, 'E'},
        {"undefined 0x81", 0x81, '?'},
        {"single low quote", 0x82, ','},
        {"double low quote", 0x84, '"'},
        {"ellipsis", 0x85, '.'},
        {"dagger", 0x86, '+'},
        {"double dagger", 0x87, '+'},
        {"circumflex", 0x88, '^'},
        {"per mille", 0x89, '%'},
        {"S caron", 0x8A, 'S'},
        {"left angle quote", 0x8B, '<'},
        {"OE", 0x8C, 'O'},
        {"undefined 0x8D", 0x8D, '?'},
        {"Z caron", 0x8E, 'Z'},
        {"undefined 0x8F", 0x8F, '?'},
        {"undefined 0x90", 0x90, '?'},
        {"left single quote", 0x91, '\''},
        {"right single quote", 0x92, '\''},
        {"left double quote", 0x93, '"'},
        {"right double quote", 0x94, '"'},
        {"bullet to middle dot", 0x95, 0xFA},
        {"en dash", 0x96, '-'},
        {"em dash", 0x97, '-'},
        {"small tilde", 0x98, '~'},
        {"trade mark", 0x99, '?'},
        {"s caron", 0x9A, 's'},
        {"right angle quote", 0x9B, '>'},
        {"oe", 0x9C, 'o'},
        {"undefined 0x9D", 0x9D, '?'},
        {"z caron", 0x9E, 'z'},
        {"Y diaeresis", 0x9F, 'Y'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(AnsiToOem(c.from), c.to);
    }
}

TEST(TextOem, OemBestFit) {
    const ByteCase cases[] = {
        {"light shade", 0xB0, '?'},
        {"medium shade", 0xB1, '?'},
        {"dark shade", 0xB2, '?'},
        {"light vertical", 0xB3, '|'},
        {"light vertical and left", 0xB4, '+'},
        {"double vertical and left", 0xB9, '+'},
        {"double vertical", 0xBA, '|'},
        {"double down and left", 0xBB, '+'},
        {"double up and left", 0xBC, '+'},
        {"light down and left", 0xBF, '+'},
        {"light up and right", 0xC0, '+'},
        {"light up and horizontal", 0xC1, '+'},
        {"light down and horizontal", 0xC2, '+'},
        {"light vertical and right", 0xC3, '+'},
        {"light horizontal", 0xC4, '-'},
        {"light cross", 0xC5, '+'},
        {"double up and right", 0xC8, '+'},
        {"double down and right", 0xC9, '+'},
        {"double up and horizontal", 0xCA, '+'},
        {"double down and horizontal", 0xCB, '+'},
        {"double vertical and right", 0xCC, '+'},
        {"double horizontal", 0xCD, '='},
        {"double cross", 0xCE, '+'},
        {"dotless i", 0xD5, 'i'},
        {"light up and left", 0xD9, '+'},
        {"light down and right", 0xDA, '+'},
        {"full block", 0xDB, '?'},
        {"lower half block", 0xDC, '?'},
        {"upper half block", 0xDF, '?'},
        {"double low line", 0xF2, '_'},
        {"black square", 0xFE, '?'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(OemToAnsi(c.from), c.to);
    }
}

TEST(TextOem, EveryByteRoundTripsWhereBothHaveIt) {
    for (int b = 0; b < 256; ++b) {
        SCOPED_TRACE(b);
        auto byte = static_cast<unsigned char>(b);
        if (!AnsiMissingFromOem(byte)) {
            EXPECT_EQ(OemToAnsi(AnsiToOem(byte)), byte);
        }
        if (!OemMissingFromAnsi(byte)) {
            EXPECT_EQ(AnsiToOem(OemToAnsi(byte)), byte);
        }
    }
}

TEST(TextOem, Strings) {
    struct Case {
        const char* name;
        std::string ansi;
        std::string oem;
    };
    const Case cases[] = {
        {"empty", "", ""},
        {"ascii", "Motor_1 := 5;", "Motor_1 := 5;"},
        {"german",
         "Gr\xF6\xDF"
         "e \xC4nderung",
         "Gr\x94\xE1"
         "e \x8E"
         "nderung"},
        {"quotes and dash",
         "\x93"
         "ab\x94 \x96 \x85",
         "\"ab\" - ."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string oem(c.ansi.size() + 1, 'X');
        EXPECT_TRUE(CharToOemA(c.ansi.c_str(), oem.data()));
        EXPECT_EQ(std::string(oem.c_str()), c.oem);
        EXPECT_EQ(oem.size(), c.ansi.size() + 1); // nothing beyond the terminator
    }
}

TEST(TextOem, InPlaceAndOverlapping) {
    char same[] = "\xE4\xF6\xFC\x96";
    EXPECT_TRUE(CharToOemA(same, same));
    EXPECT_EQ(std::string(same), "\x84\x94\x81-");
    EXPECT_TRUE(OemToCharA(same, same));
    EXPECT_EQ(std::string(same), "\xE4\xF6\xFC-");

    // Destination one byte into the source: every source byte is read before
    // it is overwritten.
    char shifted[8] = "\xC4\xD6\xDC";
    EXPECT_TRUE(CharToOemA(shifted, shifted + 1));
    EXPECT_EQ(std::string(shifted + 1), "\x8E\x99\x9A");

    // Destination before the source.
    char ahead[8] = "x\x84\x94\x81";
    EXPECT_TRUE(OemToCharA(ahead + 1, ahead));
    EXPECT_EQ(std::string(ahead), "\xE4\xF6\xFC");
}

TEST(TextOem, NullArguments) {
    char buf[4] = "abc";
    struct Case {
        const char* name;
        const char* src;
        char* dst;
    };
    const Case cases[] = {
        {"null source", nullptr, buf},
        {"null destination", "abc", nullptr},
        {"both null", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(CharToOemA(c.src, c.dst));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(OemToCharA(c.src, c.dst));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    EXPECT_EQ(std::string(buf), "abc");
}

} // namespace
