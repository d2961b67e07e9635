// Benchmarks of the catalogue server's var file and catalogue: bRead of a
// generated var file of 1 000 000 variables beside a plain fgets loop over
// the same file (the floor), the resident memory of the loaded catalogue
// beside the file's size, a full filter selection walked with NextEntry,
// and the reads that must not depend on the catalogue's size (bRead of a
// loaded project, bVerifyTimeStamp of an unchanged file).
//
// The project's 20 derived types are compiled from a type file by the
// compiler library, as the server does it; with 20 types the compilation is
// a small part of a read.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "compiler/SymAttr.h"
#include "platform/Environment.h"
#include "server/KorvaneProject.h"
#include "server/MorvalTypeCompiler.h"

namespace {

// ------------------------------------------------------ the bench's types

struct DerivedType {
    const char* name;
    bool structure;
    std::vector<std::pair<const char*, const char*>> components; // structure
    int lower, upper;                                            // array
    const char* element;                                         // array
};

const std::vector<DerivedType> kDerived = {
    {"ALARM_T", true, {{"Active", "BOOL"}, {"Acked", "BOOL"}, {"Code", "UINT"}}, 0, 0, nullptr},
    {"ANALOG_T", true, {{"Raw", "INT"}, {"Value", "REAL"}, {"Status", "WORD"}}, 0, 0, nullptr},
    {"VALVE_T", true, {{"Open", "BOOL"}, {"Closed", "BOOL"}, {"Cmd", "BOOL"}, {"Fault", "ALARM_T"}}, 0, 0, nullptr},
    {"MOTOR_T", true, {{"Speed", "INT"}, {"On", "BOOL"}, {"Current", "REAL"}, {"Alarm", "ALARM_T"}}, 0, 0, nullptr},
    {"TANK_T", true, {{"Level", "ANALOG_T"}, {"Inlet", "VALVE_T"}, {"Outlet", "VALVE_T"}}, 0, 0, nullptr},
    {"RECIPE_T", false, {}, 1, 10, "DINT"},
    {"TEMP4_T", false, {}, 1, 4, "INT"},
    {"BATCH_T", true, {{"Id", "UDINT"}, {"Steps", "RECIPE_T"}, {"Temps", "TEMP4_T"}}, 0, 0, nullptr},
    {"MOTORS_T", false, {}, 1, 4, "MOTOR_T"},
    {"CONVEYOR_T", true, {{"Drive", "MOTOR_T"}, {"Belt_Speed", "REAL"}, {"Jammed", "BOOL"}}, 0, 0, nullptr},
    {"PID_T", true, {{"Kp", "REAL"}, {"Ti", "TIME"}, {"Td", "TIME"}, {"Out", "REAL"}}, 0, 0, nullptr},
    {"COUNTER_T", true, {{"Count", "UDINT"}, {"Preset", "UDINT"}, {"Done", "BOOL"}}, 0, 0, nullptr},
    {"BYTES16_T", false, {}, 0, 15, "BYTE"},
    {"WORDS8_T", false, {}, 1, 8, "WORD"},
    {"REALS6_T", false, {}, 1, 6, "REAL"},
    {"AXIS_T", true, {{"Pos", "DINT"}, {"Vel", "REAL"}, {"Homed", "BOOL"}}, 0, 0, nullptr},
    {"AXES_T", false, {}, 1, 3, "AXIS_T"},
    {"SCALE_T", true, {{"Lo", "REAL"}, {"Hi", "REAL"}}, 0, 0, nullptr},
    {"CHANNEL_T", true, {{"In", "ANALOG_T"}, {"Scale", "SCALE_T"}}, 0, 0, nullptr},
    {"STATION_T", true, {{"Conveyor", "CONVEYOR_T"}, {"Axes", "AXES_T"}, {"Alarm", "ALARM_T"}}, 0, 0, nullptr},
};

// The derived types as IEC 61131-3 text, for the project's type file.
std::string TypeFileText() {
    std::string text = "TYPE\n";
    for (const DerivedType& d : kDerived) {
        text += "    " + std::string(d.name) + " : ";
        if (d.structure) {
            text += "STRUCT\n";
            for (const auto& [name, typeName] : d.components)
                text += "        " + std::string(name) + " : " + typeName + ";\n";
            text += "    END_STRUCT;\n";
        } else {
            text += "ARRAY[" + std::to_string(d.lower) + ".." + std::to_string(d.upper) + "] OF " + d.element + ";\n";
        }
    }
    return text + "END_TYPE\n";
}

// ------------------------------------------------------ the generated file

const std::vector<std::pair<const char*, int>> kElementary = {
    {"BOOL", 1}, {"BYTE", 1}, {"WORD", 2}, {"DWORD", 4}, {"INT", 2},  {"DINT", 4},
    {"UINT", 2}, {"UDINT", 4}, {"REAL", 4}, {"LREAL", 8}, {"TIME", 4}, {"SINT", 1},
};

// The sizes of the derived types as the compiler computes them.
std::map<std::string, int> DerivedSizes(const std::string& typeFile) {
    MorvalTypeCompiler c;
    std::map<std::string, int> sizes;
    if (!c.Create() || !c.Compile(typeFile))
        return sizes;
    for (const DerivedType& d : kDerived)
        if (SymAttr* t = c.LookupByName(d.name))
            sizes[d.name] = static_cast<int>(t->GetMemsize(0));
    return sizes;
}

// One project directory with a var file of `count` variables: root/bin is
// the server's directory, root/plc/Bench.dty the type file, root/plc/var/p.var
// the var file.
struct Plant {
    std::string root, projectPath, varFile, typeFile;
    size_t fileBytes = 0;

