// Helpers of the server tests (see ServerTestSupport.h).
#include "tests/server/ServerTestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <regex>

#include "platform/DebugOutput.h"
#include "platform/Environment.h"
#include "platform/MessageBox.h"
#include "server/ServerSleep.h"

namespace servertest {

struct DebugCapture::State {
    mutable std::mutex lock;
    std::vector<std::string> records;
    DebugOutputHook previous;
    void* previousContext;
};

DebugCapture::DebugCapture() : state(new State) {
    state->previous = SetDebugOutputHook(&DebugCapture::Hook, state, &state->previousContext);
}

DebugCapture::~DebugCapture() {
    SetDebugOutputHook(state->previous, state->previousContext);
    delete state;
}

void DebugCapture::Hook(void* context, const char* text) {
    auto* s = static_cast<State*>(context);
    std::lock_guard<std::mutex> guard(s->lock);
    s->records.emplace_back(text);
}

std::vector<std::string> DebugCapture::Records() const {
    std::lock_guard<std::mutex> guard(state->lock);
    return state->records;
}

void DebugCapture::Clear() {
    std::lock_guard<std::mutex> guard(state->lock);
    state->records.clear();
}

struct SleepRecorder::State {
    mutable std::mutex lock;
    std::vector<DWORD> waits;
    std::function<void(int, DWORD)> action;
    ServerSleepHook previous;
    void* previousContext;
};

SleepRecorder::SleepRecorder(std::function<void(int, DWORD)> action) : state(new State) {
    state->action = std::move(action);
    state->previous = SetServerSleepHook(&SleepRecorder::Hook, state, &state->previousContext);
}

SleepRecorder::~SleepRecorder() {
    SetServerSleepHook(state->previous, state->previousContext);
    delete state;
}

void SleepRecorder::Hook(void* context, DWORD ms) {
    auto* s = static_cast<State*>(context);
    int index;
    {
        std::lock_guard<std::mutex> guard(s->lock);
        index = static_cast<int>(s->waits.size());
        s->waits.push_back(ms);
    }
    if (s->action)
        s->action(index, ms);
}

std::vector<DWORD> SleepRecorder::Waits() const {
    std::lock_guard<std::mutex> guard(state->lock);
    return state->waits;
}

struct MessageBoxCapture::State {
    mutable std::mutex lock;
    std::vector<Box> boxes;
    MessageBoxHook previous;
    void* previousContext;
};

MessageBoxCapture::MessageBoxCapture() : state(new State) {
    state->previous = SetMessageBoxHook(&MessageBoxCapture::Hook, state, &state->previousContext);
}

MessageBoxCapture::~MessageBoxCapture() {
    SetMessageBoxHook(state->previous, state->previousContext);
    delete state;
}

void MessageBoxCapture::Hook(void* context, const char* caption, const char* text, UINT type) {
    auto* s = static_cast<State*>(context);
    std::lock_guard<std::mutex> guard(s->lock);
    s->boxes.push_back({caption, text, type});
}

std::vector<MessageBoxCapture::Box> MessageBoxCapture::Boxes() const {
    std::lock_guard<std::mutex> guard(state->lock);
    return state->boxes;
}

EnvOverride::EnvOverride(const char* n, const char* value) : name(n) {
    const char* current = getenv(n);
    hadOld = current != nullptr;
    if (hadOld)
        old = current;
    SetEnvironmentVariableA(n, value);
}

EnvOverride::~EnvOverride() {
    SetEnvironmentVariableA(name.c_str(), hadOld ? old.c_str() : nullptr);
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "varsvc-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) != nullptr)
        path = buffer.data();
}

TempDir::~TempDir() {
    if (!path.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
}

CurrentDir::CurrentDir(const std::string& dir) {
    old = std::filesystem::current_path().string();
    std::filesystem::current_path(dir);
}

CurrentDir::~CurrentDir() {
    std::error_code ignored;
    std::filesystem::current_path(old, ignored);
}

ReadingFifo::ReadingFifo(const std::string& p) : path(p) {
    unlink(path.c_str());
    if (mkfifo(path.c_str(), 0600) == 0)
        fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
}

ReadingFifo::~ReadingFifo() {
    CloseReader();
    unlink(path.c_str());
}

std::string ReadingFifo::ReadAll() {
    std::string out;
    if (fd < 0)
        return out;
    char buffer[4096];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        out.append(buffer, static_cast<size_t>(n));
    }
    return out;
}

void ReadingFifo::CloseReader() {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty())
        std::filesystem::create_directories(parent);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void MakeDirs(const std::string& path) { std::filesystem::create_directories(path); }

bool SplitTrace(const std::string& record, std::string& text, std::string& file, int& line) {
    static const std::regex withLocation("^([\\s\\S]*)\\nLocation '([^']*)',Line (-?[0-9]+) \\r\\n\\n$");
    std::smatch m;
    if (std::regex_match(record, m, withLocation)) {
        text = m[1];
        file = m[2];
        line = std::stoi(m[3]);
        return true;
    }
    if (!record.empty() && record.back() == '\n') {
        text = record.substr(0, record.size() - 1);
        file.clear();
        line = 0;
        return true;
    }
    return false;
}

std::vector<std::string> TraceTexts(const std::vector<std::string>& records) {
    std::vector<std::string> out;
    for (const std::string& r : records) {
        std::string text, file;
        int line = 0;
        if (!SplitTrace(r, text, file, line))
            out.push_back("<malformed>" + r);
        else if (file.empty())
            out.push_back(text);
        else
            out.push_back(text + "@" + file);
    }
    return out;
}

} // namespace servertest
