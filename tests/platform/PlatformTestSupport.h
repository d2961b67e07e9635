// Helpers for the platform layer's tests: private temporary directories,
// scoped environment variables and child processes that report through
// their exit status.
#pragma once

#include <functional>
#include <string>

#include <cstdlib>
#include <cstdio>
#include <ftw.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform_test {

/// A directory of its own below $TMPDIR (or /tmp), removed with its contents
/// at the end of the scope.
class TempDir {
public:
    TempDir() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && base[0] ? base : "/tmp") + "/korvane-test-XXXXXX";
        if (char* made = ::mkdtemp(pattern.data())) {
            m_path = made;
        }
    }
    ~TempDir() {
        if (!m_path.empty()) {
            ::nftw(
                m_path.c_str(),
                [](const char* p, const struct stat*, int, struct FTW*) { return ::remove(p); }, 16,
                FTW_DEPTH | FTW_PHYS);
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

/// Sets (or, with a null value, unsets) an environment variable for the
/// scope and restores the old state afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_had = true;
            m_old = old;
        }
        if (value) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) {}
    ~ScopedEnv() {
        if (m_had) {
            ::setenv(m_name.c_str(), m_old.c_str(), 1);
        } else {
            ::unsetenv(m_name.c_str());
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::string m_old;
    bool m_had = false;
};

/// Runs `body` in a forked child that exits with its result (0 = success).
/// Returns the child's pid; -1 if fork failed.
inline pid_t spawn(const std::function<int()>& body) {
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        int rc = body();
        ::_exit(rc);
    }
    return pid;
}

/// Waits for a child; its exit status, or 1000 + signal number when a
/// signal ended it, or -1 when waiting failed.
inline int reap(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    if (WIFSIGNALED(status)) {
        return 1000 + WTERMSIG(status);
    }
    return -1;
}

} // namespace platform_test
