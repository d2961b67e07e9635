// The catalogue's queries: filtered selections in key order, exact names,
// component paths through structures and arrays (arrays of structures,
// structures of arrays, two-dimensional arrays written both ways),
// expansion with '+', selection by address, and reading a selection.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "server/KorvaneProject.h"
#include "tests/server/ProjectFixture.h"

using namespace servertest;

namespace {

struct Entry {
    std::string name, comment;
    VarInfo info;
    int32_t kind;
    bool operator==(const Entry&) const = default;
};

void PrintTo(const Entry& e, std::ostream* os) {
    const VarInfo& i = e.info;
    *os << "{" << e.name << " '" << e.comment << "' type " << i.VarType << " size " << i.VarSize << " addr "
        << i.VarAddr << " sect " << i.VarIECMemDescSectID << " off " << i.VarIECMemDescAddrOffset << " cix "
        << i.VarIECMemDescSectCIx << " attr " << i.VarAttr << " comp " << i.CompOff << " kind " << e.kind << "}";
}

std::vector<Entry> Drain(KorvaneProject& p, VarSelection& sel) {
    std::vector<Entry> out;
    Entry e;
    while (p.NextEntry(sel, e.name, e.comment, e.info, e.kind) == 1)
        out.push_back(e);
    // After the end: empty texts and zeros.
    EXPECT_EQ(e.name, "");
    EXPECT_EQ(e.comment, "");
    EXPECT_EQ(e.info, VarInfo{});
    EXPECT_EQ(e.kind, 0);
    return out;
}

std::vector<std::string> NamesOf(const std::vector<Entry>& entries) {
    std::vector<std::string> names;
    for (const Entry& e : entries)
        names.push_back(e.name);
    return names;
}

void DeclareQueryTypes(TypeDeclarer& d) {
    DeclareSmallTypes(d);
    d.Array("MOTORS_T", 1, 2, "MOTOR_T");
    d.Struct("LINE_T", {{"Name_Len", "INT"}, {"Bufs", "BUF_T"}, {"Drives", "MOTORS_T"}});
}

// name,unused,kind,unused,type,size,section,offset,unused x3,flag,comment
const std::vector<std::string> kLines = {
    "Motor,1,1,0,MOTOR_T,3,4,100,0,0,0,1,Main drive",
    "MOTOR2,2,1,0,MOTOR_T,3,4,103,0,0,0,0,Second drive",
    "Motor1,3,2,0,INT,2,0,0,0,0,0,0,Speed",
    "buf,4,1,0,BUF_T,6,4,200,0,0,0,0,Buffer",
    "m,5,1,0,M2_T,16,4,300,0,0,0,0,Matrix",
    "drives,6,2,0,MOTORS_T,6,0,0,0,0,0,0,Drives",
    "line,7,5,0,LINE_T,14,3,40,0,0,0,0,Line data",
    "x,8,1,0,INT,2,3,40,0,0,0,0,Shares the address of line",
    "buf+,9,3,0,BOOL,1,0,0,0,0,0,0,Literally named",
    "t6,10,6,0,TIME,4,-1,0,0,0,0,0,Timer instance",
    "*star,11,0,0,BOOL,1,0,0,0,0,0,0,Begins with a star",
};

class CatalogueQuery : public ::testing::Test {
protected:
    void SetUp() override {
        env.WriteVar(VarFileText(kLines));
        project = env.MakeProject();
        ASSERT_TRUE(project->bRead(false));
        ASSERT_TRUE(project->TypeIdOf("MOTOR_T", motorId));
        ASSERT_TRUE(project->TypeIdOf("BUF_T", bufId));
    }
    int32_t IdOf(const std::string& name) {
        int32_t id = 0;
        EXPECT_TRUE(project->TypeIdOf(name, id)) << name;
        return id;
    }

