// The project's data types: gathering the data-type files of the five
// directories under the korvane.ini rules into the temporary type file, its
// safe creation and removal, the line reader, and the type id, name and
// size queries.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/Environment.h"
#include "server/KorvaneProject.h"
#include "tests/server/ProjectFixture.h"

using namespace servertest;

namespace {

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// The test compiler records what the line reader delivered, i.e. the
// temporary type file as it was compiled.
class ProjectTypes : public ::testing::Test {
protected:
    ProjectEnv env{DeclareSmallTypes};
    void Read(KorvaneProject& p) {
        env.WriteVar(VarFileText({}));
        ASSERT_TRUE(p.bRead(true));
    }
};

TEST_F(ProjectTypes, FiveDirectoriesInOrderEachFileEndedByALineFeed) {
    WriteBytes(env.At("Lib/a.dty"), "(* lib *)\n");
    WriteBytes(env.At("DFB/b.dty"), "(* global dfb, no line end *)");
    WriteBytes(env.At("plc/c.dty"), "(* project *)\n");
    WriteBytes(env.At("plc/DFB/d.dty"), "(* project dfb *)\n");
    WriteBytes(env.At("bin/e.dty"), "(* server *)\r\n");
    auto p = env.MakeProject();
    DebugCapture capture;
    Read(*p);
    EXPECT_EQ(env.Compiles().text, "(* lib *)\n\n"
                                   "(* global dfb, no line end *)\n"
                                   "(* project *)\n\n"
                                   "(* project dfb *)\n\n"
                                   "(* server *)\n\n"); // text mode: CR LF read as LF
    const std::vector<std::string> traces = TraceTexts(capture.Records());
    std::vector<std::string> appends;
    for (const std::string& t : traces)
        if (t.rfind("KorvaneProject::bAppendFiles:", 0) == 0)
            appends.push_back(t);
    const std::string tmp = p->TempTypeFile();
    EXPECT_EQ(appends, (std::vector<std::string>{
                           "KorvaneProject::bAppendFiles: Appending '..\\Lib\\a.dty' to '" + tmp + "'.",
                           "KorvaneProject::bAppendFiles: Appending '..\\DFB\\b.dty' to '" + tmp + "'.",
                           "KorvaneProject::bAppendFiles: Appending '" + env.At("plc") + "\\c.dty' to '" + tmp + "'.",
                           "KorvaneProject::bAppendFiles: Appending '" + env.At("plc") + "\\DFB\\d.dty' to '" + tmp + "'.",
                           "KorvaneProject::bAppendFiles: Appending '.\\e.dty' to '" + tmp + "'.",
                       }));
    // The temporary file is gone after the compilation.
    EXPECT_FALSE(Exists(env.At("tmp/tmp-" + std::to_string(getpid()) + "-" + std::to_string(p->Id()) + ".dty")));
}

struct SettingsCase {
    const char* name;
    std::string ini;   // empty: no korvane.ini
    bool projectGlb;   // the project has a "Glb" directory
    bool globalDir;    // the GlobalDfbPath directory exists
    std::string expected;
};

TEST_F(ProjectTypes, GlobalDfbDirectoryFollowsTheSettings) {
    const std::vector<SettingsCase> cases = {
        {"no settings file: ..\\DFB", "", true, true, "(* dfb *)\n\n"},
        {"preserve and Glb: the project's GLB", "[Upload]\nPreserveGlobalDFBs=1\n[Path]\nGlobalDfbPath=%G\n", true, true,
         "(* glb *)\n\n"},
        {"preserve without Glb: the global path", "[Upload]\nPreserveGlobalDFBs=1\n[Path]\nGlobalDfbPath=%G\n", false,
         true, "(* global *)\n\n"},
        {"preserve without Glb nor global path: ..\\DFB",
         "[Upload]\nPreserveGlobalDFBs=1\n[Path]\nGlobalDfbPath=%G\n", false, false, "(* dfb *)\n\n"},
        {"no preserve: the global path even with Glb", "[Path]\nGlobalDfbPath=%G\n", true, true, "(* global *)\n\n"},
        {"preserve 2 is not 1", "[Upload]\nPreserveGlobalDFBs=2\n[Path]\nGlobalDfbPath=%G\n", true, true,
         "(* global *)\n\n"},
        {"global path with trailing separator", "[Path]\nGlobalDfbPath=%G\\\n", false, true, "(* global *)\n\n"},
        {"empty global path: ..\\DFB", "[Path]\nGlobalDfbPath=\n", false, true, "(* dfb *)\n\n"},
        {"section and key in other case, blanks", "[upload]\n  preserveglobaldfbs = 1 \n", true, true,
         "(* glb *)\n\n"},
    };
    for (const SettingsCase& c : cases) {
        SCOPED_TRACE(c.name);
        ProjectEnv local{DeclareSmallTypes};
        WriteBytes(local.At("DFB/x.dty"), "(* dfb *)\n");
        if (c.projectGlb)
            WriteBytes(local.At("plc/Glb/x.dty"), "(* glb *)\n");
        if (c.globalDir)
            WriteBytes(local.At("global/x.dty"), "(* global *)\n");
        std::string ini = c.ini;
        if (size_t at = ini.find("%G"); at != std::string::npos)
            ini.replace(at, 2, local.At("global"));
        if (!ini.empty())
            WriteBytes(local.At("korvane.ini"), ini);
        auto p = local.MakeProject();
        local.WriteVar(VarFileText({}));
        ASSERT_TRUE(p->bRead(false));
        EXPECT_EQ(local.Compiles().text, c.expected);
    }
}

TEST_F(ProjectTypes, OnlyFilesMatchingDtyInAnyCase) {
    WriteBytes(env.At("plc/one.dty"), "1\n");
    WriteBytes(env.At("plc/TWO.DTY"), "2\n");
    WriteBytes(env.At("plc/three.dty.bak"), "no\n");
    WriteBytes(env.At("plc/four.txt"), "no\n");
    MakeDirs(env.At("plc/dir.dty"));
    auto p = env.MakeProject();
    Read(*p);
    std::string text = env.Compiles().text;
    // Order is the file system's; both files, nothing else.
    EXPECT_TRUE(text == "1\n\n2\n\n" || text == "2\n\n1\n\n") << text;
}

TEST_F(ProjectTypes, AFileThatCannotBeOpenedFailsTheTypesAndTheRead) {
    WriteBytes(env.At("plc/good.dty"), "(* good *)\n");
    ASSERT_EQ(symlink(env.At("nowhere").c_str(), env.At("plc/broken.dty").c_str()), 0);
    env.WriteVar(VarFileText({}));
    auto p = env.MakeProject();
    DebugCapture capture;
    SleepRecorder sleeps;
    EXPECT_FALSE(p->bRead(false));
    const std::vector<std::string> traces = TraceTexts(capture.Records());
    EXPECT_NE(std::find(traces.begin(), traces.end(),
                        "KorvaneProject::bAppendFiles: could not open data type definition file '" + env.At("plc") +
                            "\\broken.dty'."),
              traces.end());
    EXPECT_EQ(env.Compiles().compiles, 0);
    // Neither a var-file attempt nor a partial temporary file is left.
    EXPECT_TRUE(sleeps.Waits().empty());
    EXPECT_EQ(std::count(traces.begin(), traces.end(),
                         "KorvaneProject::bRead: check var file:<" + p->VarFilePath() + ">.\n"),
              0);
    EXPECT_FALSE(Exists(env.At("tmp/tmp-" + std::to_string(getpid()) + "-" + std::to_string(p->Id()) + ".dty")));
}

TEST_F(ProjectTypes, APlantedLinkAtTheTemporaryFileIsNotFollowed) {
    auto p = env.MakeProject();
    const std::string tmp = env.At("tmp/tmp-" + std::to_string(getpid()) + "-" + std::to_string(p->Id()) + ".dty");
    WriteBytes(env.At("victim"), "precious\n");
    ASSERT_EQ(symlink(env.At("victim").c_str(), tmp.c_str()), 0);
    WriteBytes(env.At("plc/a.dty"), "(* types *)\n");
    env.WriteVar(VarFileText({}));
    SleepRecorder sleeps;
    EXPECT_FALSE(p->bRead(false));
    std::string victim;
    {
        FILE* f = fopen(env.At("victim").c_str(), "r");
        char buffer[64] = {};
        ASSERT_NE(f, nullptr);
        fgets(buffer, sizeof buffer, f);
        fclose(f);
        victim = buffer;
    }
    EXPECT_EQ(victim, "precious\n");
    EXPECT_EQ(env.Compiles().compiles, 0);
}

TEST_F(ProjectTypes, TemporaryFileIsPrivateToProcessAndProject) {
    auto a = env.MakeProject();
    auto b = env.MakeProject();
    const std::string prefix = env.At("tmp") + "\\tmp-" + std::to_string(getpid()) + "-";
    EXPECT_EQ(a->TempTypeFile(), prefix + std::to_string(a->Id()) + ".dty");
    EXPECT_EQ(b->TempTypeFile(), prefix + std::to_string(b->Id()) + ".dty");
    EXPECT_NE(a->Id(), b->Id());
    EXPECT_NE(a->Id(), 0u);
}

struct TempCase {
    const char* name;
    const char* value; // null: TEMP unset
    std::string expected;
};

TEST_F(ProjectTypes, TemporaryDirectoryFromTemp) {
    char platformTemp[MAX_PATH];
    {
        EnvOverride tmpdir("TMPDIR", nullptr);
        GetTempPathA(sizeof platformTemp, platformTemp);
    }
    std::string fallback = platformTemp;
    fallback.pop_back(); // "/tmp/" -> "/tmp"
    const std::string longest(99, 't'), tooLong(100, 't');
    const std::vector<TempCase> cases = {
        {"unset", nullptr, fallback},
        {"empty", "", fallback},
        {"plain", "/var/tmp", "/var/tmp"},
        {"one trailing separator removed", "/var/tmp/", "/var/tmp"},
        {"only one removed", "c:\\temp\\\\", "c:\\temp\\"},
        {"99 characters fit", longest.c_str(), longest},
        {"100 do not: the platform's directory", tooLong.c_str(), fallback},
    };
    EnvOverride tmpdir("TMPDIR", nullptr);
    for (const TempCase& c : cases) {
        SCOPED_TRACE(c.name);
        EnvOverride temp("TEMP", c.value);
        EXPECT_EQ(KorvaneProject::TemporaryDirectory(), c.expected);
    }
}

struct IdCase {
    const char* name;
    bool found;
    int32_t id; // 0: a positive id, checked by order
};

TEST_F(ProjectTypes, TypeIdsOfNames) {
    auto p = env.MakeProject();
    Read(*p);
    const std::vector<IdCase> cases = {
        {"INT", true, -11},   {"BOOL", true, -1},  {"STRING", true, -24},
        {"int", false, 0},    {"", false, 0},      {"NOPE", false, 0},
        {"MOTOR_T", true, 1}, {"MOTOR_T", true, 1}, {"motor_t", true, 2},
        {"PROG1", true, 3},   {"BUF_T", true, 4},  {"DINT[1..2]", true, 5},
    };
    for (const IdCase& c : cases) {
        SCOPED_TRACE(c.name);
        int32_t id = 4711;
        EXPECT_EQ(p->TypeIdOf(c.name, id), c.found);
        EXPECT_EQ(id, c.found ? c.id : 4711);
    }
    // Of the two names of one elementary id exactly one is registered.
    int32_t tod = 0, timeOfDay = 0;
    const bool hasTod = p->TypeIdOf("TOD", tod);
    const bool hasTimeOfDay = p->TypeIdOf("TIME_OF_DAY", timeOfDay);
    EXPECT_NE(hasTod, hasTimeOfDay);
    std::string name;
    ASSERT_TRUE(p->TypeNameOf(-22, name));
    EXPECT_EQ(name, hasTod ? "TOD" : "TIME_OF_DAY");
}

TEST_F(ProjectTypes, TypeNamesAndSizes) {
    auto p = env.MakeProject();
    Read(*p);
    int32_t motor = 0, ghost = 0;
    ASSERT_TRUE(p->TypeIdOf("MOTOR_T", motor));
    ASSERT_TRUE(p->Registry().Register("GHOST_T", ghost)); // not compiled
    struct Case {
        int32_t id;
        bool nameFound;
        const char* name;
        bool sizeFound;
        int32_t size;
    };
    const std::vector<Case> cases = {
        {0, false, "", false, 0},
        {-11, true, "INT", true, 2},
        {-1, true, "BOOL", true, 1},
        {-12, true, "DINT", true, 4},
        {-500, false, "", false, 0},
        {-40000, false, "", false, 0},
        {motor, true, "MOTOR_T", true, 3},
        {ghost, true, "GHOST_T", false, 0},
        {ghost + 1, false, "", false, 0},
        {INT32_MAX, false, "", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        std::string name = "unchanged";
        EXPECT_EQ(p->TypeNameOf(c.id, name), c.nameFound);
        EXPECT_EQ(name, c.nameFound ? c.name : "unchanged");
        int32_t size = 4711;
        EXPECT_EQ(p->TypeSizeOf(c.id, size), c.sizeFound);
        EXPECT_EQ(size, c.sizeFound ? c.size : 4711);
    }
}

TEST_F(ProjectTypes, DerivedIdsRestartWithEveryRead) {
    env.WriteVar(VarFileText({"a,1,2,0,BUF_T,6,0,0,0,0,0,0,c", "b,1,2,0,MOTOR_T,3,0,0,0,0,0,0,c"}));
    auto p = env.MakeProject();
    ASSERT_TRUE(p->bRead(false));
    int32_t id = 0;
    ASSERT_TRUE(p->TypeIdOf("BUF_T", id));
    EXPECT_EQ(id, 1);
    ASSERT_TRUE(p->TypeIdOf("M2_T", id));
    EXPECT_EQ(id, 3);
    env.WriteVar(VarFileText({"b,1,2,0,MOTOR_T,3,0,0,0,0,0,0,c", "a,1,2,0,BUF_T,6,0,0,0,0,0,0,c"}));
    ASSERT_TRUE(p->bRead(true));
    ASSERT_TRUE(p->TypeIdOf("MOTOR_T", id));
    EXPECT_EQ(id, 1);
    ASSERT_TRUE(p->TypeIdOf("BUF_T", id));
    EXPECT_EQ(id, 2);
    EXPECT_EQ(p->Registry().NextId(), 3);
    // Each real read made a fresh compiler instance.
    EXPECT_EQ(env.Compiles().creates, 2);
    EXPECT_EQ(env.Compiles().destroys, 1);
    p.reset();
    EXPECT_EQ(env.Compiles().destroys, 2);
}

TEST_F(ProjectTypes, DirExistsRemovesOneTrailingSeparator) {
    auto p = env.MakeProject();
    struct Case {
        std::string path;
        bool exists;
    };
    const std::vector<Case> cases = {
        {"", false},
        {env.At("plc"), true},
        {env.At("plc") + "\\", true},
        {env.At("plc") + "/", true},
        {env.At("PLC"), true}, // names are matched without regard to case
        {env.At("plc/var/line1.var"), true}, // any entry, not only a directory
        {env.At("nope"), false},
        {"..", true},
    };
    env.WriteVar("");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(p->DirExists(c.path), c.exists);
    }
}

TEST(TypeCompilerSeam, LineReaderWithoutCurrentFile) {
    char buffer[16] = "x";
    EXPECT_EQ(TypeFileLineReader(buffer, sizeof buffer), nullptr);
    EXPECT_EQ(TypeFileLineReader(buffer, 1), nullptr);
    EXPECT_EQ(TypeFileLineReader(nullptr, 16), nullptr);
}

TEST(TypeCompilerSeam, CompileNeedsAnInstanceAndAFile) {
    TempDir dir;
    WriteBytes(dir / "t.dty", "line one\r\nline two without end");
    auto log = std::make_shared<CompileLog>();
    DeclaredTypeCompiler compiler(nullptr, log);
    EXPECT_FALSE(compiler.Compile(dir / "t.dty")); // no instance
    EXPECT_TRUE(compiler.Reset());
    EXPECT_FALSE(compiler.Compile(dir / "missing.dty"));
    EXPECT_EQ(log->compiles, 0);
    EXPECT_TRUE(compiler.Compile(dir / "t.dty"));
    EXPECT_EQ(log->text, "line one\nline two without end");
    EXPECT_EQ(compiler.LookupByName("INT"), nullptr); // the global table holds no elementary types
    EXPECT_NE(compiler.LookupById(-11), nullptr);
    EXPECT_TRUE(compiler.Destroy());
    EXPECT_EQ(compiler.LookupById(-11), nullptr);
    EXPECT_FALSE(compiler.HasInstance());
}

} // namespace
