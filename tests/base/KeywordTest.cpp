// Tests of the IEC keyword list (order, token numbers, type data) and of
// TiKeywordIF: keyword test, token lookup and construction status.
#include "base/TiKeywordIF.h"
#include "tests/base/FailingAllocation.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>
#include <string>

namespace {

struct NameToken {
    const char* name;
    short token;
};

// Every keyword in list order with its token number.
const NameToken kExpectedOrder[] = {
    {"INTSTATE", 328}, {"ANL_IN", 267}, {"ANL_OUT", 268}, {"ACTION", 265},
    {"ADD", 266}, {"AND", 403}, {"ANDN", 269}, {"ANY", 270},
    {"ANY_BIT", 271}, {"ANY_DATE", 272}, {"ANY_ELEM", 273}, {"ANY_INT", 274},
    {"ANY_NUM", 275}, {"ANY_REAL", 276}, {"ARRAY", 277}, {"AT", 278},
    {"BOOL", 279}, {"BY", 280}, {"BYTE", 281}, {"CAL", 282},
    {"CALC", 283}, {"CALCN", 284}, {"CASE", 285}, {"CONFIGURATION", 286},
    {"CONSTANT", 287}, {"DATE", 288}, {"DATE_AND_TIME", 289}, {"DINT", 290},
    {"DIV", 291}, {"DO", 292}, {"DT", 293}, {"DWORD", 294},
    {"ELSE", 296}, {"ELSIF", 297}, {"EN", 295}, {"END_ACTION", 298},
    {"END_CASE", 299}, {"END_CONFIGURATION", 300}, {"END_FOR", 301}, {"END_FUNCTION", 302},
    {"END_FUNCTION_BLOCK", 303}, {"END_IF", 304}, {"ENO", 314}, {"END_PROGRAM", 305},
    {"END_REPEAT", 306}, {"END_RESOURCE", 307}, {"END_STEP", 308}, {"END_STRUCT", 309},
    {"END_TYPE", 310}, {"END_VAR", 312}, {"END_WHILE", 313}, {"END_TRANSITION", 311},
    {"EQ", 315}, {"EXIT", 316}, {"F_EDGE", 317}, {"FALSE", 318},
    {"FOR", 319}, {"FROM", 320}, {"FUNCTION", 321}, {"FUNCTION_BLOCK", 322},
    {"GE", 323}, {"GT", 324}, {"IF", 325}, {"INITIAL_STEP", 326},
    {"INT", 327}, {"JMP", 329}, {"JMPC", 330}, {"JMPCN", 331},
    {"LD", 333}, {"LDN", 334}, {"LE", 335}, {"LINT", 336},
    {"LREAL", 337}, {"LT", 338}, {"LWORD", 339}, {"MOD", 407},
    {"MUL", 340}, {"NE", 341}, {"NOT", 342}, {"OF", 343},
    {"ON", 344}, {"OR", 401}, {"ORN", 345}, {"PROGRAM", 346},
    {"R_EDGE", 347}, {"READ_ONLY", 348}, {"READ_WRITE", 349}, {"REAL", 350},
    {"REPEAT", 351}, {"RESOURCE", 352}, {"RET", 353}, {"RETAIN", 354},
    {"RETC", 355}, {"RETCN", 356}, {"RETURN", 357}, {"SINT", 358},
    {"ST", 359}, {"STEP", 360}, {"STN", 361}, {"STRING", 362},
    {"STRUCT", 363}, {"SUB", 364}, {"TASK", 366}, {"THEN", 367},
    {"TIME", 368}, {"TIME_OF_DAY", 369}, {"TO", 370}, {"TOD", 371},
    {"TRANSITION", 372}, {"TRUE", 373}, {"TYPE", 374}, {"UDINT", 375},
    {"UINT", 376}, {"ULINT", 377}, {"UNTIL", 378}, {"USINT", 379},
    {"VAR", 380}, {"VAR_ACCESS", 381}, {"VAR_EXTERNAL", 382}, {"VAR_GLOBAL", 383},
    {"VAR_IN_OUT", 384}, {"VAR_INPUT", 385}, {"VAR_OUTPUT", 386}, {"WHILE", 387},
    {"WITH", 388}, {"WORD", 389}, {"XOR", 402}, {"XORN", 390},
};

struct TypeRow {
    const char* name;
    short token;
    short typeId;
    int typeKind;
    int typeSize;
};

// The type keywords; every other record carries 0, 0, 0.
const TypeRow kExpectedTypes[] = {
    {"BOOL", 279, -1, 1, 1},
    {"BYTE", 281, -2, 1, 1},
    {"WORD", 389, -3, 1, 2},
    {"DWORD", 294, -4, 1, 4},
    {"LWORD", 339, -5, 1, 8},
    {"SINT", 358, -10, 1, 1},
    {"INT", 327, -11, 1, 2},
    {"DINT", 290, -12, 1, 4},
    {"LINT", 336, -13, 1, 8},
    {"USINT", 379, -14, 1, 1},
    {"UINT", 376, -15, 1, 2},
    {"UDINT", 375, -16, 1, 4},
    {"ULINT", 377, -17, 1, 8},
    {"REAL", 350, -18, 1, 4},
    {"LREAL", 337, -19, 1, 8},
    {"TIME", 368, -20, 1, 4},
    {"DATE", 288, -21, 1, 2},
    {"TIME_OF_DAY", 369, -22, 1, 4},
    {"TOD", 371, -22, 1, 4},
    {"DATE_AND_TIME", 289, -23, 1, 8},
    {"DT", 293, -23, 1, 8},
    {"STRING", 362, -24, 1, 0},
    {"INTSTATE", 328, -31, 1, 2},
    {"ANL_IN", 267, -64, 1, 18},
    {"ANL_OUT", 268, -65, 1, 18},
    {"ANY", 270, -25, 2, 8},
    {"ANY_NUM", 275, -26, 2, 8},
    {"ANY_REAL", 276, -27, 2, 8},
    {"ANY_INT", 274, -28, 2, 8},
    {"ANY_BIT", 271, -29, 2, 8},
    {"ANY_DATE", 272, -30, 2, 8},
    {"ANY_ELEM", 273, -100, 2, 8},
};

std::string Lower(const char* s) {
    std::string r(s);
    for (char& c : r) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return r;
}

} // namespace

