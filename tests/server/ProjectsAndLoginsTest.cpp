// Projects and logins: path derivation, the project set, login handles,
// attachment and login counts, and what a re-read does to the selections
// of the logins attached to a project (also with two threads).
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "server/KorvaneProject.h"
#include "server/Login.h"
#include "server/LoginSet.h"
#include "server/ProjectSet.h"
#include "tests/server/ProjectFixture.h"

using namespace servertest;

namespace {

struct PathCase {
    const char* full;
    const char* directory;
    const char* name;
    const char* varFile;
};

TEST(ProjectPaths, DerivedFromTheFullPath) {
    const std::vector<PathCase> cases = {
        {"", "", "", "\\var\\.var"},
        {"c:\\plc\\line1.prj", "c:\\plc", "line1", "c:\\plc\\var\\line1.var"},
        {"c:\\plc\\line1", "c:\\plc", "line1", "c:\\plc\\var\\line1.var"},
        {"c:\\plc.v2\\line1", "c:", "plc", "c:\\var\\plc.var"},
        {"line1.prj", "line1", "line1", "line1\\var\\line1.var"},
        {"line1", "line1", "line1", "line1\\var\\line1.var"},
        {"c:\\plc\\line1.a.b", "c:\\plc", "line1.a", "c:\\plc\\var\\line1.a.var"},
        {"c:\\plc\\", "c:\\plc", "", "c:\\plc\\var\\.var"},
        {".prj", "", "", "\\var\\.var"},
        {"/home/plc/line1.prj", "/home/plc", "line1", "/home/plc\\var\\line1.var"},
        {"c:/plc\\sub/line1.prj", "c:/plc\\sub", "line1", "c:/plc\\sub\\var\\line1.var"},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.full);
        std::string directory, name, varFile;
        KorvaneProject::DerivePaths(c.full, directory, name, varFile);
        EXPECT_EQ(directory, c.directory);
        EXPECT_EQ(name, c.name);
        EXPECT_EQ(varFile, c.varFile);
    }
}

TEST(ProjectPaths, ANewProjectIsEmptyAndNotLoaded) {
    KorvaneProject p("c:\\plc\\line1.prj", nullptr);
    EXPECT_EQ(p.FullPath(), "c:\\plc\\line1.prj");
    EXPECT_EQ(p.ProjectDirectory(), "c:\\plc");
    EXPECT_EQ(p.ProjectName(), "line1");
    EXPECT_EQ(p.VarFilePath(), "c:\\plc\\var\\line1.var");
    EXPECT_EQ(p.SettingsBase(), "..");
    EXPECT_EQ(p.ServerDirectory(), ".");
    EXPECT_EQ(p.LoginCount(), 0);
    EXPECT_FALSE(p.IsLoaded());
    EXPECT_EQ(p.StampDate(), 0);
    EXPECT_EQ(p.StampMsec(), 0);
    EXPECT_EQ(p.VariableCount(), 0u);
}

TEST(ProjectPaths, ALowerCasedPathFindsTheFilesOnACaseSensitiveFileSystem) {
    ProjectEnv env(DeclareSmallTypes);
    MakeDirs(env.At("Plant/Line1/VAR"));
    WriteBytes(env.At("Plant/Line1/VAR/Line1.VAR"), VarFileText({"Motor,1,1,0,MOTOR_T,3,4,100,0,0,0,0,c"}));
    WriteBytes(env.At("Plant/Line1/Types.DTY"), "(* types *)\n");
    std::string path = env.At("plant/line1/line1.prj");
    auto p = env.MakeProject(path);
    ASSERT_TRUE(p->bRead(false));
    EXPECT_EQ(p->VariableCount(), 1u);
    EXPECT_EQ(env.Compiles().text, "(* types *)\n\n");
}

class ProjectsAndLogins : public ::testing::Test {
protected:
    void SetUp() override {
        env.WriteVar(VarFileText({"Motor,1,1,0,MOTOR_T,3,4,100,0,0,0,0,Main drive",
                                  "buf,2,1,0,BUF_T,6,4,200,0,0,0,0,Buffer"}));
    }
    ProjectEnv env{DeclareSmallTypes};
};

TEST_F(ProjectsAndLogins, FindOrAddProjectReadsAndRegisters) {
    ProjectSet set(env.Factory());
    EXPECT_EQ(set.FirstPath(), "");
    EXPECT_EQ(set.FindProject(env.ProjectPath()), nullptr);
    KorvaneProject* p = nullptr;
    DebugCapture capture;
    ASSERT_TRUE(KorvaneProject::FindOrAddProject(set, env.ProjectPath(), p));
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->IsLoaded());
    char expected[512];
    snprintf(expected, sizeof expected,
             "KorvaneProject::FindOrAddProject: Created new project for '%s' at address 0x%08X.",
             env.ProjectPath().c_str(), static_cast<unsigned>(p->Id()));
    EXPECT_EQ(TraceTexts(capture.Records()).back(), expected);
    EXPECT_EQ(set.FindProject(env.ProjectPath()), p);
    EXPECT_EQ(set.FindProject(env.ProjectPath() + " "), nullptr);
    std::string upper = env.ProjectPath();
    upper.back() = 'J';
    EXPECT_EQ(set.FindProject(upper), nullptr); // byte comparison
    EXPECT_EQ(set.FirstPath(), env.ProjectPath());
    EXPECT_EQ(set.Size(), 1u);
}

