// Reading the var file: the retry policy, every trace and log line, the
// header and stamp rules, the variable lines with their derived members,
// the end line, line lengths at the buffer's limit, a file that changes
// between attempts, and the time-stamp comparison.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/MessageBox.h"
#include "server/KorvaneProject.h"
#include "tests/server/ProjectFixture.h"

using namespace servertest;

namespace {

using Texts = std::vector<std::string>;

// The type-compilation traces of a project without data-type files.
Texts TypeTraces(const KorvaneProject& p) {
    return {"KorvaneProject::bReadTypes: Creating '" + p.TempTypeFile() + "'...",
            "KorvaneProject::bReadTypes: Starting compilation...",
            "KorvaneProject::bReadTypes: Registering elementary types."};
}

Texts Concat(Texts a, const Texts& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string CheckTrace(const KorvaneProject& p) {
    return "KorvaneProject::bRead: check var file:<" + p.VarFilePath() + ">.\n";
}

const char* const kVersionLog = "VARSVC32\tVersion = 'Korvane 2.5\n'\r\n";

class VarFileRead : public ::testing::Test {
protected:
    ProjectEnv env{DeclareSmallTypes};
};

TEST_F(VarFileRead, ACompleteReadTracesAndLogsEachStep) {
    env.WriteVar(VarFileText({"Motor,1,1,0,MOTOR_T,3,4,100,0,0,0,0,Main drive",
                              "Speed_SP,2,2,0,INT,2,0,0,0,0,0,1,Setpoint"}));
    auto p = env.MakeProject();
    DebugCapture capture;
    SleepRecorder sleeps;
    ASSERT_TRUE(p->bRead(false));
    EXPECT_EQ(TraceTexts(capture.Records()),
              Concat(TypeTraces(*p), {CheckTrace(*p), "KorvaneProject::bRead: reading var file.\n",
                                      "KorvaneProject::bRead: Finished."}));
    // Two variables: 2 + 4 lines parsed (the counter starts at 3 and counts
    // the end line).
    EXPECT_EQ(env.LogLines(), std::string(kVersionLog) + "VARSVC32\tbRead: 6 Zeilen eingelesen\r\n");
    EXPECT_TRUE(sleeps.Waits().empty());
    EXPECT_TRUE(p->IsLoaded());
    EXPECT_EQ(p->StampDate(), kStampDate);
    EXPECT_EQ(p->StampMsec(), kStampMsec);
    EXPECT_EQ(p->VariableCount(), 2u);
    EXPECT_EQ(env.Compiles().compiles, 1);
}

struct MemberCase {
    const char* line;
    int32_t kind, addr, section, offset, attr, size;
};

TEST_F(VarFileRead, DerivedMembersOfEveryKind) {
    // name,unused,kind,unused,type,size,section,offset,unused x3,flag,comment
    const std::vector<MemberCase> cases = {
        {"k0,0,0,0,INT,2,5,7,0,0,0,0,c", 0, 5, 5, 7, 0, 2},
        {"k0f,0,0,0,INT,2,5,7,0,0,0,1,c", 0, 5, 5, 7, 6, 2},
        {"k1,0,1,0,INT,2,5,7,0,0,0,0,c", 1, 5, 5, 7, 0, 2},
        {"k1f,0,1,0,INT,2,5,7,0,0,0,-3,c", 1, 5, 5, 7, 6, 2},
        {"k2,0,2,0,INT,2,5,7,0,0,0,0,c", 2, 88, 5, 7, 0, 2},
        {"k2f,0,2,0,INT,2,5,7,0,0,0,1,c", 2, 88, 5, 7, 6, 2},
        {"k3,0,3,0,INT,2,5,7,0,0,0,0,c", 3, 5, 5, 7, 0, 2},
        {"k4,0,4,0,INT,2,5,7,0,0,0,0,c", 4, 88, 5, 7, 1, 2},
        {"k4f,0,4,0,INT,2,5,7,0,0,0,1,c", 4, 88, 5, 7, 7, 2},
        {"k5,0,5,0,INT,2,5,7,0,0,0,0,c", 5, 5, 5, 7, 1, 2},
        {"k5f,0,5,0,INT,2,5,7,0,0,0,1,c", 5, 5, 5, 7, 7, 2},
        {"k6,0,6,0,INT,2,5,7,0,0,0,0,c", 6, 88, 5, 7, 3, 2},
        {"k6f,0,6,0,INT,2,5,7,0,0,0,1,c", 6, 88, 5, 7, 6, 2},
        {"k7,0,7,0,INT,2,5,7,0,0,0,0,c", 7, 88, 5, 7, 3, 2},
        {"k8,0,8,0,INT,2,5,7,0,0,0,0,c", 8, 88, 5, 7, 3, 2},
        {"k9,0,9,0,INT,2,5,7,0,0,0,0,c", 9, 88, 5, 7, 3, 2},
        {"k10,0,10,0,INT,2,5,7,0,0,0,0,c", 10, 5, 5, 7, 0, 2},
        {"kneg,0,-1,0,INT,2,5,7,0,0,0,0,c", -1, 5, 5, 7, 0, 2},
        // 65537 is 1 as a signed 16-bit number: a located variable.
        {"k65537,0,65537,0,INT,2,5,7,0,0,0,0,c", 1, 5, 5, 7, 0, 2},
        // The section is 16-bit in its own member, 32-bit in VarAddr.
        {"sect70000,0,1,0,INT,2,70000,7,0,0,0,0,c", 1, 70000, 4464, 7, 0, 2},
        {"sect_neg,0,1,0,INT,2,-1,-7,0,0,0,0,c", 1, -1, -1, -7, 0, 2},
        {"bigsize,0,1,0,INT,99999999999,0,2147483648,0,0,0,0,c", 1, 0, 0, INT32_MAX, 0, INT32_MAX},
        {"blanks,0, 2 ,0,INT,  4x,  3 ,  9 ,0,0,0, 0 ,c", 2, 88, 3, 9, 0, 4},
    };
    std::vector<std::string> lines;
    for (const MemberCase& c : cases)
        lines.push_back(c.line);
    env.WriteVar(VarFileText(lines));
    auto p = env.MakeProject();
    ASSERT_TRUE(p->bRead(false));
    VarSelection sel;
    for (const MemberCase& c : cases) {
        SCOPED_TRACE(c.line);
        std::string name(c.line, strchr(c.line, ',')), comment;
        int32_t kind = -99;
        VarInfo info;
        ASSERT_TRUE(p->FindNamed(sel, name, comment, kind, info));
        EXPECT_EQ(comment, "c");
        EXPECT_EQ(kind, c.kind);
        EXPECT_EQ(info.VarType, -11);
        EXPECT_EQ(info.VarSize, c.size);
        EXPECT_EQ(info.VarAddr, c.addr);
        EXPECT_EQ(info.VarIECMemDescSectID, c.section);
        EXPECT_EQ(info.VarIECMemDescAddrOffset, c.offset);
        EXPECT_EQ(info.VarIECMemDescSectCIx, -1);
        EXPECT_EQ(info.VarAttr, c.attr);
        EXPECT_EQ(info.CompOff, 0);
    }
}

struct FieldCase {
    const char* name;
    std::string line;
    bool accepted;
    std::string varName, comment, log;
    int32_t kind;
};

TEST_F(VarFileRead, FieldsOfAVariableLine) {
    const std::vector<FieldCase> cases = {
        {"empty field shifts the rest: type name '2' is unknown", "v,,1,0,INT,2,0,5,0,0,0,0,c", false, "", "",
         "VARSVC32\tReadVarLine: TypeID '2' nicht gefunden!\r\n", 0},
        {"comment cut at its comma", "v,1,2,0,INT,2,0,5,0,0,0,0,first part, second part", true, "v",
         "first part", "", 2},
        {"trailing comma: empty comment", "v,1,2,0,INT,2,0,5,0,0,0,0,", true, "v", "", "", 2},
        {"leading commas skipped", ",,v,1,2,0,INT,2,0,5,0,0,0,0,c", true, "v", "c", "", 2},
        {"trailing blanks removed", "v,1,2,0,INT,2,0,5,0,0,0,0,c  \t", true, "v", "c", "", 2},
        {"blanks inside kept", "v,1,2,0,INT,2,0,5,0,0,0,0, a  b", true, "v", " a  b", "", 2},
        {"missing fields read as empty", "v,1,2,0,INT", true, "v", "", "", 2},
        {"type names are exact: 'int' is unknown", "v,1,2,0,int,2,0,5,0,0,0,0,c", false, "", "",
         "VARSVC32\tReadVarLine: TypeID 'int' nicht gefunden!\r\n", 0},
        {"blank around the type name counts", "v,1,2,0, INT,2,0,5,0,0,0,0,c", false, "", "",
         "VARSVC32\tReadVarLine: TypeID ' INT' nicht gefunden!\r\n", 0},
        {"blank line", "", false, "", "", "VARSVC32\tReadVarLine: TypeID '' nicht gefunden!\r\n", 0},
        {"only commas", ",,,,", false, "", "", "VARSVC32\tReadVarLine: TypeID '' nicht gefunden!\r\n", 0},
        {"a program unit name is a type name to the server", "v,1,2,0,PROG1,2,0,5,0,0,0,0,c", true, "v",
         "c", "", 2},
        {"German comment bytes", "v,1,2,0,INT,2,0,5,0,0,0,0,F\xfcllstand", true, "v", "F\xfcllstand", "", 2},
    };
    for (const FieldCase& c : cases) {
        SCOPED_TRACE(c.name);
        env.WriteVar(VarFileText({c.line}));
        auto p = env.MakeProject();
        FILE* f = p->OpenVarFile();
        ASSERT_NE(f, nullptr);
        unsigned short date = 0;
        int32_t msec = 0;
        ASSERT_EQ(p->ReadHeader(f, date, msec), readheader::Ok);
        env.LogLines();
        // ReadVarLine needs the registry that a read fills: compile first.
        ASSERT_TRUE(p->bReadTypes());
        bool eof = true;
        EXPECT_EQ(p->ReadVarLine(f, eof), c.accepted);
        EXPECT_FALSE(eof);
        EXPECT_EQ(env.LogLines(), c.log);
        if (c.accepted) {
            VarSelection sel;
            std::string name = c.varName, comment;
            int32_t kind = -1;
            VarInfo info;
            ASSERT_TRUE(p->FindNamed(sel, name, comment, kind, info));
            EXPECT_EQ(comment, c.comment);
            EXPECT_EQ(kind, c.kind);
            EXPECT_NE(info.VarType, 0);
            // Then the end line.
            EXPECT_TRUE(p->ReadVarLine(f, eof));
            EXPECT_TRUE(eof);
        }
        fclose(f);
    }
}

TEST_F(VarFileRead, MissingFileIsTriedFiveTimesWithoutLogLine) {
    auto p = env.MakeProject();
    DebugCapture capture;
    SleepRecorder sleeps;
    EXPECT_FALSE(p->bRead(false));
    Texts expected = TypeTraces(*p);
    for (int attempt = 0; attempt < 5; ++attempt) {
        expected.push_back(CheckTrace(*p));
        expected.push_back("KorvaneProject::bRead: can't find last line in var file '" + p->VarFilePath() +
                           "'@KorvaneProjectVarFile.cpp");
    }
    expected.push_back("KorvaneProject::bRead: Failed.");
    EXPECT_EQ(TraceTexts(capture.Records()), expected);
    EXPECT_EQ(sleeps.Waits(), (std::vector<DWORD>{1000, 1000, 1000, 1000}));
    EXPECT_EQ(env.LogLines(), "");
    EXPECT_FALSE(p->IsLoaded());
}

struct HeaderCase {
    const char* name;
    std::string bytes;
    int result;
    std::string log;
    bool box;
};

TEST_F(VarFileRead, HeaderResults) {
    const std::vector<HeaderCase> cases = {
        {"empty file", "", readheader::NoVersionLine,
         "VARSVC32\tProjektversion konnte nicht ermittelt werden!\r\n", false},
        {"leading blank", " Korvane 2.5\nS,09/13/01 13:46:40\n", readheader::WrongVersion,
         "VARSVC32\tVersionsinformation ung\xfcltig: ' Korvane 2.5\n'!\r\n", true},
        {"lower case", "korvane 2.5\nS,09/13/01 13:46:40\n", readheader::WrongVersion,
         "VARSVC32\tVersionsinformation ung\xfcltig: 'korvane 2.5\n'!\r\n", true},
        {"older version", "Korvane 2.4\n", readheader::WrongVersion,
         "VARSVC32\tVersionsinformation ung\xfcltig: 'Korvane 2.4\n'!\r\n", true},
        {"version without line end, then nothing", "Korvane 2.5", readheader::NoTimeStampLine,
         "VARSVC32\tVersion = 'Korvane 2.5'\r\n"
         "VARSVC32\tProjekt-Zeitstempel konnte nicht ermittelt werden!\r\n",
         false},
        {"no time stamp line", "Korvane 2.5\n", readheader::NoTimeStampLine,
         std::string(kVersionLog) + "VARSVC32\tProjekt-Zeitstempel konnte nicht ermittelt werden!\r\n", false},
        {"stamp without comma", "Korvane 2.5\n09/13/01 13:46:40\n", readheader::NoTimeStampLine, kVersionLog,
         false},
        {"stamp with five numbers", "Korvane 2.5\nS,09/13/01 13:46\n", readheader::NoTimeStampLine, kVersionLog,
         false},
        {"stamp with month 13", "Korvane 2.5\nS,13/13/01 13:46:40\n", readheader::NoTimeStampLine, kVersionLog,
         false},
        {"beta suffix accepted", "Korvane 2.5 beta\nS,09/13/01 13:46:40\n", readheader::Ok,
         "VARSVC32\tVersion = 'Korvane 2.5 beta\n'\r\n", false},
        {"CR LF lines", "Korvane 2.5\r\nS,09/13/01 13:46:40\r\n", readheader::Ok, kVersionLog, false},
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        env.WriteVar(c.bytes);
        auto p = env.MakeProject();
        FILE* f = p->OpenVarFile();
        ASSERT_NE(f, nullptr);
        MessageBoxCapture boxes;
        unsigned short date = 4711;
        int32_t msec = 4711;
        EXPECT_EQ(p->ReadHeader(f, date, msec), c.result);
        fclose(f);
        EXPECT_EQ(date, c.result == readheader::Ok ? kStampDate : 0);
        EXPECT_EQ(msec, c.result == readheader::Ok ? kStampMsec : 0);
        EXPECT_EQ(env.LogLines(), c.log);
        if (c.box) {
            ASSERT_EQ(boxes.Boxes().size(), 1u);
            EXPECT_EQ(boxes.Boxes()[0].caption, "Varsvc var file parser");
            EXPECT_EQ(boxes.Boxes()[0].text, "bad var file - transform project to 2.5 format, first");
            EXPECT_EQ(boxes.Boxes()[0].type, MB_OK);
        } else {
            EXPECT_TRUE(boxes.Boxes().empty());
        }
    }
}

TEST_F(VarFileRead, WrongVersionIsNotRetried) {
    env.WriteVar(" Korvane 2.5\nS,09/13/01 13:46:40\n@#$@#$\n");
    auto p = env.MakeProject();
    DebugCapture capture;
    SleepRecorder sleeps;
    MessageBoxCapture boxes;
    EXPECT_FALSE(p->bRead(false));
    EXPECT_TRUE(sleeps.Waits().empty());
    EXPECT_EQ(boxes.Boxes().size(), 1u);
    const std::string header = "KorvaneProject::bRead: header of var file '" + p->VarFilePath() +
                               "' is incorrect.@KorvaneProjectVarFile.cpp";
    EXPECT_EQ(TraceTexts(capture.Records()),
              Concat(TypeTraces(*p),
                     {CheckTrace(*p),
                      "MessageBox: Varsvc var file parser: bad var file - transform project to 2.5 format, first",
                      header, "KorvaneProject::bRead: Failed."}));
    EXPECT_EQ(env.LogLines(), "VARSVC32\tVersionsinformation ung\xfcltig: ' Korvane 2.5\n'!\r\n"
                              "VARSVC32\tHeader von Variablendatei '" +
                                  p->VarFilePath() + "' ist ung\xfcltig.\r\n");
}

TEST_F(VarFileRead, BadTimeStampIsRetried) {
    env.WriteVar("Korvane 2.5\nS,09/13/01\n@#$@#$\n");
    auto p = env.MakeProject();
    SleepRecorder sleeps;
    EXPECT_FALSE(p->bRead(false));
    EXPECT_EQ(sleeps.Waits().size(), 4u);
    std::string oneAttempt = std::string(kVersionLog) + "VARSVC32\tHeader von Variablendatei '" +
                             p->VarFilePath() + "' ist ung\xfcltig.\r\n";
    std::string all;
    for (int i = 0; i < 5; ++i)
        all += oneAttempt;
    EXPECT_EQ(env.LogLines(), all);
    EXPECT_EQ(p->StampDate(), 0);
    EXPECT_EQ(p->StampMsec(), 0);
}

TEST_F(VarFileRead, EndLineWithoutLineEndIsAMissingEndToken) {
    env.WriteVar("Korvane 2.5\n" + std::string(kStampLine) + "\nv1,1,2,0,INT,2,0,0,0,0,0,0,c\n@#$@#$");
    auto p = env.MakeProject();
    DebugCapture capture;
    SleepRecorder sleeps;
    EXPECT_FALSE(p->bRead(false));
    Texts expected = TypeTraces(*p);
    for (int attempt = 0; attempt < 5; ++attempt) {
        expected.push_back(CheckTrace(*p));
        expected.push_back("KorvaneProject::bRead: reading var file.\n");
        expected.push_back("KorvaneProject::bRead: end-of-file token missing in var file@KorvaneProjectVarFile.cpp");
    }
    expected.push_back("KorvaneProject::bRead: Failed.");
    EXPECT_EQ(TraceTexts(capture.Records()), expected);
    std::string oneAttempt = std::string(kVersionLog) +
                             "VARSVC32\tbRead: Fehler - Endekennung in var-Datei fehlt!\r\n";
    EXPECT_EQ(env.LogLines(), oneAttempt + oneAttempt + oneAttempt + oneAttempt + oneAttempt);
    // The variable before the failure stays, and so does the stamp.
    EXPECT_EQ(p->VariableCount(), 1u);
    EXPECT_EQ(p->StampDate(), kStampDate);
    EXPECT_FALSE(p->IsLoaded());
}

struct BadLineCase {
    const char* name;
    std::vector<std::string> lines;
    int reportedLine;
    size_t keptVariables;
};

TEST_F(VarFileRead, RejectedLineIsReportedWithItsLineNumber) {
    const std::vector<BadLineCase> cases = {
        {"first variable line unknown type", {"v1,1,2,0,NOPE,2,0,0,0,0,0,0,c"}, 3, 0},
        {"names differing only in case", {"Motor1,1,2,0,INT,2,0,0,0,0,0,0,c", "MOTOR1,1,2,0,INT,2,0,0,0,0,0,0,c"}, 4, 1},
        {"duplicate after others", {"a,1,2,0,INT,2,0,0,0,0,0,0,c", "b,1,2,0,INT,2,0,0,0,0,0,0,c",
                                    "c,1,2,0,INT,2,0,0,0,0,0,0,c", "B,1,2,0,INT,2,0,0,0,0,0,0,c"}, 6, 3},
        {"blank line", {"a,1,2,0,INT,2,0,0,0,0,0,0,c", ""}, 4, 1},
    };
    for (const BadLineCase& c : cases) {
        SCOPED_TRACE(c.name);
        env.WriteVar(VarFileText(c.lines));
        auto p = env.MakeProject();
        DebugCapture capture;
        SleepRecorder sleeps;
        EXPECT_FALSE(p->bRead(false));
        const std::string expected = "KorvaneProject::bRead: bad or double defined variable in line " +
                                     std::to_string(c.reportedLine) + "@KorvaneProjectVarFile.cpp";
        int seen = 0;
        for (const std::string& t : TraceTexts(capture.Records()))
            seen += t == expected;
        EXPECT_EQ(seen, 5);
        EXPECT_EQ(p->VariableCount(), c.keptVariables);
        const std::string log = env.LogLines();
        EXPECT_NE(log.find("VARSVC32\tbRead: Fehler - Variable in var-Datei fehlerhaft oder doppelt!\r\n"),
                  std::string::npos);
    }
}

TEST_F(VarFileRead, LinesAtTheBufferLimit) {
    const std::string head = "v,1,2,0,INT,2,0,0,0,0,0,0,";
    // 511 characters with the line feed: the whole line is one variable.
    const std::string full = head + std::string(510 - head.size(), 'c');
    ASSERT_EQ(full.size() + 1, 511u);
    env.WriteVar(VarFileText({full, "w,1,2,0,INT,2,0,0,0,0,0,0,x"}));
    {
        auto p = env.MakeProject();
        ASSERT_TRUE(p->bRead(false));
        VarSelection sel;
        std::string name = "v", comment;
        int32_t kind;
        VarInfo info;
        ASSERT_TRUE(p->FindNamed(sel, name, comment, kind, info));
        EXPECT_EQ(comment, std::string(510 - head.size(), 'c'));
        EXPECT_EQ(p->VariableCount(), 2u);
    }
    // One character more: the 512-byte read takes 511 characters, the line
    // feed left over is a blank line, which is rejected at line 4.
    const std::string over = full + "c";
    env.WriteVar(VarFileText({over, "w,1,2,0,INT,2,0,0,0,0,0,0,x"}));
    {
        auto p = env.MakeProject();
        DebugCapture capture;
        SleepRecorder sleeps;
        EXPECT_FALSE(p->bRead(false));
        EXPECT_EQ(p->VariableCount(), 1u);
        VarSelection sel;
        std::string name = "v", comment;
        int32_t kind;
        VarInfo info;
        ASSERT_TRUE(p->FindNamed(sel, name, comment, kind, info));
        EXPECT_EQ(comment.size(), 511 - head.size());
        const Texts traces = TraceTexts(capture.Records());
        EXPECT_NE(std::find(traces.begin(), traces.end(),
                            "KorvaneProject::bRead: bad or double defined variable in line 4@KorvaneProjectVarFile.cpp"),
                  traces.end());
    }
    // Far longer: the rest of the line becomes further (bad) lines; nothing
    // is written outside the buffer.
    env.WriteVar(VarFileText({head + std::string(5000, 'z')}));
    {
        auto p = env.MakeProject();
        SleepRecorder sleeps;
        EXPECT_FALSE(p->bRead(false));
        EXPECT_EQ(p->VariableCount(), 1u);
    }
}

TEST_F(VarFileRead, AFileThatAppearsBetweenAttemptsIsRead) {
    auto p = env.MakeProject();
    DebugCapture capture;
    SleepRecorder sleeps([&](int index, DWORD) {
        if (index == 1)
            env.WriteVar(VarFileText({"v1,1,2,0,INT,2,0,0,0,0,0,0,c"}));
    });
    EXPECT_TRUE(p->bRead(false));
    EXPECT_EQ(sleeps.Waits(), (std::vector<DWORD>{1000, 1000}));
    int checks = 0;
    for (const std::string& t : TraceTexts(capture.Records()))
        checks += t == CheckTrace(*p);
    EXPECT_EQ(checks, 3);
    EXPECT_EQ(p->VariableCount(), 1u);
    EXPECT_EQ(env.LogLines(), std::string(kVersionLog) + "VARSVC32\tbRead: 5 Zeilen eingelesen\r\n");
}

TEST_F(VarFileRead, AFileFixedBetweenAttemptsReplacesThePartialRead) {
    env.WriteVar(VarFileText({"old1,1,2,0,INT,2,0,0,0,0,0,0,c", "old2,1,2,0,NOPE,2,0,0,0,0,0,0,c"}));
    auto p = env.MakeProject();
    SleepRecorder sleeps([&](int, DWORD) {
        env.WriteVar(VarFileText({"new1,1,2,0,INT,2,0,0,0,0,0,0,c", "new2,1,2,0,BOOL,1,0,0,0,0,0,0,c",
                                  "new3,1,2,0,MOTOR_T,3,0,0,0,0,0,0,c"},
                                 "S,01/02/03 04:05:06"));
    });
    EXPECT_TRUE(p->bRead(false));
    EXPECT_EQ(sleeps.Waits().size(), 1u);
    VarSelection sel;
    std::string mask;
    ASSERT_TRUE(p->SetFilter(sel, mask, 0, -1, 9));
    std::vector<std::string> names;
    std::string name, comment;
    VarInfo info;
    int32_t kind;
    while (p->NextEntry(sel, name, comment, info, kind))
        names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"new1", "new2", "new3"}));
    EXPECT_EQ(p->StampDate(), 6941); // 2 January 2003
    EXPECT_EQ(p->StampMsec(), ((4 * 60 + 5) * 60 + 6) * 1000);
}

