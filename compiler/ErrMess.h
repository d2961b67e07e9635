// ErrMess, the compiler's message sink: every warning, error and internal
// error of the compiler goes through it to be formatted with its source
// position, counted against the limits, optionally collected for the host
// (ErrDesc) and echoed to the standard output.
//
// Decisions where the rules leave room:
// - Each echoed message ends with a line feed ("*** %s" and "\n").
// - Message texts are printf formats of the text table; the sink formats
//   them with typed parameters (ErrArg), never with C varargs.
// - The limit messages replace the text only: the prefix keeps the
//   position of the message they stand for. Collected messages hold the
//   whole formatted line.
// - Counts saturate at 65535.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

class wiShellWindow;

namespace errmess {

// Severities.
constexpr int32_t SEV_WARNING = 1;
constexpr int32_t SEV_ERROR = 2;
constexpr int32_t SEV_INTERNAL = 4098; ///< internal error, counted as an error

// Message numbers the sink itself uses.
constexpr short MSG_PREFIX_WARNING_AT = -3401; ///< warning prefix with source, line, column
constexpr short MSG_PREFIX_ERROR_AT = -3402;   ///< error prefix with source, line, column
constexpr short MSG_PREFIX_WARNING = -3403;    ///< warning prefix without position
constexpr short MSG_PREFIX_ERROR = -3404;      ///< error prefix without position
constexpr short MSG_NO_MEMORY = -3406;         ///< out of memory: module, line
constexpr short MSG_ERROR_LIMIT = -3409;       ///< replaces the first error beyond the limit
constexpr short MSG_INTERNAL = -3555;          ///< internal error: code, module, line, revision
constexpr short MSG_WARNING_LIMIT = 1717;      ///< replaces the first warning beyond the limit

/// Longest formatted message line (prefix and text), in characters.
constexpr size_t kMaxLine = 300;
/// Longest message text taken from the text table, in characters.
constexpr size_t kMaxText = 511;
/// Internal-error state from which messages are no longer counted,
/// collected or limited.
constexpr uint16_t kInternalSaturation = 4;

/// The line written when a message number has no text.
constexpr const char* kMissingText = "ErrMess::PrintError : invalid error text (NULL-pointer)";

} // namespace errmess

/// One collected message. The list is singly linked in report order; the
/// receiver of a list owns it and frees it with DeleteList.
struct ErrDesc {
    uint16_t line = 0;     ///< source line, 0 when unknown
    uint16_t col = 0;      ///< source column, 0 when unknown
    int32_t severity = 0;  ///< 1 warning, 2 error, 4098 internal error
    char* text = nullptr;  ///< the formatted line (prefix and text), owned
    ErrDesc* next = nullptr;

    ErrDesc() = default;
    ~ErrDesc() { delete[] text; }
    ErrDesc(const ErrDesc&) = delete;
    ErrDesc& operator=(const ErrDesc&) = delete;

    /// Destroys the list from `first` on (null is harmless).
    static void DeleteList(ErrDesc* first);
};

/// One printf parameter of a message: a number or a text. The message texts
/// are printf formats from a table; the sink formats them itself with these
/// typed values, so a text whose conversions do not match the parameters
/// prints wrong values but can never read a missing or mistyped argument.
class ErrArg {
public:
    ErrArg(int v) : isText(false), number(v) {}
    ErrArg(long v) : isText(false), number(v) {}
    ErrArg(long long v) : isText(false), number(v) {}
    ErrArg(unsigned v) : isText(false), number(v) {}
    ErrArg(unsigned long v) : isText(false), number(static_cast<long long>(v)) {}
    ErrArg(const char* s) : isText(true), text(s) {}

    bool IsText() const { return isText; }
    long long Number() const { return isText ? 0 : number; }
    const char* Text() const { return isText ? text : nullptr; }

private:
    bool isText;
    long long number = 0;
    const char* text = nullptr;
};

/// The message sink. Not thread-safe: one compiler object, one thread.
class ErrMess {
public:
    /// Loads the text of message id `id` (the absolute value of the message
    /// number) into buf; returns its length, 0 when there is none. Same
    /// contract as LoadStringA.
    using TextLoader = int (*)(unsigned id, char* buf, int bufMax);