TEST_F(ProjectsAndLogins, AFailedFirstReadLeavesNothingBehind) {
    ProjectSet set(env.Factory());
    const std::string missing = env.At("other/line2.prj");
    KorvaneProject* p = nullptr;
    DebugCapture capture;
    SleepRecorder sleeps;
    EXPECT_FALSE(KorvaneProject::FindOrAddProject(set, missing, p));
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(sleeps.Waits().size(), 4u);
    EXPECT_EQ(TraceTexts(capture.Records()).back(),
              "KorvaneProject::FindOrAddProject: Read () failed - no new project created for '" + missing +
                  "'.@ProjectSet.cpp");
    EXPECT_EQ(set.Size(), 0u);
    EXPECT_EQ(set.FirstPath(), "");
    // The next open starts from scratch and succeeds once the file is there.
    MakeDirs(env.At("other/var"));
    WriteBytes(env.At("other/var/line2.var"), VarFileText({}));
    EXPECT_TRUE(KorvaneProject::FindOrAddProject(set, missing, p));
    EXPECT_EQ(set.Size(), 1u);
}

TEST_F(ProjectsAndLogins, TheFirstPathIsTheFirstProjectLoaded) {
    ProjectSet set(env.Factory());
    MakeDirs(env.At("a/var"));
    WriteBytes(env.At("a/var/z.var"), VarFileText({}));
    KorvaneProject* first = nullptr;
    KorvaneProject* second = nullptr;
    ASSERT_TRUE(KorvaneProject::FindOrAddProject(set, env.At("a/z.prj"), first));
    ASSERT_TRUE(KorvaneProject::FindOrAddProject(set, env.ProjectPath(), second));
    EXPECT_EQ(set.FirstPath(), env.At("a/z.prj"));
    EXPECT_EQ(set.FindProject(env.ProjectPath()), second);
    EXPECT_NE(first->Id(), second->Id());
}

TEST_F(ProjectsAndLogins, LoginHandlesAreNeverReused) {
    C_LoginSet logins;
    DebugCapture capture;
    Login* a = nullptr;
    Login* b = nullptr;
    ASSERT_TRUE(logins.bAdd("alice", a));
    ASSERT_TRUE(logins.bAdd("bob", b));
    EXPECT_NE(a->Handle(), 0u);
    EXPECT_NE(a->Handle(), b->Handle());
    EXPECT_EQ(a->Name(), "alice");
    const uint32_t removed = a->Handle();
    ASSERT_TRUE(logins.bRemove(removed));
    Login* c = nullptr;
    ASSERT_TRUE(logins.bAdd("carol", c));
    EXPECT_NE(c->Handle(), removed);
    EXPECT_GT(c->Handle(), b->Handle());

    char added[80], deleted[80];
    snprintf(added, sizeof added, "C_LoginSet::bAdd: new Login object created: 0x%08X.", b->Handle());
    snprintf(deleted, sizeof deleted, "C_LoginSet::bRemove: delete Login object 0x%08X.", removed);
    const std::vector<std::string> traces = TraceTexts(capture.Records());
    ASSERT_EQ(traces.size(), 4u);
    EXPECT_EQ(traces[1], added);
    EXPECT_EQ(traces[2], deleted);

    struct Case {
        const char* name;
        uint32_t handle;
        bool found;
    };
    const std::vector<Case> cases = {
        {"removed", removed, false},       {"never issued", c->Handle() + 1000, false},
        {"zero", 0, false},                {"all bits", 0xFFFFFFFFu, false},
        {"live b", b->Handle(), true},     {"live c", c->Handle(), true},
    };
    capture.Clear();
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Login* found = nullptr;
        EXPECT_EQ(logins.Find(k.handle, found), k.found);
        if (k.found) {
            EXPECT_EQ(found->Handle(), k.handle);
        }
    }
    EXPECT_FALSE(logins.bRemove(removed));
    EXPECT_TRUE(capture.Records().empty()); // unknown handles are not traced
    EXPECT_EQ(logins.Size(), 2u);
}

