// The filter predicate: every kind class, every type-class bit, every
// address mask value, the three inversions and the name criterion.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/VarFilter.h"

namespace {

struct Var {
    const char* name;
    int32_t kind, type, addr, section, attr;
};

// One variable per kind 0-9 (located kinds in different areas) and a few
// extras for the attribute and section cases.
const std::vector<Var> kVars = {
    {"k0", 0, -11, 0, 0, 0},     {"k1a0", 1, -1, 0, 0, 0},    {"k1a3", 1, 2, 3, 3, 6},
    {"k2", 2, -11, 88, 0, 0},    {"k3", 3, -11, 0, 0, 0},     {"k4", 4, 3, 88, 0, 1},
    {"k5a4", 5, -12, 4, 4, 1},   {"k6", 6, -20, 88, -1, 3},  {"k7", 7, -16, 88, -1, 3},
    {"k8", 8, -1, 88, -1, 7},    {"k9", 9, -1, 88, -1, 3},   {"k0sm1", 0, -11, 0, -1, 0},
    {"k1a1", 1, -11, 1, 1, 7},   {"k2attr1", 2, -11, 88, 0, 1}, {"k10", 10, -11, 0, 0, 0},
};

std::vector<std::string> Selected(const VarFilter& f) {
    std::vector<std::string> out;
    for (const Var& v : kVars) {
        VarRecord r;
        r.VarName = v.name;
        r.VarKind = v.kind;
        r.VarType = v.type;
        r.VarAddr = v.addr;
        r.VarIECMemDescSectID = v.section;
        r.VarAttr = v.attr;
        if (f.Matches(r))
            out.emplace_back(v.name);
    }
    return out;
}

using Names = std::vector<std::string>;
const Names kAll = {"k0", "k1a0", "k1a3", "k2", "k3", "k4", "k5a4", "k6", "k7",
                    "k8", "k9", "k0sm1", "k1a1", "k2attr1", "k10"};
const Names kNotSixToNine = {"k0", "k1a0", "k1a3", "k2", "k3", "k4", "k5a4",
                             "k0sm1", "k1a1", "k2attr1", "k10"};

struct FilterCase {
    const char* name;
    int32_t typeMask, addrMask, etcMask;
    const char* nameMask;
    Names expected;
};

TEST(VarFilter, KindClasses) {
    const std::vector<FilterCase> cases = {
        {"0: kind not 6-9", 0, -1, 0, "", kNotSixToNine},
        {"1: kind not 0", 0, -1, 1, "", {"k1a0", "k1a3", "k2", "k3", "k4", "k5a4", "k6", "k7", "k8", "k9", "k1a1", "k2attr1", "k10"}},
        {"2: kind neither 0 nor 3", 0, -1, 2, "", {"k1a0", "k1a3", "k2", "k4", "k5a4", "k6", "k7", "k8", "k9", "k1a1", "k2attr1", "k10"}},
        {"3: kind 2 or 4", 0, -1, 3, "", {"k2", "k4", "k2attr1"}},
        {"4: attribute 1", 0, -1, 4, "", {"k4", "k5a4", "k2attr1"}},
        {"5: kind 1 or 5", 0, -1, 5, "", {"k1a0", "k1a3", "k5a4", "k1a1"}},
        {"6: kind 6", 0, -1, 6, "", {"k6"}},
        {"7: kind 7", 0, -1, 7, "", {"k7"}},
        {"8: kind 8", 0, -1, 8, "", {"k8"}},
        {"9: always", 0, -1, 9, "", kAll},
        {"10: kind 1-5", 0, -1, 10, "", {"k1a0", "k1a3", "k2", "k3", "k4", "k5a4", "k1a1", "k2attr1"}},
        {"11: kind 6-9", 0, -1, 11, "", {"k6", "k7", "k8", "k9"}},
        {"12: kind 1 or 5, or section -1", 0, -1, 12, "", {"k1a0", "k1a3", "k5a4", "k6", "k7", "k8", "k9", "k0sm1", "k1a1"}},
        {"13 as 0", 0, -1, 13, "", kNotSixToNine},
        {"14 as 0", 0, -1, 14, "", kNotSixToNine},
        {"15 as 0", 0, -1, 15, "", kNotSixToNine},
        {"bits above 3 are not the kind class", 0, -1, 0x19, "", kAll},
    };
    for (const FilterCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Selected({c.nameMask, c.typeMask, c.addrMask, c.etcMask}), c.expected);
    }
}