    /// A sink for the host window `win` (only stored); counts and limits 0
    /// (no limit), no source name, not collecting. Texts come from
    /// LoadStringA.
    explicit ErrMess(wiShellWindow* win = nullptr);
    /// Frees the source name and the collected messages.
    ~ErrMess();
    ErrMess(const ErrMess&) = delete;
    ErrMess& operator=(const ErrMess&) = delete;

    /// Re-initialises the sink for another window: counts, internal state,
    /// collected messages and source name are cleared; limits and the
    /// collect flag stay.
    void Init(wiShellWindow* win);
    /// The stored host window.
    wiShellWindow* GetWindow() const { return window; }

    /// Sets the source name used in position prefixes (a copy; null clears
    /// it). Returns 0, or -3406 when the copy cannot be made (the name is
    /// then cleared).
    short SetSourceName(const char* name);
    /// The source name, or null.
    const char* GetSourceName() const { return sourceName; }

    /// Error and warning limits: after that many errors (warnings) one
    /// message -3409 (1717) stands for the next, and later ones are dropped.
    /// 0 means no limit.
    void SetLimits(uint16_t errorLimit, uint16_t warningLimit);
    uint16_t GetErrorLimit() const { return errLimit; }
    uint16_t GetWarningLimit() const { return warnLimit; }

    /// Clears the counts, the internal-error state and the collected list.
    void ResetCounts();
    /// Errors counted (internal errors included), saturating at 65535.
    uint16_t GetErrors() const { return errors; }
    /// Warnings counted, saturating at 65535.
    uint16_t GetWarnings() const { return warnings; }
    /// Internal-error state: 0, or the number of messages since the first
    /// internal error (counting stops at 4).
    uint16_t GetInternalState() const { return internal; }

    /// Switches collection of messages on or off (the list stays).
    void SetCollect(bool on) { collect = on; }
    bool IsCollecting() const { return collect; }
    /// The collected messages, still owned by the sink.
    const ErrDesc* GetCollected() const { return collected; }
    /// Hands the collected list over to the caller and forgets it.
    ErrDesc* TakeCollected();

    /// Reports message `number` with severity 1 (warning), 2 (error) or
    /// 4098 (internal error; any other value counts as an error) at
    /// line/column (0: unknown) with the printf parameters `args`. Counts
    /// it, applies the limits, collects it when collecting, and writes
    /// "*** %s" with the formatted line and a line feed to the standard
    /// output. Returns true when the message was written, false when the
    /// limit dropped it.
    bool Report(int32_t severity, short number, uint16_t line, uint16_t col,
                std::initializer_list<ErrArg> args = {});
    /// Internal error: severity 4098, message -3555 with the location code,
    /// the module name, the line and the revision text.
    bool ReportInternal(int32_t location, const char* module, int32_t line,
                        const char* revision);
    /// Allocation failure: severity 4098, message -3406 with the module name
    /// and line.
    bool ReportNoMemory(const char* module, int32_t line);

    /// Replaces the text source (null: LoadStringA again). For tests and
    /// hosts that bring their own texts.
    void SetTextLoader(TextLoader loader);

    /// Formats `fmt` with `args` into `out` (at most outSize - 1 characters
    /// and a terminating zero; outSize 0 writes nothing). Conversions take
    /// their parameter from args in order: numeric conversions print a
    /// text parameter or a missing one as 0; %s prints a number in decimal
    /// and a missing or null text as nothing; %n is ignored. Returns the
    /// number of characters written.
    static size_t Format(char* out, size_t outSize, const char* fmt, const ErrArg* args,
                         size_t argCount);

private:
    bool LoadText(short number, char* buf, size_t bufSize) const;
    void Collect(int32_t severity, uint16_t line, uint16_t col, const char* text);

    void* reserved = nullptr;
    uint16_t internal = 0;
    uint16_t errors = 0;
    uint16_t warnings = 0;
    uint16_t errLimit = 0;
    uint16_t warnLimit = 0;
    char* sourceName = nullptr;
    wiShellWindow* window = nullptr;
    bool collect = false;
    ErrDesc* collected = nullptr;
    ErrDesc* collectedTail = nullptr;
    bool errLimitHit = false;
    bool warnLimitHit = false;
    TextLoader loader = nullptr;
};