TEST_F(ProjectsAndLogins, LoginsShareAProjectAndCountIn) {
    ProjectSet set(env.Factory());
    KorvaneProject* p = nullptr;
    ASSERT_TRUE(KorvaneProject::FindOrAddProject(set, env.ProjectPath(), p));
    {
        C_LoginSet logins;
        Login* a = nullptr;
        Login* b = nullptr;
        ASSERT_TRUE(logins.bAdd("a", a));
        ASSERT_TRUE(logins.bAdd("b", b));
        EXPECT_EQ(a->Project(), nullptr);
        EXPECT_EQ(a->ProjectPath(), "");
        a->Attach(set.FindProject(env.ProjectPath()), env.ProjectPath());
        b->Attach(set.FindProject(env.ProjectPath()), env.ProjectPath());
        EXPECT_EQ(a->Project(), b->Project());
        EXPECT_EQ(p->LoginCount(), 2);
        ASSERT_TRUE(logins.bRemove(b->Handle()));
        EXPECT_EQ(p->LoginCount(), 1);
        a->Attach(nullptr, "ignored");
        EXPECT_EQ(p->LoginCount(), 0);
        EXPECT_EQ(a->Project(), nullptr);
        EXPECT_EQ(a->ProjectPath(), "");
        a->Attach(p, env.ProjectPath());
        a->Attach(p, env.ProjectPath()); // attaching again counts once
        EXPECT_EQ(p->LoginCount(), 1);
        EXPECT_EQ(a->ProjectPath(), env.ProjectPath());
    }
    // The login set went first: its logins detached.
    EXPECT_EQ(p->LoginCount(), 0);
    EXPECT_EQ(set.Size(), 1u);
}

TEST_F(ProjectsAndLogins, AReReadEmptiesTheSelectionsOfEveryLogin) {
    ProjectSet set(env.Factory());
    KorvaneProject* p = nullptr;
    ASSERT_TRUE(KorvaneProject::FindOrAddProject(set, env.ProjectPath(), p));
    C_LoginSet logins;
    Login* a = nullptr;
    Login* b = nullptr;
    ASSERT_TRUE(logins.bAdd("a", a));
    ASSERT_TRUE(logins.bAdd("b", b));
    a->Attach(p, env.ProjectPath());
    b->Attach(p, env.ProjectPath());

    std::string mask = "", name, comment;
    VarInfo info;
    int32_t kind;
    ASSERT_TRUE(p->SetFilter(a->Selection(), mask, 0, -1, 0));
    mask = "motor+";
    ASSERT_TRUE(p->SetFilter(b->Selection(), mask, 0, -1, 0));
    ASSERT_EQ(p->NextEntry(a->Selection(), name, comment, info, kind), 1);
    EXPECT_EQ(p->EntryCount(a->Selection()), 2);
    EXPECT_EQ(p->EntryCount(b->Selection()), 2);

    // Login b re-reads a changed file: a's variable list and b's element
    // list belong to the old catalogue.
    env.WriteVar(VarFileText({"zeta,1,1,0,INT,2,4,100,0,0,0,0,new"}));
    ASSERT_TRUE(p->bRead(true));
    EXPECT_EQ(p->EntryCount(a->Selection()), 0);
    EXPECT_EQ(p->NextEntry(a->Selection(), name, comment, info, kind), 0);
    EXPECT_EQ(name, "");
    EXPECT_EQ(p->NextEntry(b->Selection(), name, comment, info, kind), 0);
    EXPECT_TRUE(p->NextName(a->Selection(), name));
    EXPECT_EQ(name, "");
    // A new selection works on the new catalogue.
    mask = "";
    ASSERT_TRUE(p->SetFilter(a->Selection(), mask, 0, -1, 0));
    ASSERT_EQ(p->NextEntry(a->Selection(), name, comment, info, kind), 1);
    EXPECT_EQ(name, "zeta");
    // A read that is not needed keeps the selections.
    ASSERT_TRUE(p->bRead(false));
    EXPECT_EQ(p->EntryCount(a->Selection()), 1);
}

TEST_F(ProjectsAndLogins, ASelectionOfAnotherProjectIsNotServed) {
    auto one = env.MakeProject();
    auto two = env.MakeProject();
    ASSERT_TRUE(one->bRead(false));
    ASSERT_TRUE(two->bRead(false));
    VarSelection sel;
    std::string mask = "", name, comment;
    ASSERT_TRUE(one->SetFilter(sel, mask, 0, -1, 0));
    EXPECT_EQ(one->EntryCount(sel), 2);
    EXPECT_EQ(two->EntryCount(sel), 0);
    VarInfo info;
    int32_t kind;
    EXPECT_EQ(one->NextEntry(sel, name, comment, info, kind), 0); // emptied by the other project
}

