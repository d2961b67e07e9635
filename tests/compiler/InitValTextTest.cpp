// Canonical text of binary values (TiValToAsciiSpec): every kind of type,
// repetitions for runs of equal elements, the failures and the buffer
// boundaries; and the round trip text -> initial value -> image for values
// of every kind, which must give back the same image.
#include "DeclTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace decltest;

namespace {

void DeclareTypes(DeclEnv& env) {
    auto& c = *env.ctx;
    c.DeclareType(env.Name("small"), DeclPos{},
                  c.MakeSubrangeType(env.Name("INT"), env.Range(1, 10), DeclPos{}), nullptr);
    c.DeclareType(env.Name("big"), DeclPos{},
                  c.MakeSubrangeType(env.Name("UINT"), env.Range(0, 60000), DeclPos{}), nullptr);
    c.DeclareType(env.Name("color"), DeclPos{}, env.Enum({"red", "green", "blue"}), nullptr);
    c.DeclareType(env.Name("pair"), DeclPos{}, env.Struct({{"a", "INT"}, {"b", "INT"}}), nullptr);
    c.DeclareType(env.Name("rec"), DeclPos{},
                  env.Struct({{"p", "pair"}, {"k", "color"}, {"f", "BOOL"}}), nullptr);
    c.DeclareType(env.Name("a4"), DeclPos{},
                  c.MakeArraySpec(env.Dims({{1, 4}}), env.Name("INT"), DeclPos{}), nullptr);
    c.DeclareType(env.Name("m23"), DeclPos{},
                  c.MakeArraySpec(env.Dims({{1, 2}, {1, 3}}), env.Name("INT"), DeclPos{}), nullptr);
    c.DeclareType(env.Name("colors"), DeclPos{},
                  c.MakeArraySpec(env.Dims({{1, 3}}), env.Name("color"), DeclPos{}), nullptr);
    c.DeclareType(env.Name("pairs"), DeclPos{},
                  c.MakeArraySpec(env.Dims({{0, 2}}), env.Name("pair"), DeclPos{}), nullptr);
    c.DeclareType(
        env.Name("mixed"), DeclPos{},
        env.Struct({{"t", "TIME"}, {"d", "DATE"}, {"x", "LREAL"}, {"w", "WORD"}, {"s", "small"}}),
        nullptr);
    env.Take();
}

template <typename T> std::vector<unsigned char> Bytes(const T& v) {
    std::vector<unsigned char> b(sizeof v);
    std::memcpy(b.data(), &v, sizeof v);
    return b;
}

std::vector<unsigned char> Cat(std::initializer_list<std::vector<unsigned char>> parts) {
    std::vector<unsigned char> out;
    for (const auto& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

std::vector<unsigned char> Ints(std::initializer_list<int16_t> vs) {
    std::vector<unsigned char> out;
    for (int16_t v : vs) {
        auto b = Bytes(v);
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

std::string Text(SymAttr* type, const std::vector<unsigned char>& value, ErrMess* sink, short* rc) {
    char buf[1024];
    uint32_t len = sizeof buf;
    *rc = TiValToAsciiSpec(type, value.data(), buf, &len, sink);
    EXPECT_EQ(std::strlen(buf), *rc == 0 ? len : 0u);
    return buf;
}

TEST(InitValText, ValuesOfEveryKind) {
    DeclEnv env;
    DeclareTypes(env);
    IEC_DT dt{45296000, 11877, 0};
    struct Case {
        const char* type;
        std::vector<unsigned char> value;
        const char* text;
    } cases[] = {
        {"BOOL", {1}, "TRUE"},
        {"BOOL", {0}, "FALSE"},
        {"BYTE", {0x0F}, "16#0F"},
        {"WORD", Bytes<uint16_t>(0xBEEF), "16#BEEF"},
        {"DWORD", Bytes<uint32_t>(65791), "16#0001_00FF"},
        {"SINT", {0x80}, "-128"},
        {"INT", Bytes<int16_t>(0x1234), "4660"},
        {"DINT", Bytes<int32_t>(-2147483647 - 1), "-2147483648"},
        {"LINT", Bytes<double>(-1.0), "-1"},
        {"USINT", {255}, "255"},
        {"UINT", Bytes<uint16_t>(65535), "65535"},
        {"UDINT", Bytes<uint32_t>(4294967295u), "4294967295"},
        {"ULINT", Bytes<double>(1e15), "1000000000000000"},
        {"REAL", Bytes<float>(1.5f), "1.5"},
        {"LREAL", Bytes<double>(0.1), "0.1"},
        {"TIME", Bytes<uint32_t>(1500), "t#1s_500ms"},
        {"TIME", Bytes<uint32_t>(0), "t#0s"},
        {"DATE", Bytes<uint16_t>(11877), "d#2003-03-05"},
        {"TOD", Bytes<uint32_t>(45296789), "tod#12:34:56.789"},
        {"DT", Bytes(dt), "dt#2003-03-05-12:34:56"},
        {"STRING", {'a', 'b', '\n', 0}, "'ab$L'"},
        {"STRING", {0}, "''"},
        {"small", Bytes<int16_t>(10), "10"},
        {"big", Bytes<uint16_t>(50000), "50000"},
        {"color", Bytes<int16_t>(2), "blue"},
        {"pair", Ints({1, -2}), "(a := 1, b := -2)"},
        {"rec", Cat({Ints({0, 5}), Bytes<int16_t>(1), {1}}),
         "(p := (a := 0, b := 5), k := green, f := TRUE)"},
        {"a4", Ints({0, 0, 0, 0}), "[4 (0)]"},
        {"a4", Ints({1, 2, 3, 4}), "[1, 2, 3, 4]"},
        {"a4", Ints({1, 1, 2, 2}), "[2 (1), 2 (2)]"},
        {"a4", Ints({5, 1, 1, 1}), "[5, 3 (1)]"},
        {"m23", Ints({1, 2, 3, 4, 5, 6}), "[[1, 2, 3], [4, 5, 6]]"},
        {"m23", Ints({1, 2, 3, 1, 2, 3}), "[2 ([1, 2, 3])]"},
        {"m23", Ints({0, 0, 0, 7, 7, 0}), "[[3 (0)], [2 (7), 0]]"},
        {"colors", Ints({2, 1, 1}), "[blue, 2 (green)]"},
        {"pairs", Ints({1, 2, 1, 2, 0, 0}), "[2 ((a := 1, b := 2)), (a := 0, b := 0)]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + c.text);
        short rc = -1;
        EXPECT_EQ(Text(env.Type(c.type), c.value, &env.sink, &rc), c.text);
        EXPECT_EQ(rc, 0);
    }
    EXPECT_TRUE(env.Take().empty());
}

TEST(InitValText, Failures) {
    DeclEnv env;
    DeclareTypes(env);
    struct Case {
        const char* name;
        const char* type; // null: no type
        std::vector<unsigned char> value;
        short rc;
        std::vector<Msg> messages;
    } cases[] = {
        {"no type", nullptr, {0, 0}, 1, {}},
        {"no enumerator of that value", "color", Bytes<int16_t>(3), -3424, {E(-3424, 0, 0)}},
        {"negative enumerator value", "color", Bytes<int16_t>(-1), -3424, {E(-3424, 0, 0)}},
        {"subrange one past", "small", Bytes<int16_t>(11), -3492, {E(-3492, 0, 0)}},
        {"subrange one below", "small", Bytes<int16_t>(0), -3492, {E(-3492, 0, 0)}},
        {"UINT subrange one past", "big", Bytes<uint16_t>(60001), -3492, {E(-3492, 0, 0)}},
        {"inside a structure",
         "mixed",
         Cat({Bytes<uint32_t>(1), Bytes<uint16_t>(11877), Bytes<double>(2.0), Bytes<uint16_t>(1),
              Bytes<int16_t>(99)}),
         -3492,
         {E(-3492, 0, 0)}},
        {"BOOL neither 0 nor 1", "BOOL", {2}, -3425, {E(-3425, 0, 0)}},
        {"LWORD has no literal", "LWORD", Bytes<uint64_t>(1), -3407, {E(-3407, 0, 0)}},
        {"LREAL not a number", "LREAL", Bytes<double>(std::nan("")), -3430, {E(-3430, 0, 0)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char buf[256];
        std::memset(buf, 'x', sizeof buf);
        uint32_t len = sizeof buf;
        SymAttr* t = c.type != nullptr ? env.Type(c.type) : nullptr;
        EXPECT_EQ(TiValToAsciiSpec(t, c.value.data(), buf, &len, &env.sink), c.rc);
        EXPECT_EQ(len, 0u);
        EXPECT_EQ(env.Take(), c.messages);
    }
}

// The text never runs past the buffer; a null buffer measures.
TEST(InitValText, BufferBoundaries) {
    DeclEnv env;
    DeclareTypes(env);
    std::vector<unsigned char> v = Ints({1, -2});
    const char* full = "(a := 1, b := -2)"; // 17 characters
    struct Case {
        uint32_t cap;
        short rc;
        uint32_t len;
        const char* text;
    } cases[] = {{0, -3429, 0, nullptr},
                 {1, -3429, 17, ""},
                 {17, -3429, 17, ""},
                 {18, 0, 17, full},
                 {100, 0, 17, full}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cap);
        char buf[128];
        std::memset(buf, 'x', sizeof buf);
        uint32_t len = c.cap;
        EXPECT_EQ(TiValToAsciiSpec(env.Type("pair"), v.data(), buf, &len, &env.sink), c.rc);
        EXPECT_EQ(len, c.len);
        if (c.text != nullptr) {
            EXPECT_STREQ(buf, c.text);
        }
        for (size_t i = c.cap; i < sizeof buf; ++i) {
            ASSERT_EQ(buf[i], 'x') << i;
        }
    }
    uint32_t len = 0;
    EXPECT_EQ(TiValToAsciiSpec(env.Type("pair"), v.data(), nullptr, &len, &env.sink), 0);
    EXPECT_EQ(len, 17u);
    EXPECT_EQ(TiValToAsciiSpec(env.Type("pair"), v.data(), nullptr, nullptr, &env.sink), -3429);
    EXPECT_TRUE(env.Take().empty());
}

// Text -> records -> check -> image equals the original image, for the text
// of TiValToAsciiSpec and for the canonical text of a parsed value.
TEST(InitValText, RoundTrips) {
    DeclEnv env;
    DeclareTypes(env);
    IEC_DT dt{86399999, iec::PackDate(2107, 12, 31), 0};
    struct Case {
        const char* type;
        std::vector<unsigned char> value;
    } cases[] = {
        {"BOOL", {1}},
        {"BYTE", {0xA5}},
        {"WORD", Bytes<uint16_t>(0)},
        {"DWORD", Bytes<uint32_t>(0xFFFFFFFFu)},
        {"SINT", {0x80}},
        {"INT", Bytes<int16_t>(-32768)},
        {"DINT", Bytes<int32_t>(123456789)},
        {"LINT", Bytes<double>(-9007199254740992.0)},
        {"USINT", {0}},
        {"UINT", Bytes<uint16_t>(40000)},
        {"UDINT", Bytes<uint32_t>(3000000000u)},
        {"ULINT", Bytes<double>(9007199254740992.0)},
        {"REAL", Bytes<float>(0.1f)},
        {"REAL", Bytes<float>(-3.4028234e38f)},
        {"REAL", Bytes<float>(16777217.0f)},
        {"REAL", Bytes<float>(1.17549435e-38f)},
        {"LREAL", Bytes<double>(0.1)},
        {"LREAL", Bytes<double>(12345678.0)},
        {"LREAL", Bytes<double>(3.141592653589793)},
        {"LREAL", Bytes<double>(-1e300)},
        {"LREAL", Bytes<double>(2.5e-300)},
        {"LREAL", Bytes<double>(0.0)},
        {"TIME", Bytes<uint32_t>(93784005)},
        {"TIME", Bytes<uint32_t>(4294967295u)},
        {"DATE", Bytes<uint16_t>(iec::PackDate(1980, 1, 1))},
        {"TOD", Bytes<uint32_t>(86399999)},
        {"DT", Bytes(dt)},
        {"STRING", {'q', '\'', '$', '\t', 0x7F, 0xE4, 0}},
        {"small", Bytes<int16_t>(1)},
        {"big", Bytes<uint16_t>(60000)},
        {"color", Bytes<int16_t>(1)},
        {"pair", Ints({-1, 32767})},
        {"rec", Cat({Ints({7, 0}), Bytes<int16_t>(2), {0}})},
        {"a4", Ints({9, 9, 9, 8})},
        {"m23", Ints({4, 4, 4, 4, 4, 4})},
        {"m23", Ints({1, 0, 0, 0, 0, 2})},
        {"colors", Ints({0, 2, 0})},
        {"pairs", Ints({1, 1, 1, 1, 1, 1})},
        {"mixed", Cat({Bytes<uint32_t>(61000), Bytes<uint16_t>(iec::PackDate(2000, 2, 29)),
                       Bytes<double>(-0.75), Bytes<uint16_t>(0x8001), Bytes<int16_t>(5)})},
    };
    for (const Case& c : cases) {
        SymAttr* t = env.Type(c.type);
        short rc = -1;
        std::string text = Text(t, c.value, &env.sink, &rc);
        SCOPED_TRACE(std::string(c.type) + " " + text);
        ASSERT_EQ(rc, 0);
        InitResult r = Evaluate(env, t, text.c_str());
        ASSERT_TRUE(r.read);
        EXPECT_EQ(r.check, 0);
        EXPECT_TRUE(r.messages.empty());
        EXPECT_EQ(r.bin, 0);
        size_t size = t->GetMemsize(0) != 0 ? t->GetMemsize(0) : c.value.size();
        EXPECT_EQ(r.image, Hex(c.value.data(), size));
        // The canonical text of the parsed value reads back the same way.
        InitResult again = Evaluate(env, t, r.text.c_str());
        EXPECT_EQ(again.image, r.image);
    }
}

// GetAsciiSpec writes the value as written, in canonical spacing.
TEST(InitValText, CanonicalTextOfParsedValues) {
    DeclEnv env;
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"5", "5"},
        {"  -5", "-5"},
        {"16#ff", "16#ff"},
        {"T#1s", "T#1s"},
        {"'a b'", "'a b'"},
        {"blue", "blue"},
        {"[1,2,3]", "[1, 2, 3]"},
        {"[  3(1,2) ,4( 0 )]", "[3 (1, 2), 4 (0)]"},
        {"(b:=2)", "(b := 2)"},
        {"(p:=(a:=1,b:=[2,3]),q:=x)", "(p := (a := 1, b := [2, 3]), q := x)"},
        {"[[1],[2(3)]]", "[[1], [2 (3)]]"},
        {"[]", "[]"},
        {"()", "()"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        InitValReader reader(&env.sink);
        TiInitValSpec* v = reader.Read(c.in);
        ASSERT_NE(v, nullptr);
        const char* t = v->GetAsciiSpec();
        ASSERT_NE(t, nullptr);
        EXPECT_STREQ(t, c.out);
        EXPECT_EQ(v->GetAsciiSpec(), t); // cached
        TiDelInitValSpecList(v);
    }
}

// Queries of the records by kind.
TEST(InitValText, RecordQueries) {
    DeclEnv env;
    InitValReader reader(&env.sink);
    TiInitValSpec* v = reader.Read("(p := [1, 2], q := [3 (x)], r := y)");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->GetKind(), initval::KIND_STRUCT);
    TiInitValSpec* p = v->GetSublist();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->GetKind(), initval::KIND_ASSIGN);
    EXPECT_STREQ(p->GetCompName(), "p");
    EXPECT_EQ(p->GetLiteral(), nullptr); // its value is a list
    ASSERT_NE(p->GetSublist(), nullptr);
    EXPECT_STREQ(p->GetSublist()->GetLiteral(), "1");
    EXPECT_EQ(p->GetLocation()->col, 2);
    TiInitValSpec* q = p->GetNext();
    EXPECT_EQ(q->GetValue()->GetKind(), initval::KIND_ARRAY);
    ASSERT_NE(q->GetSublist(), nullptr);
    EXPECT_EQ(q->GetSublist()->GetKind(), initval::KIND_REPEAT);
    EXPECT_STREQ(q->GetSublist()->GetLiteral(), "3");
    EXPECT_EQ(q->GetSublist()->GetLocation()->col, 21);
    TiInitValSpec* r = q->GetNext();
    EXPECT_STREQ(r->GetLiteral(), "y");
    EXPECT_EQ(r->GetNext(), nullptr);
    EXPECT_EQ(r->GetFirst(), p);
    EXPECT_EQ(r->GetValue()->GetKind(), initval::KIND_NAME);
    EXPECT_EQ(r->GetValue()->GetLocation()->col, 34);
    EXPECT_EQ(v->GetLiteral(), nullptr);
    EXPECT_EQ(v->GetCompName(), nullptr);
    EXPECT_EQ(v->GetLocation()->col, 1);
    TiDelInitValSpecList(v);
}

// A list is destroyed from any of its records.
TEST(InitValText, ListDestroyedFromAnyRecord) {
    DeclEnv env;
    InitValReader reader(&env.sink);
    TiInitValSpec* a = reader.Read("[1, 2]");
    TiInitValSpec* b = reader.Read("(x := 3)");
    TiInitValSpec* c = reader.Read("4");
    TiInitValSpec::Append(TiInitValSpec::Append(a, b), c);
    TiDelInitValSpecList(b);
    TiDelInitValSpecList(nullptr);
}

// Append links lists and refuses to close a cycle; Negate changes sign and
// text of numbers only.
TEST(InitValText, AppendAndNegate) {
    DeclEnv env;
    InitValReader reader(&env.sink);
    TiInitValSpec* a = reader.Read("1");
    TiInitValSpec* b = reader.Read("2");
    TiInitValSpec* c = reader.Read("3");
    TiInitValSpec* last = TiInitValSpec::Append(a, b);
    EXPECT_EQ(last, b);
    last = TiInitValSpec::Append(last, c);
    EXPECT_EQ(last, c);
    EXPECT_EQ(TiInitValSpec::Append(c, a), c); // same list: no cycle
    EXPECT_EQ(TiInitValSpec::Append(nullptr, a), c);
    EXPECT_EQ(TiInitValSpec::Append(a, nullptr), c);
    EXPECT_EQ(c->GetFirst(), a);
    TiInitValSpec* arr = TiInitValSpec::MakeArrayList(TextLocation{}, b, &env.sink);
    ASSERT_NE(arr, nullptr);
    EXPECT_STREQ(arr->GetAsciiSpec(), "[1, 2, 3]");
    TiDelInitValSpecList(arr);

    struct Case {
        const char* in;
        short rc;
        const char* text;
    } cases[] = {{"5", 0, "-5"},          {"1.5", 0, "-1.5"},    {"16#10", 0, "-16#10"},
                 {"T#1s", -3489, "T#1s"}, {"'s'", -3489, "'s'"}, {"x", -3489, "x"},
                 {"[1]", -3489, "[1]"}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.in);
        TiInitValSpec* v = reader.Read(k.in);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->Negate(), k.rc);
        EXPECT_STREQ(v->GetAsciiSpec(), k.text);
        TiDelInitValSpecList(v);
    }
}

} // namespace
