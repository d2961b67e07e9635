// The document members that manage logins and projects: ExecRequ, Login,
// Logout, ProjOpen, ProjReOpen with its table of outcomes, the project
// stamps, ConvRelMsecDate2DateMsec, and the nine members that are not
// served, each with its status, outputs, trace lines and log lines.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/MessageLoop.h"
#include "platform/Sync.h"
#include "server/CDocumentSupport.h"
#include "server/KorvaneProject.h"
#include "server/Login.h"
#include "server/LoginSet.h"
#include "server/ProjectSet.h"
#include "tests/server/DocumentTestSupport.h"

using namespace servertest;

namespace {

constexpr char kTraceFile[] = "@CDocument.cpp";

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// ---------------------------------------------------------------- ExecRequ

TEST(DocumentExecRequ, PacketKindsAndValues) {
    DocumentEnv env;
    const std::string refused =
        std::string("Server needs compatible clients!\nCannot work in this environment!") + kTraceFile;
    struct Case {
        const char* name;
        VARTYPE vt;
        LONG value;
        SHORT rc;
        LONG after;
        std::vector<std::string> traces;
    } const cases[] = {
        {"empty packet", VT_EMPTY, 0, 1, 0, {EntryTraceOf("ExecRequ"), refused}},
        {"16-bit 86 is not the 32-bit request", VT_I2, 86, 1, 86, {EntryTraceOf("ExecRequ"), refused}},
        {"unsigned 32-bit 86", VT_UI4, 86, 1, 86, {EntryTraceOf("ExecRequ"), refused}},
        {"86 asks for the identity", VT_I4, 86, 0, 67108881, {EntryTraceOf("ExecRequ")}},
        {"85 is left alone", VT_I4, 85, 0, 85, {EntryTraceOf("ExecRequ")}},
        {"87 is left alone", VT_I4, 87, 0, 87, {EntryTraceOf("ExecRequ")}},
        {"-1 is left alone", VT_I4, -1, 0, -1, {EntryTraceOf("ExecRequ")}},
        {"largest value", VT_I4, 2147483647, 0, 2147483647, {EntryTraceOf("ExecRequ")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VARIANT packet;
        VariantInit(&packet);
        packet.vt = c.vt;
        packet.lVal = c.value;
        SHORT rc = -9;
        EXPECT_EQ(env.Doc().ExecRequ(&packet, &rc), S_OK);
        EXPECT_EQ(rc, c.rc);
        EXPECT_EQ(packet.vt, c.vt);
        if (c.vt != VT_EMPTY) {
            EXPECT_EQ(c.vt == VT_I2 ? packet.iVal : packet.lVal, c.after);
        }
        EXPECT_EQ(env.Traces(), c.traces);
    }
    // A string packet and no packet at all.
    Var text;
    text->vt = VT_BSTR;
    text->bstrVal = SysAllocString(u"86");
    SHORT rc = -9;
    EXPECT_EQ(env.Doc().ExecRequ(&text, &rc), S_OK);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(env.Doc().ExecRequ(nullptr, &rc), S_OK);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(env.Doc().ExecRequ(&text, nullptr), E_POINTER);
    EXPECT_TRUE(env.Logs().empty());
}

TEST(DocumentExecRequ, ZeroPostsTheQuitMessageToTheMainThread) {
    DocumentEnv env;
    env.Module().SetMainThread(GetCurrentThreadId());
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    Var packet;
    packet.I4(0);
    SHORT rc = -9;
    EXPECT_EQ(env.Doc().ExecRequ(&packet, &rc), S_OK);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(packet->lVal, 0);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_QUIT);
    // Ending the server does not depend on connected clients: the document
    // that asked is still alive.
    EXPECT_EQ(env.Module().LockCount(), 1);
}

// ------------------------------------------------------------ Login, Logout

TEST(DocumentLogin, NamesHandlesTracesAndLogLines) {
    DocumentEnv env;
    struct Case {
        const char* name;
        BSTR text;
        std::string loginName;
    } const cases[] = {
        {"null name", nullptr, "<NoName>"},
        {"empty name", SysAllocString(u""), ""},
        {"plain name", SysAllocString(u"Operator 1"), "Operator 1"},
        {"name outside ASCII", SysAllocString(u"M\u00fcller \u20ac"), "M\xfcller \x80"},
        {"character outside Windows-1252", SysAllocString(u"\u4e2d"), "?"},
    };
    std::set<LONG> handles;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LONG handle = 777;
        SHORT rc = -9;
        EXPECT_EQ(env.Doc().Login(&handle, c.text, &rc), S_OK);
        SysFreeString(c.text);
        EXPECT_EQ(rc, 0);
        EXPECT_NE(handle, 0);
        EXPECT_TRUE(handles.insert(handle).second) << "handles are distinct";
        ::Login* login = nullptr;
        ASSERT_TRUE(C_LoginSet::Instance().Find(static_cast<uint32_t>(handle), login));
        EXPECT_EQ(login->Name(), c.loginName);
        EXPECT_EQ(login->Project(), nullptr);
        EXPECT_EQ(env.Traces(), (std::vector<std::string>{
                                    EntryTraceOf("Login"),
                                    "C_LoginSet::bAdd: new Login object created: " + Hex(handle) + ".",
                                    "C_KorvaneProject::Login: Login completed. Handle: " + Hex(handle) +
                                        ",Login-Name: '" + c.loginName + "'.",
                                }));
        EXPECT_EQ(env.Logs(), std::vector<std::string>{LogLine("Login (handle = " + Hex(handle) + ")")});
    }
    LONG handle = 0;
    EXPECT_EQ(env.Doc().Login(&handle, nullptr, nullptr), E_POINTER);
    EXPECT_EQ(handle, 0);
    for (LONG h : handles) {
        SHORT rc = -9;
        env.Doc().Logout(&h, 0, &rc);
    }
}

TEST(DocumentLogout, KnownUnknownAndRepeatedHandles) {
    DocumentEnv env;
    const LONG handle = env.Login("leaving");
    ASSERT_NE(handle, 0);
    env.Traces();
    env.Logs();
    struct Case {
        const char* name;
        LONG handle;
        SHORT keep;
        SHORT rc;
        std::vector<std::string> traces;
        std::vector<std::string> logs;
    } const cases[] = {
        {"known handle, project kept flag ignored",
         handle,
         1,
         0,
         {EntryTraceOf("Logout"), "C_LoginSet::bRemove: delete Login object " + Hex(handle) + ".",
          "C_KorvaneProject::Logout: Successfully logged out. Handle: " + Hex(handle)},
         {LogLine("Logout (Handle = " + Hex(handle) + ")")}},
        {"same handle again",
         handle,
         0,
         1,
         {EntryTraceOf("Logout"), "C_KorvaneProject::Logout: Handle " + Hex(handle) + " not found!" + kTraceFile},
         {LogLine("Fehler w\xe4hrend Logout aufgetreten (ung\xfcltiges Handle " + Hex(handle) + ")")}},
        {"handle never issued",
         -2,
         0,
         1,
         {EntryTraceOf("Logout"), "C_KorvaneProject::Logout: Handle 0xFFFFFFFE not found!" + std::string(kTraceFile)},
         {LogLine("Fehler w\xe4hrend Logout aufgetreten (ung\xfcltiges Handle 0xFFFFFFFE)")}},
        {"handle 0",
         0,
         0,
         1,
         {EntryTraceOf("Logout"), "C_KorvaneProject::Logout: Handle 0x00000000 not found!" + std::string(kTraceFile)},
         {LogLine("Fehler w\xe4hrend Logout aufgetreten (ung\xfcltiges Handle 0x00000000)")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LONG h = c.handle;
        SHORT rc = -9;
        EXPECT_EQ(env.Doc().Logout(&h, c.keep, &rc), S_OK);
        EXPECT_EQ(rc, c.rc);
        EXPECT_EQ(h, c.handle) << "the handle is left unchanged";
        EXPECT_EQ(env.Traces(), c.traces);
        EXPECT_EQ(env.Logs(), c.logs);
    }
}

// ----------------------------------------------------------------- ProjOpen

TEST(DocumentProjOpen, OpensLowerCasedPathSharedByLogins) {
    DocumentEnv env;
    env.WriteVar(kDocumentLines);
    const LONG a = env.Login("a");
    const LONG b = env.Login("b");
    env.Traces();
    env.Logs();

    SHORT rc = -9;
    Bstr path(env.Env().ProjectPath());
    ASSERT_EQ(env.Doc().ProjOpen(a, path.get(), &rc), S_OK);
    ASSERT_EQ(rc, 0);
    const std::vector<std::string> traces = env.Traces();
    EXPECT_TRUE(InOrder(traces, {EntryTraceOf("ProjOpen"),
                                 "CDocument::FindProjectByHandle: This Login isn't attached to a project, yet "
                                 "(Handle: " + Hex(a) + ")." + kTraceFile,
                                 "KorvaneProject::bRead: Finished.", "CDocument::ProjOpen: Succeeded!"}));
    EXPECT_EQ(traces.front(), EntryTraceOf("ProjOpen"));
    EXPECT_EQ(traces.back(), "CDocument::ProjOpen: Succeeded!");
    const std::vector<std::string> logs = env.Logs();
    ASSERT_FALSE(logs.empty());
    EXPECT_EQ(logs.back(), LogLine("ProjOpen: Projekt '" + env.ProjectKey() + "' ge\xf6" "ffnet"));

    // The second login opens the same project with the path in upper case.
    std::string upper = env.Env().ProjectPath();
    for (char& ch : upper)
        ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
    Bstr upperPath(upper);
    ASSERT_EQ(env.Doc().ProjOpen(b, upperPath.get(), &rc), S_OK);
    ASSERT_EQ(rc, 0);
    ::Login* la = nullptr;
    ::Login* lb = nullptr;
    ASSERT_TRUE(C_LoginSet::Instance().Find(static_cast<uint32_t>(a), la));
    ASSERT_TRUE(C_LoginSet::Instance().Find(static_cast<uint32_t>(b), lb));
    EXPECT_EQ(la->Project(), lb->Project());
    EXPECT_EQ(la->Project()->FullPath(), env.ProjectKey());
    EXPECT_EQ(la->Project()->LoginCount(), 2);
    EXPECT_EQ(la->ProjectPath(), env.Env().ProjectPath()) << "recorded as passed";
    EXPECT_EQ(lb->ProjectPath(), upper);
    EXPECT_FALSE(InOrder(env.Traces(), {"KorvaneProject::bRead: Finished."})) << "not read again";

    LONG h = b;
    env.Doc().Logout(&h, 0, &rc);
    EXPECT_EQ(la->Project()->LoginCount(), 1);
    EXPECT_EQ(ProjectSet::Instance().FindProject(env.ProjectKey()), la->Project()) << "stays loaded";
    h = a;
    env.Doc().Logout(&h, 0, &rc);
}

TEST(DocumentProjOpen, FailuresAnswerOneWithTheirTracesAndLogs) {
    DocumentEnv env;
    env.WriteVar(kDocumentLines);
    const LONG opened = env.Open();
    ASSERT_NE(opened, 0);
    ::Login* login = nullptr;
    ASSERT_TRUE(C_LoginSet::Instance().Find(static_cast<uint32_t>(opened), login));
    KorvaneProject* first = login->Project();
    env.Traces();
    env.Logs();
    const std::string failed = std::string("C_KorvaneProject::ProjOpen: Failed.") + kTraceFile;
    const std::string failedLog = LogLine("Projekt konnte nicht ge\xf6" "ffnet werden");

    SHORT rc = -9;
    Bstr other(env.Env().At("plc/other.prj"));
    EXPECT_EQ(env.Doc().ProjOpen(opened, other.get(), &rc), S_OK);
    EXPECT_EQ(rc, 1) << "a login opens one project";
    EXPECT_EQ(login->Project(), first);
    EXPECT_EQ(env.Traces(), (std::vector<std::string>{EntryTraceOf("ProjOpen"), failed}));
    EXPECT_EQ(env.Logs(), std::vector<std::string>{failedLog});

    EXPECT_EQ(env.Doc().ProjOpen(0x7FFFFFF0, other.get(), &rc), S_OK);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(env.Traces(),
              (std::vector<std::string>{EntryTraceOf("ProjOpen"),
                                        "CDocument::FindLoginByHandle: Found no Login for handle: 0x7FFFFFF0" +
                                            std::string(kTraceFile),
                                        failed}));
    EXPECT_EQ(env.Logs(), (std::vector<std::string>{
                              LogLine("FindLoginByHandle: Fehler - ung\xfcltiges Handle 0x7FFFFFF0"), failedLog}));

    // A project whose var file is missing: the read's retries (their waits
    // are recorded, not waited), then failure; the login stays unattached.
    SleepRecorder waits;
    const LONG fresh = env.Login("fresh");
    env.Traces();
    env.Logs();
    EXPECT_EQ(env.Doc().ProjOpen(fresh, other.get(), &rc), S_OK);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(waits.Waits(), (std::vector<DWORD>{1000, 1000, 1000, 1000}));
    const std::vector<std::string> traces = env.Traces();
    EXPECT_TRUE(InOrder(traces, {EntryTraceOf("ProjOpen"),
                                 "KorvaneProject::FindOrAddProject: Read () failed - no new project created for '" +
                                     Lower(env.Env().At("plc/other.prj")) + "'.@ProjectSet.cpp",
                                 failed}));
    EXPECT_EQ(traces.back(), failed);
    EXPECT_EQ(env.Logs().back(), failedLog);
    ASSERT_TRUE(C_LoginSet::Instance().Find(static_cast<uint32_t>(fresh), login));
    EXPECT_EQ(login->Project(), nullptr);
    EXPECT_EQ(login->ProjectPath(), "");
}

TEST(DocumentProjOpen, DefaultProjectIsTheFirstLoadedOne) {
    DocumentEnv env;
    env.WriteVar(kDocumentLines);
    ASSERT_NE(env.Open(), 0);
    const std::string first = ProjectSet::Instance().FirstPath();
    ASSERT_FALSE(first.empty());
    for (const char* path : {"", "*"}) {
        SCOPED_TRACE(std::string("path '") + path + "'");
        const LONG h = env.Login();
        SHORT rc = -9;
        Bstr text(path);
        EXPECT_EQ(env.Doc().ProjOpen(h, text.get(), &rc), S_OK);
        EXPECT_EQ(rc, 0);
        ::Login* login = nullptr;
        ASSERT_TRUE(C_LoginSet::Instance().Find(static_cast<uint32_t>(h), login));
        ASSERT_NE(login->Project(), nullptr);
        EXPECT_EQ(login->Project()->FullPath(), first);
        EXPECT_EQ(login->ProjectPath(), path) << "the login records what it passed";
    }
    // A null path reads as empty.
    const LONG h = env.Login();
    SHORT rc = -9;
    EXPECT_EQ(env.Doc().ProjOpen(h, nullptr, &rc), S_OK);
    EXPECT_EQ(rc, 0);
}

// --------------------------------------------------------------- ProjReOpen

class DocumentProjReOpen : public ::testing::Test {
protected:
    void SetUp() override {
        env.WriteVar(kDocumentLines);
        handle = env.Open();
        ASSERT_NE(handle, 0);
        env.Traces();
        env.Logs();
    }
    SHORT ReOpen(LONG h, const std::string& path) {
        SHORT rc = -9;
        Bstr text(path);
        EXPECT_EQ(env.Doc().ProjReOpen(h, text.get(), &rc), S_OK);
        return rc;
    }
    const std::string entry = "CDocument::ProjReopen () invoked.";
    DocumentEnv env;
    LONG handle = 0;
};

TEST_F(DocumentProjReOpen, RefusedHandlesAndPaths) {
    const LONG unattached = env.Login("unattached");
    env.Traces();
    env.Logs();
    std::string otherCase = env.Env().ProjectPath();
    otherCase.back() = 'J'; // ".prj" -> ".prJ"
    struct Case {
        const char* name;
        LONG handle;
        std::string path;
        std::vector<std::string> traces;
        std::vector<std::string> logs;
    } const cases[] = {
        {"unknown handle", 0x0BADF00D, env.Env().ProjectPath(),
         {entry, "C_KorvaneProject::ProjReOpen: Handle 0x0BADF00D not found for Project to re-open!" +
                     std::string(kTraceFile)},
         {LogLine("ProjReOpen: ung\xfcltiges Handle 0x0BADF00D")}},
        {"login without project", unattached, env.Env().ProjectPath(),
         {entry, "CDocument::ProjReOpen: Login " + Hex(unattached) +
                     " isn't attached to a project - can't re-open." + kTraceFile},
         {LogLine("ProjReOpen: Handle " + Hex(unattached) + " ist an kein Projekt gebunden")}},
        {"path in other letter case", handle, otherCase,
         {entry, "CDocument::ProjReOpen: the handle " + Hex(handle) + " is not attached to Project '" + otherCase +
                     "',\nbut to project '" + env.Env().ProjectPath() + "'." + kTraceFile},
         {LogLine("ProjReOpen: Handle " + Hex(handle) + " ist nicht an dieses Projekt gebunden")}},
        {"default project name for a login opened by path", handle, "*",
         {entry, "CDocument::ProjReOpen: the handle " + Hex(handle) + " is not attached to Project '*',\nbut to "
                     "project '" + env.Env().ProjectPath() + "'." + kTraceFile},
         {LogLine("ProjReOpen: Handle " + Hex(handle) + " ist nicht an dieses Projekt gebunden")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReOpen(c.handle, c.path), -1);
        EXPECT_EQ(env.Traces(), c.traces);
        EXPECT_EQ(env.Logs(), c.logs);
    }
}

TEST_F(DocumentProjReOpen, UnchangedFileAnswersZeroWithoutReading) {
    EXPECT_EQ(ReOpen(handle, env.Env().ProjectPath()), 0);
    const std::vector<std::string> traces = env.Traces();
    EXPECT_EQ(traces, std::vector<std::string>{entry});
    const std::vector<std::string> logs = env.Logs();
    ASSERT_FALSE(logs.empty());
    EXPECT_EQ(logs.front(), LogLine("ProjReOpen: Projekt '" + env.ProjectKey() + "' wird neu gelesen"));
    EXPECT_FALSE(InOrder(logs, {LogLine("ProjReOpen: Projekt '" + env.ProjectKey() + "' neu gelesen")}));
}

TEST_F(DocumentProjReOpen, ChangedFileIsReReadAndSeenByEveryLogin) {
    const LONG second = env.Open();
    ASSERT_NE(second, 0);
    std::vector<std::string> lines = kDocumentLines;
    lines.push_back("Added,20,2,0,INT,2,0,0,0,0,0,0,New one");
    env.WriteVar(lines, "Project time stamp,09/13/01 13:46:41");
    env.Traces();
    env.Logs();
    EXPECT_EQ(ReOpen(handle, env.Env().ProjectPath()), 1);
    const std::vector<std::string> traces = env.Traces();
    EXPECT_EQ(traces.front(), entry);
    EXPECT_TRUE(InOrder(traces, {"KorvaneProject::bRead: Finished.",
                                 "C_KorvaneProject::ProjReOpen: re-opened successfully project with handle: " +
                                     Hex(handle)}));
    const std::vector<std::string> logs = env.Logs();
    EXPECT_EQ(logs.front(), LogLine("ProjReOpen: Projekt '" + env.ProjectKey() + "' wird neu gelesen"));
    EXPECT_EQ(logs.back(), LogLine("ProjReOpen: Projekt '" + env.ProjectKey() + "' neu gelesen"));

    // The other login sees the new variable.
    BSTR cmnt = nullptr;
    SHORT type = 0, size = 0, addr = 0, sect = 0, cix = 0, attr = 0, comp = 0, rc = -9;
    LONG offset = 0;
    Bstr name("added");
    env.Doc().GetNamedVarInfoEx(second, name.get(), &cmnt, &type, &size, &addr, &sect, &offset, &cix, &attr,
                                &comp, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(varsvc::NarrowFromBstr(cmnt), "New one");
    SysFreeString(cmnt);
    // Now unchanged again.
    EXPECT_EQ(ReOpen(second, env.Env().ProjectPath()), 0);
}

TEST_F(DocumentProjReOpen, FailedCheckAndFailedReadAnswerTwo) {
    // The var file rewritten with another version: the read fails at once.
    env.WriteVar(kDocumentLines);
    env.Env().WriteVar("Korvane 2.4\nProject time stamp,09/13/01 13:46:42\n@#$@#$\n");
    EXPECT_EQ(ReOpen(handle, env.Env().ProjectPath()), 2);
    std::vector<std::string> traces = env.Traces();
    EXPECT_EQ(traces.back(), std::string("C_KorvaneProject::ProjReOpen: Read (...) failed.") + kTraceFile);
    EXPECT_EQ(env.Logs().back(), LogLine("ProjReOpen: Fehler beim Lesen des Projektes '" + env.ProjectKey() + "'"));

    // The var file gone: the stamp cannot be checked.
    std::remove(env.Env().VarFile().c_str());
    EXPECT_EQ(ReOpen(handle, env.Env().ProjectPath()), 2);
    traces = env.Traces();
    EXPECT_EQ(traces.back(), std::string("CDocument::ProjReOpen: VerifyTimeStamp (...) failed.") + kTraceFile);
    EXPECT_EQ(env.Logs().back(), LogLine("ProjReOpen: Zeitstempelvergleich ist fehlgeschlagen"));
}

TEST_F(DocumentProjReOpen, LoginOpenedWithTheDefaultReOpensOnlyWithTheDefault) {
    const LONG byDefault = env.Open("*");
    ASSERT_NE(byDefault, 0);
    EXPECT_EQ(ReOpen(byDefault, ProjectSet::Instance().FirstPath()), -1);
    EXPECT_EQ(ReOpen(byDefault, ""), -1);
    env.Traces();
    env.Logs();
    // The default project is the first one this process loaded, which may
    // belong to an earlier test whose files are gone: the re-open passes
    // the path check either way and goes on to the stamp check.
    EXPECT_NE(ReOpen(byDefault, "*"), -1);
    EXPECT_EQ(env.Logs().front(),
              LogLine("ProjReOpen: Projekt '" + ProjectSet::Instance().FirstPath() + "' wird neu gelesen"));
}

// ------------------------------------------------------------------- stamps

class DocumentStamps : public DocumentProjReOpen {};

TEST_F(DocumentStamps, StampOfTheFileOnDisk) {
    const std::string current = "KorvaneProject::Read: var file " + env.ProjectKey() + " is up to date.";
    const std::string changed = "KorvaneProject::Read: var file " + env.ProjectKey() + " had been changed.";
    LONG msec = -5;
    SHORT date = -5, rc = -9;
    EXPECT_EQ(env.Doc().GetProjStampCC(handle, &msec, &date, &rc), S_OK);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(date, kStampDate);
    EXPECT_EQ(msec, kStampMsec);
    EXPECT_EQ(env.Traces(), (std::vector<std::string>{EntryTraceOf("GetProjStampCC"), current}));

    // The consistency member says the same and always claims consistency.
    SHORT consistent = -5;
    msec = -5;
    EXPECT_EQ(env.Doc().GetProjConsistency(handle, &consistent, &msec, &date, &rc), S_OK);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(consistent, 1);
    EXPECT_EQ(msec, kStampMsec);
    EXPECT_EQ(env.Traces(),
              (std::vector<std::string>{EntryTraceOf("GetProjConsistency"), EntryTraceOf("GetProjStampCC"), current}));

    // A changed file: its new stamp, and no re-read.
    env.WriteVar(kDocumentLines, "Project time stamp,12/31/02 23:59:59");
    EXPECT_EQ(env.Doc().GetProjStampCC(handle, &msec, &date, &rc), S_OK);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(date, 6939); // 31 December 2002
    EXPECT_EQ(msec, 86399000);
    EXPECT_EQ(env.Traces(), (std::vector<std::string>{EntryTraceOf("GetProjStampCC"), changed}));

    // The file gone.
    std::remove(env.Env().VarFile().c_str());
    msec = -5;
    date = -5;
    EXPECT_EQ(env.Doc().GetProjStampCC(handle, &msec, &date, &rc), S_OK);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(msec, -5);
    EXPECT_EQ(date, -5);
    const std::vector<std::string> traces = env.Traces();
    EXPECT_TRUE(InOrder(traces, {EntryTraceOf("GetProjStampCC"),
                                 std::string("CDocument::GetProjStampCC: bVerifyTimeStamp (...) failed.") + kTraceFile,
                                 changed}));
}

TEST_F(DocumentStamps, HandlesWithoutProject) {
    const LONG unattached = env.Login("no project");
    env.Traces();
    env.Logs();
    struct Case {
        const char* name;
        LONG handle;
        std::vector<std::string> traces;
        std::vector<std::string> logs;
    } const cases[] = {
        {"unknown handle", 0x7EEEEEEE,
         {EntryTraceOf("GetProjStampCC"),
          "CDocument::FindProjectByHandle: Handle 0x7EEEEEEE not found!" + std::string(kTraceFile)},
         {LogLine("FindProjectByHandle: Fehler - ung\xfcltiges Handle 0x7EEEEEEE")}},
        {"login without project", unattached,
         {EntryTraceOf("GetProjStampCC"), "CDocument::FindProjectByHandle: This Login isn't attached to a project, "
                                          "yet (Handle: " + Hex(unattached) + ")." + kTraceFile},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LONG msec = -5;
        SHORT date = -5, rc = -9;
        EXPECT_EQ(env.Doc().GetProjStampCC(c.handle, &msec, &date, &rc), S_OK);
        EXPECT_EQ(rc, 1);
        EXPECT_EQ(msec, -5);
        EXPECT_EQ(date, -5);
        EXPECT_EQ(env.Traces(), c.traces);
        EXPECT_EQ(env.Logs(), c.logs);

        DATE stamp = -5;
        SHORT ms = -5;
        EXPECT_EQ(env.Doc().GetProjStamp(c.handle, &stamp, &ms, &rc), E_FAIL);
        EXPECT_EQ(rc, 1);
        EXPECT_EQ(stamp, -5);
        EXPECT_EQ(ms, -5);
        env.Traces();
        env.Logs();

        SHORT consistent = -5;
        EXPECT_EQ(env.Doc().GetProjConsistency(c.handle, &consistent, &msec, &date, &rc), S_OK);
        EXPECT_EQ(rc, 1);
        EXPECT_EQ(consistent, 1);
        env.Traces();
        env.Logs();
    }
}

TEST_F(DocumentStamps, StampAsAutomationDate) {
    DATE stamp = 0;
    SHORT ms = -5, rc = -9;
    EXPECT_EQ(env.Doc().GetProjStamp(handle, &stamp, &ms, &rc), S_OK);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(ms, 0);
    // 13 September 2001, 13:46:40.
    EXPECT_DOUBLE_EQ(stamp, 37147.0 + 49600000.0 / 86400000.0);
    EXPECT_EQ(env.Traces(), (std::vector<std::string>{
                                EntryTraceOf("GetProjStamp"), EntryTraceOf("GetProjStampCC"),
                                "KorvaneProject::Read: var file " + env.ProjectKey() + " is up to date."}));
}

TEST(DocumentConvRelMsecDate2DateMsec, DatesAndMilliseconds) {
    DocumentEnv env;
    struct Case {
        const char* name;
        LONG relMsec;
        SHORT relDate;
        DATE date;
        SHORT msec;
    } const cases[] = {
        {"origin: 1 January 1984, 00:00", 0, 0, 30682.0, 0},
        {"last millisecond of the day", 86399999, 0, 30682.0 + 86399999.0 / 86400000.0, 999},
        {"noon of 13 September 2001", 43200000, 6465, 37147.5, 0},
        {"negative milliseconds keep their sign", -1500, 0, 30682.0 - 1500.0 / 86400000.0, -500},
        {"a full day of milliseconds", 86400000, 0, 30683.0, 0},
        {"negative date", 0, -30682, 0.0, 0},
        {"largest inputs", 2147483647, 32767, 63449.0 + 2147483647.0 / 86400000.0, 647},
        {"smallest inputs", -2147483647 - 1, -32768, -2086.0 - 2147483648.0 / 86400000.0, -648},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DATE date = -1;
        SHORT msec = -1, rc = -9;
        EXPECT_EQ(env.Doc().ConvRelMsecDate2DateMsec(c.relMsec, c.relDate, &date, &msec, &rc), S_OK);
        EXPECT_EQ(rc, 0);
        EXPECT_DOUBLE_EQ(date, c.date);
        EXPECT_EQ(msec, c.msec);
    }
    // The milliseconds are multiplied by 1/86 400 000, which differs from a
    // division in the last bit for this value.
    DATE date = 0;
    SHORT msec = 0, rc = 0;
    env.Doc().ConvRelMsecDate2DateMsec(2992, -30682, &date, &msec, &rc);
    EXPECT_EQ(date, 2992 * (1.0 / 86400000.0));
    EXPECT_NE(date, 2992 / 86400000.0);
    EXPECT_TRUE(env.Traces().empty()) << "no entry trace";
    EXPECT_TRUE(env.Logs().empty());
}

// ------------------------------------------------------- members not served

TEST(DocumentNotServed, AnswerOneAndTouchNothing) {
    DocumentEnv env;
    env.WriteVar(kDocumentLines);
    const LONG h = env.Open();
    ASSERT_NE(h, 0);
    env.Traces();
    env.Logs();
    Bstr name("motor");
    BSTR s1 = SysAllocString(u"keep1");
    BSTR s2 = SysAllocString(u"keep2");
    const BSTR s1Before = s1, s2Before = s2;
    SHORT a = 11, b = 12, c = 13, d = 14, e = 15, f = 16;
    LONG l1 = 21, l2 = 22, l3 = 23, l4 = 24, l5 = 25, l6 = 26, l7 = 27;
    Var v1, v2, v3, v4, v5, v6, v7, v8;
    v1.I4(31);
    v2.I4(32);
    struct Case {
        const char* name;
        std::function<HRESULT(SHORT*)> call;
    };
    IVarsvc& doc = env.Doc();
    const Case cases[] = {
        {"GetFirstVarInfo", [&](SHORT* rc) { return doc.GetFirstVarInfo(h, name.get(), 0, 0, &s1, &s2, &a, &b, &c, rc); }},
        {"GetNextVarInfo", [&](SHORT* rc) { return doc.GetNextVarInfo(h, &s1, &s2, &a, &b, &c, rc); }},
        {"GetFirstAdrInfo", [&](SHORT* rc) { return doc.GetFirstAdrInfo(h, 4, 100, &s1, rc); }},
        {"GetNextAdrInfo", [&](SHORT* rc) { return doc.GetNextAdrInfo(h, &s1, rc); }},
        {"GetNamedVarInfo",
         [&](SHORT* rc) { return doc.GetNamedVarInfo(h, name.get(), &s1, &a, &b, &c, &d, &e, &f, rc); }},
        {"GetNamedVarInfos",
         [&](SHORT* rc) { return doc.GetNamedVarInfos(h, &v1, &v2, &v3, &v4, &v5, &v6, &v7, &v8, rc); }},
        {"GetVarInfoBlock",
         [&](SHORT* rc) { return doc.GetVarInfoBlock(h, &l1, &a, &b, &v1, &v2, &v3, &v4, &v5, &v6, &v7, &v8, rc); }},
        {"GetAdrInfos", [&](SHORT* rc) { return doc.GetAdrInfos(h, 4, 100, &v1, rc); }},
        {"GetNamedVarInfo2",
         [&](SHORT* rc) { return doc.GetNamedVarInfo2(h, name.get(), &s1, &v1, &l1, &l2, &l3, &l4, &l5, &l6, &l7, rc); }},
    };
    for (const Case& cs : cases) {
        SCOPED_TRACE(cs.name);
        SHORT rc = -9;
        EXPECT_EQ(cs.call(&rc), S_OK);
        EXPECT_EQ(rc, 1);
        EXPECT_EQ(cs.call(nullptr), E_POINTER);
        EXPECT_EQ(s1, s1Before);
        EXPECT_EQ(s2, s2Before);
        EXPECT_EQ((std::vector<int>{a, b, c, d, e, f}), (std::vector<int>{11, 12, 13, 14, 15, 16}));
        EXPECT_EQ((std::vector<int>{l1, l2, l3, l4, l5, l6, l7}), (std::vector<int>{21, 22, 23, 24, 25, 26, 27}));
        EXPECT_EQ(v1->vt, VT_I4);
        EXPECT_EQ(v1->lVal, 31);
        EXPECT_EQ(v2->lVal, 32);
        EXPECT_EQ(v3->vt, VT_EMPTY);
        EXPECT_TRUE(env.Traces().empty());
        EXPECT_TRUE(env.Logs().empty());
    }
    SysFreeString(s1);
    SysFreeString(s2);
}

TEST(DocumentStateRamLayout, AnswersZeroForAnyHandleAndWritesNoOutput) {
    DocumentEnv env;
    for (LONG handle : {0, -1, 0x12345678}) {
        SCOPED_TRACE(handle);
        LONG out[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
        SHORT rc = -9;
        EXPECT_EQ(env.Doc().GetStateRamLayout(handle, &out[0], &out[1], &out[2], &out[3], &out[4], &out[5],
                                              &out[6], &out[7], &out[8], &rc),
                  S_OK);
        EXPECT_EQ(rc, 0);
        for (int i = 0; i < 9; ++i)
            EXPECT_EQ(out[i], i + 1);
        EXPECT_EQ(env.Traces(), std::vector<std::string>{EntryTraceOf("GetStateRamLayout")});
        EXPECT_TRUE(env.Logs().empty());
    }
}

TEST(DocumentEntryTrace, PrefixIsTheCompileTimeOfDay) {
    const std::string time = kDocumentCompileTime;
    ASSERT_EQ(time.size(), 8u);
    for (size_t i : {0u, 1u, 3u, 4u, 6u, 7u})
        EXPECT_TRUE(isdigit(static_cast<unsigned char>(time[i]))) << time;
    EXPECT_EQ(time[2], ':');
    EXPECT_EQ(time[5], ':');
}

} // namespace
