// Symbol tables: insertion under one to three keys with and without equal
// keys, case rules of lookups, iteration in bucket order, removal, the
// internal-error location codes and allocation failures.
#include "compiler/SymTab.h"
#include "tests/compiler/AllocFailure.h"
#include "tests/compiler/TestSink.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace symtab;

std::vector<std::string> WalkNames(SymTab& t) {
    std::vector<std::string> out;
    for (SymAttr* r = t.FindFirstEntry(); r != nullptr; r = t.FindNextEntry(r)) {
        out.emplace_back(r->GetName() != nullptr ? r->GetName() : "<anon>");
    }
    return out;
}

TEST(SymTab, EmptyTableIteration) {
    struct Case {
        const char* name;
        unsigned char flags;
    };
    const Case cases[] = {{"name", 0x01}, {"id", 0x02}, {"spec", 0x80}, {"all", 0x2B}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SymTab t(2, nullptr, 11, c.flags, nullptr);
        EXPECT_EQ(t.GetFailed(), 0);
        EXPECT_EQ(t.FindFirstEntry(), nullptr);
        EXPECT_EQ(t.FindNextEntry(nullptr), nullptr);
    }
}

TEST(SymTab, FailedTablesRefuseInserts) {
    struct Case {
        const char* name;
        unsigned short size;
        unsigned char flags;
    };
    const Case cases[] = {{"zero buckets", 0, 0x01}, {"no index at all", 11, 0x00}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SymTab t(2, "owner", c.size, c.flags, nullptr);
        EXPECT_NE(t.GetFailed(), 0);
        EXPECT_EQ(t.GetOwner(), nullptr);
        EXPECT_EQ(t.insert("x", 0, nullptr), nullptr);
        EXPECT_EQ(t.FindFirstEntry(), nullptr);
    }
}

TEST(SymTab, OwnerRecordIsInsertedUnderTheOwnerName) {
    SymTab t(3, "MAIN", 151, 0x01, nullptr);
    ASSERT_NE(t.GetOwner(), nullptr);
    EXPECT_STREQ(t.GetOwner()->GetName(), "MAIN");
    EXPECT_EQ(t.lookup("main"), t.GetOwner());
}

TEST(SymTab, EqualNamesWithAndWithoutDuplicates) {
    // Global table flags 0x21: an existing name returns the existing record.
    SymTab global(2, nullptr, 151, 0x21, nullptr);
    SymAttr* a = global.insert("Motor", 0, nullptr);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(global.insert("MOTOR", 0, nullptr), a);
    EXPECT_EQ(global.insert("motor", 0, nullptr), a);
    EXPECT_EQ(WalkNames(global), std::vector<std::string>{"Motor"});

    // Flag 0x10: a second record that lookup does not return before the first.
    SymTab dup(3, nullptr, 11, 0x10, nullptr);
    SymAttr* d1 = dup.insert("x", 0, nullptr);
    SymAttr* d2 = dup.insert("X", 0, nullptr);
    SymAttr* d3 = dup.insert("x", 0, nullptr);
    ASSERT_NE(d1, nullptr);
    EXPECT_NE(d1, d2);
    EXPECT_NE(d2, d3);
    EXPECT_EQ(dup.lookup("x"), d1);
    // Iteration visits each duplicate in insertion order.
    std::vector<SymAttr*> seen;
    for (SymAttr* r = dup.FindFirstEntry(); r != nullptr; r = dup.FindNextEntry(r)) {
        seen.push_back(r);
    }
    EXPECT_EQ(seen, (std::vector<SymAttr*>{d1, d2, d3}));
}

