// Tests of HashTab, HashBucket and KeywID_Tab: construction and bad status,
// the hash function, insertion with and without duplicates, lookup,
// iteration order, detaching, flushing and the callbacks.
#include "base/HashTab.h"
#include "base/TiKeywordIF.h"
#include "tests/base/FailingAllocation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace {

// Owns the writable name buffers a test hands to the table (the table stores
// the name pointers themselves).
class Names {
public:
    char* operator()(const std::string& text) {
        store.push_back(text);
        return store.back().data();
    }

private:
    std::deque<std::string> store;
};

// A record that carries its own name, as the compiler's symbols do.
struct Rec {
    std::string name;
};

std::vector<void*> g_deleted;
int g_created = 0;

void* CreateRec(void* name) {
    ++g_created;
    return new Rec{static_cast<char*>(name)};
}
void* CreateNull(void*) {
    return nullptr;
}
void DeleteRec(void* obj) {
    g_deleted.push_back(obj);
    delete static_cast<Rec*>(obj);
}
char* RecName(void* obj) {
    return static_cast<Rec*>(obj)->name.data();
}
// Records the objects it is called with, without freeing anything.
void NoteDeleted(void* obj) {
    g_deleted.push_back(obj);
}

void ResetCallbacks() {
    g_deleted.clear();
    g_created = 0;
}

// Walks the table object by object (visits duplicates).
std::vector<void*> WalkByObject(HashTab& tab) {
    std::vector<void*> seen;
    for (void* o = tab.FindFirst(); o != nullptr; o = tab.FindNext(o)) {
        seen.push_back(o);
        if (seen.size() > 1000) {
            break; // a cycle would otherwise never end
        }
    }
    return seen;
}

// Walks a table of bare strings name by name (skips duplicates).
std::vector<std::string> WalkByName(HashTab& tab) {
    std::vector<std::string> seen;
    for (void* o = tab.FindFirst(); o != nullptr; o = tab.FindNext(static_cast<char*>(o))) {
        seen.emplace_back(static_cast<char*>(o));
        if (seen.size() > 1000) {
            break;
        }
    }
    return seen;
}

char* Key(uintptr_t bits) {
    return reinterpret_cast<char*>(bits);
}

} // namespace

// ------------------------------------------------------------- construction

