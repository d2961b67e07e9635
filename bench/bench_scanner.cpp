// Throughput of the source scanner: a generated IEC 61131-3 source of about
// 50 MB (type declarations and Structured Text function blocks) is scanned
// to the end of input, beside a plain memchr pass over the same buffer (the
// floor for touching every byte). Both are reported in bytes per second; the
// program then prints the two figures in MB/s and their ratio.
#include "base/TiCompOptions.h"
#include "compiler/ErrMess.h"
#include "compiler/SymAttr.h"
#include "compiler/SymTabSet.h"
#include "compiler/TiScanner.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

namespace {

constexpr size_t kTargetBytes = 50u * 1000u * 1000u;
// Names repeat over this many units, as names of one project do.
constexpr int kDistinctUnits = 400;

std::string MakeSource() {
    std::string s;
    s.reserve(kTargetBytes + 4096);
    char buf[2048];
    for (int i = 0; s.size() < kTargetBytes; ++i) {
        int n = i % kDistinctUnits;
        std::snprintf(buf, sizeof buf,
                      "TYPE\n"
                      "  MOTOR_T%d : STRUCT\n"
                      "    SPEED : INT := 16#FF;\n"
                      "    ENABLED : BOOL := TRUE;\n"
                      "    LABEL : STRING := 'motor $N%d';\n"
                      "    RAMP : TIME := T#1s500ms;\n"
                      "    LIMITS : ARRAY[1..4, 0..2] OF REAL;\n"
                      "  END_STRUCT;\n"
                      "  MODE_T%d : (IDLE%d, RUNNING%d, FAULT%d);\n"
                      "END_TYPE\n"
                      "FUNCTION_BLOCK FB_%d\n"
                      "VAR_INPUT\n"
                      "  SETPOINT%d : REAL; (* requested speed *)\n"
                      "  START : BOOL;\n"
                      "END_VAR\n"
                      "VAR\n"
                      "  COUNT : DINT;\n"
                      "  OUTPUT AT %%QW%d : WORD;\n"
                      "  DRIVE : MOTOR_T%d;\n"
                      "END_VAR\n"
                      "IF START AND SETPOINT%d >= 1.5E3 AND COUNT <> %d THEN\n"
                      "  COUNT := COUNT + 1;\n"
                      "  OUTPUT := OUTPUT ** 2 / (COUNT - 7);\n"
                      "  DRIVE.SPEED := DRIVE.SPEED + INT#5;\n"
                      "ELSIF COUNT <= 0 THEN\n"
                      "  DRIVE.ENABLED := FALSE;\n"
                      "ELSE\n"
                      "  COUNT := 0;\n"
                      "END_IF;\n"
                      "FOR COUNT := 1 TO 100 BY 2 DO\n"
                      "  DRIVE.LIMITS[COUNT MOD 4 + 1, 0] := DRIVE.LIMITS[1, 2] * 0.5;\n"
                      "END_FOR;\n"
                      "END_FUNCTION_BLOCK\n\n",
                      n, n, n, n, n, n, n, n, n, n, n, i % 1000);
        s += buf;
    }
    return s;
}

const std::string& Source() {
    static const std::string source = MakeSource();
    return source;
}

void BM_Memchr(benchmark::State& state) {
    const std::string& src = Source();
    for (auto _ : state) {
        size_t lines = 0;
        const char* p = src.data();
        const char* end = p + src.size();
        while ((p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)))) !=
               nullptr) {
            ++lines;
            ++p;
        }
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(src.size()));
}

void BM_ScanSource(benchmark::State& state) {
    const std::string& src = Source();
    size_t tokens = 0;
    size_t messages = 0;
    for (auto _ : state) {
        ErrMess sink;
        sink.SetLimits(25, 100);
        SymTabSet set(151, nullptr, &sink);
        TiCompOptions opts(true);
        short status = 0;
        TiScanner scanner(src.c_str(), &set, &sink, &opts, 0, 0, &status);
        tokens = 0;
        for (;;) {
            TokenValue v;
            short t = scanner.lex(&v);
            if (t == 0) {
                break;
            }
            ++tokens;
            // The receiver owns literal records and their texts.
            if (t >= tok::LITERAL_FIRST && t <= tok::LITERAL_LAST) {
                delete v.sym;
                if (v.ownsText != 0) {
                    delete[] v.text;
                }
            }
        }
        messages = sink.GetErrors() + sink.GetWarnings();
    }
    state.counters["tokens"] = static_cast<double>(tokens);
    state.counters["messages"] = static_cast<double>(messages);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(src.size()));
}

BENCHMARK(BM_Memchr)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ScanSource)->Unit(benchmark::kMillisecond)->Iterations(3);

// Keeps the bytes-per-second figure of every run for the closing summary.
class RateReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            auto it = r.counters.find("bytes_per_second");
            if (it != r.counters.end()) {
                rates[r.benchmark_name()] = it->second.value;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> rates;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::printf("source: %.1f MB\n", static_cast<double>(Source().size()) / 1e6);
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double floor = 0;
    double scan = 0;
    for (auto& [name, rate] : reporter.rates) {
        if (name.rfind("BM_Memchr", 0) == 0) {
            floor = rate;
        } else if (name.rfind("BM_ScanSource", 0) == 0) {
            scan = rate;
        }
    }
    if (floor > 0 && scan > 0) {
        std::printf("memchr: %.1f MB/s, scanner: %.1f MB/s, ratio %.1f\n", floor / 1e6, scan / 1e6,
                    floor / scan);
    }
    benchmark::Shutdown();
    return 0;
}
