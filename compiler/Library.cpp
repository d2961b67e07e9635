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

// The name as the index keys it: upper-cased by the ANSI case mapping, so
// that names compare without regard to case as the symbol tables do.
bool Key(const char* name, std::string* key) {
    if (name == nullptr) {
        return false;
    }
    try {
        key->assign(name);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (char& c : *key) {
        c = static_cast<char>(TiToUpper(static_cast<unsigned char>(c)));
    }
    return true;
}

} // namespace

bool Library::Register(Registry& r, SymAttr* rec) {
    std::string key;
    if (!Key(rec->GetName(), &key)) {
        return false;
    }
    try {
        auto it = r.byName.find(key);
        if (it != r.byName.end()) {
            r.list[it->second] = rec;
            return true;
        }
        r.list.push_back(rec);
        try {
            r.byName.emplace(std::move(key), r.list.size() - 1);
        } catch (const std::bad_alloc&) {
            r.list.pop_back();
            return false;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

SymAttr* Library::Find(const Registry& r, const char* name) {
    std::string key;
    if (!Key(name, &key)) {
        return nullptr;
    }
    auto it = r.byName.find(key);
    return it != r.byName.end() ? r.list[it->second] : nullptr;
}

void Library::Forget(Registry& r, SymAttr* rec) {
    // Rare (a deleted variable or unit): the positions are rebuilt.
    auto end = std::remove(r.list.begin(), r.list.end(), rec);
    if (end == r.list.end()) {
        return;
    }
    r.list.erase(end, r.list.end());
    r.byName.clear();
    std::string key;
    for (size_t i = 0; i < r.list.size(); ++i) {
        if (Key(r.list[i]->GetName(), &key)) {
            try {
                r.byName.emplace(key, i);
            } catch (const std::bad_alloc&) {
                // A name missing from the index is only not found by name.
            }
        }
    }
}

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
    if (unit->GetName() == nullptr) {
        return sym::DEF_NULL_ARG;
    }
    return Register(units, unit) ? sym::DEF_OK : sym::DEF_NO_MEMORY;
}

SymAttr* Library::FindUnit(const char* name) const {
    return Find(units, name);
}

void Library::ReleaseUnits() {
    units.list.clear();
    units.byName.clear();
}

short Library::AddType(SymAttr* type) {
    if (type == nullptr) {
        return sym::DEF_NULL_ARG;
    }
    if (!type->IsDType()) {
        return sym::DEF_WRONG_KIND;
    }
    if (type->GetName() == nullptr) {
        return sym::DEF_NULL_ARG;
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
    Forget(units, rec);
    Forget(types, rec);
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
    std::sort(kept.begin(), kept.end(), [](const Kept& a, const Kept& b) {
        return std::less<TiInitValSpec*>()(a.value, b.value);
    });
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
