// The example plant under examples/plant read as the server reads it: the
// data-type files of its library, global DFB, project and project DFB
// directories, its var file of a few hundred variables, and queries on it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "server/KorvaneProject.h"
#include "tests/server/ProjectFixture.h"

using namespace servertest;

namespace {

std::string PlantDir() {
    // This file is tests/server/PlantExampleTest.cpp in the source tree.
    return (std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "examples" / "plant")
        .string();
}

class PlantExample : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(PlantDir() + "/projects/line1/var/line1.var"));
        // The server runs in the plant's bin directory; TEMP and the log pipe
        // stay in the test's private directory.
        cwd = std::make_unique<CurrentDir>(PlantDir() + "/bin");
        project = std::make_unique<KorvaneProject>(PlantDir() + "/projects/line1/line1.prj", env.Factory()());
    }
    void TearDown() override { cwd.reset(); }

    ProjectEnv env{DeclarePlantTypes};
    std::unique_ptr<CurrentDir> cwd;
    std::unique_ptr<KorvaneProject> project;
    VarSelection sel;
};

TEST_F(PlantExample, ReadsCompletely) {
    ASSERT_TRUE(project->bRead(false));
    EXPECT_EQ(project->VariableCount(), 361u);
    EXPECT_EQ(env.LogLines(), "VARSVC32\tVersion = 'Korvane 2.5 var file (line1)\n'\r\n"
                              "VARSVC32\tbRead: 365 Zeilen eingelesen\r\n");
    EXPECT_EQ(project->StampDate(), kStampDate);
    EXPECT_EQ(project->StampMsec(), kStampMsec);
    // The four type files, in the order of their directories.
    const std::string& text = env.Compiles().text;
    const size_t lib = text.find("Standard library types"), dfb = text.find("Global DFB types"),
                 own = text.find("Data types of filling line 1"), ownDfb = text.find("Project DFB types");
    ASSERT_NE(lib, std::string::npos);
    ASSERT_NE(dfb, std::string::npos);
    ASSERT_NE(own, std::string::npos);
    ASSERT_NE(ownDfb, std::string::npos);
    EXPECT_LT(lib, dfb);
    EXPECT_LT(dfb, own);
    EXPECT_LT(own, ownDfb);
}

TEST_F(PlantExample, EverySizeMatchesItsType) {
    ASSERT_TRUE(project->bRead(false));
    std::string mask;
    ASSERT_TRUE(project->SetFilter(sel, mask, 0, -1, 9));
    std::string name, comment;
    VarInfo info;
    int32_t kind;
    int count = 0;
    while (project->NextEntry(sel, name, comment, info, kind)) {
        SCOPED_TRACE(name);
        int32_t size = -1;
        ASSERT_TRUE(project->TypeSizeOf(info.VarType, size));
        EXPECT_EQ(size, info.VarSize);
        ++count;
    }
    EXPECT_EQ(count, 361);
}

struct AreaCase {
    const char* name;
    int32_t addr, etc;
    int count;
};

TEST_F(PlantExample, SelectionsByArea) {
    ASSERT_TRUE(project->bRead(false));
    const std::vector<AreaCase> cases = {
        {"coils: area 0", 0, 0, 58},        {"inputs: area 1", 1, 0, 80},
        {"input registers: area 3", 3, 0, 40}, {"holding registers: area 4", 4, 0, 119},
        {"unlocated", 88, 0, 50},            {"kinds 6-9", -1, 11, 6},
        {"all", -1, 9, 361},
    };
    for (const AreaCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string mask;
        ASSERT_TRUE(project->SetFilter(sel, mask, 0, c.addr, c.etc));
        EXPECT_EQ(project->EntryCount(sel), c.count);
    }
}

struct PathCase {
    const char* path;
    const char* name;
    int32_t compOff, size;
    const char* type;
};

TEST_F(PlantExample, PathsIntoThePlantsStructures) {
    ASSERT_TRUE(project->bRead(false));
    const std::vector<PathCase> cases = {
        {"tank1.inlet.fault.code", "Tank1.inlet.fault.code", 13, 2, "UINT"},
        {"pumps[3].alarm.acked", "Pumps[3].alarm.acked", 30, 1, "BOOL"},
        {"tempmap1[3,4]", "TempMap1[3][4]", 60, 4, "REAL"},
        {"batch2.steps[10]", "Batch2.steps[10]", 40, 4, "DINT"},
        {"conveyor4.drive.current", "Conveyor4.drive.current", 3, 4, "REAL"},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.path);
        std::string mask = c.path, name, comment;
        ASSERT_TRUE(project->SetFilter(sel, mask, 0, -1, 0));
        VarInfo info;
        int32_t kind;
        ASSERT_EQ(project->NextEntry(sel, name, comment, info, kind), 1);
        EXPECT_EQ(name, c.name);
        EXPECT_EQ(info.CompOff, c.compOff);
        EXPECT_EQ(info.VarSize, c.size);
        std::string typeName;
        ASSERT_TRUE(project->TypeNameOf(info.VarType, typeName));
        EXPECT_EQ(typeName, c.type);
    }
}

TEST_F(PlantExample, ExpansionOfAnArrayOfStructures) {
    ASSERT_TRUE(project->bRead(false));
    std::string mask = "pumps[3].alarm+", name, comment;
    ASSERT_TRUE(project->SetFilter(sel, mask, 0, -1, 0));
    std::vector<std::pair<std::string, int32_t>> got;
    VarInfo info;
    int32_t kind;
    while (project->NextEntry(sel, name, comment, info, kind))
        got.emplace_back(name, info.CompOff);
    EXPECT_EQ(got, (std::vector<std::pair<std::string, int32_t>>{
                       {"Pumps[3].alarm.Active", 29}, {"Pumps[3].alarm.Acked", 30}, {"Pumps[3].alarm.Code", 31}}));
}

TEST_F(PlantExample, GermanCommentsStayWindows1252) {
    ASSERT_TRUE(project->bRead(false));
    std::string name = "TANK1", comment;
    int32_t kind;
    VarInfo info;
    ASSERT_TRUE(project->FindNamed(sel, name, comment, kind, info));
    EXPECT_EQ(comment, "Puffertank 1 (F\xfcllstand)");
    EXPECT_EQ(kind, 1);
    EXPECT_EQ(info.VarSize, 22);
}

} // namespace