TEST(SymTab, LookupCaseRules) {
    SymTab exact(9, nullptr, 37, 0x21, nullptr, true);
    SymTab blind(2, nullptr, 151, 0x21, nullptr, false);
    SymAttr* e = exact.insert("INT", -11, nullptr);
    SymAttr* b = blind.insert("INT", 0, nullptr);
    struct Case {
        const char* name;
        SymTab* table;
        const char* key;
        SymAttr* expected;
    };
    const Case cases[] = {
        {"exact, same case", &exact, "INT", e},
        {"exact, lower case", &exact, "int", nullptr},
        {"exact, mixed case", &exact, "Int", nullptr},
        {"blind, same case", &blind, "INT", b},
        {"blind, lower case", &blind, "int", b},
        {"blind, mixed case", &blind, "iNt", b},
        {"blind, prefix only", &blind, "IN", nullptr},
        {"blind, empty", &blind, "", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.table->lookup(c.key), c.expected);
    }
    EXPECT_EQ(exact.lookup(static_cast<short>(-11)), e);
}

TEST(SymTab, IterationFollowsBucketOrder) {
    // Bucket numbers of the HashTab string hash: with 151 buckets gamma 3,
    // motor_t 47, x 88, y 89, alpha 113, delta 115, beta 142; with 11
    // buckets x 0, y 1, alpha 3, motor_t 3, gamma 7, beta 9, delta 10.
    const std::vector<const char*> inserted = {"alpha", "beta", "gamma", "delta",
                                               "x",     "y",    "motor_t"};
    struct Case {
        unsigned short buckets;
        std::vector<std::string> order;
    };
    const Case cases[] = {
        {151, {"gamma", "motor_t", "x", "y", "alpha", "delta", "beta"}},
        {11, {"x", "y", "alpha", "motor_t", "gamma", "beta", "delta"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.buckets);
        SymTab t(2, nullptr, c.buckets, 0x21, nullptr);
        for (const char* n : inserted) {
            ASSERT_NE(t.insert(n, 0, nullptr), nullptr);
        }
        EXPECT_EQ(WalkNames(t), c.order);
        EXPECT_EQ(t.FindNextEntry(nullptr), t.FindFirstEntry());
    }
}

TEST(SymTab, IdPrimaryTable) {
    SymTab ids(5, nullptr, 11, 0x20, nullptr); // ids only, equal ids admitted
    SymAttr* a = ids.insert("first", 7, nullptr);
    SymAttr* b = ids.insert("second", 7, nullptr);
    SymAttr* c = ids.insert(nullptr, 18, nullptr);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_NE(c, nullptr);
    EXPECT_NE(a, b);
    EXPECT_STREQ(a->GetName(), "first");
    EXPECT_EQ(b->GetID(), 7);
    EXPECT_EQ(ids.lookup(static_cast<short>(7)), a);
    EXPECT_EQ(ids.lookup(static_cast<short>(18)), c);
    // Ids 7 and 18 share bucket 7 of 11: chain order.
    std::vector<SymAttr*> seen;
    for (SymAttr* r = ids.FindFirstEntry(); r != nullptr; r = ids.FindNextEntry(r)) {
        seen.push_back(r);
    }
    EXPECT_EQ(seen, (std::vector<SymAttr*>{a, b, c}));
    // Id 0 is no key.
    EXPECT_EQ(ids.lookup(static_cast<short>(0)), nullptr);
}

TEST(SymTab, SecondaryIdIndexKeepsInsertionOrderOfEqualIds) {
    SymTab t(9, nullptr, 37, 0x21, nullptr, true);
    SymAttr* tod = t.insert("TIME_OF_DAY", -22, nullptr);
    SymAttr* tod2 = t.insert("TOD", -22, nullptr);
    EXPECT_NE(tod, tod2);
    EXPECT_EQ(t.lookup(static_cast<short>(-22)), tod);
    EXPECT_EQ(t.lookup("TOD"), tod2);
}

TEST(SymTab, MemorySpecIndex) {
    SymTab lits(11, nullptr, 151, 0x80, nullptr);
    TiMemSpec s1;
    s1.size = 2;
    s1.offset = 10;
    SymAttr* l1 = lits.insert(nullptr, 0, &s1);
    SymAttr* l2 = lits.insert(nullptr, 0, &s1); // equal specs may coexist
    ASSERT_NE(l1, nullptr);
    ASSERT_NE(l2, nullptr);
    EXPECT_NE(l1, l2);
    EXPECT_EQ(l1->GetKind(), sym::KIND_CONSTANT);
    EXPECT_EQ(lits.lookupSpec(&s1), l1);
    // With an id the key carries it from the start, so the record stays
    // findable under the descriptor it holds.
    SymAttr* l3 = lits.insert("k", -11, &s1);
    ASSERT_NE(l3, nullptr);
    EXPECT_EQ(l3->GetMemSpec()->id, -11);
    EXPECT_STREQ(l3->GetName(), "k");
    EXPECT_EQ(lits.lookupSpec(l3->GetMemSpec()), l3);
    TiMemSpec other = s1;
    other.offset = 11;
    EXPECT_EQ(lits.lookupSpec(&other), nullptr);
    // Without a spec there is no key for this table.
    ErrMess sink;
    testsink::Prepare(sink);
    lits.SetErrMess(&sink);
    testing::internal::CaptureStdout();
    EXPECT_EQ(lits.insert("n", 0, nullptr), nullptr);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(testsink::InternalCodes(sink), std::vector<int>{LOC_INSERT_NO_KEY});
}

TEST(SymTab, RemoveTakesRecordsOutOfEveryIndex) {
    SymTab t(2, nullptr, 11, 0x21, nullptr);
    SymAttr* a = t.insert("a", 5, nullptr);
    SymAttr* b = t.insert("b", 5, nullptr);
    SymAttr* c = t.insert("c", 0, nullptr);
    ASSERT_EQ(t.lookup(static_cast<short>(5)), a);
    EXPECT_EQ(t.remove(a), 0);
    EXPECT_EQ(t.lookup("a"), nullptr);
    EXPECT_EQ(t.lookup(static_cast<short>(5)), b);
    EXPECT_EQ(t.remove(c), 0); // never in the id index: still removed
    EXPECT_EQ(WalkNames(t), std::vector<std::string>{"b"});
}

TEST(SymTab, InternalErrorLocationCodes) {
    // Each case runs one operation on fresh tables; the sink collects the
    // internal errors, whose text carries the location code.
    struct Case {
        const char* name;
        short (*op)(SymTab& nameTab, SymTab& idTab, SymTab& specTab);
        short result; // expected return, -1 when the operation returns a pointer
        std::vector<int> codes;
    };
    const std::vector<Case> cases = {
        {"IndexID null", [](SymTab& n, SymTab&, SymTab&) { return n.IndexID(nullptr); },
         LOC_INDEX_ID_NULL, {637}},
        {"IndexID no index",
         [](SymTab& n, SymTab&, SymTab&) {
             SymAttr r("r");
             r.DefID(4);
             return n.IndexID(&r);
         },
         LOC_INDEX_ID_NONE, {639}},
        {"IndexID taken",
         [](SymTab&, SymTab& i, SymTab&) {
             i.insert(nullptr, 4, nullptr);
             SymAttr r("r");
             r.DefID(4);
             return i.IndexID(&r);
         },
         LOC_INDEX_ID_CLASH, {645}},
        {"IndexID id 0",
         [](SymTab&, SymTab& i, SymTab&) {
             SymAttr r("r");
             return i.IndexID(&r);
         },
         LOC_INDEX_ID_CLASH, {645}},
        {"IndexName null", [](SymTab& n, SymTab&, SymTab&) { return n.IndexName(nullptr); },
         LOC_INDEX_NAME_NULL, {600}},
        {"IndexName no index",
         [](SymTab&, SymTab& i, SymTab&) {
             SymAttr r("r");
             return i.IndexName(&r);
         },
         LOC_INDEX_NAME_NONE, {602}},
        {"IndexName taken",
         [](SymTab& n, SymTab&, SymTab&) {
             n.insert("r", 0, nullptr);
             SymAttr* r = new SymAttr("R");
             short rc = n.IndexName(r);
             delete r;
             return rc;
         },
         LOC_INDEX_NAME_CLASH, {608}},
        {"IndexMemSpec null",
         [](SymTab&, SymTab&, SymTab& s) { return s.IndexMemSpec(nullptr); },
         LOC_INDEX_SPEC_NULL, {673}},
        {"IndexMemSpec no index",
         [](SymTab& n, SymTab&, SymTab&) {
             TiMemSpec ms;
             SymAttr r(&ms);
             return n.IndexMemSpec(&r);
         },
         LOC_INDEX_SPEC_NONE, {675}},
        {"IndexMemSpec no constant",
         [](SymTab&, SymTab&, SymTab& s) {
             SymAttr r("r");
             return s.IndexMemSpec(&r);
         },
         LOC_INDEX_SPEC_KIND, {680}},
        {"lookup null name",
         [](SymTab& n, SymTab&, SymTab&) {
             return static_cast<short>(n.lookup(static_cast<const char*>(nullptr)) == nullptr
                                           ? -1
                                           : 0);
         },
         -1, {897}},
        {"lookup name without name index",
         [](SymTab&, SymTab& i, SymTab&) {
             return static_cast<short>(i.lookup("x") == nullptr ? -1 : 0);
         },
         -1, {895}},
        {"lookup id without id index",
         [](SymTab& n, SymTab&, SymTab&) {
             return static_cast<short>(n.lookup(static_cast<short>(3)) == nullptr ? -1 : 0);
         },
         -1, {917}},
        {"remove null, name primary",
         [](SymTab& n, SymTab&, SymTab&) { return n.remove(nullptr); }, LOC_REMOVE_NAME_NULL,
         {819}},
        {"remove foreign, name primary",
         [](SymTab& n, SymTab&, SymTab&) {
             SymAttr r("ghost");
             return n.remove(&r);
         },
         LOC_REMOVE_NAME_FOUND, {825}},
        {"remove anonymous, name primary",
         [](SymTab& n, SymTab&, SymTab&) {
             SymAttr r(static_cast<const char*>(nullptr));
             return n.remove(&r);
         },
         LOC_REMOVE_NAME_KEY, {821}},
        {"remove null, id primary", [](SymTab&, SymTab& i, SymTab&) { return i.remove(nullptr); },
         LOC_REMOVE_ID_NULL, {844}},
        {"remove id 0, id primary",
         [](SymTab&, SymTab& i, SymTab&) {
             SymAttr r("r");
             return i.remove(&r);
         },
         LOC_REMOVE_ID_KEY, {846}},
        {"remove foreign, id primary",
         [](SymTab&, SymTab& i, SymTab&) {
             SymAttr r("r");
             r.DefID(9);
             return i.remove(&r);
         },
         LOC_REMOVE_ID_FOUND, {850}},
        {"remove null, spec primary",
         [](SymTab&, SymTab&, SymTab& s) { return s.remove(nullptr); }, LOC_REMOVE_SPEC_NULL,
         {869}},
        {"remove no constant, spec primary",
         [](SymTab&, SymTab&, SymTab& s) {
             SymAttr r("r");
             return s.remove(&r);
         },
         LOC_REMOVE_SPEC_KEY, {871}},
        {"remove foreign, spec primary",
         [](SymTab&, SymTab&, SymTab& s) {
             TiMemSpec ms;
             SymAttr r(&ms);
             return s.remove(&r);
         },
         LOC_REMOVE_SPEC_FOUND, {875}},
        {"insert without key",
         [](SymTab& n, SymTab&, SymTab&) {
             return static_cast<short>(n.insert(nullptr, 0, nullptr) == nullptr ? -1 : 0);
         },
         -1, {542}},
        {"insert by id into name table without name",
         [](SymTab& n, SymTab&, SymTab&) {
             return static_cast<short>(n.insert(nullptr, 4, nullptr) == nullptr ? -1 : 0);
         },
         -1, {542}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ErrMess sink;
        testsink::Prepare(sink);
        SymTab names(2, nullptr, 11, 0x01, &sink);
        SymTab ids(2, nullptr, 11, 0x02, &sink);
        SymTab specs(11, nullptr, 11, 0x08, &sink);
        testing::internal::CaptureStdout();
        short rc = c.op(names, ids, specs);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(rc, c.result);
        EXPECT_EQ(testsink::InternalCodes(sink), c.codes);
        EXPECT_EQ(sink.GetErrors(), c.codes.size());
        // Every report was echoed as well.
        EXPECT_NE(out.find("*** E: internal " + std::to_string(c.codes[0]) + " symtab "),
                  std::string::npos);
    }
}

TEST(SymTab, MissingSinkSuppressesReportsButNotResults) {
    SymTab t(2, nullptr, 11, 0x01, nullptr);
    testing::internal::CaptureStdout();
    EXPECT_EQ(t.IndexID(nullptr), LOC_INDEX_ID_NULL);
    EXPECT_EQ(t.lookup(static_cast<const char*>(nullptr)), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(SymTab, IndexAllSkipsKeysTheRecordDoesNotHave) {
    ErrMess sink;
    testsink::Prepare(sink);
    SymTab t(2, nullptr, 11, 0x21, &sink);
    SymAttr* user = new SymAttr("UserType"); // id 0: no id key
    EXPECT_EQ(t.IndexAll(user), 0);          // now owned by the table
    EXPECT_EQ(t.lookup("usertype"), user);
    SymAttr* elem = new SymAttr("BOOL");
    elem->DefID(-1);
    EXPECT_EQ(t.IndexAll(elem), 0);
    EXPECT_EQ(t.lookup(static_cast<short>(-1)), elem);
    EXPECT_EQ(sink.GetErrors(), 0);
}

TEST(SymTab, IndexAllStopsWhenThePrimaryRefuses) {
    ErrMess sink;
    testsink::Prepare(sink);
    SymTab t(2, nullptr, 11, 0x01 | 0x02, &sink); // name primary, id secondary, no duplicates
    SymAttr* first = t.insert("x", 0, nullptr);
    ASSERT_NE(first, nullptr);
    SymAttr clash("X");
    clash.DefID(9);
    testing::internal::CaptureStdout();
    EXPECT_EQ(t.IndexAll(&clash), LOC_INDEX_NAME_CLASH);
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(clash.IsTableOwned());
    EXPECT_EQ(t.lookup(static_cast<short>(9)), nullptr); // not left in the id index
    EXPECT_EQ(testsink::InternalCodes(sink), std::vector<int>{LOC_INDEX_NAME_CLASH});
}

TEST(SymTab, AllocationFailuresLeaveAConsistentTable) {
    // Fail the n-th allocation of building a table and filling it, for every
    // n until the whole run gets through; every run must end cleanly (the
    // sanitizer build checks for leaks and stray accesses).
    for (long n = 0;; ++n) {
        SCOPED_TRACE(n);
        bool failed = false;
        {
            allocfail::Scope inject(n);
            SymTab t(2, "owner", 11, 0x23, nullptr);
            std::vector<SymAttr*> got;
            for (const char* name : {"a", "b", "c", "d"}) {
                got.push_back(t.insert(name, static_cast<short>(name[0]), nullptr));
            }
            failed = allocfail::Failed();
            if (!failed) {
                for (SymAttr* r : got) {
                    ASSERT_NE(r, nullptr);
                }
            }
            // Whatever got in is consistent: each record found by name is
            // the one found by its id.
            for (SymAttr* r = t.FindFirstEntry(); r != nullptr; r = t.FindNextEntry(r)) {
                ASSERT_NE(r->GetName(), nullptr);
                if (t.lookup(r->GetID()) != nullptr) {
                    EXPECT_EQ(t.lookup(r->GetName()), r);
                }
            }
        }
        if (!failed) {
            EXPECT_GT(n, 5); // the run really allocates
            break;
        }
        ASSERT_LT(n, 1000);
    }
}

} // namespace
