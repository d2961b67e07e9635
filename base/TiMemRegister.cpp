// The memory registry: TiMemRegTab with its record and name callbacks, and the
// process-wide switch, registration, withdrawal and dump. No lock: callers
// use it from one thread at a time.
#include "base/TiMemRegister.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

void* NewRecord(void* address) {
    return new (std::nothrow) TiMemRegAttr(address);
}

void DeleteRecord(void* rec) {
    delete static_cast<TiMemRegAttr*>(rec);
}

// The "name" of a record is its block address.
char* RecordName(void* rec) {
    return static_cast<char*>(static_cast<TiMemRegAttr*>(rec)->address);
}

void* CopyName(void* name) {
    const char* src = static_cast<const char*>(name);
    size_t len = std::strlen(src);
    char* copy = new (std::nothrow) char[len + 1];
    if (copy != nullptr) {
        std::memcpy(copy, src, len + 1);
    }
    return copy;
}

void DeleteName(void* name) {
    delete[] static_cast<char*>(name);
}

// The design's line numbers are 32-bit and printed with %lu; as on the
// 32-bit platform, a negative line prints as its unsigned 32-bit value.
unsigned long LineArg(int32_t line) {
    return static_cast<unsigned long>(static_cast<uint32_t>(line));
}

// printf's %s is undefined for null; an unknown unit prints as "(null)".
const char* UnitArg(const char* unit) {
    return unit != nullptr ? unit : "(null)";
}

// Blocks travel in the name slot of the table as themselves.
char* Key(void* block) {
    return static_cast<char*>(block);
}

TiMemRegTab* g_registry = nullptr;
uint8_t g_enabled = 0;

} // namespace

// ---------------------------------------------------------------- TiMemRegTab

TiMemRegTab::TiMemRegTab(short* status_)
    : HashTab(kSize, 0, NewRecord, DeleteRecord, RecordName, nullptr),
      units(kUnitSize, 0, CopyName, DeleteName, nullptr, nullptr) {
    // A registry without its name table is not usable either.
    if (units.GetStatus() != 0) {
        status = 1;
    }
    if (status_ != nullptr) {
        *status_ = status;
    }
}

short TiMemRegTab::CmpName(char* a, char* b) {
    return (a != nullptr && a == b) ? 0 : 1;
}

unsigned short TiMemRegTab::hash(char* address) {
    if (size == 0) {
        return 0;
    }
    uintptr_t bits = reinterpret_cast<uintptr_t>(address);
    return static_cast<unsigned short>(static_cast<uint16_t>(bits >> 16) % size);
}

char* TiMemRegTab::InternUnit(char* unit) {
    return static_cast<char*>(units.add(unit, false));
}

// ------------------------------------------------------------- registration

void TiMemRegisterEnable(bool on) {
    if (g_enabled != 0 && g_registry != nullptr) {
        delete g_registry;
        g_registry = nullptr;
    }
    g_enabled = on ? 1 : 0;
    if (on && g_registry == nullptr) {
        short st = 0;
        g_registry = new (std::nothrow) TiMemRegTab(&st);
        // A registry that could not get its tables is treated as none: every
        // call then returns at once, as with registration off.
        if (g_registry != nullptr && st != 0) {
            delete g_registry;
            g_registry = nullptr;
        }
    }
}

void TiMemRegisterMemory(void* block, char* unit, int32_t line) {
    if (block == nullptr || g_registry == nullptr) {
        return;
    }
    auto* rec = static_cast<TiMemRegAttr*>(g_registry->find(Key(block)));
    if (rec != nullptr) {
        std::printf("\nSpeicher %p bereits registiert\nalt: Line: %lu File: %s\nneu: Line: %lu "
                    "File: %s",
                    block, LineArg(rec->line), UnitArg(rec->unit), LineArg(line), UnitArg(unit));
        std::fflush(stdout);
    } else {
        rec = static_cast<TiMemRegAttr*>(g_registry->add(Key(block), false));
        if (rec == nullptr) {
            return; // no memory for the record: the block stays unregistered
        }
    }
    rec->DefLoc(g_registry->InternUnit(unit), line);
}

int TiMemDeRegisterMemoryFkt(void* block, char* unit, int32_t line) {
    if (block == nullptr || g_registry == nullptr) {
        return 0;
    }
    if (g_registry->detach(Key(block), nullptr, false) == 0) {
        return 0;
    }
    std::printf("\nSpeicher wurde %p nicht registiert:\nFile: %s Zeile %lu", block, UnitArg(unit),
                LineArg(line));
    std::fflush(stdout);
    return 1;
}

void TiMemDumpMemory() {
    if (g_registry == nullptr) {
        return;
    }
    bool first = true;
    for (void* obj = g_registry->FindFirst(); obj != nullptr; obj = g_registry->FindNext(obj)) {
        const auto* rec = static_cast<const TiMemRegAttr*>(obj);
        if (first) {
            std::fputs("\nMemory Dump:", stdout);
            first = false;
        }
        std::printf("\nLine: %lu File: %s  Mem: %p", LineArg(rec->line), UnitArg(rec->unit),
                    rec->address);
    }
    std::fflush(stdout);
}
