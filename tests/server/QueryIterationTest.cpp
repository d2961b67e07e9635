// The document's filtered iteration and block reading: GetFirstVarInfoEx,
// GetNextVarInfoEx, SetVarInfoFilter and GetVarInfoBlockEx with its limits,
// reply budget, not-wanted markers and allocation failures, and what a
// selection that a re-read replaced yields.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/OleMemory.h"
#include "tests/server/DocumentTestSupport.h"

using namespace servertest;

namespace {

struct Item {
    std::string name, comment;
    int type, addr, sect, offset, cix;
    bool operator==(const Item&) const = default;
};

void PrintTo(const Item& i, std::ostream* os) {
    *os << "{" << i.name << " '" << i.comment << "' " << i.type << " " << i.addr << " " << i.sect << " "
        << i.offset << " " << i.cix << "}";
}

class QueryIteration : public ::testing::Test {
protected:
    void SetUp() override {
        env.WriteVar(kDocumentLines);
        h = env.Open();
        ASSERT_NE(h, 0);
        SHORT rc = -9;
        Bstr name("INT");
        env.Doc().GetTypeId(h, name.get(), &intId, &rc);
        ASSERT_EQ(rc, 0);
        ASSERT_LT(intId, 0);
        env.Traces();
        env.Logs();
    }
    // GetFirstVarInfoEx; the entry, or nothing with the status.
    SHORT First(const std::string& mask, SHORT type, SHORT addr, Item& item) {
        Bstr m(mask);
        SHORT rc = -9;
        EXPECT_EQ(env.Doc().GetFirstVarInfoEx(h, m.get(), type, addr, name.out(), cmnt.out(), &vt, &va, &vs, &vo,
                                              &vc, &rc),
                  S_OK);
        item = {name.text(), cmnt.text(), vt, va, vs, vo, vc};
        return rc;
    }
    SHORT Next(Item& item) {
        SHORT rc = -9;
        EXPECT_EQ(env.Doc().GetNextVarInfoEx(h, name.out(), cmnt.out(), &vt, &va, &vs, &vo, &vc, &rc), S_OK);
        item = {name.text(), cmnt.text(), vt, va, vs, vo, vc};
        return rc;
    }
    std::vector<std::string> All(const std::string& mask, SHORT type, SHORT addr) {
        std::vector<std::string> names;
        Item item;
        if (First(mask, type, addr, item) != 0)
            return names;
        names.push_back(item.name);
        while (Next(item) == 0)
            names.push_back(item.name);
        return names;
    }

