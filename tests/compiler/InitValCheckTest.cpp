// Initial values checked against their declared types: literals of every
// elementary type with their binary images, subranges and aliases,
// enumerators, structures and arrays with repetitions and nested lists,
// every mismatch message with its position, and the canonical text.
#include "DeclTestSupport.h"

#include <gtest/gtest.h>

using namespace decltest;

namespace {

// Types the tables below name, declared as a data-type file would.
void DeclareTypes(DeclEnv& env) {
    auto& c = *env.ctx;
    c.DeclareType(env.Name("alias"), DeclPos{}, env.Type("INT"), nullptr);
    c.DeclareType(env.Name("small"), DeclPos{},
                  c.MakeSubrangeType(env.Name("INT"), env.Range(1, 10), DeclPos{}), nullptr);
    c.DeclareType(env.Name("big"), DeclPos{},
                  c.MakeSubrangeType(env.Name("UINT"), env.Range(0, 60000), DeclPos{}), nullptr);
    c.DeclareType(env.Name("neg"), DeclPos{},
                  c.MakeSubrangeType(env.Name("SINT"), env.Range(-5, -1), DeclPos{}), nullptr);
    c.DeclareType(env.Name("color"), DeclPos{}, env.Enum({"red", "green", "blue"}), nullptr);
    c.DeclareType(env.Name("color2"), DeclPos{}, env.Type("color"), nullptr);
    c.DeclareType(env.Name("pair"), DeclPos{}, env.Struct({{"a", "INT"}, {"b", "INT"}}), nullptr);
    c.DeclareType(env.Name("rec"), DeclPos{},
                  env.Struct({{"p", "pair"}, {"k", "color"}, {"f", "BOOL"}}), nullptr);
    c.DeclareType(env.Name("a10"), DeclPos{},
                  c.MakeArraySpec(env.Dims({{1, 10}}), env.Name("INT"), DeclPos{}), nullptr);
    c.DeclareType(env.Name("m23"), DeclPos{},
                  c.MakeArraySpec(env.Dims({{1, 2}, {1, 3}}), env.Name("INT"), DeclPos{}), nullptr);
    c.DeclareType(env.Name("pairs"), DeclPos{},
                  c.MakeArraySpec(env.Dims({{0, 1}}), env.Name("pair"), DeclPos{}), nullptr);
    c.DeclareType(env.Name("colors"), DeclPos{},
                  c.MakeArraySpec(env.Dims({{1, 3}}), env.Name("color"), DeclPos{}), nullptr);
    c.DeclareType(env.Name("withArr"), DeclPos{}, env.Struct({{"n", "USINT"}, {"v", "a10"}}),
                  nullptr);
    env.Take();
}

struct Case {
    const char* name;
    const char* type;
    const char* value;
    short check;
    std::vector<Msg> messages;
    std::string image; // "" for no image expected (GetBinVal not 0) unless check passes
    std::string text;
};

void RunCases(const Case* cases, size_t n) {
    DeclEnv env;
    DeclareTypes(env);
    for (size_t i = 0; i < n; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(std::string(c.name) + ": " + c.value + " for " + c.type);
        SymAttr* t = env.Type(c.type);
        ASSERT_NE(t, nullptr);
        InitResult r = Evaluate(env, t, c.value);
        ASSERT_TRUE(r.read);
        EXPECT_EQ(r.check, c.check);
        EXPECT_EQ(r.messages, c.messages);
        if (!c.image.empty()) {
            EXPECT_EQ(r.bin, 0);
            EXPECT_EQ(r.image, c.image);
        }
        if (!c.text.empty()) {
            EXPECT_EQ(r.text, c.text);
        }
    }
}

TEST(InitValCheck, LiteralsOfEveryElementaryType) {
    const Case cases[] = {
        {"TRUE", "BOOL", "TRUE", 0, {}, "01", "TRUE"},
        {"FALSE", "BOOL", "FALSE", 0, {}, "00", "FALSE"},
        {"BOOL 1", "BOOL", "1", 0, {}, "01", "1"},
        {"BOOL 2", "BOOL", "2", -3425, {E(-3541, 1, 1, "BOOL")}, "", ""},
        {"BYTE hex", "BYTE", "16#0F", 0, {}, "0f", "16#0F"},
        {"BYTE max", "BYTE", "255", 0, {}, "ff", ""},
        {"BYTE one past", "BYTE", "256", -3424, {E(-3424, 1, 1)}, "", ""},
        {"WORD", "WORD", "16#FFFF", 0, {}, "ff ff", ""},
        {"DWORD", "DWORD", "16#0001_00FF", 0, {}, "ff 00 01 00", "16#0001_00FF"},
        {"LWORD takes no literal", "LWORD", "1", -3541, {E(-3541, 1, 1, "LWORD")}, "", ""},
        {"SINT min", "SINT", "-128", 0, {}, "80", "-128"},
        {"SINT one below", "SINT", "-129", -3424, {E(-3424, 1, 2)}, "", ""},
        {"SINT max", "SINT", "127", 0, {}, "7f", ""},
        {"SINT one past", "SINT", "128", -3424, {E(-3424, 1, 1)}, "", ""},
        {"SINT from a bit pattern", "SINT", "16#FF", 0, {}, "ff", ""},
        {"INT min", "INT", "-32768", 0, {}, "00 80", ""},
        {"INT max", "INT", "32767", 0, {}, "ff 7f", ""},
        {"INT one past", "INT", "32768", -3424, {E(-3424, 1, 1)}, "", ""},
        {"INT zero needs no buffer", "INT", "0", 0, {}, "00 00", "0"},
        {"DINT min", "DINT", "-2147483648", 0, {}, "00 00 00 80", ""},
        {"DINT with underscores", "DINT", "1_000_000", 0, {}, "40 42 0f 00", "1_000_000"},
        {"LINT", "LINT", "-1", 0, {}, "00 00 00 00 00 00 f0 bf", ""},
        {"USINT max", "USINT", "255", 0, {}, "ff", ""},
        {"USINT negative", "USINT", "-1", -3424, {E(-3424, 1, 2)}, "", ""},
        {"UINT max", "UINT", "65535", 0, {}, "ff ff", ""},
        {"UDINT max", "UDINT", "4294967295", 0, {}, "ff ff ff ff", ""},
        {"ULINT max", "ULINT", "18446744073709551615", 0, {}, "00 00 00 00 00 00 f0 43", ""},
        {"REAL", "REAL", "1.5", 0, {}, "00 00 c0 3f", "1.5"},
        {"REAL negative", "REAL", "-2.25", 0, {}, "00 00 10 c0", "-2.25"},
        {"REAL from an integer", "REAL", "3", -3415, {E(-3541, 1, 1, "REAL")}, "", ""},
        {"LREAL", "LREAL", "0.5", 0, {}, "00 00 00 00 00 00 e0 3f", ""},
        {"TIME", "TIME", "t#1s_500ms", 0, {}, "dc 05 00 00", "t#1s_500ms"},
        {"TIME from an integer", "TIME", "1500", -3410, {E(-3541, 1, 1, "TIME")}, "", ""},
        {"DATE", "DATE", "d#2003-03-05", 0, {}, "65 2e", ""},
        {"TIME_OF_DAY", "TOD", "tod#12:34:56.789", 0, {}, "95 2c b3 02", ""},
        {"DATE_AND_TIME", "DT", "dt#2003-03-05-12:34:56", 0, {}, "80 29 b3 02 65 2e 00 00", ""},
        {"STRING", "STRING", "'ab$L'", 0, {}, "61 62 0a 00", "'ab$L'"},
        {"empty STRING", "STRING", "''", 0, {}, "00", "''"},
        {"STRING for INT", "INT", "'x'", -3414, {E(-3541, 1, 1, "INT")}, "", ""},
        {"typed literal of another type", "DINT", "INT#5", -3414, {E(-3541, 1, 1, "DINT")}, "", ""},
        {"typed literal of the type", "INT", "INT#5", 0, {}, "05 00", "INT#5"},
        {"ANL_IN takes no literal", "ANL_IN", "1", -3541, {E(-3541, 1, 1, "ANL_IN")}, "", ""},
    };
    RunCases(cases, std::size(cases));
}

TEST(InitValCheck, AliasesAndSubranges) {
    const Case cases[] = {
        {"alias of INT", "alias", "7", 0, {}, "07 00", ""},
        {"alias out of range", "alias", "40000", -3424, {E(-3424, 1, 1)}, "", ""},
        {"subrange lower bound", "small", "1", 0, {}, "01 00", ""},
        {"subrange upper bound", "small", "10", 0, {}, "0a 00", ""},
        {"subrange one past", "small", "11", -3424, {E(-3424, 1, 1)}, "", ""},
        {"subrange one below", "small", "0", -3424, {E(-3424, 1, 1)}, "", ""},
        {"UINT subrange beyond 32767", "big", "50000", 0, {}, "50 c3", ""},
        {"UINT subrange one past", "big", "60001", -3424, {E(-3424, 1, 1)}, "", ""},
        {"negative subrange", "neg", "-5", 0, {}, "fb", ""},
        {"negative subrange zero", "neg", "0", -3424, {E(-3424, 1, 1)}, "", ""},
        {"subrange base range first", "small", "70000", -3424, {E(-3424, 1, 1)}, "", ""},
    };
    RunCases(cases, std::size(cases));
}

TEST(InitValCheck, Enumerators) {
    const Case cases[] = {
        {"first value", "color", "red", 0, {}, "00 00", "red"},
        {"other value", "color", "blue", 0, {}, "02 00", "blue"},
        {"written in another case", "color", "GREEN", 0, {}, "01 00", "GREEN"},
        {"through an alias", "color2", "green", 0, {}, "01 00", ""},
        {"no such value", "color", "purple", -3472, {E(-3472, 1, 1, "color", "purple")}, "", ""},
        {"a number", "color", "1", -3538, {E(-3538, 1, 1, "color")}, "", ""},
        {"name for a number type", "INT", "red", -3537, {E(-3537, 1, 1, "red")}, "", ""},
        {"list for an enumeration", "color", "[red]", -3538, {E(-3538, 1, 1, "color")}, "", ""},
        {"array of enumerators",
         "colors",
         "[blue, 2(green)]",
         0,
         {},
         "02 00 01 00 01 00",
         "[blue, 2 (green)]"},
    };
    RunCases(cases, std::size(cases));
}

TEST(InitValCheck, Structures) {
    const Case cases[] = {
        {"(b := 2)", "pair", "(b := 2)", 0, {}, "00 00 02 00", "(b := 2)"},
        {"both in reverse order", "pair", "(b:=2,a:=1)", 0, {}, "01 00 02 00", "(b := 2, a := 1)"},
        {"empty", "pair", "()", 0, {}, "00 00 00 00", "()"},
        {"nested",
         "rec",
         "(p := (b := 5), k := blue, f := TRUE)",
         0,
         {},
         "00 00 05 00 02 00 01",
         "(p := (b := 5), k := blue, f := TRUE)"},
        {"component names ignore case", "pair", "(A := 3)", 0, {}, "03 00 00 00", ""},
        {"unknown component", "pair", "(c := 1)", -3472, {E(-3472, 1, 2, "pair", "c")}, "", ""},
        {"component twice", "pair", "(a := 1, a := 2)", -3465, {E(-3465, 1, 10, "a")}, "", ""},
        {"value without name", "pair", "(1, b := 2)", -3540, {E(-3540, 1, 2, "pair")}, "", ""},
        {"wrong component value", "pair", "(a := 'x')", -3414, {E(-3541, 1, 7, "INT")}, "", ""},
        {"several errors reported",
         "pair",
         "(c := 1, a := 70000)",
         -3472,
         {E(-3472, 1, 2, "pair", "c"), E(-3424, 1, 15)},
         "",
         ""},
        {"array list for a structure", "pair", "[1, 2]", -3511, {E(-3511, 1, 1, "(")}, "", ""},
        {"literal for a structure", "pair", "1", -3511, {E(-3511, 1, 1, "(")}, "", ""},
        {"structure list for a number", "INT", "(a := 1)", -3541, {E(-3541, 1, 1, "INT")}, "", ""},
        {"structure with an array component",
         "withArr",
         "(n := 1, v := [2(3), 8(4)])",
         0,
         {},
         "01 03 00 03 00 04 00 04 00 04 00 04 00 04 00 04 00 04 00 04 00",
         ""},
    };
    RunCases(cases, std::size(cases));
}

TEST(InitValCheck, Arrays) {
    const Case cases[] = {
        {"[3(1, 2), 4(0)]",
         "a10",
         "[3(1, 2), 4(0)]",
         0,
         {},
         "01 00 02 00 01 00 02 00 01 00 02 00 00 00 00 00 00 00 00 00",
         "[3 (1, 2), 4 (0)]"},
        {"exactly full",
         "a10",
         "[10(7)]",
         0,
         {},
         "07 00 07 00 07 00 07 00 07 00 07 00 07 00 07 00 07 00 07 00",
         ""},
        {"[11(0)] one past", "a10", "[11(0)]", -3536, {E(-3536, 1, 2)}, "", ""},
        {"eleven elements", "a10", "[0,1,2,3,4,5,6,7,8,9,10]", -3536, {E(-3536, 1, 22)}, "", ""},
        {"[0(5)]", "a10", "[0(5)]", -3534, {E(-3534, 1, 2)}, "", ""},
        {"[1(5), 9(0)] warns",
         "a10",
         "[1(5), 9(0)]",
         0,
         {W(-3535, 1, 2)},
         "05 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
         "[1 (5), 9 (0)]"},
        {"fewer elements", "a10", "[1, 2]", 0, {}, "01 00 02 00", "[1, 2]"},
        {"empty list", "a10", "[]", 0, {}, "", "[]"},
        {"nested repetition",
         "a10",
         "[2(2(1), 3)]",
         0,
         {},
         "01 00 01 00 03 00 01 00 01 00 03 00",
         "[2 (2 (1), 3)]"},
        {"count not UDINT", "a10", "[4294967296(0)]", -3424, {E(-3424, 1, 2)}, "", ""},
        {"element out of range", "a10", "[1, 40000]", -3424, {E(-3424, 1, 5)}, "", ""},
        {"nested lists",
         "m23",
         "[[1, 2, 3], [4, 5, 6]]",
         0,
         {},
         "01 00 02 00 03 00 04 00 05 00 06 00",
         "[[1, 2, 3], [4, 5, 6]]"},
        {"flat list",
         "m23",
         "[1, 2, 3, 4, 5, 6]",
         0,
         {},
         "01 00 02 00 03 00 04 00 05 00 06 00",
         ""},
        {"short nested lists",
         "m23",
         "[[1, 2], [3]]",
         0,
         {},
         "01 00 02 00 00 00 03 00 00 00 00 00",
         "[[1, 2], [3]]"},
        {"repeated nested list",
         "m23",
         "[2([1, 2, 3])]",
         0,
         {},
         "01 00 02 00 03 00 01 00 02 00 03 00",
         ""},
        {"misaligned nested list", "m23", "[1, [2, 3, 4]]", -3539, {E(-3539, 1, 5, "m23")}, "", ""},
        {"nested list too long", "m23", "[[1, 2, 3, 4]]", -3536, {E(-3536, 1, 12)}, "", ""},
        {"third nested list", "m23", "[[1], [2], [3]]", -3536, {E(-3536, 1, 12)}, "", ""},
        {"structures", "pairs", "[(a := 1), (b := 2)]", 0, {}, "01 00 00 00 00 00 02 00", ""},
        {"literal for an array", "a10", "5", -3511, {E(-3511, 1, 1, "[")}, "", ""},
        {"structure list for an array", "a10", "(a := 1)", -3511, {E(-3511, 1, 1, "[")}, "", ""},
        {"array list for a number", "INT", "[1]", -3541, {E(-3541, 1, 1, "INT")}, "", ""},
        {"nested list in a one-dimensional array",
         "a10",
         "[[1]]",
         -3539,
         {E(-3539, 1, 2, "a10")},
         "",
         ""},
    };
    RunCases(cases, std::size(cases));
}

// The image never runs past the buffer: a buffer too small gives 3 and the
// size needed; no buffer and no check also fail cleanly.
TEST(InitValImage, BufferBoundaries) {
    DeclEnv env;
    DeclareTypes(env);
    InitValReader reader(&env.sink, env.set.get());
    TiInitValSpec* v = reader.Read("[3(1, 2), 4(0)]");
    ASSERT_NE(v, nullptr);
    char buf[32];
    unsigned short len = sizeof buf;
    EXPECT_EQ(v->GetBinVal(buf, &len), initval::BIN_NO_TYPE);
    ASSERT_EQ(v->Check(env.Type("a10"), &env.sink), 0);
    struct Case {
        unsigned short cap;
        short result;
        unsigned short len;
    } cases[] = {{0, 3, 20}, {19, 3, 20}, {20, 0, 20}, {32, 0, 20}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cap);
        std::memset(buf, 0x55, sizeof buf);
        len = c.cap;
        EXPECT_EQ(v->GetBinVal(buf, &len), c.result);
        EXPECT_EQ(len, c.len);
        for (size_t i = c.result == 0 ? 20 : 0; i < sizeof buf; ++i) {
            ASSERT_EQ(static_cast<unsigned char>(buf[i]), 0x55) << i;
        }
    }
    EXPECT_EQ(v->GetBinVal(nullptr, &len), initval::BIN_TOO_SMALL);
    EXPECT_EQ(v->GetBinVal(buf, nullptr), initval::BIN_TOO_SMALL);
    TiDelInitValSpecList(v);
}

// The repetition's count converts to UDINT and becomes the record's type.
TEST(InitValCheck, RepetitionCountType) {
    DeclEnv env;
    DeclareTypes(env);
    InitValReader reader(&env.sink, env.set.get());
    TiInitValSpec* v = reader.Read("[3(1, 2), 4(0)]");
    ASSERT_EQ(v->Check(env.Type("a10"), &env.sink), 0);
    TiInitValSpec* rep = v->GetSublist();
    ASSERT_NE(rep, nullptr);
    EXPECT_EQ(rep->GetKind(), initval::KIND_REPEAT);
    ASSERT_NE(rep->GetType(), nullptr);
    EXPECT_EQ(rep->GetType()->GetID(), -16);
    uint32_t count = 0;
    EXPECT_TRUE(rep->GetRepCount(&count));
    EXPECT_EQ(count, 3u);
    EXPECT_STREQ(rep->GetLiteral(), "3");
    EXPECT_EQ(rep->GetNext()->GetPrev(), rep);
    TiDelInitValSpecList(v);
}

} // namespace
