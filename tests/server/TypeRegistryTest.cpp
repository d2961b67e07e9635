// The type registry: negative ids as given, positive ids in order of first
// registration, exact names, and the lookups in both directions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/TypeRegistry.h"

namespace {

struct RegisterStep {
    const char* name;
    int32_t id;         // the id passed in
    bool expected;      // result
    int32_t expectedId; // id afterwards
};

TEST(TypeRegistry, RegisterFollowsItsRules) {
    TypeRegistry r;
    const std::vector<RegisterStep> steps = {
        {"INT", -11, true, -11},
        {"INT", -11, false, -11},        // the id is present
        {"TIME_OF_DAY", -22, true, -22},
        {"TOD", -22, false, -22},        // second name of one id: the first stays
        {"MOTOR_T", 0, true, 1},
        {"MOTOR_T", 0, false, 0},        // name present: id left as passed
        {"motor_t", 0, true, 2},         // names compare exactly
        {"INT", 0, false, 0},            // present under a negative id
        {"BUF_T", 77, true, 3},          // a positive id passed in is ignored
        {"", 0, true, 4},
    };
    for (const RegisterStep& s : steps) {
        SCOPED_TRACE(std::string(s.name) + " " + std::to_string(s.id));
        int32_t id = s.id;
        EXPECT_EQ(r.Register(s.name, id), s.expected);
        EXPECT_EQ(id, s.expectedId);
    }
    EXPECT_EQ(r.NextId(), 5);
    EXPECT_EQ(r.Size(), 6u);
}

struct NameCase {
    int32_t id;
    bool found;
    const char* name;
};

TEST(TypeRegistry, NameOfAnId) {
    TypeRegistry r;
    int32_t id = -22;
    r.Register("TIME_OF_DAY", id);
    id = -22;
    r.Register("TOD", id);
    id = 0;
    r.Register("MOTOR_T", id);
    const std::vector<NameCase> cases = {
        {0, false, ""},   {-22, true, "TIME_OF_DAY"}, {-11, false, ""}, {1, true, "MOTOR_T"},
        {2, false, ""},   {INT32_MAX, false, ""},      {INT32_MIN, false, ""},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.id);
        std::string name = "unchanged";
        EXPECT_EQ(r.NameOf(c.id, name), c.found);
        EXPECT_EQ(name, c.found ? c.name : "unchanged");
    }
}

TEST(TypeRegistry, IdOfANameIsTheLowestExactMatch) {
    TypeRegistry r;
    int32_t id = -23;
    r.Register("DT", id);
    id = -100;
    r.Register("DT", id); // the same name under a lower id
    id = 0;
    r.Register("Pump", id);
    struct Case {
        const char* name;
        bool found;
        int32_t id;
    };
    for (const Case& c : std::vector<Case>{{"DT", true, -100}, {"dt", false, 0}, {"Pump", true, 1},
                                           {"PUMP", false, 0}, {"", false, 0}}) {
        SCOPED_TRACE(c.name);
        int32_t got = 4711;
        EXPECT_EQ(r.IdOf(c.name, got), c.found);
        EXPECT_EQ(got, c.found ? c.id : 4711);
    }
}

TEST(TypeRegistry, ClearRestartsTheIds) {
    TypeRegistry r;
    int32_t id = 0;
    r.Register("A", id);
    r.Register("B", id = 0);
    r.Clear();
    EXPECT_EQ(r.Size(), 0u);
    EXPECT_EQ(r.NextId(), 1);
    std::string name;
    EXPECT_FALSE(r.NameOf(1, name));
    id = 0;
    EXPECT_TRUE(r.Register("B", id));
    EXPECT_EQ(id, 1);
}

} // namespace
