// The document's lookups by name: GetNamedVarInfoEx (offset folding with
// decrement), GetNamedVarInfo2Ex (without decrement, kind, initial value)
// and GetNamedVarInfosEx (arrays, null names, markers, failing lookups).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/OleMemory.h"
#include "tests/server/DocumentTestSupport.h"

using namespace servertest;

namespace {

void DeclareNamedTypes(TypeDeclarer& d) {
    DeclareSmallTypes(d);
    // Components at odd offsets: Value at 1, Tail at 3.
    d.Struct("ODD_T", {{"Flag", "BOOL"}, {"Value", "INT"}, {"Tail", "BOOL"}});
}

// The fields of one answer, in the interface's order.
struct Fields {
    std::string comment;
    int type, size, addr, sect, offset, cix, attr, comp;
    bool operator==(const Fields&) const = default;
};

void PrintTo(const Fields& f, std::ostream* os) {
    *os << "{'" << f.comment << "' type " << f.type << " size " << f.size << " addr " << f.addr << " sect " << f.sect
        << " off " << f.offset << " cix " << f.cix << " attr " << f.attr << " comp " << f.comp << "}";
}

class QueryNamed : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<std::string> lines = kDocumentLines;
        lines.push_back("odd,11,1,0,ODD_T,4,4,500,0,0,0,0,Odd one");
        lines.push_back("oddu,12,2,0,ODD_T,4,0,0,0,0,0,0,Odd unlocated");
        env.WriteVar(lines);
        h = env.Open();
        ASSERT_NE(h, 0);
        intId = IdOf("INT");
        boolId = IdOf("BOOL");
        dintId = IdOf("DINT");
        motorId = IdOf("MOTOR_T");
        env.Traces();
        env.Logs();
    }
    SHORT IdOf(const std::string& type) {
        SHORT id = 0, rc = -9;
        Bstr name(type);
        env.Doc().GetTypeId(h, name.get(), &id, &rc);
        EXPECT_EQ(rc, 0) << type;
        return id;
    }
    SHORT Named(LONG handle, const std::string& name, Fields& f) {
        Bstr text(name);
        Bstr cmnt("old");
        SHORT t = -7, s = -7, a = -7, se = -7, c = -7, at = -7, co = -7, rc = -9;
        LONG o = -7;
        EXPECT_EQ(env.Doc().GetNamedVarInfoEx(handle, text.get(), cmnt.out(), &t, &s, &a, &se, &o, &c, &at, &co, &rc),
                  S_OK);
        f = {cmnt.text(), t, s, a, se, o, c, at, co};
        return rc;
    }
    SHORT Named2(LONG handle, const std::string& name, Fields& f, LONG& kind, Var& init, bool& cmntNull) {
        Bstr text(name);
        Bstr cmnt("old");
        init.I4(99);
        LONG k = -7, t = -7, s = -7, a = -7, o = -7, at = -7, co = -7;
        SHORT se = -7, c = -7, rc = -9;
        EXPECT_EQ(env.Doc().GetNamedVarInfo2Ex(handle, text.get(), cmnt.out(), &init, &k, &t, &s, &a, &se, &o, &c,
                                               &at, &co, &rc),
                  S_OK);
        f = {cmnt.text(), t, s, a, se, o, c, at, co};
        kind = k;
        cmntNull = cmnt.isNull();
        return rc;
    }

    DocumentEnv env{DeclareNamedTypes};
    LONG h = 0;
    SHORT intId = 0, boolId = 0, dintId = 0, motorId = 0;
};

