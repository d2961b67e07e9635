// The document's lookups by memory address: GetFirstAdrInfoEx,
// GetNextAdrInfoEx and GetAdrInfosEx.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/OleMemory.h"
#include "tests/server/DocumentTestSupport.h"

using namespace servertest;

namespace {

class QueryAddress : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<std::string> lines = kDocumentLines;
        // A third variable at x's address, and one whose offset needs 32 bits.
        lines.push_back("a3,13,1,0,INT,2,3,40,0,0,0,0,Third");
        lines.push_back("far,14,1,0,INT,2,4,100000,0,0,0,0,Far away");
        env.WriteVar(lines);
        h = env.Open();
        ASSERT_NE(h, 0);
        env.Traces();
        env.Logs();
    }
    // GetFirstAdrInfoEx then GetNextAdrInfoEx until an empty name.
    std::vector<std::string> Walk(SHORT addr, SHORT sect, LONG offset, SHORT cix, SHORT& firstRc) {
        std::vector<std::string> names;
        Bstr name("old");
        firstRc = -9;
        env.Doc().GetFirstAdrInfoEx(h, addr, sect, offset, cix, name.out(), &firstRc);
        for (int guard = 0; guard < 100 && !name.text().empty(); ++guard) {
            names.push_back(name.text());
            SHORT rc = -9;
            env.Doc().GetNextAdrInfoEx(h, name.out(), &rc);
            EXPECT_EQ(rc, 0);
        }
        EXPECT_FALSE(name.isNull()) << "an empty string, not null";
        return names;
    }
    DocumentEnv env;
    LONG h = 0;
};

TEST_F(QueryAddress, FirstAndNextNamesAtAnAddress) {
    struct Case {
        const char* name;
        SHORT addr, sect;
        LONG offset;
        SHORT cix;
        std::vector<std::string> expected;
    } const cases[] = {
        {"three variables, key order", 3, 3, 40, -1, {"a3", "x", "y"}},
        {"context index 0 selects none", 3, 3, 40, 0, {}},
        {"context index 1 selects none", 3, 3, 40, 1, {}},
        {"no variable there", 3, 3, 41, -1, {}},
        {"the area must match", 4, 3, 40, -1, {}},
        {"32-bit offset", 4, 4, 100000, -1, {"far"}},
        {"offset cut to 16 bits does not match", 4, 4, 100000 - 65536, -1, {}},
        {"unlocated variables have area 88", 88, 0, 0, -1, {"Counter", "Motor1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SHORT rc = -9;
        EXPECT_EQ(Walk(c.addr, c.sect, c.offset, c.cix, rc), c.expected);
        EXPECT_EQ(rc, 0);
    }
    // After the end the next name stays empty with status 0.
    Bstr name("old");
    SHORT rc = -9;
    env.Doc().GetNextAdrInfoEx(h, name.out(), &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(name.text(), "");
    env.Traces();
    env.Doc().GetNextAdrInfoEx(h, name.out(), &rc);
    EXPECT_EQ(env.Traces(), std::vector<std::string>{EntryTraceOf("GetNextAdrInfoEx")});
}

TEST_F(QueryAddress, BadHandlesAnswerOne) {
    for (LONG handle : {LONG{0}, LONG{0x0DDBA11}}) {
        Bstr name("old");
        SHORT rc = -9;
        env.Doc().GetFirstAdrInfoEx(handle, 3, 3, 40, -1, name.out(), &rc);
        EXPECT_EQ(rc, 1);
        EXPECT_EQ(name.text(), "old");
        env.Doc().GetNextAdrInfoEx(handle, name.out(), &rc);
        EXPECT_EQ(rc, 1);
        EXPECT_EQ(name.text(), "old");
    }
}

TEST_F(QueryAddress, AllNamesAtAnAddressAsOneArray) {
    struct Case {
        const char* name;
        LONG handle;
        SHORT addr, sect;
        LONG offset;
        SHORT cix;
        SHORT rc;
        std::vector<std::string> names;
    } const cases[] = {
        {"three names", h, 3, 3, 40, -1, 0, {"a3", "x", "y"}},
        {"one name", h, 4, 4, 100000, -1, 0, {"far"}},
        {"no variable: -23, empty VARIANT", h, 3, 3, 42, -1, -23, {}},
        {"context index 0: -23", h, 3, 3, 40, 0, -23, {}},
        {"bad handle: cleared all the same", 0x7A7A7A7A, 3, 3, 40, -1, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Var out;
        out.Strings({"stale"});
        SHORT rc = -9;
        EXPECT_EQ(env.Doc().GetAdrInfosEx(c.handle, c.addr, c.sect, c.offset, c.cix, &out, &rc), S_OK);
        EXPECT_EQ(rc, c.rc);
        if (c.names.empty()) {
            EXPECT_EQ(out->vt, VT_EMPTY);
        } else {
            EXPECT_EQ(out->vt, VT_ARRAY | VT_BSTR);
            EXPECT_EQ(StringsOf(*out), c.names);
            LONG lower = -1;
            SafeArrayGetLBound(out->parray, 1, &lower);
            EXPECT_EQ(lower, 0);
        }
    }
    // The array cannot be made.
    Var out;
    SHORT rc = -9;
    korvane::platform::OleFailAllocationAfter(1);
    env.Doc().GetAdrInfosEx(h, 3, 3, 40, -1, &out, &rc);
    korvane::platform::OleFailAllocationAfter(0);
    EXPECT_EQ(rc, 22);
    EXPECT_EQ(out->vt, VT_EMPTY);
}

} // namespace