TEST_F(VarFileRead, ALoadedProjectIsNotReadAgainUnlessForced) {
    env.WriteVar(VarFileText({"v1,1,2,0,INT,2,0,0,0,0,0,0,c"}));
    auto p = env.MakeProject();
    ASSERT_TRUE(p->bRead(false));
    env.LogLines();
    // Without the file, a read that touched it would fail.
    ASSERT_EQ(remove(env.VarFile().c_str()), 0);
    {
        DebugCapture capture;
        EXPECT_TRUE(p->bRead(false));
        EXPECT_EQ(TraceTexts(capture.Records()),
                  Texts{"KorvaneProject::bRead: var file '" + p->VarFilePath() + "' doesn't have to be re-read."});
        EXPECT_EQ(env.Compiles().compiles, 1);
    }
    {
        SleepRecorder sleeps;
        EXPECT_FALSE(p->bRead(true));
        EXPECT_EQ(env.Compiles().compiles, 2);
        EXPECT_FALSE(p->IsLoaded());
    }
}

TEST_F(VarFileRead, TypeCompilationFailureStopsTheReadBeforeTheVarFile) {
    env.WriteVar(VarFileText({"v1,1,2,0,INT,2,0,0,0,0,0,0,c"}));
    env.Compiles().failCreate = true;
    auto p = env.MakeProject();
    DebugCapture capture;
    SleepRecorder sleeps;
    EXPECT_FALSE(p->bRead(false));
    EXPECT_EQ(TraceTexts(capture.Records()),
              (Texts{"KorvaneProject::bReadTypes: Creating '" + p->TempTypeFile() + "'...",
                     "KorvaneProject::bReadTypes: Starting compilation..."}));
    EXPECT_TRUE(sleeps.Waits().empty());
    EXPECT_EQ(env.LogLines(), "");
    // A project without any compiler fails the same way.
    KorvaneProject bare(env.ProjectPath(), nullptr);
    EXPECT_FALSE(bare.bRead(false));
}