    explicit Plant(int count) {
        char pattern[] = "/tmp/varsvc-bench-XXXXXX";
        root = mkdtemp(pattern);
        std::filesystem::create_directories(root + "/bin");
        std::filesystem::create_directories(root + "/tmp");
        std::filesystem::create_directories(root + "/plc/var");
        projectPath = root + "/plc/p.prj";
        varFile = root + "/plc/var/p.var";
        typeFile = root + "/plc/Bench.dty";
        FILE* t = fopen(typeFile.c_str(), "w");
        fputs(TypeFileText().c_str(), t);
        fclose(t);
        Generate(count);
        fileBytes = std::filesystem::file_size(varFile);
    }
    ~Plant() {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }

    void Generate(int count) {
        std::mt19937 rng(20010913);
        const std::map<std::string, int> derived = DerivedSizes(typeFile);
        if (derived.size() != kDerived.size())
            fprintf(stderr, "the bench types did not compile\n");
        std::vector<std::pair<std::string, int>> types(kElementary.begin(), kElementary.end());
        for (const auto& [name, size] : derived)
            types.emplace_back(name, size);
        static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_";
        static const char* kWords[] = {"pump", "valve", "motor", "level", "alarm", "setpoint", "tank",
                                       "line", "feed", "temp", "pressure", "flow", "station", "drive"};
        FILE* f = fopen(varFile.c_str(), "wb");
        fputs("Korvane 2.5 var file\r\nProject time stamp,09/13/01 13:46:40\r\n", f);
        std::string name, comment;
        for (int i = 0; i < count; ++i) {
            // 8-24 characters: random letters, then the number (unique).
            const std::string number = std::to_string(i);
            const int length = 8 + static_cast<int>(rng() % 17);
            name.clear();
            for (int k = static_cast<int>(number.size()) + 1; k < length; ++k)
                name += kLetters[rng() % (sizeof kLetters - 1)];
            name += '_';
            name += number;
            // Mostly elementary, a third derived.
            const auto& type = rng() % 3 == 0 ? types[kElementary.size() + rng() % derived.size()]
                                              : types[rng() % kElementary.size()];
            const int kind = static_cast<int>(rng() % 10);
            const int section = static_cast<int>(rng() % 5);
            comment.clear();
            const int commentLength = static_cast<int>(rng() % 41);
            while (static_cast<int>(comment.size()) < commentLength) {
                comment += kWords[rng() % 14];
                comment += ' ';
            }
            comment.resize(static_cast<size_t>(commentLength));
            fprintf(f, "%s,%d,%d,0,%s,%d,%d,%d,0,0,0,%d,%s\r\n", name.c_str(), i, kind, type.first.c_str(),
                    type.second, section, static_cast<int>(rng() % 65536), static_cast<int>(rng() % 2),
                    comment.c_str());
        }
        fputs("@#$@#$\r\n", f);
        fclose(f);
    }
};

long ResidentBytes() {
    long pages = 0, resident = 0;
    FILE* f = fopen("/proc/self/statm", "r");
    if (f != nullptr) {
        if (fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

// Elapsed and processor seconds of one run of `work`.
struct Seconds {
    double real = 0, cpu = 0;
};
template <typename Work>
Seconds Measure(Work&& work) {
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t startCpu = std::clock();
    work();
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            static_cast<double>(std::clock() - startCpu) / CLOCKS_PER_SEC};
}

// The floor: a plain fgets loop over the file, best of three.
Seconds FgetsSeconds(const std::string& path) {
    Seconds best{1e9, 1e9};
    for (int round = 0; round < 3; ++round) {
        Seconds s = Measure([&] {
            FILE* f = fopen(path.c_str(), "r");
            char line[512];
            long lines = 0;
            while (fgets(line, sizeof line, f) != nullptr)
                ++lines;
            fclose(f);
            benchmark::DoNotOptimize(lines);
        });
        best.real = std::min(best.real, s.real);
        best.cpu = std::min(best.cpu, s.cpu);
    }
    return best;
}

// One loaded project per size, made at first use and kept for the run.
struct Loaded {
    std::unique_ptr<Plant> plant;
    std::unique_ptr<KorvaneProject> project;
    Seconds fgets;
    Seconds firstRead;
    Seconds firstOrderedWalk; // the first walk after a read builds the key order
    long residentGrowth = 0;
};

Loaded& LoadedPlant(int count) {
    static std::map<int, std::unique_ptr<Loaded>> plants;
    auto& slot = plants[count];
    if (!slot) {
        // No log pipe: a pipe that cannot be opened would add its waits.
        SetEnvironmentVariableA("VQ_LOGNAME", nullptr);
        slot = std::make_unique<Loaded>();
        slot->plant = std::make_unique<Plant>(count);
        std::filesystem::current_path(slot->plant->root + "/bin");
        SetEnvironmentVariableA("TEMP", (slot->plant->root + "/tmp").c_str());
        slot->fgets = FgetsSeconds(slot->plant->varFile);
        slot->project = std::make_unique<KorvaneProject>(slot->plant->projectPath, std::make_unique<MorvalTypeCompiler>());
        const long before = ResidentBytes();
        slot->firstRead = Measure([&] {
            if (!slot->project->bRead(false))
                fprintf(stderr, "bRead failed for %d variables\n", count);
        });
        slot->residentGrowth = ResidentBytes() - before;
    }
    return *slot;
}

constexpr int kMillion = 1000000;

// bRead(true) of the million-variable file beside the fgets floor.
void BM_bRead(benchmark::State& state) {
    Loaded& l = LoadedPlant(static_cast<int>(state.range(0)));
    Seconds total;
    for (auto _ : state) {
        Seconds s = Measure([&] { benchmark::DoNotOptimize(l.project->bRead(true)); });
        total.real += s.real;
        total.cpu += s.cpu;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["fgets_ms"] = l.fgets.real * 1e3;
    state.counters["bRead_ms"] = total.real / n * 1e3;
    state.counters["x_fgets"] = total.real / n / l.fgets.real;
    state.counters["x_fgets_cpu"] = total.cpu / n / l.fgets.cpu;
    state.counters["file_MB"] = static_cast<double>(l.plant->fileBytes) / 1e6;
    state.counters["table_x_file"] =
        static_cast<double>(l.project->CatalogueMemoryBytes()) / static_cast<double>(l.plant->fileBytes);
    state.counters["rss_growth_x_file"] =
        static_cast<double>(l.residentGrowth) / static_cast<double>(l.plant->fileBytes);
    state.counters["variables"] = static_cast<double>(l.project->VariableCount());
}
BENCHMARK(BM_bRead)->Arg(kMillion)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// A full filter selection (every kind) walked with NextEntry.
void BM_SelectAndWalk(benchmark::State& state) {
    Loaded& l = LoadedPlant(static_cast<int>(state.range(0)));
    VarSelection sel;
    std::string name, comment;
    VarInfo info;
    int32_t kind;
    int64_t entries = 0;
    // A fresh read, then the first selection, which builds the key order.
    l.project->bRead(true);
    const Seconds first = Measure([&] {
        std::string mask;
        l.project->SetFilter(sel, mask, 0, -1, 9);
    });
    state.counters["first_select_ms"] = first.real * 1e3;
    for (auto _ : state) {
        std::string mask;
        l.project->SetFilter(sel, mask, 0, -1, 9);
        while (l.project->NextEntry(sel, name, comment, info, kind) == 1)
            ++entries;
    }
    state.SetItemsProcessed(entries);
    state.counters["entries"] = static_cast<double>(entries) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_SelectAndWalk)->Arg(kMillion)->Unit(benchmark::kMillisecond)->UseRealTime();

// bRead(false) of a loaded project: no file access, whatever the size.
void BM_bReadLoaded(benchmark::State& state) {
    Loaded& l = LoadedPlant(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(l.project->bRead(false));
}
BENCHMARK(BM_bReadLoaded)->Arg(1000)->Arg(kMillion);

// bVerifyTimeStamp of an unchanged file: opens it and reads two lines.
void BM_VerifyUnchanged(benchmark::State& state) {
    Loaded& l = LoadedPlant(static_cast<int>(state.range(0)));
    unsigned short date;
    int32_t msec;
    bool upToDate = false;
    for (auto _ : state)
        benchmark::DoNotOptimize(l.project->bVerifyTimeStamp(date, msec, upToDate));
    if (!upToDate)
        state.SkipWithError("the loaded project was not up to date");
}
BENCHMARK(BM_VerifyUnchanged)->Arg(1000)->Arg(kMillion);

} // namespace

BENCHMARK_MAIN();
