// TiMorval: the editor host's facade: sections read through the host's
// section reader, compiled, and marked compiled.
#include "compiler/TiMorval.h"

#include "compiler/ErrMess.h"
#include "compiler/Library.h"
#include "compiler/SymTabSet.h"
#include "compiler/TiDB.h"
#include "compiler/TiEncoder.h"

#include <cstdio>
#include <cstring>
#include <new>

using namespace timorvalcode;

namespace {

// The facade whose ParseSection runs on this thread: the line reader that
// Parse takes is a plain function and finds its section here.
thread_local TiMorval* tlsReading = nullptr;

void Trace(const char* text) {
    std::fputs(text, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

const char* SectionName(TiSectionReader* reader, AISection* section) {
    const char* n = reader != nullptr && section != nullptr ? reader->Name(section) : nullptr;
    return n != nullptr ? n : "";
}

} // namespace

TiMorval::TiMorval(wiShellWindow* win, BADatabase* db) : morval(db, win, nullptr) {
    modeFlags &= static_cast<uint16_t>(~MODE_CLEARED);
    modeFlags |= MODE_SET;
}

char* TiMorval::ReadSection(char* buffer, unsigned short size) {
    TiMorval* self = tlsReading;
    if (self == nullptr || self->sectionReader == nullptr || buffer == nullptr || size < 2) {
        return nullptr;
    }
    unsigned short n = size < kReadSize ? size : kReadSize;
    return self->sectionReader->Read(self->readingSection, buffer, n);
}

short TiMorval::ParseSection(AISection* section, ErrCount* counts, TiNode** tree, bool flag,
                             AST_Update* update) {
    char line[128];
    std::snprintf(line, sizeof line, "Begin TiMorval::ParseSection(%.80s)",
                  SectionName(sectionReader, section));
    Trace(line);
    short result = 0;
    if (tree != nullptr) {
        *tree = nullptr;
    }
    if (section == nullptr || sectionReader == nullptr) {
        result = PS_NO_READER;
    } else {
        if (db_if != nullptr) {
            db_if->SetSectionMode(flag);
        }
        TiMorval* outer = tlsReading;
        AISection* outerSection = readingSection;
        tlsReading = this;
        readingSection = section;
        result = Parse(&TiMorval::ReadSection, SectionName(sectionReader, section), section, tree,
                       counts, update);
        tlsReading = outer;
        readingSection = outerSection;
        if (result == 0 && GetNoOfErrors() == 0 && !flag) {
            sectionReader->MarkCompiled(section);
        }
    }
    std::snprintf(line, sizeof line, "End TiMorval::ParseSection, Status = %d",
                  static_cast<int>(result));
    Trace(line);
    return result;
}

short TiMorval::EncodeUnitOf(const char* name, unsigned long* size) {
    // The listing goes to the options' list file, when one is open.
    TiEncoder* made = new (std::nothrow) TiEncoder(st_set, library, db_if, errMess);
    if (made == nullptr) {
        ReportNoMemory(__LINE__);
        return ES_NO_ENCODER;
    }
    encoder = made;
    int32_t count = 0;
    short rc = made->EncodeNamed(bodies, name, listFile, &count);
    encoder = nullptr;
    delete made;
    if (size != nullptr) {
        *size = static_cast<unsigned long>(count);
    }
    if (rc == tienc::UNIT_NO_ENCODER) {
        return ES_NO_ENCODER;
    }
    return rc != 0 ? ES_ENCODE_ERRORS : 0;
}

short TiMorval::EncodeSection(AISection* section, unsigned long* size, UsageList* /*usage*/) {
    char line[128];
    const char* name = SectionName(sectionReader, section);
    std::snprintf(line, sizeof line, "Begin TiMorval::EncodeSection(%.80s)", name);
    Trace(line);
    if (size != nullptr) {
        *size = 0;
    }
    short result = 0;
    if (db_if == nullptr) {
        result = ES_NO_ADAPTER;
    } else if (status != 0) {
        result = static_cast<short>(status);
    } else if (st_set == nullptr) {
        result = ES_NO_SET;
    } else if (library == nullptr) {
        result = ES_NO_LIBRARY;
    } else {
        if (library->FindUnit(name) == nullptr && section != nullptr && sectionReader != nullptr) {
            result = ParseSection(section, nullptr, nullptr, false, nullptr);
        }
        if (result == 0) {
            result = GetNoOfErrors() != 0 ? ES_ERRORS : EncodeUnitOf(name, size);
        }
    }
    std::snprintf(line, sizeof line, "End TiMorval::EncodeSection, Status = %d",
                  static_cast<int>(result));
    Trace(line);
    return result;
}