TEST_F(VarFileRead, CheckLastLineOnlyOpensTheFile) {
    auto p = env.MakeProject();
    EXPECT_FALSE(p->CheckLastLine());
    env.WriteVar("");
    EXPECT_TRUE(p->CheckLastLine());
}

struct VerifyCase {
    const char* name;
    std::string bytes;
    bool result;
    unsigned short date;
    int32_t msec;
    bool upToDate;
    std::string trace;
};

TEST_F(VarFileRead, TimeStampComparison) {
    const std::string vars = "v1,1,2,0,INT,2,0,0,0,0,0,0,c\n@#$@#$\n";
    const std::vector<VerifyCase> cases = {
        {"unchanged", "Korvane 2.5\n" + std::string(kStampLine) + "\n" + vars, true, kStampDate, kStampMsec, true,
         ""},
        {"one second later", "Korvane 2.5\nS,09/13/01 13:46:41\n" + vars, true, kStampDate, kStampMsec + 1000,
         false, ""},
        {"one day later", "Korvane 2.5\nS,09/14/01 13:46:40\n" + vars, true, kStampDate + 1, kStampMsec, false,
         ""},
        {"unreadable stamp", "Korvane 2.5\nS,09/14/01\n", true, 0, 0, false,
         "KorvaneProject::bVerifyTimeStamp: can't read file '%s'@KorvaneProjectVarFile.cpp"},
        {"missing file", "", false, 4711, 4711, true,
         "KorvaneProject::bVerifyTimeStamp: var file not found: '%s'@KorvaneProjectVarFile.cpp"},
    };
    for (const VerifyCase& c : cases) {
        SCOPED_TRACE(c.name);
        env.WriteVar(VarFileText({"v1,1,2,0,INT,2,0,0,0,0,0,0,c"}));
        auto p = env.MakeProject();
        ASSERT_TRUE(p->bRead(false));
        if (c.result)
            env.WriteVar(c.bytes);
        else
            ASSERT_EQ(remove(env.VarFile().c_str()), 0);
        env.LogLines();
        DebugCapture capture;
        unsigned short date = 4711;
        int32_t msec = 4711;
        bool upToDate = true;
        EXPECT_EQ(p->bVerifyTimeStamp(date, msec, upToDate), c.result);
        EXPECT_EQ(date, c.date);
        EXPECT_EQ(msec, c.msec);
        EXPECT_EQ(upToDate, c.upToDate);
        EXPECT_EQ(p->IsLoaded(), c.upToDate);
        std::string trace = c.trace;
        if (size_t at = trace.find("%s"); at != std::string::npos)
            trace.replace(at, 2, p->VarFilePath());
        EXPECT_EQ(TraceTexts(capture.Records()), trace.empty() ? Texts{} : Texts{trace});
    }
}

