// Test helper: builds data-type records the way the declaration context
// does (elementary types, structures, enumerations, arrays as chains of
// one-dimensional arrays with generated names) and owns every record it
// made, so that each test starts from a clean set of free-standing types.
#pragma once

#include "compiler/SymAttr.h"

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TypeArena {
public:
    /// A named, undefined record owned by the arena.
    SymAttr* Named(const char* name) {
        records.push_back(std::make_unique<SymAttr>(name));
        return records.back().get();
    }
    /// An anonymous, undefined record owned by the arena.
    SymAttr* Anonymous() { return Named(nullptr); }

    /// The elementary type of that id, made once per arena.
    SymAttr* Elem(short id) {
        for (auto& [eid, rec] : elems) {
            if (eid == id) {
                return rec;
            }
        }
        const sym::ElemTypeInfo* info = sym::GetElemTypeInfo(id);
        SymAttr* r = Named(info->name);
        r->DefElemType(id, info->size, info->defaultLit, true, info->restricted, info->generic);
        elems.emplace_back(id, r);
        return r;
    }

    /// A structure over components (name, type), in order; the component
    /// records are owned by the arena. Returns the structure (named or not).
    SymAttr* Struct(const char* name, const std::vector<std::pair<const char*, SymAttr*>>& comps,
                    short* rc = nullptr) {
        SymAttr* prev = nullptr;
        for (auto& [cname, ctype] : comps) {
            SymAttr* c = Named(cname);
            c->DefStructComp(ctype, prev);
            prev = c;
        }
        SymAttr* s = Named(name);
        short r = s->DefStructType(prev, FakeTab());
        if (rc != nullptr) {
            *rc = r;
        }
        return s;
    }

    /// An enumeration over value names; values 0, 1, 2, ...
    SymAttr* Enum(const char* name, const std::vector<const char*>& values) {
        SymAttr* prev = nullptr;
        unsigned short v = 0;
        for (const char* vname : values) {
            SymAttr* e = Named(vname);
            e->DefEnumVal(v++, prev);
            prev = e;
        }
        SymAttr* t = Named(name);
        t->DefEnumType(prev, FakeTab());
        return t;
    }

    /// A one-dimensional array lo..hi of elem, with the given name.
    SymAttr* Array1(const char* name, int32_t lo, int32_t hi, SymAttr* elem) {
        SymAttr* a = Named(name);
        a->DefArrayType(new Subrange(lo, hi), elem);
        return a;
    }

    /// ARRAY[d1, ..., dn] OF elem as the declaration context builds it: for
    /// k = n down to 2 a named global array "elem[lo..hi(,...)]" of the
    /// current element over dimension k (reused when it exists), then an
    /// anonymous array over d1.
    SymAttr* ArrayChain(const std::vector<std::pair<int32_t, int32_t>>& dims, SymAttr* elem) {
        SymAttr* cur = elem;
        for (size_t k = dims.size(); k-- > 1;) {
            std::string n = ChainName(cur, dims[k]);
            SymAttr* found = nullptr;
            for (auto& r : records) {
                if (r->GetName() != nullptr && n == r->GetName() && r->IsDType()) {
                    found = r.get();
                }
            }
            if (found == nullptr) {
                found = Array1(n.c_str(), dims[k].first, dims[k].second, cur);
            }
            cur = found;
        }
        SymAttr* a = Anonymous();
        a->DefArrayType(new Subrange(dims[0].first, dims[0].second), cur);
        return a;
    }

    /// Gives up ownership of a record that a definition destroyed.
    void Forget(SymAttr* r) {
        for (auto& p : records) {
            if (p.get() == r) {
                (void)p.release();
            }
        }
    }

    /// A distinct non-null table pointer for definitions that want one; it
    /// is never dereferenced by the data-type code.
    SymTab* FakeTab() { return reinterpret_cast<SymTab*>(&fakeTab); }

private:
    static std::string ChainName(SymAttr* elem, std::pair<int32_t, int32_t> d) {
        char range[64];
        std::snprintf(range, sizeof range, "%ld..%ld", static_cast<long>(d.first),
                      static_cast<long>(d.second));
        std::string en = elem->GetName() != nullptr ? elem->GetName() : "";
        if (!en.empty() && en.back() == ']') {
            size_t open = en.rfind('[');
            return en.substr(0, open + 1) + range + "," + en.substr(open + 1);
        }
        return en + "[" + range + "]";
    }

    std::vector<std::unique_ptr<SymAttr>> records;
    std::vector<std::pair<short, SymAttr*>> elems;
    long fakeTab = 0;
};