    ProjectEnv env{DeclareQueryTypes};
    std::unique_ptr<KorvaneProject> project;
    VarSelection sel;
    int32_t motorId = 0, bufId = 0;
};

struct FilterCase {
    const char* name;
    std::string mask;
    int32_t type, addr, etc;
    std::vector<std::string> expected;
};

TEST_F(CatalogueQuery, FilteredSelectionsInKeyOrder) {
    const std::vector<FilterCase> cases = {
        {"everything but kinds 6-9", "", 0, -1, 0,
         {"*star", "buf", "buf+", "drives", "line", "m", "Motor", "Motor1", "MOTOR2", "x"}},
        {"'*' is a wildcard nowhere: selects the name that begins with it", "*", 0, -1, 0, {"*star"}},
        {"mask without its trailing '*'", "mot*", 0, -1, 0, {}},
        {"prefix in any case", "MOT", 0, -1, 0, {"Motor", "Motor1", "MOTOR2"}},
        {"prefix 'motor1'", "motor1", 0, -1, 0, {"Motor1"}},
        {"nothing after the last key", "zz", 0, -1, 0, {}},
        {"area 88: kinds 2 and 4", "", 0, 88, 0, {"drives", "Motor1"}},
        {"area 3: located in area 3", "", 0, 3, 0, {"line", "x"}},
        {"area 2: all", "", 0, 2, 0, {"*star", "buf", "buf+", "drives", "line", "m", "Motor", "Motor1", "MOTOR2", "x"}},
        {"inverted area 3", "", 0, 3, 0x10000000, {"*star", "buf", "buf+", "drives", "m", "Motor", "Motor1", "MOTOR2"}},
        {"kind class 6", "", 0, -1, 6, {"t6"}},
        {"type MOTOR_T", "", 0 /* set below */, -1, 0, {"Motor", "MOTOR2"}},
        {"inverted name with prefix", "m", 0, -1, 0x40000000, {"*star", "buf", "buf+", "drives", "line", "x"}},
    };
    for (FilterCase c : cases) {
        SCOPED_TRACE(c.name);
        if (std::string(c.name) == "type MOTOR_T")
            c.type = motorId;
        std::string mask = c.mask;
        ASSERT_TRUE(project->SetFilter(sel, mask, c.type, c.addr, c.etc));
        EXPECT_EQ(project->EntryCount(sel), static_cast<int>(c.expected.size()));
        EXPECT_EQ(NamesOf(Drain(*project, sel)), c.expected);
    }
}

TEST_F(CatalogueQuery, SetFilterLowerCasesTheMaskInPlace) {
    std::string mask = "MoToR";
    ASSERT_TRUE(project->SetFilter(sel, mask, 0, -1, 0));
    EXPECT_EQ(mask, "motor");
}

TEST_F(CatalogueQuery, WholeVariableEntriesCarryTheirRecord) {
    std::string mask = "motor";
    ASSERT_TRUE(project->SetFilter(sel, mask, 0, -1, 0));
    std::vector<Entry> entries = Drain(*project, sel);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0], (Entry{"Motor", "Main drive", {motorId, 3, 4, 4, 100, -1, 6, 0}, 1}));
    EXPECT_EQ(entries[1], (Entry{"Motor1", "Speed", {-11, 2, 88, 0, 0, -1, 0, 0}, 2}));
    EXPECT_EQ(entries[2], (Entry{"MOTOR2", "Second drive", {motorId, 3, 4, 4, 103, -1, 0, 0}, 1}));
}

struct PathCase {
    const char* mask;
    bool ok;
    std::vector<Entry> expected; // type ids by name are filled in by the test
    std::vector<std::string> typeNames;
};