TEST_F(QueryNamed, GetNamedVarInfoExFoldsWithDecrement) {
    struct Case {
        const char* name;
        std::string lookup;
        Fields expected;
    } const cases[] = {
        {"whole located variable: offset - 1", "Motor", {"Main drive", motorId, 3, 4, 4, 99, -1, 6, 0}},
        {"component at an even offset", "MOTOR.ON", {"Main drive", boolId, 1, 4, 4, 100, -1, 6, 0}},
        {"first component", "motor.speed", {"Main drive", intId, 2, 4, 4, 99, -1, 6, 0}},
        {"array element", "buf[3]", {"Buffer", intId, 2, 4, 4, 201, -1, 0, 0}},
        {"two indexes in brackets", "m[1][2]", {"Matrix", dintId, 4, 4, 4, 305, -1, 0, 0}},
        {"two indexes in one bracket", "m[1,2]", {"Matrix", dintId, 4, 4, 4, 305, -1, 0, 0}},
        {"component at offset 1", "odd.value", {"Odd one", intId, 2, 4, 4, 499, -1, 0, 1}},
        {"component at offset 3", "odd.tail", {"Odd one", boolId, 1, 4, 4, 500, -1, 0, 1}},
        {"unlocated: no folding", "oddu.tail", {"Odd unlocated", boolId, 1, 88, 0, 0, -1, 0, 3}},
        {"unlocated whole variable", "motor1", {"Speed", intId, 2, 88, 0, 0, -1, 0, 0}},
        {"unknown name: zeros, offset -1", "nothing", {"", 0, 0, 0, 0, -1, 0, 0, 0}},
        {"'+' is not special here", "motor+", {"", 0, 0, 0, 0, -1, 0, 0, 0}},
        {"path on an elementary variable", "x.y", {"", 0, 0, 0, 0, -1, 0, 0, 0}},
        {"empty name", "", {"", 0, 0, 0, 0, -1, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fields f;
        EXPECT_EQ(Named(h, c.lookup, f), 0);
        EXPECT_EQ(f, c.expected);
        EXPECT_EQ(env.Traces(), std::vector<std::string>{EntryTraceOf("GetNamedVarInfoEx")});
    }
    EXPECT_TRUE(env.Logs().empty());
}

TEST_F(QueryNamed, FailingPathsAndBadHandlesLeaveTheOutputs) {
    const Fields untouched{"old", -7, -7, -7, -7, -7, -7, -7, -7};
    struct Case {
        const char* name;
        LONG handle;
        std::string lookup;
    } const cases[] = {
        {"unknown component", h, "motor.nope"},
        {"index above the bounds", h, "buf[4]"},
        {"negative index", h, "buf[-1]"},
        {"component of an array", h, "buf.x"},
        {"bad handle", 0x31313131, "motor"},
        {"handle 0", 0, "motor"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fields f;
        EXPECT_EQ(Named(c.handle, c.lookup, f), 1);
        EXPECT_EQ(f, untouched);
    }
}

TEST_F(QueryNamed, GetNamedVarInfo2ExFoldsWithoutDecrementAndDeliversKinds) {
    struct Case {
        const char* name;
        std::string lookup;
        Fields expected;
        LONG kind;
    } const cases[] = {
        {"whole located variable: offset unchanged", "motor", {"Main drive", motorId, 3, 4, 4, 100, -1, 6, 0}, 1},
        {"component: kind 0", "motor.on", {"Main drive", boolId, 1, 4, 4, 101, -1, 6, 0}, 0},
        {"component at offset 3", "odd.tail", {"Odd one", boolId, 1, 4, 4, 501, -1, 0, 1}, 0},
        {"unlocated kind 2", "counter", {"Count", dintId, 4, 88, 0, 0, -1, 0, 0}, 2},
        {"kind 5", "y", {"Shares it too", intId, 2, 3, 3, 40, -1, 1, 0}, 5},
        {"unknown name: offset 0", "nothing", {"", 0, 0, 0, 0, 0, 0, 0, 0}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fields f;
        LONG kind = -9;
        Var init;
        bool cmntNull = true;
        EXPECT_EQ(Named2(h, c.lookup, f, kind, init, cmntNull), 0);
        EXPECT_EQ(f, c.expected);
        EXPECT_EQ(kind, c.kind);
        EXPECT_FALSE(cmntNull);
        EXPECT_EQ(init->vt, VT_BSTR);
        EXPECT_NE(init->bstrVal, nullptr);
        EXPECT_EQ(SysStringLen(init->bstrVal), 0u);
    }
}

TEST_F(QueryNamed, GetNamedVarInfo2ExReleasesCommentAndInitialValueFirst) {
    for (const std::string& lookup : {std::string("motor.nope")}) {
        Fields f;
        LONG kind = -9;
        Var init;
        bool cmntNull = false;
        EXPECT_EQ(Named2(h, lookup, f, kind, init, cmntNull), 1);
        EXPECT_TRUE(cmntNull);
        EXPECT_EQ(init->vt, VT_EMPTY);
        EXPECT_EQ(kind, -7);
    }
    Fields f;
    LONG kind = -9;
    Var init;
    bool cmntNull = false;
    EXPECT_EQ(Named2(0x0F0F0F0F, "motor", f, kind, init, cmntNull), 1) << "also for a bad handle";
    EXPECT_TRUE(cmntNull);
    EXPECT_EQ(init->vt, VT_EMPTY);
}

// The output arrays of GetNamedVarInfosEx.
struct Arrays {
    Var cmnts, types, sizes, addrs, sects, offsets, cixs, attrs, comps;
    SHORT rc = -9;
    HRESULT Call(IVarsvc& doc, LONG h, VARIANT* names) {
        return doc.GetNamedVarInfosEx(h, names, &cmnts, &types, &sizes, &addrs, &sects, &offsets, &cixs, &attrs,
                                      &comps, &rc);
    }
};

TEST_F(QueryNamed, GetNamedVarInfosExAnswersEveryNameAndSkipsNullOnes) {
    Var names;
    names.Strings({"motor", nullptr, "buf[3]", "nothing", "ODD.TAIL"});
    Arrays a;
    a.cmnts.I4(1); // not the marker: replaced
    ASSERT_EQ(a.Call(env.Doc(), h, &names), S_OK);
    EXPECT_EQ(a.rc, 0);
    EXPECT_EQ(a.cmnts->vt, VT_ARRAY | VT_BSTR);
    EXPECT_EQ(StringsOf(*a.cmnts), (std::vector<std::string>{"Main drive", "<null>", "Buffer", "<null>", "Odd one"}));
    EXPECT_EQ(a.types->vt, VT_ARRAY | VT_I2);
    EXPECT_EQ(a.offsets->vt, VT_ARRAY | VT_I4);
    EXPECT_EQ(NumbersOf(*a.types), (std::vector<int32_t>{motorId, 0, intId, 0, boolId}));
    EXPECT_EQ(NumbersOf(*a.sizes), (std::vector<int32_t>{3, 0, 2, 0, 1}));
    EXPECT_EQ(NumbersOf(*a.addrs), (std::vector<int32_t>{4, 0, 4, 0, 4}));
    EXPECT_EQ(NumbersOf(*a.sects), (std::vector<int32_t>{4, 0, 4, 0, 4}));
    EXPECT_EQ(NumbersOf(*a.offsets), (std::vector<int32_t>{99, 0, 201, -1, 500}));
    EXPECT_EQ(NumbersOf(*a.cixs), (std::vector<int32_t>{-1, 0, -1, 0, -1}));
    EXPECT_EQ(NumbersOf(*a.attrs), (std::vector<int32_t>{6, 0, 0, 0, 0}));
    EXPECT_EQ(NumbersOf(*a.comps), (std::vector<int32_t>{0, 0, 0, 0, 1}));
    EXPECT_EQ(env.Traces(), std::vector<std::string>{EntryTraceOf("GetNamedVarInfosEx")});
}

TEST_F(QueryNamed, GetNamedVarInfosExStopsAtAFailingLookup) {
    Var names;
    names.Strings({"motor", "motor.nope", "buf"});
    Arrays a;
    ASSERT_EQ(a.Call(env.Doc(), h, &names), S_OK);
    EXPECT_EQ(a.rc, 1);
    EXPECT_EQ(StringsOf(*a.cmnts), (std::vector<std::string>{"Main drive", "<null>", "<null>"}));
    EXPECT_EQ(NumbersOf(*a.sizes), (std::vector<int32_t>{3, 0, 0}));
}

TEST_F(QueryNamed, GetNamedVarInfosExMarkersAndInputs) {
    Var names;
    names.Strings({"buf"});
    Arrays a;
    a.cmnts.Marker(VT_I2);
    a.comps.Marker(VT_I4);
    ASSERT_EQ(a.Call(env.Doc(), h, &names), S_OK);
    EXPECT_EQ(a.rc, 0);
    EXPECT_EQ(a.cmnts->vt, VT_I2);
    EXPECT_EQ(a.comps->vt, VT_I4);
    EXPECT_EQ(NumbersOf(*a.sizes), std::vector<int32_t>{6});

    // The names by reference are taken as well.
    SAFEARRAY* array = names->parray;
    Var byRef;
    byRef->vt = VT_BYREF | VT_ARRAY | VT_BSTR;
    byRef->pparray = &array;
    Arrays r;
    ASSERT_EQ(r.Call(env.Doc(), h, &byRef), S_OK);
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(StringsOf(*r.cmnts), std::vector<std::string>{"Buffer"});
    byRef->vt = VT_EMPTY; // the array belongs to `names`

    // An empty list: arrays of no elements.
    Var none;
    none.Strings({});
    Arrays e;
    ASSERT_EQ(e.Call(env.Doc(), h, &none), S_OK);
    EXPECT_EQ(e.rc, 0);
    EXPECT_EQ(e.cmnts->vt, VT_ARRAY | VT_BSTR);
    EXPECT_TRUE(StringsOf(*e.cmnts).empty());

    // Inputs that are no one-dimensional array of strings.
    Var variants;
    variants->vt = VT_ARRAY | VT_VARIANT;
    variants->parray = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    Var scalar;
    scalar->vt = VT_BSTR;
    scalar->bstrVal = SysAllocString(u"motor");
    Var matrix;
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    matrix->vt = VT_ARRAY | VT_BSTR;
    matrix->parray = SafeArrayCreate(VT_BSTR, 2, bounds);
    Var shorts;
    shorts.Shorts({1, 2});
    for (Var* input : {std::addressof(variants), std::addressof(scalar), std::addressof(matrix),
                       std::addressof(shorts)}) {
        SCOPED_TRACE((*input)->vt);
        Arrays w;
        w.types.I4(5);
        ASSERT_EQ(w.Call(env.Doc(), h, &*input), S_OK);
        EXPECT_EQ(w.rc, 1);
        EXPECT_EQ(w.types->vt, VT_I4) << "outputs untouched";
        EXPECT_EQ(w.cmnts->vt, VT_EMPTY);
    }
    Arrays n;
    ASSERT_EQ(n.Call(env.Doc(), h, nullptr), S_OK);
    EXPECT_EQ(n.rc, 1);
    Arrays b;
    ASSERT_EQ(b.Call(env.Doc(), 0, &names), S_OK);
    EXPECT_EQ(b.rc, 1);
    EXPECT_EQ(b.cmnts->vt, VT_EMPTY);
}

TEST_F(QueryNamed, GetNamedVarInfosExAllocationFailuresGoOn) {
    Var names;
    names.Strings({"motor", "buf"});
    struct Case {
        const char* name;
        long failAt;
        SHORT rc;
        VARTYPE cmnts, types, sizes;
    } const cases[] = {
        {"comments array", 1, 22, VT_EMPTY, VT_ARRAY | VT_I2, VT_ARRAY | VT_I2},
        {"types array", 3, 21, VT_ARRAY | VT_BSTR, VT_EMPTY, VT_ARRAY | VT_I2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Arrays a;
        korvane::platform::OleFailAllocationAfter(c.failAt);
        ASSERT_EQ(a.Call(env.Doc(), h, &names), S_OK);
        korvane::platform::OleFailAllocationAfter(0);
        EXPECT_EQ(a.rc, c.rc);
        EXPECT_EQ(a.cmnts->vt, c.cmnts);
        EXPECT_EQ(a.types->vt, c.types);
        EXPECT_EQ(a.sizes->vt, c.sizes);
        EXPECT_EQ(NumbersOf(*a.sizes), (std::vector<int32_t>{3, 6})) << "the names are still answered";
    }
}

} // namespace