// ------------------------------------------------------------------ the list

TEST(KeywordList, OrderAndTokens) {
    const KeywordDesc* list = TiGetIEC_KeywordList();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(std::size(kExpectedOrder), 128u);
    for (int i = 0; i < kIEC_KeywordCount; ++i) {
        SCOPED_TRACE("record " + std::to_string(i) + " " + kExpectedOrder[i].name);
        ASSERT_NE(list[i].name, nullptr);
        EXPECT_STREQ(list[i].name, kExpectedOrder[i].name);
        EXPECT_EQ(list[i].token, kExpectedOrder[i].token);
    }
    // Record 128 ends the list.
    EXPECT_EQ(list[kIEC_KeywordCount].name, nullptr);
    EXPECT_EQ(TiGetIEC_KeywordList(), list); // one static list
}

TEST(KeywordList, TypeData) {
    std::map<std::string, TypeRow> types;
    for (const TypeRow& t : kExpectedTypes) {
        types[t.name] = t;
    }
    ASSERT_EQ(types.size(), 32u);
    int typeRecords = 0;
    for (const KeywordDesc* k = TiGetIEC_KeywordList(); k->name != nullptr; ++k) {
        SCOPED_TRACE(k->name);
        auto it = types.find(k->name);
        if (it == types.end()) {
            EXPECT_EQ(k->typeId, 0);
            EXPECT_EQ(k->typeKind, 0);
            EXPECT_EQ(k->typeSize, 0);
            continue;
        }
        ++typeRecords;
        EXPECT_EQ(k->token, it->second.token);
        EXPECT_EQ(k->typeId, it->second.typeId);
        EXPECT_EQ(k->typeKind, it->second.typeKind);
        EXPECT_EQ(k->typeSize, it->second.typeSize);
    }
    EXPECT_EQ(typeRecords, 32);
}

TEST(KeywordList, NamesAndTokensAreUniqueAndUpperCase) {
    std::set<std::string> names;
    std::set<short> tokens;
    for (const KeywordDesc* k = TiGetIEC_KeywordList(); k->name != nullptr; ++k) {
        SCOPED_TRACE(k->name);
        EXPECT_TRUE(names.insert(k->name).second);
        EXPECT_TRUE(tokens.insert(k->token).second);
        for (const char* p = k->name; *p != 0; ++p) {
            EXPECT_TRUE(std::isupper(static_cast<unsigned char>(*p)) || *p == '_');
        }
    }
    EXPECT_EQ(names.size(), 128u);
    // 265 ... 407 are taken except 332, 365, 391-400 and 404-406.
    std::set<short> unused = {332, 365, 391, 392, 393, 394, 395, 396,
                              397, 398, 399, 400, 404, 405, 406};
    for (short t = 265; t <= 407; ++t) {
        SCOPED_TRACE("token " + std::to_string(t));
        EXPECT_EQ(tokens.count(t), unused.count(t) ? 0u : 1u);
    }
    EXPECT_EQ(*tokens.begin(), 265);
    EXPECT_EQ(*tokens.rbegin(), 407);
}

// --------------------------------------------------------------- TiKeywordIF

