// Speed of the literal scanner beside the C library: 1 000 000 decimal
// integer texts through TiLitScan::ScanDINT and strtol, and 1 000 000 real
// texts through TiLitScan::ScanLREAL and strtod, in the same run. The program
// prints the two ratios (target: at most 10).
#include "base/TiLitScan.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr size_t kTexts = 1000000;

// The texts one after another, each with its terminating zero.
struct Texts {
    std::vector<char> bytes;
    std::vector<size_t> starts;
};

Texts MakeIntegers() {
    Texts t;
    std::mt19937 rng(42);
    std::uniform_int_distribution<int32_t> value(INT32_MIN, INT32_MAX);
    std::uniform_int_distribution<int> digits(1, 10);
    char buf[32];
    for (size_t i = 0; i < kTexts; ++i) {
        // Values of every length, not only ten-digit ones.
        long v = value(rng);
        int n = digits(rng);
        long limit = 1;
        for (int k = 0; k < n && limit < 1000000000L; ++k) {
            limit *= 10;
        }
        v %= limit;
        int len = std::snprintf(buf, sizeof(buf), "%ld", v);
        t.starts.push_back(t.bytes.size());
        t.bytes.insert(t.bytes.end(), buf, buf + len + 1);
    }
    return t;
}

Texts MakeReals() {
    Texts t;
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> mantissa(-1000.0, 1000.0);
    std::uniform_int_distribution<int> exponent(-30, 30);
    std::uniform_int_distribution<int> precision(1, 15);
    char buf[64];
    for (size_t i = 0; i < kTexts; ++i) {
        double v = mantissa(rng);
        int p = precision(rng);
        int len;
        if (i % 2 == 0) {
            len = std::snprintf(buf, sizeof(buf), "%.*f", p, v);
        } else {
            len = std::snprintf(buf, sizeof(buf), "%.*e", p, v * std::pow(10.0, exponent(rng)));
        }
        t.starts.push_back(t.bytes.size());
        t.bytes.insert(t.bytes.end(), buf, buf + len + 1);
    }
    return t;
}

Texts& Integers() {
    static Texts t = MakeIntegers();
    return t;
}

Texts& Reals() {
    static Texts t = MakeReals();
    return t;
}

void BM_ScanDINT(benchmark::State& state) {
    Texts& t = Integers();
    TiLitScan scanner;
    for (auto _ : state) {
        int64_t sum = 0;
        for (size_t start : t.starts) {
            int32_t v = 0;
            if (scanner.ScanDINT(&t.bytes[start], &v) == 0) {
                sum += v;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kTexts));
}

void BM_strtol(benchmark::State& state) {
    Texts& t = Integers();
    for (auto _ : state) {
        int64_t sum = 0;
        for (size_t start : t.starts) {
            sum += std::strtol(&t.bytes[start], nullptr, 10);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kTexts));
}

void BM_ScanLREAL(benchmark::State& state) {
    Texts& t = Reals();
    TiLitScan scanner;
    for (auto _ : state) {
        double sum = 0;
        for (size_t start : t.starts) {
            double v = 0;
            if (scanner.ScanLREAL(&t.bytes[start], &v) == 0) {
                sum += v;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kTexts));
}

void BM_strtod(benchmark::State& state) {
    Texts& t = Reals();
    for (auto _ : state) {
        double sum = 0;
        for (size_t start : t.starts) {
            sum += std::strtod(&t.bytes[start], nullptr);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kTexts));
}

BENCHMARK(BM_ScanDINT)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_strtol)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanLREAL)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_strtod)->Unit(benchmark::kMillisecond);

// Console output as usual, and the CPU time per iteration of each benchmark
// kept for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                times[run.benchmark_name()] = run.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    // Every text must scan: a ratio over failures would flatter the scanner.
    {
        TiLitScan scanner;
        Texts& ints = Integers();
        Texts& reals = Reals();
        for (size_t i = 0; i < kTexts; ++i) {
            int32_t v;
            double d;
            char* a = &ints.bytes[ints.starts[i]];
            char* b = &reals.bytes[reals.starts[i]];
            if (scanner.ScanDINT(a, &v) != 0 || v != std::strtol(a, nullptr, 10) ||
                scanner.ScanLREAL(b, &d) != 0 || d != std::strtod(b, nullptr)) {
                std::fprintf(stderr, "text %zu does not scan as the C library reads it: %s / %s\n", i, a, b);
                return 1;
            }
        }
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto ratio = [&](const char* ours, const char* theirs) {
        auto a = reporter.times.find(ours);
        auto b = reporter.times.find(theirs);
        if (a == reporter.times.end() || b == reporter.times.end() || b->second <= 0) {
            return -1.0;
        }
        return a->second / b->second;
    };
    double ints = ratio("BM_ScanDINT", "BM_strtol");
    double reals = ratio("BM_ScanLREAL", "BM_strtod");
    if (ints >= 0) {
        std::printf("ScanDINT / strtol: %.2f (target at most 10)\n", ints);
    }
    if (reals >= 0) {
        std::printf("ScanLREAL / strtod: %.2f (target at most 10)\n", reals);
    }
    benchmark::Shutdown();
    return 0;
}
