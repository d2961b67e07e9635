// The project's types compiled by the compiler library itself: the example
// plant's data-type files through the morval facade, with the server's
// option settings, and the catalogue's paths over the compiled types.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "server/KorvaneProject.h"
#include "server/MorvalTypeCompiler.h"
#include "tests/server/ProjectFixture.h"

using namespace servertest;

namespace {

std::string PlantDir() {
    return (std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "examples" / "plant")
        .string();
}

struct SizeCase {
    const char* type;
    int32_t size;
};

TEST(MorvalTypes, ThePlantsTypeFilesCompile) {
    ProjectEnv env;
    CurrentDir cwd(PlantDir() + "/bin");
    KorvaneProject project(PlantDir() + "/projects/line1/line1.prj", std::make_unique<MorvalTypeCompiler>());
    ASSERT_TRUE(project.bRead(false));
    EXPECT_EQ(project.VariableCount(), 361u);
    const std::vector<SizeCase> cases = {
        {"ALARM_T", 4},   {"ANALOG_T", 8},   {"VALVE_T", 7},   {"MOTOR_T", 11},    {"TANK_T", 22},
        {"RECIPE_T", 40}, {"TEMP4_T", 8},    {"TEMP_MAP_T", 64}, {"BATCH_T", 52}, {"MOTORS_T", 44},
        {"CONVEYOR_T", 16}, {"INT", 2},      {"BOOL", 1},      {"REAL", 4},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(c.type);
        int32_t id = 0, size = -1;
        ASSERT_TRUE(project.TypeIdOf(c.type, id));
        ASSERT_TRUE(project.TypeSizeOf(id, size));
        EXPECT_EQ(size, c.size);
    }
}

struct PathCase {
    const char* mask;
    std::vector<std::string> names;
    std::vector<int32_t> offsets;
    const char* type;
};

TEST(MorvalTypes, PathsOverCompiledTypes) {
    ProjectEnv env;
    CurrentDir cwd(PlantDir() + "/bin");
    KorvaneProject project(PlantDir() + "/projects/line1/line1.prj", std::make_unique<MorvalTypeCompiler>());
    ASSERT_TRUE(project.bRead(false));
    const std::vector<PathCase> cases = {
        {"tank1.inlet.fault.code", {"Tank1.inlet.fault.code"}, {13}, "UINT"},
        {"pumps[3].alarm+", {"Pumps[3].alarm.Active", "Pumps[3].alarm.Acked", "Pumps[3].alarm.Code"}, {29, 30, 31},
         nullptr},
        {"tempmap1[3,4]", {"TempMap1[3][4]"}, {60}, "REAL"},
        {"tempmap1[3][4]", {"TempMap1[3][4]"}, {60}, "REAL"},
        {"tempmap2+", {"TempMap2[0]", "TempMap2[1]", "TempMap2[2]", "TempMap2[3]"}, {0, 16, 32, 48}, "REAL[1..4]"},
        {"batch1.steps+", {"Batch1.steps[1]", "Batch1.steps[2]", "Batch1.steps[3]", "Batch1.steps[4]",
                           "Batch1.steps[5]", "Batch1.steps[6]", "Batch1.steps[7]", "Batch1.steps[8]",
                           "Batch1.steps[9]", "Batch1.steps[10]"},
         {4, 8, 12, 16, 20, 24, 28, 32, 36, 40}, "DINT"},
    };
    VarSelection sel;
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.mask);
        std::string mask = c.mask;
        ASSERT_TRUE(project.SetFilter(sel, mask, 0, -1, 0));
        std::vector<std::string> names;
        std::vector<int32_t> offsets;
        std::string name, comment;
        VarInfo info;
        int32_t kind;
        while (project.NextEntry(sel, name, comment, info, kind)) {
            names.push_back(name);
            offsets.push_back(info.CompOff);
            if (c.type != nullptr) {
                std::string typeName;
                ASSERT_TRUE(project.TypeNameOf(info.VarType, typeName));
                EXPECT_EQ(typeName, c.type);
            }
        }
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(offsets, c.offsets);
    }
}

