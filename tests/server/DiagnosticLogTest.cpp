// The diagnostic log: trace records, log-pipe lines, the pipe's opening and
// its fall-back to the debug channel.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "platform/RuntimeDir.h"
#include "server/LogPipe.h"
#include "server/Trace.h"
#include "tests/server/ServerTestSupport.h"

using namespace servertest;

namespace {

// Every test starts with a closed process-wide pipe, so that one test's open
// handle does not leak into the next.
class DiagnosticLog : public ::testing::Test {
protected:
    void SetUp() override { TheLogPipe().Close(); }
    void TearDown() override { TheLogPipe().Close(); }
};

struct TraceCase {
    const char* name;
    int level;
    const char* file;
    int line;
    std::string text;
    std::vector<std::string> expected;
};

TEST_F(DiagnosticLog, TraceRecordsByLevelAndLocation) {
    const std::string longText(2000, 'a');
    const std::string longFile(2000, 'f');
    const std::vector<TraceCase> cases = {
        {"level 0 writes nothing", 0, "F", 12, "x", {}},
        {"empty text without location", 1, "", 0, "", {"\n"}},
        {"level 1 without location", 1, "", 0, "x", {"x\n"}},
        {"level 3 with location", 3, "F", 12, "x", {"x\nLocation 'F',Line 12 \r\n\n"}},
        {"file without line is no location", 3, "F", 0, "x", {"x\n"}},
        {"line without file is no location", 3, "", 12, "x", {"x\n"}},
        {"null file is no location", 3, nullptr, 12, "x", {"x\n"}},
        {"negative line counts as a line", 3, "F", -1, "x", {"x\nLocation 'F',Line -1 \r\n\n"}},
        {"other levels write too", 2, "", 0, "x", {"x\n"}},
        {"text cut to 1023 characters", 1, "", 0, longText, {std::string(1023, 'a') + "\n"}},
        {"suffix cut to 1023 characters", 3, longFile.c_str(), 7, "x",
         {"x" + ("\nLocation '" + longFile).substr(0, 1023)}},
    };
    for (const TraceCase& c : cases) {
        SCOPED_TRACE(c.name);
        DebugCapture capture;
        Trace(c.level, c.file, c.line, "%s", c.text.c_str());
        EXPECT_EQ(capture.Records(), c.expected);
    }
}

TEST_F(DiagnosticLog, TraceFormatsItsArguments) {
    DebugCapture capture;
    Trace(1, "", 0, "KorvaneProject::bRead: check var file:<%s>.\n", "c:\\plc\\var\\line1.var");
    Trace(3, "F.cpp", 99, "%d/%ld/0x%08X", -5, 70000L, 0xABCu);
    EXPECT_EQ(capture.Records(),
              (std::vector<std::string>{"KorvaneProject::bRead: check var file:<c:\\plc\\var\\line1.var>.\n\n",
                                        "-5/70000/0x00000ABC\nLocation 'F.cpp',Line 99 \r\n\n"}));
}

struct LineCase {
    const char* name;
    std::string german; // used as "%s" argument so that any bytes pass
    std::string expected;
};

TEST_F(DiagnosticLog, LogLinesOnTheFifo) {
    TempDir dir;
    ReadingFifo fifo(dir / "log");
    EnvOverride env("VQ_LOGNAME", (dir / "log").c_str());
    const std::vector<LineCase> cases = {
        {"empty text", "", "VARSVC32\t\r\n"},
        {"German letters stay Windows-1252 bytes", "Header von Variablendatei 'x' ist ung\xfcltig.",
         "VARSVC32\tHeader von Variablendatei 'x' ist ung\xfcltig.\r\n"},
        {"longest body that fits", std::string(1012, 'b'),
         "VARSVC32\t" + std::string(1012, 'b') + "\r\n"},
        {"one more is cut, the line end stays", std::string(1013, 'b'),
         "VARSVC32\t" + std::string(1012, 'b') + "\r\n"},
        {"far longer", std::string(5000, 'c'), "VARSVC32\t" + std::string(1012, 'c') + "\r\n"},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.name);
        DebugCapture capture;
        LogMessage("english", "%s", c.german.c_str());
        EXPECT_EQ(fifo.ReadAll(), c.expected);
        EXPECT_TRUE(capture.Records().empty());
    }
}

TEST_F(DiagnosticLog, LogLineFormatsTheGermanText) {
    TempDir dir;
    ReadingFifo fifo(dir / "log");
    EnvOverride env("VQ_LOGNAME", (dir / "log").c_str());
    LogMessage("bRead: %ld lines parsed", "bRead: %ld Zeilen eingelesen", 6L);
    LogMessage("can't find var file '%s'!", "Variablendatei '%s' konnte nicht gefunden werden!",
               "c:\\p\\var\\p.var");
    EXPECT_EQ(fifo.ReadAll(), "VARSVC32\tbRead: 6 Zeilen eingelesen\r\n"
                              "VARSVC32\tVariablendatei 'c:\\p\\var\\p.var' konnte nicht gefunden werden!\r\n");
    EXPECT_TRUE(TheLogPipe().IsOpen());
}