TEST_F(CatalogueQuery, ComponentPathsAndExpansion) {
    // Base values: Motor {4, 4, 100, -1}, attr 6; buf {4, 4, 200}; m {4, 4, 300};
    // drives {88, 0, 0}; line {3, 3, 40}, kind 5: attr 1.
    const std::vector<PathCase> cases = {
        {"motor+", true,
         {{"Motor.Speed", "", {0, 2, 4, 4, 100, -1, 0, 0}, 0}, {"Motor.On", "", {0, 1, 4, 4, 100, -1, 0, 2}, 0}},
         {"INT", "BOOL"}},
        {"motor.on", true, {{"Motor.on", "Main drive", {0, 1, 4, 4, 100, -1, 6, 2}, 0}}, {"BOOL"}},
        {"motor.speed", true, {{"Motor.speed", "Main drive", {0, 2, 4, 4, 100, -1, 6, 0}, 0}}, {"INT"}},
        {"motor.speed*", true, {{"Motor.speed", "Main drive", {0, 2, 4, 4, 100, -1, 6, 0}, 0}}, {"INT"}},
        {"motor.sp*", false, {}, {}},
        {"motor.+", false, {}, {}},
        {"motor.", false, {}, {}},
        {"motor.nope", false, {}, {}},
        {"motor[1]", false, {}, {}},
        {"buf+", true,
         {{"buf[1]", "", {0, 2, 4, 4, 200, -1, 0, 0}, 0},
          {"buf[2]", "", {0, 2, 4, 4, 200, -1, 0, 2}, 0},
          {"buf[3]", "", {0, 2, 4, 4, 200, -1, 0, 4}, 0}},
         {"INT", "INT", "INT"}},
        {"buf[2]", true, {{"buf[2]", "Buffer", {0, 2, 4, 4, 200, -1, 0, 2}, 0}}, {"INT"}},
        {"buf[02]", true, {{"buf[02]", "Buffer", {0, 2, 4, 4, 200, -1, 0, 2}, 0}}, {"INT"}},
        {"buf[0]", false, {}, {}},
        {"buf[4]", false, {}, {}},
        {"buf[-1]", false, {}, {}},
        {"buf[]", false, {}, {}},
        {"buf[2", false, {}, {}},
        {"buf[2x]", false, {}, {}},
        {"buf[99999999999]", false, {}, {}},
        {"buf.x", false, {}, {}},
        {"m[1][2]", true, {{"m[1][2]", "Matrix", {0, 4, 4, 4, 300, -1, 0, 12}, 0}}, {"DINT"}},
        {"m[1,2]", true, {{"m[1][2]", "Matrix", {0, 4, 4, 4, 300, -1, 0, 12}, 0}}, {"DINT"}},
        {"m[0,1]", true, {{"m[0][1]", "Matrix", {0, 4, 4, 4, 300, -1, 0, 0}, 0}}, {"DINT"}},
        {"m+", true,
         {{"m[0]", "", {0, 8, 4, 4, 300, -1, 0, 0}, 0}, {"m[1]", "", {0, 8, 4, 4, 300, -1, 0, 8}, 0}},
         {"DINT[1..2]", "DINT[1..2]"}},
        {"m[1]", true, {{"m[1]", "Matrix", {0, 8, 4, 4, 300, -1, 0, 8}, 0}}, {"DINT[1..2]"}},
        {"m[1]+", true,
         {{"m[1][1]", "", {0, 4, 4, 4, 300, -1, 0, 8}, 0}, {"m[1][2]", "", {0, 4, 4, 4, 300, -1, 0, 12}, 0}},
         {"DINT", "DINT"}},
        {"m[1][3]", false, {}, {}},
        {"m[2]", false, {}, {}},
        {"m[1,2,1]", false, {}, {}},
        {"m[1][2]+", false, {}, {}},
        {"drives[2].on", true, {{"drives[2].on", "Drives", {0, 1, 88, 0, 0, -1, 0, 5}, 0}}, {"BOOL"}},
        {"drives[2]+", true,
         {{"drives[2].Speed", "", {0, 2, 88, 0, 0, -1, 0, 3}, 0}, {"drives[2].On", "", {0, 1, 88, 0, 0, -1, 0, 5}, 0}},
         {"INT", "BOOL"}},
        {"drives+", true,
         {{"drives[1]", "", {0, 3, 88, 0, 0, -1, 0, 0}, 0}, {"drives[2]", "", {0, 3, 88, 0, 0, -1, 0, 3}, 0}},
         {"MOTOR_T", "MOTOR_T"}},
        {"line.bufs[3]", true, {{"line.bufs[3]", "Line data", {0, 2, 3, 3, 40, -1, 1, 6}, 0}}, {"INT"}},
        {"line.drives[1].speed", true,
         {{"line.drives[1].speed", "Line data", {0, 2, 3, 3, 40, -1, 1, 8}, 0}}, {"INT"}},
        {"line.drives+", true,
         {{"line.drives[1]", "", {0, 3, 3, 3, 40, -1, 0, 8}, 0}, {"line.drives[2]", "", {0, 3, 3, 3, 40, -1, 0, 11}, 0}},
         {"MOTOR_T", "MOTOR_T"}},
        {"line+", true,
         {{"line.Name_Len", "", {0, 2, 3, 3, 40, -1, 0, 0}, 0},
          {"line.Bufs", "", {0, 6, 3, 3, 40, -1, 0, 2}, 0},
          {"line.Drives", "", {0, 6, 3, 3, 40, -1, 0, 8}, 0}},
         {"INT", "BUF_T", "MOTORS_T"}},
        {"x.y", true, {}, {}},
        {"x+", true, {}, {}},
        {"nosuch.y", true, {}, {}},
        {"nosuch+", true, {}, {}},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.mask);
        std::string mask = c.mask;
        EXPECT_EQ(project->SetFilter(sel, mask, 0, -1, 0), c.ok);
        std::vector<Entry> expected = c.expected;
        for (size_t i = 0; i < expected.size(); ++i)
            expected[i].info.VarType = IdOf(c.typeNames[i]);
        EXPECT_EQ(Drain(*project, sel), expected);
    }
}