TEST_F(VarFileRead, TimeStampOfANeverReadProjectIsNotUpToDate) {
    env.WriteVar(VarFileText({}));
    auto p = env.MakeProject();
    unsigned short date = 0;
    int32_t msec = 0;
    bool upToDate = true;
    EXPECT_TRUE(p->bVerifyTimeStamp(date, msec, upToDate));
    EXPECT_FALSE(upToDate);
    EXPECT_EQ(date, kStampDate);
    EXPECT_EQ(msec, kStampMsec);
}

TEST_F(VarFileRead, AChangedStampMakesTheNextReadReal) {
    env.WriteVar(VarFileText({"v1,1,2,0,INT,2,0,0,0,0,0,0,c"}));
    auto p = env.MakeProject();
    ASSERT_TRUE(p->bRead(false));
    env.WriteVar(VarFileText({"v1,1,2,0,INT,2,0,0,0,0,0,0,c", "v2,1,2,0,INT,2,0,0,0,0,0,0,c"},
                             "S,09/13/01 13:46:41"));
    unsigned short date;
    int32_t msec;
    bool upToDate;
    ASSERT_TRUE(p->bVerifyTimeStamp(date, msec, upToDate));
    EXPECT_FALSE(upToDate);
    EXPECT_TRUE(p->bRead(false));
    EXPECT_EQ(p->VariableCount(), 2u);
    EXPECT_EQ(p->StampMsec(), kStampMsec + 1000);
}

} // namespace
