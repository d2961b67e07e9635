// Throughput of the compiler on a generated type library, as the catalogue
// server compiles one on every project open: morval constructed with the
// server's options, Parse through a line reader, DelVars, destruction. The
// library holds 5 000 or 20 000 types (structures of 5 to 20 components, one-
// and two-dimensional arrays, enumerations, subranges and aliases; about 11
// lines per type). Beside it, in the same run, the floor of serving the
// same lines through the line reader alone. Each is reported in lines per
// second; the compilation also reports the heap in use right after Parse
// (the tables hold everything until DelVars and destruction, so this is the
// compilation's peak) and the process's peak resident size. The facade's
// two trace lines per compilation go to the standard output with the
// results.
#include "compiler/SymTabSet.h"
#include "compiler/morval.h"

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const kElementary[] = {"BOOL", "BYTE", "WORD", "DWORD", "SINT", "INT", "DINT",
                                   "USINT", "UINT", "UDINT", "REAL", "LREAL", "TIME", "DATE"};
constexpr size_t kElementaryCount = sizeof kElementary / sizeof kElementary[0];
constexpr int kTypesPerBlock = 50;

// A deterministic generator, so that every run compiles the same text.
struct Lcg {
    uint32_t s;
    uint32_t Next(uint32_t n) {
        s = s * 1664525u + 1013904223u;
        return (s >> 8) % n;
    }
};

struct Library {
    std::string text;
    size_t lines = 0;
};

Library Generate(int types) {
    Library lib;
    Lcg rnd{12345u};
    char buf[256];
    std::vector<int> structs; // indexes of the structures declared so far
    auto add = [&](const char* line) {
        lib.text += line;
        lib.text += '\n';
        ++lib.lines;
    };
    for (int i = 0; i < types; ++i) {
        if (i % kTypesPerBlock == 0) {
            add("TYPE");
        }
        uint32_t kind = rnd.Next(100);
        if (kind < 75) {
            // A structure of 5 to 20 components; some components use an
            // earlier structure or an array of elementary values.
            int comps = 5 + static_cast<int>(rnd.Next(16));
            std::snprintf(buf, sizeof buf, "  T%05d : STRUCT", i);
            add(buf);
            for (int c = 0; c < comps; ++c) {
                uint32_t what = rnd.Next(10);
                if (what == 0 && !structs.empty()) {
                    std::snprintf(buf, sizeof buf, "    C%02d : T%05d;", c,
                                  structs[rnd.Next(static_cast<uint32_t>(structs.size()))]);
                } else if (what == 1) {
                    std::snprintf(buf, sizeof buf, "    C%02d : ARRAY[1..%u] OF %s;", c,
                                  2 + rnd.Next(8), kElementary[rnd.Next(kElementaryCount)]);
                } else {
                    std::snprintf(buf, sizeof buf, "    C%02d : %s;", c,
                                  kElementary[rnd.Next(kElementaryCount)]);
                }
                add(buf);
            }
            add("  END_STRUCT;");
            structs.push_back(i);
        } else if (kind < 83) {
            if (rnd.Next(2) == 0) {
                std::snprintf(buf, sizeof buf, "  T%05d : ARRAY[0..%u] OF %s;", i, 3 + rnd.Next(60),
                              kElementary[rnd.Next(kElementaryCount)]);
            } else {
                std::snprintf(buf, sizeof buf, "  T%05d : ARRAY[1..%u, 1..%u] OF %s;", i,
                              2 + rnd.Next(6), 2 + rnd.Next(6),
                              kElementary[rnd.Next(kElementaryCount)]);
            }
            add(buf);
        } else if (kind < 89) {
            int values = 3 + static_cast<int>(rnd.Next(6));
            std::snprintf(buf, sizeof buf, "  T%05d : (", i);
            add(buf);
            for (int v = 0; v < values; ++v) {
                std::snprintf(buf, sizeof buf, "    T%05d_V%d%s", i, v, v + 1 < values ? "," : "");
                add(buf);
            }
            add("  );");
        } else if (kind < 95) {
            std::snprintf(buf, sizeof buf, "  T%05d : INT (%d..%u);", i, -static_cast<int>(rnd.Next(100)),
                          rnd.Next(1000));
            add(buf);
        } else {
            if (!structs.empty() && rnd.Next(2) == 0) {
                std::snprintf(buf, sizeof buf, "  T%05d : T%05d;", i,
                              structs[rnd.Next(static_cast<uint32_t>(structs.size()))]);
            } else {
                std::snprintf(buf, sizeof buf, "  T%05d : %s;", i,
                              kElementary[rnd.Next(kElementaryCount)]);
            }
            add(buf);
        }
        if (i % kTypesPerBlock == kTypesPerBlock - 1 || i + 1 == types) {
            add("END_TYPE");
        }
    }
    return lib;
}

