// The debug channel: the environment switch, the file sink and the hook.
#include "platform/DebugOutput.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <unistd.h>

namespace {

struct Channel {
    // Recursive: a hook may itself write a debug record.
    std::recursive_mutex lock;
    DebugOutputHook hook = nullptr;
    void* context = nullptr;
    std::string filePath; // the file `fd` was opened for
    int fd = -1;
};

Channel& channel() {
    static Channel* c = new Channel; // never destroyed: used until exit
    return *c;
}

void writeRecord(int fd, const char* text, size_t length) {
    // One write per record keeps records whole in a shared file (O_APPEND
    // makes each write land at the end as one piece). A short write can
    // only happen on a full disk or a signal; the rest is then written so
    // that the record is not cut, at the price of that rare interleaving.
    while (length > 0) {
        ssize_t n = ::write(fd, text, length);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return; // the channel has no failure path
        }
        text += n;
        length -= static_cast<size_t>(n);
    }
}

int fileFor(Channel& c, const char* path) {
    if (c.fd >= 0 && c.filePath == path) {
        return c.fd;
    }
    if (c.fd >= 0) {
        ::close(c.fd);
        c.fd = -1;
    }
    c.filePath.clear();
    int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0) {
        return -1;
    }
    c.fd = fd;
    c.filePath = path;
    return fd;
}

} // namespace

void OutputDebugStringA(LPCSTR text) {
    if (text == nullptr) {
        return;
    }
    Channel& c = channel();
    std::lock_guard<std::recursive_mutex> guard(c.lock);
    size_t length = std::strlen(text);
    const char* target = std::getenv("KORVANE_DEBUG_OUTPUT");
    if (target != nullptr && target[0] != '\0' && length > 0) {
        if (std::strcmp(target, "stderr") == 0 || std::strcmp(target, "2") == 0) {
            writeRecord(STDERR_FILENO, text, length);
        } else if (std::strcmp(target, "stdout") == 0 || std::strcmp(target, "1") == 0) {
            writeRecord(STDOUT_FILENO, text, length);
        } else {
            int fd = fileFor(c, target);
            if (fd >= 0) {
                writeRecord(fd, text, length);
            }
        }
    }
    if (c.hook != nullptr) {
        c.hook(c.context, text);
    }
}

DebugOutputHook SetDebugOutputHook(DebugOutputHook hook, void* context, void** previousContext) {
    Channel& c = channel();
    std::lock_guard<std::recursive_mutex> guard(c.lock);
    DebugOutputHook previous = c.hook;
    if (previousContext != nullptr) {
        *previousContext = c.context;
    }
    c.hook = hook;
    c.context = context;
    return previous;
}
