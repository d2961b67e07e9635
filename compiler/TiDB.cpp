// TiDB: the current program unit, the running variable counter and the host
// queries that have no host behind them.
#include "compiler/TiDB.h"

#include "compiler/SymAttr.h"

#include <cstring>
#include <new>

namespace {

char* CopyName(const char* s) {
    size_t len = std::strlen(s) + 1;
    char* copy = new (std::nothrow) char[len];
    if (copy != nullptr) {
        std::memcpy(copy, s, len);
    }
    return copy;
}

} // namespace

TiDB::TiDB(BADatabase* db, SymTabSet* set, ErrMess* sink) : database(db), set(set), sink(sink) {
    unitName = CopyName(kInitialUnitName);
    if (unitName == nullptr) {
        status = sym::DEF_NO_MEMORY;
    }
}

TiDB::~TiDB() {
    delete[] unitName;
}

short TiDB::SetSection(AISection* s, TiCompOptions* /*opts*/) {
    // Without a host database there is nothing to select the section in;
    // the adapter only remembers it for the facade.
    section = s;
    return 0;
}

const char* TiDB::GetUnitName() const {
    // The name copy can only be missing when the constructor ran out of
    // memory; the initial name stands in for it then.
    return unitName != nullptr ? unitName : kInitialUnitName;
}

short TiDB::SetUnit(const char* name, unsigned char type) {
    unitType = type;
    if (name == nullptr) {
        return 0;
    }
    char* copy = CopyName(name);
    if (copy == nullptr) {
        return sym::DEF_NO_MEMORY;
    }
    delete[] unitName;
    unitName = copy;
    return 0;
}

unsigned short TiDB::NextVarNumber() {
    // 0 means "no number" to the tables' id index, so the counter skips it
    // when it wraps.
    ++varCounter;
    if (varCounter == 0) {
        varCounter = 1;
    }
    return varCounter;
}

SymAttr* TiDB::GetFBTemplate(const char* /*name*/) {
    return nullptr;
}