const Library& LibraryOf(int types) {
    static const Library small = Generate(5000);
    static const Library large = Generate(20000);
    return types <= 5000 ? small : large;
}

// The line reader: the next line of the current library (fgets rule).
const std::string* g_text = nullptr;
size_t g_pos = 0;

char* Reader(char* buffer, unsigned short size) {
    if (g_text == nullptr || g_pos >= g_text->size() || size < 2) {
        return nullptr;
    }
    const char* start = g_text->data() + g_pos;
    size_t left = g_text->size() - g_pos;
    const void* nl = std::memchr(start, '\n', left);
    size_t n = nl != nullptr ? static_cast<size_t>(static_cast<const char*>(nl) - start) + 1 : left;
    if (n > static_cast<size_t>(size) - 1) {
        n = static_cast<size_t>(size) - 1;
    }
    std::memcpy(buffer, start, n);
    buffer[n] = '\0';
    g_pos += n;
    return buffer;
}

void BM_ReadLinesOnly(benchmark::State& state) {
    const Library& lib = LibraryOf(static_cast<int>(state.range(0)));
    char buffer[1024];
    for (auto _ : state) {
        g_text = &lib.text;
        g_pos = 0;
        size_t lines = 0;
        while (Reader(buffer, sizeof buffer) != nullptr) {
            ++lines;
        }
        benchmark::DoNotOptimize(lines);
    }
    state.counters["lines/s"] = benchmark::Counter(static_cast<double>(lib.lines),
                                                   benchmark::Counter::kIsIterationInvariantRate);
    state.counters["lines"] = static_cast<double>(lib.lines);
}

void BM_CompileTypeLibrary(benchmark::State& state) {
    const Library& lib = LibraryOf(static_cast<int>(state.range(0)));
    size_t heapAfterParse = 0;
    size_t errors = 0;
    size_t globals = 0;
    for (auto _ : state) {
        morval m(nullptr, nullptr, nullptr);
        m.modeFlags |= 0x8000;
        m.langFlags |= TiCompOptions::DigitNames;
        m.langFlags &= static_cast<uint16_t>(~TiCompOptions::LowerCaseKeywords);
        g_text = &lib.text;
        g_pos = 0;
        m.Parse(&Reader, "VARSVC32", nullptr, nullptr, nullptr, nullptr);
        state.PauseTiming();
        struct mallinfo2 mi = mallinfo2();
        heapAfterParse = mi.uordblks;
        errors = static_cast<size_t>(m.GetNoOfErrors());
        globals = 0;
        SymTab* g = m.st_set->GetGlobalTab();
        for (SymAttr* e = g->FindFirstEntry(); e != nullptr; e = g->FindNextEntry(e)) {
            ++globals;
        }
        state.ResumeTiming();
        m.DelVars();
    }
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    state.counters["lines/s"] = benchmark::Counter(static_cast<double>(lib.lines),
                                                   benchmark::Counter::kIsIterationInvariantRate);
    state.counters["lines"] = static_cast<double>(lib.lines);
    state.counters["heap_MB"] = static_cast<double>(heapAfterParse) / (1024.0 * 1024.0);
    state.counters["maxrss_MB"] = static_cast<double>(ru.ru_maxrss) / 1024.0;
    state.counters["errors"] = static_cast<double>(errors);
    state.counters["globals"] = static_cast<double>(globals);
}

BENCHMARK(BM_ReadLinesOnly)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompileTypeLibrary)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