TEST(HashTabConstruction, StatusAndSize) {
    struct Case {
        unsigned short size;
        short status;
    } cases[] = {
        {0, 1}, // no slot to hash into: unusable, not a division by zero
        {1, 0},
        {191, 0},
        {65535, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("size " + std::to_string(c.size));
        short st = -7;
        HashTab tab(c.size, 0, nullptr, nullptr, nullptr, &st);
        EXPECT_EQ(st, c.status);
        EXPECT_EQ(tab.GetStatus(), c.status);
        EXPECT_EQ(tab.GetArraySize(), c.size);
    }
    HashTab noStatusPointer(7, 1, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(noStatusPointer.GetStatus(), 0);
}

// Every operation of a table without slot array does nothing and answers
// null, 0 or the status.
TEST(HashTabConstruction, BadStatusTableDoesNothing) {
    Names n;
    HashTab other(3, 0, nullptr, nullptr, nullptr, nullptr);
    other.add(n("x"), false);
    HashBucket* foreign = other.FindBucket(n("x"));
    ASSERT_NE(foreign, nullptr);

    struct Case {
        const char* how;
        unsigned short size;
        bool failAlloc;
    } cases[] = {{"size 0", 0, false}, {"slot array allocation fails", 17, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        short st = -7;
        HashTab* tab = nullptr;
        {
            failalloc::Scope fail(c.failAlloc ? 0 : -1);
            tab = new HashTab(c.size, 0, CreateRec, DeleteRec, RecName, &st);
            EXPECT_EQ(failalloc::Failed(), c.failAlloc);
        }
        ResetCallbacks();
        EXPECT_EQ(st, 1);
        EXPECT_EQ(tab->add(n("a"), false), nullptr);
        EXPECT_EQ(tab->add(n("a"), true), nullptr);
        Rec r{"b"};
        EXPECT_EQ(tab->add(n("b"), &r, false), nullptr);
        EXPECT_EQ(g_created, 0);
        EXPECT_EQ(tab->find(n("a")), nullptr);
        EXPECT_EQ(tab->FindBucket(n("a")), nullptr);
        EXPECT_EQ(tab->FindFirst(), nullptr);
        EXPECT_EQ(tab->FindNext(n("a")), nullptr);
        EXPECT_EQ(tab->FindNext(static_cast<char*>(nullptr)), nullptr);
        EXPECT_EQ(tab->FindNext(static_cast<void*>(&r)), nullptr);
        EXPECT_EQ(tab->detach(n("a"), nullptr, false), 1);
        EXPECT_EQ(tab->detach(static_cast<HashBucket*>(nullptr), false), 1);
        EXPECT_EQ(tab->detach(foreign, false), 1);
        EXPECT_EQ(tab->GetArraySize(), c.size);
        tab->flush();
        delete tab;
        EXPECT_TRUE(g_deleted.empty());
    }
    EXPECT_EQ(other.find(n("x")), foreign->GetObj());
}

// -------------------------------------------------------------------- hash

TEST(HashTabHash, DefaultStringHash) {
    // Values worked out by hand from the hash rule (h = h*4 + c, folding the
    // two top bits back in); a size of 65535 shows the raw 14-bit value.
    struct Case {
        const char* name;
        short caseMode;
        unsigned short size;
        unsigned short slot;
    } cases[] = {
        {nullptr, 0, 65535, 0},
        {"", 0, 65535, 0},
        {"a", 0, 65535, 65},
        {"a", 1, 65535, 97},
        {"a", 2, 65535, 65}, // every caseMode but 1 folds
        {"ab", 0, 65535, 326},
        {"abc", 0, 65535, 1371},
        {"ABC", 0, 65535, 1371},
        {"abc", 1, 65535, 2043},
        {"ABCDEFGH", 0, 65535, 1592}, // both top-bit folds taken
        {"end_var", 0, 65535, 10954},
        {"end_var", 1, 65535, 3486},
        {"TIME_OF_DAY", 0, 65535, 15329},
        {"zzzzzzzzzzzzzzzz", 0, 65535, 7650},
        {"zzzzzzzzzzzzzzzz", 1, 65535, 15830},
        {"\xE4", 0, 65535, 196},               // a-umlaut folds to A-umlaut (0xC4)
        {"\xE4", 1, 65535, 228},
        {"\xFF\xFF\xFF\xFF", 0, 65535, 13515}, // y-diaeresis folds to 0x9F
        {"\xFF\xFF\xFF\xFF", 1, 65535, 5295},
        {"abc", 0, 191, 1371 % 191},
        {"abc", 0, 1, 0},
    };
    Names n;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name ? c.name : "(null)") + " caseMode " +
                     std::to_string(c.caseMode) + " size " + std::to_string(c.size));
        HashTab tab(c.size, c.caseMode, nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(tab.hash(c.name ? n(c.name) : nullptr), c.slot);
    }
}

TEST(HashTabCmpName, Results) {
    struct Case {
        const char* a;
        const char* b;
        short caseMode;
        int sign; // -1, 0, 1
    } cases[] = {
        {nullptr, nullptr, 0, -1}, {nullptr, "a", 0, -1},  {"a", nullptr, 1, -1},
        {"", "", 1, 0},            {"abc", "abc", 1, 0},   {"abc", "ABC", 1, 1},
        {"abc", "abd", 1, -1},     {"abd", "abc", 1, 1},   {"ab", "abc", 1, -1},
        {"abc", "ABC", 0, 0},      {"\xE4", "\xC4", 0, 0}, {"\xE4", "\xC4", 1, 1},
        {"abc", "ABD", 0, 1},      {"abc", "ABC", -5, 0},
    };
    Names n;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a ? c.a : "(null)") + " / " + (c.b ? c.b : "(null)") +
                     " caseMode " + std::to_string(c.caseMode));
        HashTab tab(11, c.caseMode, nullptr, nullptr, nullptr, nullptr);
        short r = tab.CmpName(c.a ? n(c.a) : nullptr, c.b ? n(c.b) : nullptr);
        EXPECT_EQ((r > 0) - (r < 0), c.sign);
    }
}

