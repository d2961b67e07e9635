// The debug channel (hook, environment switch, file records) and the message
// box that never blocks.
#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/DebugOutput.h"
#include "platform/LastError.h"
#include "platform/MessageBox.h"
#include "tests/platform/PlatformTestSupport.h"

using platform_test::ScopedEnv;
using platform_test::TempDir;

namespace {

struct Capture {
    std::mutex lock;
    std::vector<std::string> records;
    static void hook(void* self, const char* text) {
        auto* c = static_cast<Capture*>(self);
        std::lock_guard<std::mutex> guard(c->lock);
        c->records.emplace_back(text);
    }
};

class DebugOutputTest : public ::testing::Test {
protected:
    Capture capture;
    void SetUp() override { SetDebugOutputHook(&Capture::hook, &capture); }
    void TearDown() override { SetDebugOutputHook(nullptr, nullptr); }
};

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST_F(DebugOutputTest, HookSeesEachRecordAsGiven) {
    ScopedEnv off("KORVANE_DEBUG_OUTPUT", nullptr);
    struct Case {
        const char* name;
        const char* text;
    } cases[] = {
        {"empty", ""},
        {"no line end added", "KorvaneProject::bRead: reading var file.\n"},
        {"location suffix", "x\nLocation 'F',Line 12 \r\n\n"},
        {"Windows-1252 bytes", "Variablendatei '%s' konnte nicht gefunden werden! \xE4\xF6\xFC"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        capture.records.clear();
        OutputDebugStringA(c.text);
        ASSERT_EQ(1u, capture.records.size());
        EXPECT_EQ(c.text, capture.records[0]);
    }
    capture.records.clear();
    OutputDebugStringA(nullptr);
    EXPECT_TRUE(capture.records.empty());
}

TEST_F(DebugOutputTest, HookCanBeReplacedAndRemoved) {
    Capture other;
    void* previousContext = nullptr;
    DebugOutputHook previous = SetDebugOutputHook(&Capture::hook, &other, &previousContext);
    EXPECT_EQ(&Capture::hook, previous);
    EXPECT_EQ(&capture, previousContext);
    OutputDebugStringA("to other");
    EXPECT_TRUE(capture.records.empty());
    ASSERT_EQ(1u, other.records.size());
    SetDebugOutputHook(nullptr, nullptr);
    OutputDebugStringA("to nobody");
    EXPECT_EQ(1u, other.records.size());
}

TEST_F(DebugOutputTest, FileSinkAppendsWholeRecordsFromManyThreads) {
    TempDir dir;
    std::string path = dir / "debug.log";
    ScopedEnv sink("KORVANE_DEBUG_OUTPUT", path);
    constexpr int kThreads = 4;
    constexpr int kRecords = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            std::string record = "thread " + std::to_string(t) + " " + std::string(300, static_cast<char>('a' + t)) + "\n";
            for (int i = 0; i < kRecords; ++i) {
                OutputDebugStringA(record.c_str());
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    std::string all = readAll(path);
    std::istringstream lines(all);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        ASSERT_GE(line.size(), 9u);
        int t = line[7] - '0';
        EXPECT_EQ("thread " + std::to_string(t) + " " + std::string(300, static_cast<char>('a' + t)), line);
    }
    EXPECT_EQ(kThreads * kRecords, count);
    EXPECT_EQ(static_cast<size_t>(kThreads * kRecords), capture.records.size()) << "the hook sees them too";
}

TEST_F(DebugOutputTest, SwitchIsReadAtEveryCall) {
    TempDir dir;
    std::string first = dir / "first.log";
    std::string second = dir / "second.log";
    {
        ScopedEnv sink("KORVANE_DEBUG_OUTPUT", first);
        OutputDebugStringA("one");
    }
    OutputDebugStringA("discarded");
    {
        ScopedEnv sink("KORVANE_DEBUG_OUTPUT", second);
        OutputDebugStringA("two");
    }
    {
        ScopedEnv sink("KORVANE_DEBUG_OUTPUT", first);
        OutputDebugStringA("three");
    }
    EXPECT_EQ("onethree", readAll(first));
    EXPECT_EQ("two", readAll(second));
    {
        ScopedEnv sink("KORVANE_DEBUG_OUTPUT", "stderr");
        ::testing::internal::CaptureStderr();
        OutputDebugStringA("to standard error\n");
        EXPECT_EQ("to standard error\n", ::testing::internal::GetCapturedStderr());
    }
    {
        ScopedEnv sink("KORVANE_DEBUG_OUTPUT", dir / "missing-dir/x.log");
        OutputDebugStringA("an unwritable sink is no failure");
    }
    EXPECT_EQ(6u, capture.records.size()) << "the hook sees every record, discarded ones too";
}

struct BoxCapture {
    std::vector<std::string> seen;
    static void hook(void* self, const char* caption, const char* text, UINT type) {
        static_cast<BoxCapture*>(self)->seen.push_back(std::string(caption) + "|" + text + "|" + std::to_string(type));
    }
};

TEST_F(DebugOutputTest, MessageBoxNeverBlocksAndAnswersTheDefaultButton) {
    ScopedEnv off("KORVANE_DEBUG_OUTPUT", nullptr);
    BoxCapture boxes;
    SetMessageBoxHook(&BoxCapture::hook, &boxes);
    struct Case {
        const char* name;
        UINT type;
        int result;
    } cases[] = {
        {"MB_OK", MB_OK, IDOK},
        {"MB_OK with icon and modality", MB_OK | MB_ICONERROR | MB_TASKMODAL, IDOK},
        {"MB_OKCANCEL", MB_OKCANCEL, IDOK},
        {"MB_OKCANCEL second default", MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
        {"MB_YESNO", MB_YESNO, IDYES},
        {"MB_YESNOCANCEL third default", MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
        {"MB_ABORTRETRYIGNORE", MB_ABORTRETRYIGNORE, IDABORT},
        {"MB_RETRYCANCEL", MB_RETRYCANCEL, IDRETRY},
        {"MB_CANCELTRYCONTINUE second", MB_CANCELTRYCONTINUE | MB_DEFBUTTON2, IDTRYAGAIN},
        {"default past the buttons", MB_OK | MB_DEFBUTTON4, IDOK},
        {"unknown button set", 7, 0},
        {"last button set value", MB_TYPEMASK, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        capture.records.clear();
        boxes.seen.clear();
        ::testing::internal::CaptureStderr();
        int rc = MessageBoxA(nullptr, "VARSVC registration succeded!", "Registration", c.type);
        std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(c.result, rc);
        if (c.result == 0) {
            EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
            EXPECT_TRUE(boxes.seen.empty());
            continue;
        }
        const std::string line = "MessageBox: Registration: VARSVC registration succeded!\n";
        EXPECT_EQ(line, err);
        ASSERT_EQ(1u, capture.records.size());
        EXPECT_EQ(line, capture.records[0]);
        ASSERT_EQ(1u, boxes.seen.size());
        EXPECT_EQ("Registration|VARSVC registration succeded!|" + std::to_string(c.type), boxes.seen[0]);
    }
    boxes.seen.clear();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(IDOK, MessageBoxA(nullptr, nullptr, nullptr, MB_OK));
    EXPECT_EQ("MessageBox: Error: \n", ::testing::internal::GetCapturedStderr());
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Error||0", boxes.seen[0]);
    SetMessageBoxHook(nullptr, nullptr);
}

} // namespace