TEST_F(CatalogueQuery, ExpansionRegistersTheTypesItMeets) {
    // "DINT[1..2]" is named by no variable: the expansion gives it its id.
    const int32_t before = project->Registry().NextId();
    int32_t id = 0;
    ASSERT_FALSE(project->Registry().IdOf("DINT[1..2]", id));
    std::string mask = "m+";
    ASSERT_TRUE(project->SetFilter(sel, mask, 0, -1, 0));
    std::vector<Entry> entries = Drain(*project, sel);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].info.VarType, before);
    std::string name;
    ASSERT_TRUE(project->TypeNameOf(entries[0].info.VarType, name));
    EXPECT_EQ(name, "DINT[1..2]");
    EXPECT_EQ(project->Registry().NextId(), before + 1);
}

struct NamedCase {
    const char* name;
    const char* lowered;
    bool ok;
    Entry expected;
};

TEST_F(CatalogueQuery, FindNamed) {
    const std::vector<NamedCase> cases = {
        {"MOTOR", "motor", true, {"", "Main drive", {0, 3, 4, 4, 100, -1, 6, 0}, 1}},
        {"Motor.On", "motor.on", true, {"", "Main drive", {-1, 1, 4, 4, 100, -1, 6, 2}, 0}},
        {"buf+", "buf+", true, {"", "Literally named", {-1, 1, 0, 0, 0, -1, 0, 0}, 3}},
        {"motor+", "motor+", true, {"", "", {}, 0}},
        {"unknown", "unknown", true, {"", "", {}, 0}},
        {"", "", true, {"", "", {}, 0}},
        {"motor.on+", "motor.on+", false, {"", "untouched", {}, 99}},
        {"t6", "t6", true, {"", "Timer instance", {-20, 4, 88, -1, 0, -1, 3, 0}, 6}},
    };
    for (const NamedCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string name = c.name, comment = "untouched";
        int32_t kind = 99;
        VarInfo info;
        EXPECT_EQ(project->FindNamed(sel, name, comment, kind, info), c.ok);
        EXPECT_EQ(name, c.lowered);
        Entry expected = c.expected;
        if (std::string(c.name) == "MOTOR")
            expected.info.VarType = motorId;
        EXPECT_EQ((Entry{"", comment, info, kind}), expected);
    }
}

