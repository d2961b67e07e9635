// Test helper for the emitter tests: a listing file read back as text and a
// lookup whose answers the test sets.
#pragma once

#include "TreeTestSupport.h"
#include "compiler/TiEmitter.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace emittest {

/// A temporary listing file; Text() reads back everything written so far.
class Listing {
public:
    Listing() : file(std::tmpfile()) {}
    ~Listing() {
        if (file != nullptr) {
            std::fclose(file);
        }
    }
    Listing(const Listing&) = delete;
    Listing& operator=(const Listing&) = delete;

    FILE* File() const { return file; }
    std::string Text() const {
        std::string out;
        if (file == nullptr) {
            return out;
        }
        std::fflush(file);
        long end = std::ftell(file);
        std::rewind(file);
        out.resize(static_cast<size_t>(end));
        size_t got = std::fread(out.data(), 1, out.size(), file);
        out.resize(got);
        std::fseek(file, 0, SEEK_END);
        return out;
    }

private:
    FILE* file;
};

/// Answers set by the test; records what it was asked.
class FakeLookup : public TiEmitLookup {
public:
    std::map<std::string, SymAttr*> unitTypes;
    std::map<std::string, SymAttr*> dbTypes;
    std::map<const IEC_CONSTANT*, uint16_t> pool;
    std::vector<std::string> asked; ///< "unit:NAME" / "db:NAME", in order
    Library* seenLibrary = nullptr;
    TiDB* seenDb = nullptr;

    SymAttr* FindUnitFBType(Library* library, const char* name) override {
        seenLibrary = library;
        asked.push_back(std::string("unit:") + name);
        auto it = unitTypes.find(name);
        return it != unitTypes.end() ? it->second : nullptr;
    }
    SymAttr* FindDatabaseFBType(TiDB* db, const char* name) override {
        seenDb = db;
        asked.push_back(std::string("db:") + name);
        auto it = dbTypes.find(name);
        return it != dbTypes.end() ? it->second : nullptr;
    }
    bool GetPoolIndex(const IEC_CONSTANT& c, uint16_t* index) override {
        auto it = pool.find(&c);
        if (it == pool.end()) {
            return false;
        }
        *index = it->second;
        return true;
    }
};

/// Distinct opaque pointers for the database adapter and the library: the
/// emitter only stores and hands them on.
inline TiDB* FakeDb() {
    static long tag = 0;
    return reinterpret_cast<TiDB*>(&tag);
}
inline Library* FakeLibrary() {
    static long tag = 0;
    return reinterpret_cast<Library*>(&tag);
}

} // namespace emittest