TEST_F(ProjectsAndLogins, TwoLoginsReadingWhileOneReReads) {
    // Two versions of the var file whose records all carry their own name
    // as comment, and whose names begin with "s" in one version and "l" in
    // the other; a reader served a selection of a replaced catalogue would
    // see a walk that mixes them.
    std::vector<std::string> small, large;
    for (int i = 0; i < 50; ++i)
        small.push_back("s" + std::to_string(i) + ",1,1,0,INT,2,4," + std::to_string(i) + ",0,0,0,0,s" +
                        std::to_string(i));
    for (int i = 0; i < 400; ++i)
        large.push_back("l" + std::to_string(i) + ",1,1,0,MOTOR_T,3,4," + std::to_string(i) + ",0,0,0,0,l" +
                        std::to_string(i));
    env.WriteVar(VarFileText(large));
    EnvOverride noLog("VQ_LOGNAME", nullptr);
    ProjectSet set(env.Factory());
    KorvaneProject* p = nullptr;
    ASSERT_TRUE(KorvaneProject::FindOrAddProject(set, env.ProjectPath(), p));
    C_LoginSet logins;
    Login* writer = nullptr;
    Login* reader = nullptr;
    ASSERT_TRUE(logins.bAdd("writer", writer));
    ASSERT_TRUE(logins.bAdd("reader", reader));
    writer->Attach(p, env.ProjectPath());
    reader->Attach(p, env.ProjectPath());

    std::atomic<bool> done{false};
    std::atomic<int> mismatches{0}, walks{0}, overlong{0};
    std::thread readerThread([&] {
        while (!done) {
            std::string mask = "", name, comment;
            if (!p->SetFilter(reader->Selection(), mask, 0, -1, 0))
                ++mismatches;
            const int count = p->EntryCount(reader->Selection());
            VarInfo info;
            int32_t kind;
            int seen = 0;
            char version = 0;
            while (p->NextEntry(reader->Selection(), name, comment, info, kind) == 1) {
                ++seen;
                // Every entry is whole, and one walk never mixes the two
                // versions of the file (names "s..." and "l...").
                if (comment != name || name.empty() || (version != 0 && name[0] != version))
                    ++mismatches;
                if (!name.empty())
                    version = name[0];
            }
            // A re-read may empty the selection midway, never make it longer.
            if (seen > count)
                ++overlong;
            ++walks;
        }
    });
    for (int i = 0; i < 40; ++i) {
        env.WriteVar(VarFileText(i % 2 ? large : small));
        ASSERT_TRUE(p->bRead(true));
    }
    done = true;
    readerThread.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(overlong.load(), 0);
    EXPECT_GT(walks.load(), 0);
}

TEST(ProcessWideSets, InstancesServeTheStaticOperations) {
    ProjectEnv env(DeclareSmallTypes);
    env.WriteVar(VarFileText({"v,1,1,0,INT,2,4,100,0,0,0,0,c"}));
    ProjectSet& set = ProjectSet::Instance();
    C_LoginSet& logins = C_LoginSet::Instance();
    EXPECT_EQ(&set, &ProjectSet::Instance());
    EXPECT_EQ(&logins, &C_LoginSet::Instance());
    // Other tests of the process may use the process-wide set as well: its
    // factory is replaced for this test only.
    TypeCompilerFactory previous = set.TypeCompilers();
    set.SetTypeCompilers(env.Factory());
    KorvaneProject* p = nullptr;
    const bool added = KorvaneProject::FindOrAddProject(env.ProjectPath(), p);
    set.SetTypeCompilers(previous);
    ASSERT_TRUE(added);
    EXPECT_EQ(set.FindProject(env.ProjectPath()), p);
    Login* login = nullptr;
    ASSERT_TRUE(logins.bAdd("x", login));
    login->Attach(p, env.ProjectPath());
    EXPECT_EQ(p->LoginCount(), 1);
    EXPECT_TRUE(logins.bRemove(login->Handle()));
    EXPECT_EQ(p->LoginCount(), 0);
}

} // namespace

namespace {

// At process end the logins must go before the projects they point at,
// whichever set was asked for first (under the sanitizers a login that
// detached from a destroyed project would stop the child with an error).
TEST(ProcessWideSetsDeathTest, LoginsGoBeforeProjectsAtProcessEnd) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            C_LoginSet& logins = C_LoginSet::Instance(); // asked for first
            {
                ProjectEnv env(DeclareSmallTypes);
                env.WriteVar(VarFileText({"v,1,1,0,INT,2,4,100,0,0,0,0,c"}));
                ProjectSet::Instance().SetTypeCompilers(env.Factory());
                KorvaneProject* p = nullptr;
                if (!KorvaneProject::FindOrAddProject(env.ProjectPath(), p))
                    exit(2);
                Login* login = nullptr;
                if (!logins.bAdd("x", login))
                    exit(3);
                login->Attach(p, env.ProjectPath());
            }
            exit(0); // the exit handlers destroy both sets
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