TEST_F(CatalogueQuery, SelectionByAddress) {
    std::string name;
    EXPECT_TRUE(project->FirstByAddress(sel, 3, 3, 40, -1, name));
    EXPECT_EQ(name, "line");
    EXPECT_TRUE(project->NextName(sel, name));
    EXPECT_EQ(name, "x");
    EXPECT_TRUE(project->NextName(sel, name));
    EXPECT_EQ(name, "");
    EXPECT_TRUE(project->NextName(sel, name));
    EXPECT_EQ(name, "");

    struct Case {
        int32_t addr, sect, offset, cix;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {3, 3, 40, -1, {"line", "x"}},
        {3, 3, 40, 0, {}},
        {3, 3, 40, -2, {}},
        {4, 4, 100, -1, {"Motor"}},
        {88, 0, 0, -1, {"drives", "Motor1"}},
        {0, 0, 0, -1, {"*star", "buf+"}},
        {4, 4, 101, -1, {}},
        {-1, -1, 0, -1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.addr) + "/" + std::to_string(c.sect) + "/" + std::to_string(c.offset) + "/" +
                     std::to_string(c.cix));
        project->SelectByAddress(c.addr, c.sect, c.offset, c.cix, sel);
        std::vector<std::string> names;
        while (project->NextName(sel, name) && !name.empty())
            names.push_back(name);
        EXPECT_EQ(names, c.expected);
    }
}

TEST_F(CatalogueQuery, ReadingASelection) {
    // A selecting query empties both lists: a path selection after a filter
    // selection leaves only elements, and the reverse.
    std::string mask = "motor";
    ASSERT_TRUE(project->SetFilter(sel, mask, 0, -1, 0));
    EXPECT_EQ(project->EntryCount(sel), 3);
    Entry e;
    ASSERT_EQ(project->NextEntry(sel, e.name, e.comment, e.info, e.kind), 1);
    EXPECT_EQ(project->EntryCount(sel), 3); // cursors are not looked at
    mask = "buf+";
    ASSERT_TRUE(project->SetFilter(sel, mask, 0, -1, 0));
    EXPECT_EQ(project->EntryCount(sel), 3);
    // NextName reads only the variable list.
    std::string name = "x";
    EXPECT_TRUE(project->NextName(sel, name));
    EXPECT_EQ(name, "");
    EXPECT_EQ(NamesOf(Drain(*project, sel)), (std::vector<std::string>{"buf[1]", "buf[2]", "buf[3]"}));
    // A failing selection leaves an empty selection.
    mask = "buf[9]";
    EXPECT_FALSE(project->SetFilter(sel, mask, 0, -1, 0));
    EXPECT_EQ(project->EntryCount(sel), 0);
}

TEST_F(CatalogueQuery, FirstAndNextByFilter) {
    std::string mask = "MOTOR", name, comment;
    VarInfo info;
    ASSERT_TRUE(project->FirstByFilter(sel, mask, 0, -1, name, comment, info));
    EXPECT_EQ(name, "Motor");
    int32_t kind = 0;
    EXPECT_EQ(project->NextByFilter(sel, name, comment, info, kind), 1);
    EXPECT_EQ(name, "Motor1");
    EXPECT_EQ(kind, 2);
    EXPECT_EQ(project->NextByFilter(sel, name, comment, info, kind), 1);
    EXPECT_EQ(project->NextByFilter(sel, name, comment, info, kind), 0);
    // FirstByFilter ignores kinds 6-9 (extra mask 0) and fails without entry.
    mask = "t6";
    EXPECT_FALSE(project->FirstByFilter(sel, mask, 0, -1, name, comment, info));
    mask = "motor.+";
    EXPECT_FALSE(project->FirstByFilter(sel, mask, 0, -1, name, comment, info));
}

TEST_F(CatalogueQuery, PlainSelectionWithoutFilterTakesTheExactKey) {
    VarFilter filter{"motor", 0, -1, 0};
    ASSERT_TRUE(project->SelectVariables(filter, false, true, sel));
    EXPECT_EQ(NamesOf(Drain(*project, sel)), std::vector<std::string>{"Motor"});
    VarFilter star{"motor*", 0, -1, 0}; // the prefix before the last '*'
    ASSERT_TRUE(project->SelectVariables(star, false, true, sel));
    EXPECT_EQ(NamesOf(Drain(*project, sel)), std::vector<std::string>{"Motor"});
    VarFilter upper{"MOTOR", 0, -1, 0}; // keys are lower case
    ASSERT_TRUE(project->SelectVariables(upper, false, true, sel));
    EXPECT_EQ(project->EntryCount(sel), 0);
}

