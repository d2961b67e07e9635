// The catalogue's table: key order by unsigned lower-cased bytes, duplicate
// keys that differ only in case, exact lookup, the prefix run, the storage
// limits and emptying.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/VarTable.h"

namespace {

VarRecord Named(std::string_view name, std::string_view comment = "") {
    VarRecord r;
    r.VarName = name;
    r.VarCmnt = comment;
    return r;
}

std::vector<std::string> NamesInOrder(VarTable& table) {
    std::vector<std::string> names;
    for (VarTable::Index i : table.Ordered())
        names.emplace_back(table.At(i).VarName);
    return names;
}

struct OrderCase {
    const char* name;
    std::vector<std::string> inserted;
    std::vector<std::string> expected;
};

TEST(VarTable, WalksInKeyOrder) {
    const std::vector<OrderCase> cases = {
        {"empty", {}, {}},
        {"one", {"a"}, {"a"}},
        {"shorter key first", {"abc", "ab", "abcd", "a"}, {"a", "ab", "abc", "abcd"}},
        {"case does not order", {"b", "A", "C", "a1"}, {"A", "a1", "b", "C"}},
        {"upper case sorts as lower case: '_' (0x5F) before 'a'", {"a", "_x", "B", "Z"}, {"_x", "a", "B", "Z"}},
        {"bytes above 127 after ASCII", {"\xe4x", "zz", "a"}, {"a", "zz", "\xe4x"}},
        {"upper-case umlaut is not lowered", {"\xe4", "\xc4"}, {"\xc4", "\xe4"}},
        {"keys equal in their first eight bytes", {"abcdefgh2", "abcdefgh10", "abcdefgh", "ABCDEFGH1"},
         {"abcdefgh", "ABCDEFGH1", "abcdefgh10", "abcdefgh2"}},
        {"digits", {"v10", "v9", "v1"}, {"v1", "v10", "v9"}},
    };
    for (const OrderCase& c : cases) {
        SCOPED_TRACE(c.name);
        VarTable table;
        for (const std::string& n : c.inserted)
            EXPECT_TRUE(table.Insert(Named(n)));
        EXPECT_EQ(NamesInOrder(table), c.expected);
        EXPECT_EQ(table.Size(), c.inserted.size());
    }
}

TEST(VarTable, NamesThatDifferOnlyInCaseAreOneKey) {
    VarTable table;
    EXPECT_TRUE(table.Insert(Named("Motor1", "first")));
    EXPECT_FALSE(table.Insert(Named("MOTOR1", "second")));
    EXPECT_FALSE(table.Insert(Named("motor1")));
    EXPECT_TRUE(table.Insert(Named("Motor10")));
    EXPECT_EQ(table.Size(), 2u);
    VarTable::Index i;
    ASSERT_TRUE(table.Find("motor1", i));
    EXPECT_EQ(table.At(i).VarName, "Motor1");
    EXPECT_EQ(table.At(i).VarCmnt, "first");
    // Umlauts are no A-Z: they are distinct keys.
    EXPECT_TRUE(table.Insert(Named("\xc4")));
    EXPECT_TRUE(table.Insert(Named("\xe4")));
}

TEST(VarTable, RecordsKeepEveryValue) {
    VarTable table;
    VarRecord r = Named("Speed_SP", "Setpoint, rpm");
    r.VarKind = -32768;
    r.VarType = -11;
    r.VarSize = INT32_MAX;
    r.VarAddr = INT32_MIN;
    r.VarIECMemDescSectID = 32767;
    r.VarIECMemDescAddrOffset = -5;
    r.VarIECMemDescSectCIx = -1;
    r.VarAttr = 7;
    ASSERT_TRUE(table.Insert(r));
    VarRecord back = table.At(0);
    EXPECT_EQ(back.VarName, "Speed_SP");
    EXPECT_EQ(back.VarCmnt, "Setpoint, rpm");
    EXPECT_EQ(back.VarKind, -32768);
    EXPECT_EQ(back.VarType, -11);
    EXPECT_EQ(back.VarSize, INT32_MAX);
    EXPECT_EQ(back.VarAddr, INT32_MIN);
    EXPECT_EQ(back.VarIECMemDescSectID, 32767);
    EXPECT_EQ(back.VarIECMemDescAddrOffset, -5);
    EXPECT_EQ(back.VarIECMemDescSectCIx, -1);
    EXPECT_EQ(back.VarAttr, 7);
}

struct LimitCase {
    const char* name;
    size_t nameLength, commentLength;
    int32_t kind, section, attr;
    bool accepted;
};

TEST(VarTable, InsertRefusesWhatTheCompactRecordCannotHold) {
    const std::vector<LimitCase> cases = {
        {"empty name", 0, 0, 0, 0, 0, true},
        {"longest name and comment", 65535, 65535, 0, 0, 0, true},
        {"name one past", 65536, 0, 0, 0, 0, false},
        {"comment one past", 1, 65536, 0, 0, 0, false},
        {"kind beyond 16 bits", 1, 0, 32768, 0, 0, false},
        {"section beyond 16 bits", 1, 0, 0, -32769, 0, false},
        {"attribute beyond 8 bits", 1, 0, 0, 0, 128, false},
    };
    for (const LimitCase& c : cases) {
        SCOPED_TRACE(c.name);
        VarTable table;
        std::string name(c.nameLength, 'n'), comment(c.commentLength, 'c');
        VarRecord r = Named(name, comment);
        r.VarKind = c.kind;
        r.VarIECMemDescSectID = c.section;
        r.VarAttr = c.attr;
        EXPECT_EQ(table.Insert(r), c.accepted);
        EXPECT_EQ(table.Size(), c.accepted ? 1u : 0u);
        if (c.accepted) {
            EXPECT_EQ(table.At(0).VarName, name);
            EXPECT_EQ(table.At(0).VarCmnt, comment);
        }
    }
}

TEST(VarTable, ManyRecordsAcrossBlocksAndChunks) {
    VarTable table;
    const int n = 100000; // more than one record block and text chunk
    std::vector<std::string> names;
    for (int i = 0; i < n; ++i)
        names.push_back("Var_" + std::to_string((i * 7919) % n) + std::string(i % 17, 'x'));
    for (const std::string& name : names)
        ASSERT_TRUE(table.Insert(Named(name, name)));
    EXPECT_EQ(table.Size(), static_cast<size_t>(n));
    const std::vector<std::string> ordered = NamesInOrder(table);
    ASSERT_EQ(ordered.size(), names.size());
    for (size_t i = 1; i < ordered.size(); ++i)
        ASSERT_LT(ordered[i - 1], ordered[i]); // all lower case here: byte order
    for (int i = 0; i < n; i += 997) {
        VarTable::Index index;
        std::string key = names[static_cast<size_t>(i)];
        for (char& ch : key)
            ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
        ASSERT_TRUE(table.Find(key, index));
        EXPECT_EQ(table.At(index).VarCmnt, names[static_cast<size_t>(i)]);
    }
    // Inserting after a walk re-sorts at the next walk.
    ASSERT_TRUE(table.Insert(Named("AAA")));
    EXPECT_EQ(table.At(table.Ordered().front()).VarName, "AAA");
}

struct FindCase {
    const char* key;
    bool found;
    const char* name;
};

TEST(VarTable, FindTakesTheLowerCasedKeyExactly) {
    VarTable table;
    for (const char* n : {"Motor", "motor1", "MOTOR2", "buf+", "m[1]"})
        ASSERT_TRUE(table.Insert(Named(n)));
    const std::vector<FindCase> cases = {
        {"", false, ""},         {"motor", true, "Motor"}, {"Motor", false, ""},
        {"motor2", true, "MOTOR2"}, {"moto", false, ""},  {"motor12", false, ""},
        {"buf+", true, "buf+"},  {"m[1]", true, "m[1]"},  {"motor ", false, ""},
    };
    for (const FindCase& c : cases) {
        SCOPED_TRACE(c.key);
        VarTable::Index index = 12345;
        EXPECT_EQ(table.Find(c.key, index), c.found);
        if (c.found) {
            EXPECT_EQ(table.At(index).VarName, c.name);
        }
    }
    VarTable empty;
    VarTable::Index index;
    EXPECT_FALSE(empty.Find("motor", index));
}

TEST(VarTable, PrefixRunInKeyOrder) {
    VarTable table;
    for (const char* n : {"mot", "Motor1", "MOTOR2", "mou", "ma", "m"})
        ASSERT_TRUE(table.Insert(Named(n)));
    const std::vector<VarTable::Index>& order = table.Ordered();
    size_t at = table.LowerBound("mot");
    std::vector<std::string> run;
    for (; at < order.size() && table.KeyStartsWith(order[at], "mot"); ++at)
        run.emplace_back(table.At(order[at]).VarName);
    EXPECT_EQ(run, (std::vector<std::string>{"mot", "Motor1", "MOTOR2"}));
    EXPECT_EQ(table.LowerBound(""), 0u);
    EXPECT_EQ(table.LowerBound("zz"), order.size());
}

TEST(VarTable, ClearEmptiesAndFreesEverything) {
    VarTable table;
    for (int i = 0; i < 1000; ++i)
        ASSERT_TRUE(table.Insert(Named("v" + std::to_string(i))));
    table.Ordered();
    EXPECT_GT(table.MemoryBytes(), 0u);
    table.Clear();
    EXPECT_EQ(table.Size(), 0u);
    EXPECT_EQ(table.MemoryBytes(), 0u);
    EXPECT_TRUE(table.Ordered().empty());
    VarTable::Index index;
    EXPECT_FALSE(table.Find("v1", index));
    EXPECT_TRUE(table.Insert(Named("V1")));
    EXPECT_TRUE(table.Find("v1", index));
}

} // namespace