    DocumentEnv env;
    LONG h = 0;
    SHORT intId = 0;
    Bstr name, cmnt;
    SHORT vt = 0, va = 0, vs = 0, vc = 0;
    LONG vo = 0;
};

TEST_F(QueryIteration, FirstAndNextEntriesOfAFilter) {
    struct Case {
        const char* name;
        std::string mask;
        SHORT type, addr;
        std::vector<std::string> expected;
    } const cases[] = {
        {"empty mask: everything in key order", "", 0, -1,
         {"buf", "Counter", "m", "Motor", "Motor1", "MOTOR2", "x", "y"}},
        {"prefix in any case", "MOT", 0, -1, {"Motor", "Motor1", "MOTOR2"}},
        {"'*' is an ordinary character", "*", 0, -1, {}},
        {"unlocated variables", "", 0, 88, {"Counter", "Motor1"}},
        {"located variables of area 3", "", 0, 3, {"x", "y"}},
        {"negative type mask is sign-extended", "", intId, -1, {"Motor1", "x", "y"}},
        {"expansion of a structure", "motor+", 0, -1, {"Motor.Speed", "Motor.On"}},
        {"expansion of an array", "buf+", 0, -1, {"buf[1]", "buf[2]", "buf[3]"}},
        {"a path that does not resolve", "motor.nothing", 0, -1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(All(c.mask, c.type, c.addr), c.expected);
    }
}

TEST_F(QueryIteration, EntryFieldsAreDeliveredUnchanged) {
    Item item;
    ASSERT_EQ(First("motor.on", 0, -1, item), 0);
    // A component: the variable's comment and address, no folding here.
    EXPECT_EQ(item, (Item{"Motor.on", "Main drive", -1, 4, 4, 100, -1}));
    ASSERT_EQ(First("counter", 0, -1, item), 0);
    SHORT dintId = vt;
    EXPECT_LT(dintId, 0);
    EXPECT_EQ(item, (Item{"Counter", "Count", dintId, 88, 0, 0, -1}));
    EXPECT_EQ(Next(item), 1) << "nothing after the last";
    EXPECT_EQ(item, (Item{"Counter", "Count", dintId, 88, 0, 0, -1})) << "outputs untouched at the end";
    EXPECT_EQ(env.Traces(), (std::vector<std::string>{EntryTraceOf("GetFirstVarInfoEx"),
                                                      EntryTraceOf("GetFirstVarInfoEx"),
                                                      EntryTraceOf("GetNextVarInfoEx")}));
    EXPECT_TRUE(env.Logs().empty());

    // An empty selection leaves the outputs as they were.
    ASSERT_EQ(First("zzz", 0, -1, item), 1);
    EXPECT_EQ(item.name, "Counter");
}

TEST_F(QueryIteration, BadHandlesAndUnattachedLogins) {
    const LONG unattached = env.Login("none");
    env.Traces();
    env.Logs();
    for (LONG handle : {LONG{0}, LONG{0x5A5A5A5A}, unattached}) {
        SCOPED_TRACE(handle);
        Item item;
        name.Clear();
        Bstr mask("");
        SHORT rc = -9;
        env.Doc().GetFirstVarInfoEx(handle, mask.get(), 0, -1, name.out(), cmnt.out(), &vt, &va, &vs, &vo, &vc, &rc);
        EXPECT_EQ(rc, 1);
        EXPECT_TRUE(name.isNull());
        env.Doc().GetNextVarInfoEx(handle, name.out(), cmnt.out(), &vt, &va, &vs, &vo, &vc, &rc);
        EXPECT_EQ(rc, 1);
        LONG iterator = 77;
        env.Doc().SetVarInfoFilter(handle, mask.get(), 0, -1, 0, &iterator, &rc);
        EXPECT_EQ(rc, 1);
        EXPECT_EQ(iterator, 77);
        const std::vector<std::string> traces = env.Traces();
        EXPECT_EQ(traces.size(), 6u);
        EXPECT_EQ(traces[0], EntryTraceOf("GetFirstVarInfoEx"));
        if (handle != unattached) {
            EXPECT_EQ(traces[1], "CDocument::FindProjectByHandle: Handle " + Hex(handle) + " not found!@CDocument.cpp");
            EXPECT_EQ(env.Logs().size(), 3u);
        } else {
            EXPECT_TRUE(env.Logs().empty());
        }
    }
}

// ---------------------------------------------------------- block reading

// The arguments of GetVarInfoBlockEx, with all arrays wanted unless marked.
struct Block {
    LONG iterator = 0;
    SHORT req = 0, ret = -1, rc = -9;
    Var names, cmnts, types, sizes, addrs, sects, offsets, cixs, attrs, comps;
    HRESULT Read(IVarsvc& doc, LONG h) {
        return doc.GetVarInfoBlockEx(h, &iterator, &req, &ret, &names, &cmnts, &types, &sizes, &addrs, &sects,
                                     &offsets, &cixs, &attrs, &comps, &rc);
    }
};

TEST_F(QueryIteration, SetVarInfoFilterResetsTheIteratorAndBlocksReadTheWholeSelection) {
    SHORT rc = -9;
    LONG iterator = 1234;
    Bstr mask("");
    ASSERT_EQ(env.Doc().SetVarInfoFilter(h, mask.get(), 0, -1, 0, &iterator, &rc), S_OK);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(iterator, 0);
    EXPECT_EQ(env.Traces(), std::vector<std::string>{EntryTraceOf("SetVarInfoFilter")});

    Block b;
    b.req = 3;
    ASSERT_EQ(b.Read(env.Doc(), h), S_OK);
    EXPECT_EQ(b.rc, 0);
    EXPECT_EQ(b.ret, 3);
    EXPECT_EQ(b.req, 3);
    EXPECT_EQ(b.iterator, 3);
    EXPECT_EQ(StringsOf(*b.names), (std::vector<std::string>{"buf", "Counter", "m"}));
    EXPECT_EQ(StringsOf(*b.cmnts), (std::vector<std::string>{"Buffer", "Count", "Matrix"}));
    EXPECT_EQ(b.names->vt, VT_ARRAY | VT_BSTR);
    EXPECT_EQ(b.types->vt, VT_ARRAY | VT_I2);
    EXPECT_EQ(b.offsets->vt, VT_ARRAY | VT_I4);
    EXPECT_EQ(NumbersOf(*b.addrs), (std::vector<int32_t>{4, 88, 4}));
    EXPECT_EQ(NumbersOf(*b.sects), (std::vector<int32_t>{4, 0, 4}));
    EXPECT_EQ(NumbersOf(*b.offsets), (std::vector<int32_t>{200, 0, 300}));
    EXPECT_EQ(NumbersOf(*b.cixs), (std::vector<int32_t>{-1, -1, -1}));
    EXPECT_EQ(NumbersOf(*b.sizes), (std::vector<int32_t>{6, 4, 16}));
    EXPECT_EQ(NumbersOf(*b.attrs), (std::vector<int32_t>{0, 0, 0}));
    EXPECT_EQ(NumbersOf(*b.comps), (std::vector<int32_t>{0, 0, 0}));

    // The iterator is a running count only: a wrong one does not move the
    // read position. The last block is short, arrays keep n elements.
    b.iterator = 1000;
    b.req = 4;
    ASSERT_EQ(b.Read(env.Doc(), h), S_OK);
    EXPECT_EQ(b.ret, 4);
    EXPECT_EQ(b.iterator, 1004);
    EXPECT_EQ(StringsOf(*b.names), (std::vector<std::string>{"Motor", "Motor1", "MOTOR2", "x"}));
    b.req = 4;
    ASSERT_EQ(b.Read(env.Doc(), h), S_OK);
    EXPECT_EQ(b.rc, 0);
    EXPECT_EQ(b.ret, 1);
    EXPECT_EQ(b.req, 4);
    EXPECT_EQ(StringsOf(*b.names), (std::vector<std::string>{"y", "<null>", "<null>", "<null>"}));
    EXPECT_EQ(NumbersOf(*b.attrs), (std::vector<int32_t>{1, 0, 0, 0})) << "kind 5 has attribute bit 0";
    b.req = 4;
    ASSERT_EQ(b.Read(env.Doc(), h), S_OK);
    EXPECT_EQ(b.rc, 0);
    EXPECT_EQ(b.ret, 0);
    EXPECT_EQ(StringsOf(*b.names).size(), 4u);
}

TEST_F(QueryIteration, EmptySelectionTouchesNothing) {
    SHORT rc = -9;
    LONG iterator = 5;
    Bstr mask("nothing here");
    ASSERT_EQ(env.Doc().SetVarInfoFilter(h, mask.get(), 0, -1, 0, &iterator, &rc), S_OK);
    EXPECT_EQ(rc, 0);
    Block b;
    b.names.I4(7);
    b.iterator = 9;
    b.req = 10;
    ASSERT_EQ(b.Read(env.Doc(), h), S_OK);
    EXPECT_EQ(b.rc, 0);
    EXPECT_EQ(b.ret, 0);
    EXPECT_EQ(b.req, 10);
    EXPECT_EQ(b.iterator, 9);
    EXPECT_EQ(b.names->vt, VT_I4);
    EXPECT_EQ(b.names->lVal, 7);
    EXPECT_EQ(b.types->vt, VT_EMPTY);
}

TEST_F(QueryIteration, BlockWithBadHandleAnswersOne) {
    for (LONG handle : {LONG{0}, LONG{-77}}) {
        Block b;
        b.req = 5;
        b.iterator = 3;
        ASSERT_EQ(b.Read(env.Doc(), handle), S_OK);
        EXPECT_EQ(b.rc, 1);
        EXPECT_EQ(b.ret, -1);
        EXPECT_EQ(b.iterator, 3);
        EXPECT_EQ(b.names->vt, VT_EMPTY);
    }
    Block b;
    EXPECT_EQ(env.Doc().GetVarInfoBlockEx(h, &b.iterator, &b.req, &b.ret, &b.names, &b.cmnts, &b.types, &b.sizes,
                                          &b.addrs, &b.sects, &b.offsets, &b.cixs, &b.attrs, &b.comps, nullptr),
              E_POINTER);
}

// Element records (components and elements made by a path or an expansion)
// read in blocks give what the entry-by-entry reads give, in order, whether
// a block ends exactly at the last element or the last block is short.
TEST_F(QueryIteration, BlocksOfElementRecordsMatchTheEntryByEntryReads) {
    struct Case {
        const char* name;
        std::string mask;
        SHORT req;
    } const cases[] = {
        {"structure expansion, one block ends at the last component", "motor+", 2},
        {"structure expansion, one component a block", "motor+", 1},
        {"array expansion, the block ends at the last element", "buf+", 3},
        {"array expansion, the second block is short", "buf+", 2},
        {"one component, block larger than the selection", "motor.on", 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Item> expected;
        Item item;
        ASSERT_EQ(First(c.mask, 0, -1, item), 0);
        expected.push_back(item);
        while (Next(item) == 0)
            expected.push_back(item);

        SHORT rc = -9;
        LONG iterator = 0;
        Bstr mask(c.mask);
        ASSERT_EQ(env.Doc().SetVarInfoFilter(h, mask.get(), 0, -1, 0, &iterator, &rc), S_OK);
        ASSERT_EQ(rc, 0);
        std::vector<Item> got;
        std::vector<SHORT> returned;
        Block b;
        for (int guard = 0; guard < 10; ++guard) {
            b.req = c.req;
            ASSERT_EQ(b.Read(env.Doc(), h), S_OK);
            ASSERT_EQ(b.rc, 0);
            returned.push_back(b.ret);
            if (b.ret <= 0)
                break;
            const std::vector<std::string> names = StringsOf(*b.names), cmnts = StringsOf(*b.cmnts);
            const std::vector<int32_t> types = NumbersOf(*b.types), addrs = NumbersOf(*b.addrs),
                                       sects = NumbersOf(*b.sects), offsets = NumbersOf(*b.offsets),
                                       cixs = NumbersOf(*b.cixs);
            for (size_t i = 0; i < static_cast<size_t>(b.ret); ++i)
                got.push_back({names[i], cmnts[i], types[i], addrs[i], sects[i], offsets[i], cixs[i]});
        }
        EXPECT_EQ(got, expected);
        EXPECT_EQ(b.iterator, static_cast<LONG>(expected.size()));
        std::vector<SHORT> blocks;
        for (size_t left = expected.size(); left > 0; left -= std::min<size_t>(left, c.req))
            blocks.push_back(static_cast<SHORT>(std::min<size_t>(left, c.req)));
        blocks.push_back(0);
        EXPECT_EQ(returned, blocks);
    }
}

// A project of many variables for the limits.
class QueryBlockLimits : public ::testing::Test {
protected:
    void Load(int count, int nameLength, int commentLength) {
        std::vector<std::string> lines;
        for (int i = 0; i < count; ++i) {
            char prefix[16];
            snprintf(prefix, sizeof prefix, "V%05d", i);
            std::string name = prefix;
            name.resize(static_cast<size_t>(nameLength), 'n');
            std::string comment(static_cast<size_t>(commentLength), 'c');
            lines.push_back(name + ",1,2,0,INT,2,0,0,0,0,0,0," + comment);
        }
        env.WriteVar(lines);
        h = env.Open();
        ASSERT_NE(h, 0);
        SHORT rc = -9;
        LONG iterator = 0;
        Bstr mask("");
        env.Doc().SetVarInfoFilter(h, mask.get(), 0, -1, 0, &iterator, &rc);
        ASSERT_EQ(rc, 0);
    }
    DocumentEnv env;
    LONG h = 0;
};

TEST_F(QueryBlockLimits, CountLimitsWithAndWithoutComments) {
    Load(1000, 8, 8);
    struct Case {
        const char* name;
        SHORT req;
        bool comments;
        VARTYPE marker;
        SHORT expectedReq;
    } const cases[] = {
        {"zero: empty arrays", 0, true, VT_I4, 0},
        {"one", 1, true, VT_I4, 1},
        {"limit with comments", 400, true, VT_I4, 400},
        {"one past the limit with comments", 401, true, VT_I4, 400},
        {"1000 with comments", 1000, true, VT_I4, 400},
        {"negative: the limit", -5, true, VT_I4, 400},
        {"largest 16-bit value", 32767, true, VT_I4, 400},
        {"1000 without comments (VT_I4 marker)", 1000, false, VT_I4, 800},
        {"1000 without comments (VT_I2 marker)", 1000, false, VT_I2, 800},
        {"801 without comments", 801, false, VT_I4, 800},
        {"negative without comments", -1, false, VT_I4, 800},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SHORT rc = -9;
        LONG iterator = 0;
        Bstr mask("");
        env.Doc().SetVarInfoFilter(h, mask.get(), 0, -1, 0, &iterator, &rc);
        Block b;
        b.req = c.req;
        if (!c.comments)
            b.cmnts.Marker(c.marker);
        ASSERT_EQ(b.Read(env.Doc(), h), S_OK);
        EXPECT_EQ(b.rc, 0);
        EXPECT_EQ(b.req, c.expectedReq);
        EXPECT_EQ(b.ret, c.expectedReq);
        EXPECT_EQ(b.iterator, c.expectedReq);
        EXPECT_EQ(StringsOf(*b.names).size(), static_cast<size_t>(c.expectedReq));
        EXPECT_EQ(NumbersOf(*b.offsets).size(), static_cast<size_t>(c.expectedReq));
        if (c.comments) {
            EXPECT_EQ(StringsOf(*b.cmnts).size(), static_cast<size_t>(c.expectedReq));
        } else {
            EXPECT_EQ(b.cmnts->vt, c.marker) << "the marker is left as passed";
            EXPECT_EQ(b.cmnts->lVal, 0);
        }
        if (c.expectedReq > 0) {
            char last[16];
            snprintf(last, sizeof last, "V%05dnn", c.expectedReq - 1);
            EXPECT_EQ(StringsOf(*b.names)[static_cast<size_t>(c.expectedReq - 1)], last);
        }
    }
}

TEST_F(QueryBlockLimits, ReplyBudgetCutsTheBlockAndTheNextContinues) {
    // Each entry adds (92 + 8) for its name and (292 + 8) for its comment.
    Load(500, 92, 292);
    Block b;
    b.req = 400;
    ASSERT_EQ(b.Read(env.Doc(), h), S_OK);
    // 14284 bytes of arrays for 400 entries; after 114 entries the budget
    // is 59884, after 115 it is 60284 and passes 60000.
    EXPECT_EQ(b.rc, 0);
    EXPECT_EQ(b.ret, 115);
    EXPECT_EQ(b.req, 115);
    EXPECT_EQ(b.iterator, 115);
    const std::vector<std::string> first = StringsOf(*b.names);
    ASSERT_EQ(first.size(), 400u);
    EXPECT_EQ(first[114].substr(0, 6), "V00114");
    EXPECT_EQ(first[115], "<null>");

    b.req = 400;
    ASSERT_EQ(b.Read(env.Doc(), h), S_OK);
    EXPECT_EQ(b.ret, 115);
    EXPECT_EQ(StringsOf(*b.names)[0].substr(0, 6), "V00115") << "continues without skipping";

    // Without the numeric arrays the budget starts at 204 + 32 + 1600 and
    // allows 146 entries.
    b.req = 400;
    for (Var* v : {std::addressof(b.types), std::addressof(b.sizes), std::addressof(b.addrs),
                   std::addressof(b.sects), std::addressof(b.offsets), std::addressof(b.cixs),
                   std::addressof(b.attrs), std::addressof(b.comps)})
        v->Marker();
    ASSERT_EQ(b.Read(env.Doc(), h), S_OK);
    EXPECT_EQ(b.ret, 146);
    EXPECT_EQ(b.req, 146);
    EXPECT_EQ(StringsOf(*b.names)[0].substr(0, 6), "V00230");
    EXPECT_EQ(b.types->vt, VT_I4);
}

TEST_F(QueryBlockLimits, AllocationFailures) {
    Load(20, 8, 8);
    struct Case {
        const char* name;
        long failAt;
        SHORT rc;
        SHORT ret;
        VARTYPE names, cmnts, types, sizes;
    } const cases[] = {
        {"names array", 1, 22, -1, VT_EMPTY, VT_EMPTY, VT_I4, VT_EMPTY},
        {"names array data", 2, 22, -1, VT_EMPTY, VT_EMPTY, VT_I4, VT_EMPTY},
        {"comments array: names cleared again", 3, 22, -1, VT_EMPTY, VT_EMPTY, VT_I4, VT_EMPTY},
        {"first numeric array: left out, the rest goes on", 5, 21, 5, VT_ARRAY | VT_BSTR, VT_ARRAY | VT_BSTR,
         VT_EMPTY, VT_ARRAY | VT_I2},
        {"a string of the first entry", 21, 22, 0, VT_ARRAY | VT_BSTR, VT_ARRAY | VT_BSTR, VT_ARRAY | VT_I2,
         VT_ARRAY | VT_I2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Block b;
        b.req = 5;
        b.types.I4(3); // not the marker: cleared
        korvane::platform::OleFailAllocationAfter(c.failAt);
        ASSERT_EQ(b.Read(env.Doc(), h), S_OK);
        korvane::platform::OleFailAllocationAfter(0);
        EXPECT_EQ(b.rc, c.rc);
        EXPECT_EQ(b.ret, c.ret);
        EXPECT_EQ(b.names->vt, c.names);
        EXPECT_EQ(b.cmnts->vt, c.cmnts);
        EXPECT_EQ(b.types->vt, c.types);
        EXPECT_EQ(b.sizes->vt, c.sizes);
    }
}

// A string that cannot be made in the middle of a block ends the block with
// the entries before it; its entry is taken from the selection but not
// delivered, so the next block goes on after it.
TEST_F(QueryBlockLimits, AStringFailureInTheMiddleOfABlockEndsItThere) {
    Load(20, 8, 8);
    // Of a block of 5 with every array wanted, allocations 1-20 make the
    // arrays; then each entry makes its name, then its comment.
    struct Case {
        const char* name;
        long failAt;
        SHORT ret;
        const char* nextFirst;
    } const cases[] = {
        {"the name of the third entry", 25, 2, "V00003nn"},
        {"the comment of the third entry", 26, 2, "V00003nn"},
        {"the comment of the last entry of the block", 30, 4, "V00005nn"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SHORT rc = -9;
        LONG iterator = 0;
        Bstr mask("");
        env.Doc().SetVarInfoFilter(h, mask.get(), 0, -1, 0, &iterator, &rc);
        Block b;
        b.req = 5;
        korvane::platform::OleFailAllocationAfter(c.failAt);
        ASSERT_EQ(b.Read(env.Doc(), h), S_OK);
        korvane::platform::OleFailAllocationAfter(0);
        EXPECT_EQ(b.rc, 22);
        EXPECT_EQ(b.ret, c.ret);
        EXPECT_EQ(b.req, 5);
        EXPECT_EQ(b.iterator, c.ret);
        const std::vector<std::string> names = StringsOf(*b.names);
        ASSERT_EQ(names.size(), 5u);
        EXPECT_EQ(names[static_cast<size_t>(c.ret) - 1].substr(0, 6), "V0000" + std::to_string(c.ret - 1));
        EXPECT_EQ(names[static_cast<size_t>(c.ret)], "<null>");
        EXPECT_EQ(StringsOf(*b.cmnts)[static_cast<size_t>(c.ret)], "<null>");

        b.req = 5;
        ASSERT_EQ(b.Read(env.Doc(), h), S_OK);
        EXPECT_EQ(b.rc, 0);
        EXPECT_EQ(b.ret, 5);
        EXPECT_EQ(StringsOf(*b.names)[0], c.nextFirst);
    }
}

// ------------------------------------------------ selections and re-reads

TEST_F(QueryIteration, SelectionReplacedByAReReadIsRefusedUntilRebuilt) {
    const LONG other = env.Open();
    ASSERT_NE(other, 0);
    SHORT rc = -9;
    LONG iterator = 0;
    Bstr mask("");
    env.Doc().SetVarInfoFilter(h, mask.get(), 0, -1, 0, &iterator, &rc);
    Block b;
    b.req = 2;
    ASSERT_EQ(b.Read(env.Doc(), h), S_OK);
    ASSERT_EQ(b.ret, 2);
    Item item;
    ASSERT_EQ(First("", 0, -1, item), 0); // h's selection now from GetFirstVarInfoEx
    env.Doc().SetVarInfoFilter(h, mask.get(), 0, -1, 0, &iterator, &rc);
    ASSERT_EQ(b.Read(env.Doc(), h), S_OK);
    ASSERT_EQ(b.ret, 2);

    // The other login re-reads the changed file.
    std::vector<std::string> lines = kDocumentLines;
    lines.push_back("aaa,1,2,0,INT,2,0,0,0,0,0,0,First now");
    env.WriteVar(lines, "Project time stamp,09/13/01 13:46:50");
    Bstr path(env.Env().ProjectPath());
    env.Doc().ProjReOpen(other, path.get(), &rc);
    ASSERT_EQ(rc, 1);

    b.req = 2;
    b.iterator = 2;
    b.ret = -1;
    b.names.I4(5);
    ASSERT_EQ(b.Read(env.Doc(), h), S_OK);
    EXPECT_EQ(b.rc, 1) << "the read was cut short: refused, not an end";
    EXPECT_EQ(b.ret, -1) << "nothing touched, as for a missing selection";
    EXPECT_EQ(b.iterator, 2);
    EXPECT_EQ(b.names->vt, VT_I4);
    // From then on the selection is empty until the login selects again.
    ASSERT_EQ(b.Read(env.Doc(), h), S_OK);
    EXPECT_EQ(b.rc, 0);
    EXPECT_EQ(b.ret, 0);
    env.Doc().SetVarInfoFilter(h, mask.get(), 0, -1, 0, &iterator, &rc);
    b.req = 2;
    ASSERT_EQ(b.Read(env.Doc(), h), S_OK);
    EXPECT_EQ(b.rc, 0);
    EXPECT_EQ(StringsOf(*b.names), (std::vector<std::string>{"aaa", "buf"}));

    // The same for the entry-by-entry reads.
    ASSERT_EQ(First("", 0, -1, item), 0);
    lines.push_back("bbb,1,2,0,INT,2,0,0,0,0,0,0,Second");
    env.WriteVar(lines, "Project time stamp,09/13/01 13:46:51");
    env.Doc().ProjReOpen(other, path.get(), &rc);
    ASSERT_EQ(rc, 1);
    EXPECT_EQ(Next(item), 1);
    EXPECT_EQ(item.name, "aaa") << "outputs untouched";

    BSTR adr = nullptr;
    env.Doc().GetFirstAdrInfoEx(h, 3, 3, 40, -1, &adr, &rc);
    ASSERT_EQ(rc, 0);
    lines.push_back("ccc,1,2,0,INT,2,0,0,0,0,0,0,Third");
    env.WriteVar(lines, "Project time stamp,09/13/01 13:46:52");
    env.Doc().ProjReOpen(other, path.get(), &rc);
    ASSERT_EQ(rc, 1);
    env.Doc().GetNextAdrInfoEx(h, &adr, &rc);
    EXPECT_EQ(rc, 1);
    SysFreeString(adr);
}

TEST_F(QueryIteration, BlocksThroughLateBoundCallsWithMarkersByValue) {
    SHORT rc = -9;
    LONG iterator = 0;
    Bstr mask("m");
    env.Doc().SetVarInfoFilter(h, mask.get(), 0, -1, 0, &iterator, &rc);
    // GetVarInfoBlockEx(Handle, BlockIterator, NumberReq, NumberRet, VarNames,
    // VarCmnts, ...): the arrays passed by value; VarCmnts and CompOffs as
    // the marker.
    VARIANT args[14];
    for (VARIANT& a : args)
        VariantInit(&a);
    LONG it = 0;
    SHORT req = 10, ret = -1;
    args[13].vt = VT_I4;
    args[13].lVal = h;
    args[12].vt = VT_BYREF | VT_I4;
    args[12].plVal = &it;
    args[11].vt = VT_BYREF | VT_I2;
    args[11].piVal = &req;
    args[10].vt = VT_BYREF | VT_I2;
    args[10].piVal = &ret;
    args[8].vt = VT_I4; // VarCmnts: not wanted
    args[8].lVal = 0;
    args[0].vt = VT_I2; // CompOffs: not wanted
    args[0].iVal = 0;
    DISPPARAMS params = {args, nullptr, 14, 0};
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(env.Doc().Invoke(33, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr), S_OK);
    EXPECT_EQ(result.vt, VT_I2);
    EXPECT_EQ(result.iVal, 0);
    EXPECT_EQ(ret, 4);
    EXPECT_EQ(req, 10);
    EXPECT_EQ(it, 4);
    EXPECT_EQ(StringsOf(args[9]), (std::vector<std::string>{"m", "Motor", "Motor1", "MOTOR2", "<null>", "<null>",
                                                            "<null>", "<null>", "<null>", "<null>"}));
    EXPECT_EQ(args[8].vt, VT_I4);
    EXPECT_EQ(args[0].vt, VT_I2);
    EXPECT_EQ(NumbersOf(args[5]).size(), 10u);
    for (VARIANT& a : args)
        VariantClear(&a);
}

} // namespace