TEST_F(DiagnosticLog, WithoutVariableEveryMessageFallsBackToTheTrace) {
    EnvOverride env("VQ_LOGNAME", nullptr);
    DebugCapture capture;
    SleepRecorder sleeps;
    LogMessage("bRead: %ld lines parsed", "bRead: %ld Zeilen eingelesen", 6L);
    LogMessage("e", "zweite");
    EXPECT_EQ(TraceTexts(capture.Records()),
              (std::vector<std::string>{
                  "C_LogPipe::Init (): GetEnvironmentVariable (\"VQ_LOGNAME\") failed!@LogPipe.cpp",
                  "Debugtext: VARSVC32\tbRead: 6 Zeilen eingelesen\r\n@LogPipe.cpp",
                  "C_LogPipe::Init (): GetEnvironmentVariable (\"VQ_LOGNAME\") failed!@LogPipe.cpp",
                  "Debugtext: VARSVC32\tzweite\r\n@LogPipe.cpp"}));
    EXPECT_TRUE(sleeps.Waits().empty()); // no open was tried, so no wait
}

struct InitFailure {
    const char* name;
    std::string value;
    std::string expectedInitTrace;
    std::vector<DWORD> waits;
};

TEST_F(DiagnosticLog, InitFailuresAreTracedWithTheirCause) {
    TempDir dir;
    WriteBytes(dir / "plain", "");
    ReadingFifo unread(dir / "unread");
    unread.CloseReader(); // the FIFO exists, nobody reads it
    const std::vector<InitFailure> cases = {
        {"empty value", "", "C_LogPipe::Init (): GetEnvironmentVariable (\"VQ_LOGNAME\") failed!", {}},
        {"value of 259 characters does not exist", dir.Path() + "/" + std::string(258 - dir.Path().size(), 'n'),
         "C_LogPipe::Init (): CreateFile (...) failed (INVALID_HANDLE_VALUE) (err = 2)!", {100, 100}},
        {"value of 260 characters does not fit", std::string(260, 'n'),
         "C_LogPipe::Init (): GetEnvironmentVariable (\"VQ_LOGNAME\") failed!", {}},
        {"missing pipe", dir / "missing",
         "C_LogPipe::Init (): CreateFile (...) failed (INVALID_HANDLE_VALUE) (err = 2)!", {100, 100}},
        {"pipe without reader", dir / "unread",
         "C_LogPipe::Init (): CreateFile (...) failed (INVALID_HANDLE_VALUE) (err = 233)!", {100, 100}},
    };
    for (const InitFailure& c : cases) {
        SCOPED_TRACE(c.name);
        EnvOverride env("VQ_LOGNAME", c.value.c_str());
        DebugCapture capture;
        SleepRecorder sleeps;
        EXPECT_FALSE(TheLogPipe().Init());
        EXPECT_FALSE(TheLogPipe().IsOpen());
        EXPECT_EQ(TraceTexts(capture.Records()),
                  std::vector<std::string>{c.expectedInitTrace + "@LogPipe.cpp"});
        EXPECT_EQ(sleeps.Waits(), c.waits);
    }
}

TEST_F(DiagnosticLog, APipeMadeLaterIsPickedUpByTheNextMessage) {
    TempDir dir;
    EnvOverride env("VQ_LOGNAME", (dir / "late").c_str());
    SleepRecorder sleeps;
    {
        DebugCapture capture;
        LogMessage("first", "erste");
        EXPECT_EQ(TraceTexts(capture.Records()).back(), "Debugtext: VARSVC32\terste\r\n@LogPipe.cpp");
    }
    ReadingFifo fifo(dir / "late");
    DebugCapture capture;
    LogMessage("second", "zweite");
    EXPECT_EQ(fifo.ReadAll(), "VARSVC32\tzweite\r\n");
    EXPECT_TRUE(capture.Records().empty());
}

TEST_F(DiagnosticLog, AReaderThatGoesAwayMakesTheWriteFailWithoutReconnect) {
    TempDir dir;
    EnvOverride env("VQ_LOGNAME", (dir / "log").c_str());
    auto fifo = std::make_unique<ReadingFifo>(dir / "log");
    LogMessage("one", "eins");
    EXPECT_EQ(fifo->ReadAll(), "VARSVC32\teins\r\n");
    fifo->CloseReader();

    DebugCapture capture;
    LogMessage("two", "zwei"); // must not raise SIGPIPE
    EXPECT_EQ(TraceTexts(capture.Records()),
              std::vector<std::string>{"Debugtext: VARSVC32\tzwei\r\n@LogPipe.cpp"});
    EXPECT_TRUE(TheLogPipe().IsOpen()); // the handle stays; there is no reconnect
}

TEST_F(DiagnosticLog, WindowsPipeNameReachesTheFifoInTheRuntimeDirectory) {
    std::string runtime = PlatformRuntimeDir();
    ASSERT_FALSE(runtime.empty());
    std::string name = "varsvc-log-test-" + std::to_string(getpid());
    ReadingFifo fifo(runtime + "/" + name);
    std::string windowsName = "\\\\.\\pipe\\" + name;
    EnvOverride env("VQ_LOGNAME", windowsName.c_str());
    LogMessage("x", "Pr\xfc" "fung %d", 1);
    EXPECT_EQ(fifo.ReadAll(), "VARSVC32\tPr\xfc" "fung 1\r\n");
}

TEST_F(DiagnosticLog, WriteWithoutTextFails) {
    TempDir dir;
    ReadingFifo fifo(dir / "log");
    EnvOverride env("VQ_LOGNAME", (dir / "log").c_str());
    EXPECT_FALSE(TheLogPipe().Write(nullptr));
    EXPECT_TRUE(TheLogPipe().Write("abc"));
    EXPECT_EQ(fifo.ReadAll(), "abc");
}

} // namespace