TEST(MorvalTypes, TheServersOptionSettings) {
    // DigitNames on: "3WAY_T" is a name. Equivalent redeclarations accepted
    // silently: DUP_T twice gives no message. LowerCaseKeywords off: the
    // lower-case keywords of LC_T are reported. The compiler writes its
    // messages to the standard output.
    ProjectEnv env;
    WriteBytes(env.At("plc/Options.dty"), "TYPE\n    3WAY_T : STRUCT\n        A : INT;\n        B : BOOL;\n"
                                          "    END_STRUCT;\n    DUP_T : ARRAY[1..2] OF INT;\n"
                                          "    DUP_T : ARRAY[1..2] OF INT;\nEND_TYPE\n"
                                          "type\n    LC_T : struct\n        A : int;\n    end_struct;\nend_type\n");
    env.WriteVar(VarFileText({"Valve3,1,1,0,3WAY_T,3,4,0,0,0,0,0,Three-way valve"}));
    KorvaneProject project(env.ProjectPath(), std::make_unique<MorvalTypeCompiler>());
    testing::internal::CaptureStdout();
    const bool read = project.bRead(false);
    const std::string messages = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(read);
    int32_t id = 0, size = 0;
    ASSERT_TRUE(project.TypeIdOf("3WAY_T", id));
    ASSERT_TRUE(project.TypeSizeOf(id, size));
    EXPECT_EQ(size, 3);
    EXPECT_EQ(messages.find("VARSVC32(2,"), std::string::npos) << messages;  // the digit name
    EXPECT_EQ(messages.find("VARSVC32(7,"), std::string::npos) << messages;  // the redeclaration
    EXPECT_NE(messages.find("VARSVC32(9,"), std::string::npos) << messages;  // "type" in lower case
}

TEST(MorvalTypes, CompileErrorsDoNotStopTheRead) {
    // The compiler reports the errors and goes on; the result of the
    // compilation is not looked at. A name used in the var file that no
    // declaration made is unknown and rejects its line.
    ProjectEnv env;
    WriteBytes(env.At("plc/Broken.dty"), "TYPE\n    GOOD_T : ARRAY[1..2] OF INT;\n"
                                         "    BAD_T : STRUCT A INT; END_STRUCT;\n"
                                         "    AFTER_T : ARRAY[1..3] OF BOOL;\nEND_TYPE\n");
    env.WriteVar(VarFileText({"g,1,1,0,GOOD_T,4,4,0,0,0,0,0,c", "a,1,1,0,AFTER_T,3,4,0,0,0,0,0,c"}));
    {
        KorvaneProject project(env.ProjectPath(), std::make_unique<MorvalTypeCompiler>());
        ASSERT_TRUE(project.bRead(false));
        int32_t id = 0, size = 0;
        ASSERT_TRUE(project.TypeIdOf("AFTER_T", id));
        ASSERT_TRUE(project.TypeSizeOf(id, size));
        EXPECT_EQ(size, 3);
    }
    env.WriteVar(VarFileText({"g,1,1,0,GOOD_T,4,4,0,0,0,0,0,c", "n,1,1,0,NOSUCH_T,2,4,0,0,0,0,0,c"}));
    KorvaneProject project(env.ProjectPath(), std::make_unique<MorvalTypeCompiler>());
    SleepRecorder sleeps;
    EXPECT_FALSE(project.bRead(false));
    EXPECT_EQ(project.VariableCount(), 1u);
    EXPECT_EQ(env.LogLines().find("VARSVC32\tReadVarLine: TypeID 'NOSUCH_T' nicht gefunden!\r\n") != std::string::npos,
              true);
}

TEST(MorvalTypes, ElementaryTypesComeFromTheCompilersTable) {
    ProjectEnv env;
    env.WriteVar(VarFileText({}));
    KorvaneProject project(env.ProjectPath(), std::make_unique<MorvalTypeCompiler>());
    ASSERT_TRUE(project.bRead(false));
    struct Case {
        const char* name;
        int32_t id;
    };
    for (const Case& c : std::vector<Case>{{"BOOL", -1}, {"INT", -11}, {"DINT", -12}, {"REAL", -18},
                                           {"STRING", -24}, {"TIME", -20}}) {
        SCOPED_TRACE(c.name);
        int32_t id = 0;
        ASSERT_TRUE(project.TypeIdOf(c.name, id));
        EXPECT_EQ(id, c.id);
    }
    std::string name;
    ASSERT_TRUE(project.TypeNameOf(-22, name));
    EXPECT_TRUE(name == "TIME_OF_DAY" || name == "TOD") << name;
    int32_t other = 0;
    EXPECT_FALSE(project.TypeIdOf(name == "TOD" ? "TIME_OF_DAY" : "TOD", other));
    int32_t id = 0;
    EXPECT_FALSE(project.TypeIdOf("int", id));
}

TEST(MorvalTypes, CreateAndDestroy) {
    MorvalTypeCompiler compiler;
    EXPECT_FALSE(compiler.HasInstance());
    EXPECT_TRUE(compiler.Destroy());
    EXPECT_TRUE(compiler.Create());
    EXPECT_TRUE(compiler.HasInstance());
    EXPECT_TRUE(compiler.Create()); // an existing instance stays
    EXPECT_NE(compiler.LookupById(-11), nullptr);
    EXPECT_TRUE(compiler.Reset());
    EXPECT_TRUE(compiler.HasInstance());
    EXPECT_TRUE(compiler.Destroy());
    EXPECT_FALSE(compiler.HasInstance());
    EXPECT_EQ(compiler.LookupById(-11), nullptr);
}

} // namespace