TEST(TiKeywordIF, IsKeyword) {
    short st = -7;
    TiKeywordIF kw(&st);
    ASSERT_EQ(st, 0);
    EXPECT_EQ(kw.GetConstrStatus(), 0);
    struct Case {
        const char* name;
        short result;
    } cases[] = {
        {"", 0},         {"Tod", 1},        {"TOD#", 0},       {"end_var", 1},
        {"END_VAR", 1},  {"End_Var", 1},    {"END_VA", 0},     {"END_VARX", 0},
        {"INTSTATE", 1}, {"anl_out", 1},    {"any_elem", 1},   {"xorn", 1},
        {"Motor", 0},    {" INT", 0},       {"INT ", 0},       {"\xC4ND", 0},
        {"time_of_day", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string buf = c.name;
        EXPECT_EQ(kw.IsIEC_Keyword(buf.data()), c.result);
    }
    EXPECT_EQ(kw.IsIEC_Keyword(nullptr), 0);
}

TEST(TiKeywordIF, KeywordName) {
    TiKeywordIF kw(nullptr);
    ASSERT_EQ(kw.GetConstrStatus(), 0);
    struct Case {
        short token;
        const char* name; // null: no keyword
    } cases[] = {
        {0, nullptr},   {264, nullptr},      {265, "ACTION"}, {267, "ANL_IN"},
        {295, "EN"},    {311, "END_TRANSITION"}, {314, "ENO"},
        {328, "INTSTATE"}, {332, nullptr},   {365, nullptr},  {390, "XORN"},
        {391, nullptr}, {400, nullptr},      {401, "OR"},     {402, "XOR"},
        {403, "AND"},   {404, nullptr},      {406, nullptr},  {407, "MOD"},
        {408, nullptr}, {-1, nullptr},       {32767, nullptr}, {-32768, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("token " + std::to_string(c.token));
        const char* got = kw.GetKeywordName(c.token);
        if (c.name == nullptr) {
            EXPECT_EQ(got, nullptr);
        } else {
            ASSERT_NE(got, nullptr);
            EXPECT_STREQ(got, c.name);
        }
    }
}

TEST(TiKeywordIF, EveryRecordIsFoundBothWays) {
    TiKeywordIF kw(nullptr);
    ASSERT_EQ(kw.GetConstrStatus(), 0);
    for (const KeywordDesc* k = TiGetIEC_KeywordList(); k->name != nullptr; ++k) {
        SCOPED_TRACE(k->name);
        // The spelling comes back as the list's own static text.
        EXPECT_EQ(kw.GetKeywordName(k->token), k->name);
        std::string lower = Lower(k->name);
        EXPECT_EQ(kw.IsIEC_Keyword(lower.data()), 1);
    }
}

TEST(TiKeywordIF_Imp, DuplicatesInTheListSetStatus1) {
    const KeywordDesc good[] = {{"A", 1, 0, 0, 0}, {"B", 2, 0, 0, 0}, {nullptr, 0, 0, 0, 0}};
    const KeywordDesc dupName[] = {
        {"A", 1, 0, 0, 0}, {"b", 2, 0, 0, 0}, {"B", 3, 0, 0, 0}, {nullptr, 0, 0, 0, 0}};
    const KeywordDesc dupToken[] = {
        {"A", 1, 0, 0, 0}, {"B", 2, 0, 0, 0}, {"C", 1, 0, 0, 0}, {nullptr, 0, 0, 0, 0}};
    // A negative number is a token like any other (its low 16 bits).
    const KeywordDesc negToken[] = {
        {"A", -1, 0, 0, 0}, {"B", 1, 0, 0, 0}, {nullptr, 0, 0, 0, 0}};
    const KeywordDesc empty[] = {{nullptr, 0, 0, 0, 0}};
    struct Case {
        const char* how;
        const KeywordDesc* list;
        short status;
    } cases[] = {
        {"null list", nullptr, 0},
        {"empty list", empty, 0},
        {"distinct", good, 0},
        {"negative token", negToken, 0},
        {"name twice (case differs)", dupName, 1},
        {"token twice", dupToken, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        TiKeywordIF_Imp imp(c.list);
        EXPECT_EQ(imp.GetConstrStatus(), c.status);
        char a[] = "a";
        // A list with a clash answers nothing at all.
        bool hasA = c.list != nullptr && c.list[0].name != nullptr && c.status == 0;
        EXPECT_EQ(imp.IsIEC_Keyword(a), hasA ? 1 : 0);
        const char* first = imp.GetKeywordName(c.list && c.list[0].name ? c.list[0].token : 1);
        EXPECT_EQ(first, hasA ? c.list[0].name : nullptr);
    }
}

// Every allocation of the construction is failed in turn: the status tells
// what went wrong, the object answers "no keyword" and null, and nothing
// leaks. Once no allocation fails the interface works.
TEST(TiKeywordIF, AllocationFailures) {
    char word[] = "end_var";
    bool succeeded = false;
    for (long n = 0; n < 1000 && !succeeded; ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n) + " fails");
        short st = -7;
        failalloc::FailNth(n);
        TiKeywordIF kw(&st);
        bool failed = failalloc::Failed();
        failalloc::Disarm();
        if (!failed) {
            EXPECT_EQ(st, 0);
            succeeded = true;
        } else {
            // The implementation object, then the two slot arrays, then the
            // entries.
            short expected = n == 0 ? -1 : (n <= 2 ? 1 : -1);
            EXPECT_EQ(st, expected);
        }
        EXPECT_EQ(kw.GetConstrStatus(), st);
        EXPECT_EQ(kw.IsIEC_Keyword(word), st == 0 ? 1 : 0);
        const char* name = kw.GetKeywordName(401);
        if (st == 0) {
            EXPECT_STREQ(name, "OR");
        } else {
            EXPECT_EQ(name, nullptr);
        }
    }
    EXPECT_TRUE(succeeded);
}