TEST(VarFilter, TypeClassBits) {
    const std::vector<FilterCase> cases = {
        {"no derived", 0, -1, 0x10009, "", {"k0", "k1a0", "k2", "k3", "k5a4", "k6", "k7", "k8", "k9", "k0sm1", "k1a1", "k2attr1", "k10"}},
        {"no elementary", 0, -1, 0x20009, "", {"k1a3", "k4"}},
        {"no attribute 1", 0, -1, 0x40009, "", {"k0", "k1a0", "k1a3", "k2", "k3", "k6", "k7", "k8", "k9", "k0sm1", "k1a1", "k10"}},
        {"no derived and no elementary", 0, -1, 0x30009, "", {}},
        {"all three", 0, -1, 0x70009, "", {}},
        // Bits 19-23 switch the look at bits 16-18 on without leaving anything out.
        {"bit 19 alone", 0, -1, 0x80009, "", kAll},
        {"bit 23 alone", 0, -1, 0x800009, "", kAll},
        // Bits outside 0xFF0000 never count.
        {"bit 24", 0, -1, 0x1000009, "", kAll},
    };
    for (const FilterCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Selected({c.nameMask, c.typeMask, c.addrMask, c.etcMask}), c.expected);
    }
}

TEST(VarFilter, AddressMasks) {
    const Names locatedArea0 = {"k1a0"};
    const std::vector<FilterCase> cases = {
        {"0", 0, 0, 9, "", locatedArea0},
        {"1", 0, 1, 9, "", {"k1a1"}},
        {"3", 0, 3, 9, "", {"k1a3"}},
        {"4", 0, 4, 9, "", {"k5a4"}},
        {"88: kinds 2 and 4", 0, 88, 9, "", {"k2", "k4", "k2attr1"}},
        {"2 selects all", 0, 2, 9, "", kAll},
        {"5", 0, 5, 9, "", kAll},
        {"87", 0, 87, 9, "", kAll},
        {"89", 0, 89, 9, "", kAll},
        {"-1", 0, -1, 9, "", kAll},
        {"INT32_MIN", 0, INT32_MIN, 9, "", kAll},
        {"inverted 3: all but the located of area 3", 0, 3, 0x10000009, "",
         {"k0", "k1a0", "k2", "k3", "k4", "k5a4", "k6", "k7", "k8", "k9", "k0sm1", "k1a1", "k2attr1", "k10"}},
        {"inverted 88", 0, 88, 0x10000009, "", {"k0", "k1a0", "k1a3", "k3", "k5a4", "k6", "k7", "k8", "k9", "k0sm1", "k1a1", "k10"}},
        {"inverted 2: none", 0, 2, 0x10000009, "", {}},
    };
    for (const FilterCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Selected({c.nameMask, c.typeMask, c.addrMask, c.etcMask}), c.expected);
    }
}

TEST(VarFilter, TypeAndNameCriteria) {
    const std::vector<FilterCase> cases = {
        {"type 0 is any", 0, -1, 9, "", kAll},
        {"type -11", -11, -1, 9, "", {"k0", "k2", "k3", "k0sm1", "k1a1", "k2attr1", "k10"}},
        {"type 3", 3, -1, 9, "", {"k4"}},
        {"type that nobody has", 42, -1, 9, "", {}},
        {"inverted type -11", -11, -1, 0x20000009, "", {"k1a0", "k1a3", "k4", "k5a4", "k6", "k7", "k8", "k9"}},
        {"inverted type 0: none", 0, -1, 0x20000009, "", {}},
        {"name prefix", 0, -1, 9, "k1", {"k1a0", "k1a3", "k1a1", "k10"}},
        {"name prefix in upper case matches", 0, -1, 9, "K1A", {"k1a0", "k1a3", "k1a1"}},
        {"whole name", 0, -1, 9, "k2attr1", {"k2attr1"}},
        {"longer than every name", 0, -1, 9, "k2attr1x", {}},
        {"'*' is an ordinary character", 0, -1, 9, "*", {}},
        {"inverted name", 0, -1, 0x40000009, "k1", {"k0", "k2", "k3", "k4", "k5a4", "k6", "k7", "k8", "k9", "k0sm1", "k2attr1"}},
        {"inverted empty name: none", 0, -1, 0x40000009, "", {}},
        {"all criteria together", -11, 88, 0x2, "k2", {"k2", "k2attr1"}},
        {"all inverted", -11, 88, 0x70000009, "k2", {"k1a0", "k1a3", "k5a4", "k6", "k7", "k8", "k9"}},
    };
    for (const FilterCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Selected({c.nameMask, c.typeMask, c.addrMask, c.etcMask}), c.expected);
    }
}

} // namespace
