// MessageBoxA without a desktop: report the message, answer with the
// default button.
#include "platform/MessageBox.h"

#include <cerrno>
#include <mutex>
#include <string>
#include <unistd.h>

#include "platform/DebugOutput.h"
#include "platform/LastError.h"

namespace {

struct Observer {
    std::recursive_mutex lock; // an observer may show a box itself
    MessageBoxHook hook = nullptr;
    void* context = nullptr;
};

Observer& observer() {
    static Observer* o = new Observer;
    return *o;
}

// The buttons of each button set, in the order MB_DEFBUTTONn counts them.
struct Buttons {
    int ids[3];
    int count;
};
constexpr Buttons kButtons[] = {
    {{IDOK, 0, 0}, 1},                         // MB_OK
    {{IDOK, IDCANCEL, 0}, 2},                  // MB_OKCANCEL
    {{IDABORT, IDRETRY, IDIGNORE}, 3},         // MB_ABORTRETRYIGNORE
    {{IDYES, IDNO, IDCANCEL}, 3},              // MB_YESNOCANCEL
    {{IDYES, IDNO, 0}, 2},                     // MB_YESNO
    {{IDRETRY, IDCANCEL, 0}, 2},               // MB_RETRYCANCEL
    {{IDCANCEL, IDTRYAGAIN, IDCONTINUE}, 3},   // MB_CANCELTRYCONTINUE
};

} // namespace

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
    UINT set = type & MB_TYPEMASK;
    if (set >= sizeof kButtons / sizeof kButtons[0]) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char* shownCaption = caption != nullptr ? caption : "Error";
    const char* shownText = text != nullptr ? text : "";
    std::string line = std::string("MessageBox: ") + shownCaption + ": " + shownText + "\n";
    OutputDebugStringA(line.c_str());
    // Standard error gets the line in one write as well; a failure there
    // cannot be reported anywhere and does not change the answer.
    const char* p = line.data();
    size_t left = line.size();
    while (left > 0) {
        ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    {
        Observer& o = observer();
        std::lock_guard<std::recursive_mutex> guard(o.lock);
        if (o.hook != nullptr) {
            o.hook(o.context, shownCaption, shownText, type);
        }
    }
    const Buttons& buttons = kButtons[set];
    int index = static_cast<int>((type & MB_DEFMASK) >> 8);
    return buttons.ids[index < buttons.count ? index : 0];
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook, void* context, void** previousContext) {
    Observer& o = observer();
    std::lock_guard<std::recursive_mutex> guard(o.lock);
    MessageBoxHook previous = o.hook;
    if (previousContext != nullptr) {
        *previousContext = o.context;
    }
    o.hook = hook;
    o.context = context;
    return previous;
}
