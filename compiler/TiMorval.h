// TiMorval: the compiler facade specialised for sections that an editor host
// supplies (AISection). It reads a section through the host's section
// reader, compiles it and marks it compiled.
//
// Decisions where the rules leave room:
// - AISection stays opaque: the host hands TiMorval a TiSectionReader that
//   knows how to name a section, read its text and mark it compiled.
//   Without a reader ParseSection returns 1 and EncodeSection 3 after their
//   traces.
// - The line reader handed to Parse reads through the reader of the
//   TiMorval whose ParseSection runs, at most 600 bytes per call; one
//   ParseSection runs at a time per thread.
// - EncodeSection encodes the library's unit named as the section with
//   TiEncoder; the listing goes to the options' list file when one is open,
//   and `size` receives the number of instructions. Without errors it
//   answers 0; 145 when encoding reported errors (also for a section that
//   declares no unit of its name).
#pragma once

#include "compiler/morval.h"

class AISection;
class UsageList;

/// The host's access to its sections.
class TiSectionReader {
public:
    virtual ~TiSectionReader() = default;
    /// The section's name (for traces and the template library); may be null.
    virtual const char* Name(AISection* section) = 0;
    /// Fills `buffer` (of `size` bytes, at most 600) with the next part of
    /// the section's text, zero-terminated, and returns it; null at its end.
    virtual char* Read(AISection* section, char* buffer, unsigned short size) = 0;
    /// Called when the section compiled without errors.
    virtual void MarkCompiled(AISection* section) = 0;
};

namespace timorvalcode {

/// Bytes read from a section per call.
constexpr unsigned short kReadSize = 600;

/// ParseSection without a section or section reader.
constexpr short PS_NO_READER = 1;

// EncodeSection.
constexpr short ES_NO_ADAPTER = 3;
constexpr short ES_NO_SET = 140;
constexpr short ES_NO_LIBRARY = 141;
constexpr short ES_ERRORS = 143;
constexpr short ES_NO_ENCODER = 144;
constexpr short ES_ENCODE_ERRORS = 145;

/// modeFlags the constructor clears and sets.
constexpr uint16_t MODE_CLEARED = 0x0001;
constexpr uint16_t MODE_SET = 0x0100;

} // namespace timorvalcode

/// A facade for an editor host.
class TiMorval : public morval {
public:
    /// A facade without options given (the user preferences), then
    /// modeFlags 0x0001 cleared and 0x0100 set.
    TiMorval(wiShellWindow* win, BADatabase* db);
    ~TiMorval() override = default;

    /// The reader used for sections (not owned; may be null).
    void SetSectionReader(TiSectionReader* r) { sectionReader = r; }
    TiSectionReader* GetSectionReader() const { return sectionReader; }

    /// Traces "Begin TiMorval::ParseSection(%s)", sets the adapter's section
    /// mode from `flag`, reads the section through the section reader and
    /// runs Parse; without errors and with `flag` clear the section is
    /// marked compiled. Traces "End TiMorval::ParseSection, Status = %d".
    /// Returns Parse's result (or 1 without section or reader).
    short ParseSection(AISection* section, ErrCount* counts, TiNode** tree, bool flag,
                       AST_Update* update);

    /// Traces "Begin TiMorval::EncodeSection(%s)"; parses the section when
    /// the template library has no unit of its name, then encodes that unit:
    /// 3 without adapter, 140 without tables, 141 without library, 143 when
    /// errors were reported, 144 when no encoder can be made, 145 when
    /// encoding reported errors, else 0. Traces "End
    /// TiMorval::EncodeSection, Status = %d". `size` (when given) receives
    /// the number of instructions (0 when none were encoded).
    short EncodeSection(AISection* section, unsigned long* size, UsageList* usage);

private:
    static char* ReadSection(char* buffer, unsigned short size);
    /// Encodes the unit `name` of the library (see EncodeSection).
    short EncodeUnitOf(const char* name, unsigned long* size);

    TiSectionReader* sectionReader = nullptr;
    AISection* readingSection = nullptr; ///< the section read while ParseSection runs
};