// Reading a selection in runs under one hold of the lock gives the entries
// that reading it entry by entry gives, in the same order, whatever the
// lengths of the runs and wherever a visitor stops: the entry it stops at
// is taken, and the next run starts after it.
TEST_F(CatalogueQuery, TakeEntriesReadsWhatNextEntryReads) {
    struct Case {
        const char* name;
        std::string mask;
        size_t most;   // entries per run
        long stopAt;   // the visitor answers false at this entry of the selection (-1: never)
    } const cases[] = {
        {"all variables one at a time", "", 1, -1},
        {"all variables in runs of 3", "", 3, -1},
        {"all variables in one run", "", 100, -1},
        {"a run of exactly the selection", "motor", 3, -1},
        {"structure expansion in runs of 1", "motor+", 1, -1},
        {"array expansion, run ends at the last element", "buf+", 3, -1},
        {"array expansion, run crosses the end", "buf+", 2, -1},
        {"expansion of an array of structures", "drives+", 5, -1},
        {"one component", "motor.on", 4, -1},
        {"stop in the middle of a run", "", 4, 2},
        {"stop at the last entry of a run", "", 4, 3},
        {"stop at the first entry", "", 4, 0},
        {"stop at an element", "buf+", 3, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string mask = c.mask;
        ASSERT_TRUE(project->SetFilter(sel, mask, 0, -1, 9));
        const std::vector<Entry> expected = Drain(*project, sel);
        ASSERT_FALSE(expected.empty());
        mask = c.mask;
        ASSERT_TRUE(project->SetFilter(sel, mask, 0, -1, 9));

        std::vector<Entry> got;
        long seen = 0;
        size_t runs = 0;
        for (;;) {
            size_t visited = 0;
            const size_t taken = project->TakeEntries(sel, c.most, [&](const EntryView& e) {
                got.push_back({std::string(e.name), std::string(e.comment), e.info, e.kind});
                ++visited;
                return seen++ != c.stopAt;
            });
            EXPECT_EQ(taken, visited) << "every entry taken is visited";
            EXPECT_LE(taken, c.most);
            ++runs;
            if (taken == 0 || runs > expected.size() + 1)
                break;
        }
        EXPECT_EQ(got, expected);
        EXPECT_EQ(project->EntryCount(sel), static_cast<int>(expected.size())) << "the selection is kept";
        if (c.stopAt < 0) {
            EXPECT_EQ(runs, (expected.size() + c.most - 1) / c.most + 1) << "full runs, then one empty run";
        }
    }
}

TEST_F(CatalogueQuery, TakeEntriesOfAReplacedSelectionTakesNothing) {
    std::string mask;
    ASSERT_TRUE(project->SetFilter(sel, mask, 0, -1, 0));
    ASSERT_EQ(project->TakeEntries(sel, 2, [](const EntryView&) { return true; }), 2u);
    ASSERT_TRUE(project->bRead(true)); // a new catalogue generation
    size_t visited = 0;
    EXPECT_EQ(project->TakeEntries(sel, 5, [&](const EntryView&) { return ++visited, true; }), 0u);
    EXPECT_EQ(visited, 0u);
    EXPECT_EQ(project->EntryCount(sel), 0) << "emptied";
    ASSERT_TRUE(project->SetFilter(sel, mask, 0, -1, 0));
    VarSelection fresh;
    ASSERT_TRUE(project->SetFilter(fresh, mask, 0, -1, 0));
    Entry first;
    ASSERT_EQ(project->NextEntry(fresh, first.name, first.comment, first.info, first.kind), 1);
    std::string name;
    EXPECT_EQ(project->TakeEntries(sel, 1, [&](const EntryView& e) { return name = e.name, true; }), 1u);
    EXPECT_EQ(name, first.name) << "a new selection reads from the start";
}

} // namespace