// ---------------------------------------------------------------- insertion

TEST(HashTabAdd, CaseModeDecidesWhetherNamesClash) {
    struct Case {
        short caseMode;
        const char* first;
        const char* second;
        bool inserted;
    } cases[] = {
        {0, "abc", "ABC", false},       {1, "abc", "ABC", true},   {2, "abc", "aBc", false},
        {0, "\xE4x", "\xC4X", false},   {1, "\xE4x", "\xC4X", true}, {0, "abc", "abcd", true},
        {0, "abc", "abc", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.first) + " then " + c.second + " caseMode " +
                     std::to_string(c.caseMode));
        Names n;
        HashTab tab(191, c.caseMode, nullptr, nullptr, nullptr, nullptr);
        char* first = n(c.first);
        char* second = n(c.second);
        // Without a create callback the name pointer itself is the object.
        EXPECT_EQ(tab.add(first, false), first);
        EXPECT_EQ(tab.add(second, false), c.inserted ? second : first);
        EXPECT_EQ(WalkByObject(tab).size(), c.inserted ? 2u : 1u);
        EXPECT_EQ(tab.find(n(c.first)), first);
    }
}

TEST(HashTabAdd, NullArgumentsInsertNothing) {
    Names n;
    HashTab tab(5, 0, nullptr, nullptr, nullptr, nullptr);
    int obj = 0;
    EXPECT_EQ(tab.add(nullptr, false), nullptr);
    EXPECT_EQ(tab.add(nullptr, true), nullptr);
    EXPECT_EQ(tab.add(nullptr, &obj, true), nullptr);
    // An entry without object would have no name and could not be found.
    EXPECT_EQ(tab.add(n("x"), nullptr, true), nullptr);
    EXPECT_EQ(tab.FindFirst(), nullptr);
}

TEST(HashTabAdd, DuplicatesStayAdjacentInInsertionOrder) {
    // One slot: every name shares the chain, so adjacency is the table's work.
    Names n;
    HashTab tab(1, 0, nullptr, nullptr, nullptr, nullptr);
    char* a = n("a");
    char* x1 = n("x");
    char* b = n("b");
    char* x2 = n("X");
    char* c = n("c");
    char* x3 = n("x");
    for (char* name : {a, x1, b, x2, c, x3}) {
        EXPECT_EQ(tab.add(name, true), name);
    }
    std::vector<void*> expected = {a, x1, x2, x3, b, c};
    EXPECT_EQ(WalkByObject(tab), expected);

    // Lookup returns the oldest; GetNextEqual walks the rest.
    EXPECT_EQ(tab.find(n("x")), x1);
    HashBucket* bk = tab.FindBucket(n("x"));
    ASSERT_NE(bk, nullptr);
    EXPECT_EQ(bk->GetObj(), x1);
    std::vector<void*> equal;
    for (; bk != nullptr; bk = bk->GetNextEqual()) {
        equal.push_back(bk->GetObj());
    }
    EXPECT_EQ(equal, (std::vector<void*>{x1, x2, x3}));
    EXPECT_EQ(tab.FindBucket(n("c"))->GetNextEqual(), nullptr); // end of chain
    EXPECT_EQ(tab.FindBucket(n("a"))->GetNextEqual(), nullptr); // next is "x"

    // Without allowDup the oldest answers and nothing is added.
    char* x4 = n("x");
    EXPECT_EQ(tab.add(x4, false), x1);
    EXPECT_EQ(WalkByObject(tab).size(), 6u);
}

