// The document's type members: GetTypeId, GetTypeName, GetTypeSize and
// their plural forms over arrays.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/server/DocumentTestSupport.h"

using namespace servertest;

namespace {

class QueryTypes : public ::testing::Test {
protected:
    void SetUp() override {
        env.WriteVar(kDocumentLines);
        h = env.Open();
        ASSERT_NE(h, 0);
        intId = Id("INT");
        ASSERT_LT(intId, 0);
        env.Traces();
        env.Logs();
    }
    SHORT Id(const std::string& name, SHORT* rcOut = nullptr) {
        SHORT id = -99, rc = -9;
        Bstr text(name);
        env.Doc().GetTypeId(h, text.get(), &id, &rc);
        if (rcOut != nullptr)
            *rcOut = rc;
        return rc == 0 ? id : -99;
    }
    DocumentEnv env;
    LONG h = 0;
    SHORT intId = 0;
};

TEST_F(QueryTypes, IdentifiersNamesAndSizes) {
    // Derived types are numbered in the order the var file first used them.
    struct Case {
        const char* name;
        SHORT id;
        SHORT size;
    } const cases[] = {
        {"MOTOR_T", 1, 3}, {"BUF_T", 2, 6}, {"M2_T", 3, 16}, {"INT", intId, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Id(c.name), c.id);
        Bstr name("old");
        SHORT rc = -9, size = -9;
        env.Doc().GetTypeName(h, c.id, name.out(), &rc);
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(name.text(), c.name);
        env.Doc().GetTypeSize(h, c.id, &size, &rc);
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(size, c.size);
    }
    EXPECT_EQ(env.Traces().front(), EntryTraceOf("GetTypeId"));
}

TEST_F(QueryTypes, UnknownNamesAndIdentifiers) {
    SHORT rc = -9;
    EXPECT_EQ(Id("NO_SUCH_T", &rc), -99);
    EXPECT_EQ(rc, 1);
    struct Case {
        const char* name;
        SHORT id;
    } const cases[] = {{"identifier 0 names nothing", 0},
                       {"next derived identifier", 4},
                       {"largest identifier", 32767},
                       {"unused elementary identifier", -32768}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bstr name("old");
        SHORT size = -9;
        env.Doc().GetTypeName(h, c.id, name.out(), &rc);
        EXPECT_EQ(rc, 1);
        EXPECT_EQ(name.text(), "old");
        env.Doc().GetTypeSize(h, c.id, &size, &rc);
        EXPECT_EQ(rc, 1);
        EXPECT_EQ(size, -9);
    }
}

TEST_F(QueryTypes, TypeMembersNeedAProjectButNoSelection) {
    const LONG unattached = env.Login("no project");
    SHORT id = -9, rc = -9;
    Bstr name("INT");
    env.Doc().GetTypeId(unattached, name.get(), &id, &rc);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(id, -9);
    env.Doc().GetTypeId(0x74747474, name.get(), &id, &rc);
    EXPECT_EQ(rc, 1);
    // A login whose selection was never built still answers.
    const LONG fresh = env.Open();
    env.Doc().GetTypeId(fresh, name.get(), &id, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(id, intId);
}

TEST_F(QueryTypes, PluralFormsAnswerElementByElementUntilTheFirstUnknown) {
    Var names;
    names.Strings({"BUF_T", "INT", "MOTOR_T"});
    Var ids;
    ids.Strings({"replaced"});
    SHORT rc = -9;
    ASSERT_EQ(env.Doc().GetTypeIds(h, &names, &ids, &rc), S_OK);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(ids->vt, VT_ARRAY | VT_I2);
    EXPECT_EQ(NumbersOf(*ids), (std::vector<int32_t>{2, intId, 1}));

    names.Strings({"BUF_T", "NOPE", "INT"});
    ASSERT_EQ(env.Doc().GetTypeIds(h, &names, &ids, &rc), S_OK);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(NumbersOf(*ids), (std::vector<int32_t>{2, 0, 0}));

    Var idList;
    idList.Shorts({1, intId, 3});
    Var out;
    ASSERT_EQ(env.Doc().GetTypeNames(h, &idList, &out, &rc), S_OK);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(StringsOf(*out), (std::vector<std::string>{"MOTOR_T", "INT", "M2_T"}));
    ASSERT_EQ(env.Doc().GetTypeSizes(h, &idList, &out, &rc), S_OK);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(NumbersOf(*out), (std::vector<int32_t>{3, 2, 16}));

    idList.Shorts({2, 0, 1});
    ASSERT_EQ(env.Doc().GetTypeNames(h, &idList, &out, &rc), S_OK);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(StringsOf(*out), (std::vector<std::string>{"BUF_T", "<null>", "<null>"}));
    ASSERT_EQ(env.Doc().GetTypeSizes(h, &idList, &out, &rc), S_OK);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(NumbersOf(*out), (std::vector<int32_t>{6, 0, 0}));

    // An empty input gives an empty answer.
    idList.Shorts({});
    ASSERT_EQ(env.Doc().GetTypeSizes(h, &idList, &out, &rc), S_OK);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(out->vt, VT_ARRAY | VT_I2);
    EXPECT_TRUE(NumbersOf(*out).empty());
}

TEST_F(QueryTypes, PluralFormsCheckTheInputTypeFirst) {
    Var variants;
    variants->vt = VT_ARRAY | VT_VARIANT;
    variants->parray = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    Var strings;
    strings.Strings({"INT"});
    Var shorts;
    shorts.Shorts({1});
    Var longs;
    longs->vt = VT_ARRAY | VT_I4;
    longs->parray = SafeArrayCreateVector(VT_I4, 0, 1);
    Var scalar;
    scalar.I4(1);
    SAFEARRAY* array = strings->parray;
    Var byRef;
    byRef->vt = VT_BYREF | VT_ARRAY | VT_BSTR;
    byRef->pparray = &array;
    struct Case {
        const char* name;
        int member; // 0 ids, 1 names, 2 sizes
        Var* input;
    } const cases[] = {
        {"ids of VARIANTs", 0, std::addressof(variants)},
        {"ids of numbers", 0, std::addressof(shorts)},
        {"ids by reference", 0, std::addressof(byRef)},
        {"names of strings", 1, std::addressof(strings)},
        {"names of 32-bit numbers", 1, std::addressof(longs)},
        {"sizes of a scalar", 2, std::addressof(scalar)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Var out;
        out.I4(42);
        SHORT rc = -9;
        // A bad handle as well: the input is refused before the handle check.
        VARIANT* in = &*c.input;
        if (c.member == 0)
            env.Doc().GetTypeIds(0, in, &out, &rc);
        else if (c.member == 1)
            env.Doc().GetTypeNames(0, in, &out, &rc);
        else
            env.Doc().GetTypeSizes(0, in, &out, &rc);
        EXPECT_EQ(rc, 1);
        EXPECT_EQ(out->vt, VT_I4);
        EXPECT_EQ(out->lVal, 42);
        EXPECT_EQ(env.Traces().size(), 1u) << "only the entry trace: no handle check";
        EXPECT_TRUE(env.Logs().empty());
    }
    byRef->vt = VT_EMPTY;
}

} // namespace
