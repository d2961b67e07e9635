// Library: registration of program units and visible types, and ownership of
// the initial values of declared variables.
#include "compiler/Library.h"

#include "base/TiCharUtil.h"
#include "compiler/SymAttr.h"
#include "compiler/SymTab.h"
#include "compiler/TiInitValSpec.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <new>

namespace {

bool SameName(const SymAttr* rec, const char* name) {
    if (rec == nullptr || rec->GetName() == nullptr || name == nullptr) {
        return false;
    }
    return TiStricmp(const_cast<char*>(rec->GetName()), const_cast<char*>(name)) == 0;
}

// Replaces a record of the same name or appends; false when out of memory.
bool Register(std::vector<SymAttr*>& list, SymAttr* rec) {
    for (SymAttr*& r : list) {
        if (r == rec || SameName(r, rec->GetName())) {
            r = rec;
            return true;
        }
    }
    try {
        list.push_back(rec);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

SymAttr* Find(const std::vector<SymAttr*>& list, const char* name) {
    for (SymAttr* r : list) {
        if (SameName(r, name)) {
            return r;
        }
    }
    return nullptr;
}

} // namespace

Library::Library(ErrMess* s) : sink(s) {}

Library::~Library() {
    ReleaseInitVals(nullptr);
}

short Library::AddUnit(SymAttr* unit) {
    if (unit == nullptr) {
        return sym::DEF_NULL_ARG;
    }
    if (unit->GetKind() != sym::KIND_POU) {
        return sym::DEF_WRONG_KIND;
    }
    return Register(units, unit) ? sym::DEF_OK : sym::DEF_NO_MEMORY;
}

SymAttr* Library::FindUnit(const char* name) const {
    return Find(units, name);
}

void Library::ReleaseUnits() {
    units.clear();
}

short Library::AddType(SymAttr* type) {
    if (type == nullptr) {
        return sym::DEF_NULL_ARG;
    }
    if (!type->IsDType()) {
        return sym::DEF_WRONG_KIND;
    }
    return Register(types, type) ? sym::DEF_OK : sym::DEF_NO_MEMORY;
}

SymAttr* Library::FindType(const char* name) const {
    return Find(types, name);
}

void Library::ForgetRecord(SymAttr* rec) {
    if (rec == nullptr) {
        return;
    }
    units.erase(std::remove(units.begin(), units.end(), rec), units.end());
    types.erase(std::remove(types.begin(), types.end(), rec), types.end());
    // The variable's entries go; a value that no other variable shares is
    // destroyed with them. Nothing here allocates.
    for (size_t i = 0; i < kept.size();) {
        if (kept[i].var != rec) {
            ++i;
            continue;
        }
        TiInitValSpec* v = kept[i].value;
        kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(i));
        if (!std::any_of(kept.begin(), kept.end(), [v](const Kept& k) { return k.value == v; })) {
            DestroyValue(v);
        }
    }
}

short Library::KeepInitVal(SymAttr* var, TiInitValSpec* value) {
    if (value == nullptr) {
        return sym::DEF_NULL_ARG;
    }
    try {
        kept.push_back(Kept{var, value});
    } catch (const std::bad_alloc&) {
        return sym::DEF_NO_MEMORY;
    }
    return sym::DEF_OK;
}

size_t Library::GetInitValCount() const {
    size_t n = 0;
    for (size_t i = 0; i < kept.size(); ++i) {
        bool earlier = false;
        for (size_t j = 0; j < i && !earlier; ++j) {
            earlier = kept[j].value == kept[i].value;
        }
        n += earlier ? 0 : 1;
    }
    return n;
}

void Library::ReleaseInitVals(SymTab* global) {
    if (global != nullptr) {
        // Only variables that are still in the global table are touched: the
        // records of other tables may be gone already.
        for (SymAttr* r = global->FindFirstEntry(); r != nullptr; r = global->FindNextEntry(r)) {
            TiInitValSpec* v = r->GetInitVal();
            if (v != nullptr && std::any_of(kept.begin(), kept.end(),
                                            [v](const Kept& k) { return k.value == v; })) {
                r->SetInitVal(nullptr);
            }
        }
    }
    // Shared values are destroyed once: sorted by value, equal values are
    // neighbours. Sorting does not allocate, so this is safe in the
    // destructor.
    std::sort(kept.begin(), kept.end(),
              [](const Kept& a, const Kept& b) { return std::less<TiInitValSpec*>()(a.value, b.value); });
    for (size_t i = 0; i < kept.size(); ++i) {
        if (i == 0 || kept[i].value != kept[i - 1].value) {
            DestroyValue(kept[i].value);
        }
    }
    kept.clear();
}

void Library::DestroyValue(TiInitValSpec* value) {
    TiDelInitValSpecList(value);
}