TEST(HashTabAdd, ObjectForm) {
    Names n;
    HashTab tab(1, 0, nullptr, nullptr, RecName, nullptr);
    Rec first{"k"}, other{"K"}, third{"k"}, z{"z"};
    EXPECT_EQ(tab.add(first.name.data(), &first, false), &first);
    EXPECT_EQ(tab.add(z.name.data(), &z, false), &z);
    // The very same object again: answered, never stored twice.
    EXPECT_EQ(tab.add(n("k"), &first, false), &first);
    EXPECT_EQ(tab.add(n("k"), &first, true), &first);
    // Another object under an equal name: the clash shows in the result.
    EXPECT_EQ(tab.add(other.name.data(), &other, false), &first);
    EXPECT_EQ(WalkByObject(tab), (std::vector<void*>{&first, &z}));
    // With duplicates it goes after the equal names, before "z".
    EXPECT_EQ(tab.add(other.name.data(), &other, true), &other);
    EXPECT_EQ(tab.add(third.name.data(), &third, true), &third);
    EXPECT_EQ(tab.add(n("k"), &other, true), &other); // still there once
    EXPECT_EQ(WalkByObject(tab), (std::vector<void*>{&first, &other, &third, &z}));
    EXPECT_EQ(g_created, 0); // the object form never creates
}

TEST(HashTabAdd, CreateCallbackMakesTheObject) {
    ResetCallbacks();
    Names n;
    {
        HashTab tab(191, 0, CreateRec, DeleteRec, RecName, nullptr);
        char* name = n("Motor");
        auto* r = static_cast<Rec*>(tab.add(name, false));
        ASSERT_NE(r, nullptr);
        EXPECT_NE(static_cast<void*>(r), static_cast<void*>(name));
        EXPECT_EQ(r->name, "Motor");
        EXPECT_EQ(tab.find(n("MOTOR")), r); // through the name callback
        EXPECT_EQ(tab.add(n("motor"), false), r);
        EXPECT_EQ(g_created, 1); // no second record for an existing name
        auto* dup = static_cast<Rec*>(tab.add(n("motor"), true));
        ASSERT_NE(dup, nullptr);
        EXPECT_NE(dup, r);
        EXPECT_EQ(g_created, 2);
        EXPECT_TRUE(g_deleted.empty());
    }
    EXPECT_EQ(g_deleted.size(), 2u); // the destructor deletes both records
}

TEST(HashTabAdd, FailedCreateInsertsNothing) {
    ResetCallbacks();
    Names n;
    HashTab tab(7, 0, CreateNull, NoteDeleted, nullptr, nullptr);
    EXPECT_EQ(tab.add(n("a"), false), nullptr);
    EXPECT_EQ(tab.FindFirst(), nullptr);
    EXPECT_EQ(tab.find(n("a")), nullptr);
    EXPECT_TRUE(g_deleted.empty()); // nothing was made, so nothing is deleted
}

TEST(HashTabAdd, FailedBucketAllocationLeavesTableIntact) {
    Names n;
    HashTab tab(1, 0, nullptr, nullptr, nullptr, nullptr);
    char* a = n("a");
    char* b = n("b");
    ASSERT_EQ(tab.add(a, false), a);
    {
        failalloc::Scope fail(0);
        EXPECT_EQ(tab.add(b, false), nullptr);
        EXPECT_TRUE(failalloc::Failed());
    }
    EXPECT_EQ(WalkByObject(tab), (std::vector<void*>{a}));
    EXPECT_EQ(tab.add(b, false), b);
    EXPECT_EQ(WalkByObject(tab), (std::vector<void*>{a, b}));
}

// ---------------------------------------------------------------- iteration

TEST(HashTabIterate, SlotOrderThenChainOrder) {
    // Size 4: "A" 65 -> 1, "B" -> 2, "C" -> 3, "D" 68 -> 0, "E" 69 -> 1.
    Names n;
    HashTab tab(4, 1, nullptr, nullptr, nullptr, nullptr);
    for (const char* s : {"C", "A", "B", "E", "D"}) {
        tab.add(n(s), false);
    }
    EXPECT_EQ(WalkByName(tab), (std::vector<std::string>{"D", "A", "E", "B", "C"}));
    std::vector<std::string> byObject;
    for (void* o : WalkByObject(tab)) {
        byObject.emplace_back(static_cast<char*>(o));
    }
    EXPECT_EQ(byObject, (std::vector<std::string>{"D", "A", "E", "B", "C"}));
}

TEST(HashTabIterate, NameStepSkipsDuplicatesObjectStepVisitsThem) {
    Names n;
    HashTab tab(1, 0, nullptr, nullptr, nullptr, nullptr);
    for (const char* s : {"a", "x", "b", "x", "x"}) {
        tab.add(n(s), true);
    }
    EXPECT_EQ(WalkByName(tab), (std::vector<std::string>{"a", "x", "b"}));
    EXPECT_EQ(WalkByObject(tab).size(), 5u);
}

TEST(HashTabIterate, StepBoundaries) {
    Names n;
    HashTab empty(13, 0, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(empty.FindFirst(), nullptr);
    EXPECT_EQ(empty.FindNext(static_cast<char*>(nullptr)), nullptr);
    EXPECT_EQ(empty.FindNext(static_cast<void*>(nullptr)), nullptr);
    empty.flush(); // harmless on an empty table
    EXPECT_EQ(empty.FindFirst(), nullptr);

    HashTab tab(4, 1, nullptr, nullptr, nullptr, nullptr);
    char* d = n("D"); // slot 0
    char* c = n("C"); // slot 3
    tab.add(c, false);
    tab.add(d, false);
    struct Case {
        const char* how;
        void* got;
        void* expected;
    } cases[] = {
        {"null name starts over", tab.FindNext(static_cast<char*>(nullptr)), d},
        {"null object starts over", tab.FindNext(static_cast<void*>(nullptr)), d},
        {"name step to the next slot", tab.FindNext(n("D")), c},
        {"name step after the last", tab.FindNext(n("C")), nullptr},
        {"absent name", tab.FindNext(n("Q")), nullptr},
        {"case differs in a case-sensitive table", tab.FindNext(n("d")), nullptr},
        {"object step to the next slot", tab.FindNext(static_cast<void*>(d)), c},
        {"object step after the last", tab.FindNext(static_cast<void*>(c)), nullptr},
        // An equal name that is not the stored object is not found.
        {"foreign object", tab.FindNext(static_cast<void*>(n("D"))), nullptr},
    };
    for (const Case& cs : cases) {
        SCOPED_TRACE(cs.how);
        EXPECT_EQ(cs.got, cs.expected);
    }
}

// ----------------------------------------------------------------- detaching

TEST(HashTabDetach, ByName) {
    Names n;
    Rec x1{"x"}, x2{"x"}, x3{"x"}, y{"y"}, stranger{"x"};
    struct Case {
        const char* how;
        const char* name;
        void* obj;
        bool keepObj;
        short result;
        std::vector<void*> remaining;
        std::vector<void*> deleted;
    } cases[] = {
        {"absent name", "q", nullptr, false, 2, {&x1, &x2, &x3, &y}, {}},
        {"first of the equal names", "X", nullptr, false, 0, {&x2, &x3, &y}, {&x1}},
        {"exactly the given object", "x", &x2, false, 0, {&x1, &x3, &y}, {&x2}},
        {"the given object under another name", "y", &x2, false, 2, {&x1, &x2, &x3, &y}, {}},
        {"object not stored", "x", &stranger, false, 2, {&x1, &x2, &x3, &y}, {}},
        {"keepObj hands null to the delete callback", "y", &y, true, 0, {&x1, &x2, &x3}, {nullptr}},
        {"null name", nullptr, nullptr, false, 2, {&x1, &x2, &x3, &y}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        ResetCallbacks();
        HashTab tab(1, 0, nullptr, NoteDeleted, RecName, nullptr);
        for (Rec* r : {&x1, &x2, &x3, &y}) {
            tab.add(r->name.data(), r, true);
        }
        EXPECT_EQ(tab.detach(c.name ? n(c.name) : nullptr, c.obj, c.keepObj), c.result);
        EXPECT_EQ(g_deleted, c.deleted);
        EXPECT_EQ(WalkByObject(tab), c.remaining);
        g_deleted.clear();
    }
}

TEST(HashTabDetach, KeepObjLeavesTheObjectAlive) {
    ResetCallbacks();
    Names n;
    HashTab tab(191, 0, CreateRec, DeleteRec, RecName, nullptr);
    auto* r = static_cast<Rec*>(tab.add(n("keep"), false));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(tab.detach(n("KEEP"), r, true), 0);
    EXPECT_EQ(g_deleted, (std::vector<void*>{nullptr}));
    EXPECT_EQ(r->name, "keep"); // still ours, and alive
    EXPECT_EQ(tab.find(n("keep")), nullptr);
    EXPECT_EQ(tab.detach(n("keep"), nullptr, false), 2);
    delete r;
}

TEST(HashTabDetach, ByBucket) {
    ResetCallbacks();
    Names n;
    HashTab tab(3, 0, nullptr, NoteDeleted, nullptr, nullptr);
    HashTab other(3, 0, nullptr, nullptr, nullptr, nullptr);
    char* a = n("a");
    char* b = n("b");
    char* c = n("c");
    tab.add(a, false);
    tab.add(b, false);
    tab.add(c, false);
    other.add(n("a"), false);

    EXPECT_EQ(tab.detach(static_cast<HashBucket*>(nullptr), false), 3);
    EXPECT_EQ(tab.detach(other.FindBucket(n("a")), false), 2); // another table's
    HashBucket loose(n("b"), &tab, false); // made for the table, never inserted
    EXPECT_EQ(tab.detach(&loose, false), 2);
    EXPECT_TRUE(g_deleted.empty());

    EXPECT_EQ(tab.detach(tab.FindBucket(n("b")), false), 0);
    EXPECT_EQ(g_deleted, (std::vector<void*>{b}));
    EXPECT_EQ(tab.detach(tab.FindBucket(n("c")), true), 0);
    EXPECT_EQ(g_deleted, (std::vector<void*>{b, nullptr}));
    EXPECT_EQ(WalkByObject(tab), (std::vector<void*>{a}));
    EXPECT_EQ(other.find(n("a")) != nullptr, true);
}

TEST(HashBucketDetach, Results) {
    ResetCallbacks();
    Names n;
    HashTab tab(5, 0, nullptr, NoteDeleted, nullptr, nullptr);
    char* a = n("a");
    char* b = n("b");
    tab.add(a, false);
    tab.add(b, false);

    EXPECT_EQ(tab.FindBucket(n("a"))->detach(), 0);
    EXPECT_EQ(g_deleted, (std::vector<void*>{a}));
    EXPECT_EQ(tab.find(n("a")), nullptr);

    // A released bucket has no name any more; it is still found and removed.
    HashBucket* bb = tab.FindBucket(n("b"));
    bb->ReleaseObj();
    EXPECT_EQ(bb->GetObj(), nullptr);
    EXPECT_EQ(bb->GetName(), nullptr);
    EXPECT_EQ(bb->detach(), 0);
    EXPECT_EQ(g_deleted, (std::vector<void*>{a, nullptr}));
    EXPECT_EQ(tab.FindFirst(), nullptr);

    HashBucket loose(n("z"), &tab, false);
    EXPECT_EQ(loose.detach(), 2);
    HashBucket orphan(n("z"), nullptr, true);
    EXPECT_EQ(orphan.detach(), -1);
    EXPECT_EQ(orphan.GetName(), nullptr);
    EXPECT_EQ(orphan.GetNextEqual(), nullptr);
    g_deleted.clear();
}

TEST(HashBucket, CreateFlagAndName) {
    ResetCallbacks();
    Names n;
    HashTab tab(5, 0, CreateRec, DeleteRec, RecName, nullptr);
    HashTab plain(5, 0, nullptr, nullptr, nullptr, nullptr);
    char* name = n("Pump");
    {
        HashBucket made(name, &tab, true);
        ASSERT_NE(made.GetObj(), nullptr);
        EXPECT_NE(made.GetObj(), static_cast<void*>(name));
        EXPECT_STREQ(made.GetName(), "Pump");
        EXPECT_EQ(g_created, 1);
        HashBucket asIs(name, &plain, true); // no create callback: the name is the object
        EXPECT_EQ(asIs.GetObj(), static_cast<void*>(name));
        EXPECT_EQ(asIs.GetName(), name);
    }
    EXPECT_EQ(g_deleted.size(), 1u);
    ResetCallbacks();
}

// ------------------------------------------------------------------ flushing

TEST(HashTabFlush, DeletesEveryObjectAndStaysUsable) {
    ResetCallbacks();
    Names n;
    HashTab tab(3, 0, CreateRec, DeleteRec, RecName, nullptr);
    for (const char* s : {"a", "b", "c", "d", "a"}) {
        tab.add(n(s), true);
    }
    tab.flush();
    EXPECT_EQ(g_deleted.size(), 5u);
    EXPECT_EQ(tab.FindFirst(), nullptr);
    EXPECT_EQ(tab.find(n("a")), nullptr);
    ASSERT_NE(tab.add(n("e"), false), nullptr);
    EXPECT_NE(tab.find(n("E")), nullptr);
}

// ------------------------------------------------------------------ KeywID_Tab

TEST(KeywID_Tab, HashAndCompareOnTheLow16Bits) {
    short st = -7;
    KeywID_Tab tab(&st);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(tab.GetArraySize(), 191);
    struct HashCase {
        uintptr_t key;
        unsigned short slot;
    } hashes[] = {
        {0, 0},
        {190, 190},
        {191, 0},
        {328, 137},
        {0xFFFF, 22},                       // 65535 % 191
        {static_cast<uintptr_t>(-1), 22},   // -1 is 0xFFFF in its low bits
        {(uintptr_t{0xABCD} << 32) | 328, 137}, // high bits play no part
        {0x10000 + 5, 5},
    };
    for (const HashCase& h : hashes) {
        SCOPED_TRACE("key " + std::to_string(h.key));
        EXPECT_EQ(tab.hash(Key(h.key)), h.slot);
    }
    struct CmpCase {
        uintptr_t a, b;
        short result;
    } cmps[] = {
        {5, 5, 0},          {5, 6, 1},
        {0, 0, 0},          {0xFFFF, static_cast<uintptr_t>(-1), 0},
        {0x10005, 5, 0},    {(uintptr_t{1} << 40) | 401, 401, 0},
        {0x8000, 0x7FFF, 1},
    };
    for (const CmpCase& c : cmps) {
        SCOPED_TRACE("keys " + std::to_string(c.a) + " / " + std::to_string(c.b));
        EXPECT_EQ(tab.CmpName(Key(c.a), Key(c.b)), c.result);
    }
}

TEST(KeywID_Tab, StoresRecordsUnderTheirNumbers) {
    short st = -7;
    KeywID_Tab tab(&st);
    ASSERT_EQ(st, 0);
    KeywordDesc recs[] = {
        {"A", 1, 0, 0, 0},     {"B", -1, 0, 0, 0},  {"C", 192, 0, 0, 0},
        {"D", 32767, 0, 0, 0}, {"E", -32768, 0, 0, 0},
    };
    for (KeywordDesc& r : recs) {
        EXPECT_EQ(tab.add(HashNumberKey(r.token), &r, false), &r);
    }
    KeywordDesc clash{"F", 192, 0, 0, 0};
    EXPECT_EQ(tab.add(HashNumberKey(192), &clash, false), &recs[2]);
    for (KeywordDesc& r : recs) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(tab.find(HashNumberKey(r.token)), &r);
        // Object steps derive the record's number through the name callback.
        EXPECT_EQ(tab.FindBucket(HashNumberKey(r.token))->GetName(), HashNumberKey(r.token));
    }
    EXPECT_EQ(tab.find(HashNumberKey(0)), nullptr);
    EXPECT_EQ(tab.find(HashNumberKey(2)), nullptr);
    EXPECT_EQ(WalkByObject(tab).size(), 5u);
    // 1 and 192 share slot 1: insertion order within it.
    EXPECT_EQ(tab.FindNext(static_cast<void*>(&recs[0])), &recs[2]);
    EXPECT_EQ(tab.detach(HashNumberKey(-1), nullptr, false), 0);
    EXPECT_EQ(tab.find(HashNumberKey(-1)), nullptr);
}

TEST(HashNumberKey, RoundTripsEverySigned16BitValue) {
    for (int v = -32768; v <= 32767; ++v) {
        ASSERT_EQ(HashKeyNumber(HashNumberKey(static_cast<short>(v))), v);
    }
}
