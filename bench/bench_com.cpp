// The COM layer's cost beside its floor, in one run: an Invoke round trip
// (two by-value LONGs, one by-reference LONG) through a local server process
// against a bare Unix-socket round trip of the same byte counts, and a call
// returning a 60 KB array of strings against a bare socket transfer of the
// same bytes. Each pair is printed with its ratio at the end.
//
// Placement: see BenchPlacement.h (client and servers on separate CPUs;
// BENCH_SAME_CPU=1 puts them on one).
//
// Run: cmake -S . -B build -DKORVANE_BENCH=ON -DCMAKE_BUILD_TYPE=Release &&
//      cmake --build build --target bench_com && build/bin/bench_com
#include <benchmark/benchmark.h>

#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/BenchPlacement.h"
#include "platform/ComProxy.h"
#include "platform/ComRuntime.h"
#include "platform/MessageLoop.h"
#include "platform/Variant.h"
#include "platform/WireMessage.h"
#include "tests/platform/server/TestObject.h"

namespace {

// Two shapes of 60 000 bytes of text: 1000 strings of 30 characters (like a
// block of catalogue names: the figure that counts) and 60 of 500 (which
// shows what the per-string work costs).
struct Shape {
    LONG strings;
    LONG length;
};
constexpr Shape kShapes[2] = {{1000, 30}, {60, 500}};
IDispatch* g_proxy = nullptr;
int g_echoCall = -1;                  // bare sockets to the echo processes
int g_echoArray[2] = {-1, -1};
size_t g_callRequest = 0, g_callReply = 0;     // frame sizes of the Invoke
size_t g_arrayRequest = 0, g_arrayReply[2] = {0, 0};   // and of the string array calls

// The local server: an apartment serving the test class until killed.
[[noreturn]] void runServer() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    DWORD cookie;
    if (FAILED(CoRegisterClassObject(CLSID_TestObject, TestObjectFactory(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                     &cookie)))
        std::_Exit(1);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    }
    std::_Exit(0);
}

// The floor: a process that answers each request of `in` bytes with `out`
// bytes over a bare Unix-domain socket.
[[noreturn]] void runEcho(int fd, size_t in, size_t out) {
    std::vector<uint8_t> buf(in > out ? in : out);
    for (;;)
        if (!bench::ReadExactly(fd, buf.data(), in) || !bench::WriteAll(fd, buf.data(), out))
            std::_Exit(0);
}

bench::Placement g_placement;

// Starts an echo process; returns this end of its socket.
int startEcho(size_t in, size_t out, pid_t* pid) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return -1;
    *pid = ::fork();
    if (*pid == 0) {
        bench::PinThread(0, g_placement.server);
        ::close(pair[0]);
        runEcho(pair[1], in, out);
    }
    ::close(pair[1]);
    return pair[0];
}

void bareRoundTrip(benchmark::State& state, int fd, size_t request, size_t reply) {
    std::vector<uint8_t> buf(request > reply ? request : reply, 0x5A);
    for (auto _ : state) {
        if (!bench::WriteAll(fd, buf.data(), request) || !bench::ReadExactly(fd, buf.data(), reply)) {
            state.SkipWithError("echo process gone");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * (request + reply)));
}

HRESULT invoke(DISPID id, std::vector<VARIANT>& rg, VARIANT* result) {
    DISPPARAMS dp{rg.data(), nullptr, static_cast<UINT>(rg.size()), 0};
    return g_proxy->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &dp, result, nullptr, nullptr);
}

void BM_InvokeRoundTrip(benchmark::State& state) {
    LONG c = 0;
    for (auto _ : state) {
        std::vector<VARIANT> rg(3);
        for (VARIANT& v : rg)
            VariantInit(&v);
        rg[0].vt = VT_BYREF | VT_I4;  // reverse order: c, b, a
        rg[0].plVal = &c;
        rg[1].vt = VT_I4;
        rg[1].lVal = 2;
        rg[2].vt = VT_I4;
        rg[2].lVal = 1;
        if (FAILED(invoke(16, rg, nullptr))) {
            state.SkipWithError("call failed");
            return;
        }
    }
    benchmark::DoNotOptimize(c);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * (g_callRequest + g_callReply)));
}

void BM_BareSocketRoundTrip(benchmark::State& state) { bareRoundTrip(state, g_echoCall, g_callRequest, g_callReply); }

void BM_StringArrayCall(benchmark::State& state) {
    const Shape shape = kShapes[state.range(0)];
    for (auto _ : state) {
        std::vector<VARIANT> rg(2);
        VariantInit(&rg[0]);
        VariantInit(&rg[1]);
        rg[0].vt = rg[1].vt = VT_I4;
        rg[0].lVal = shape.length;
        rg[1].lVal = shape.strings;
        VARIANT result;
        VariantInit(&result);
        if (FAILED(invoke(6, rg, &result)) || result.vt != (VT_ARRAY | VT_BSTR)) {
            state.SkipWithError("call failed");
            return;
        }
        VariantClear(&result);
    }
    state.SetBytesProcessed(
        static_cast<int64_t>(state.iterations() * (g_arrayRequest + g_arrayReply[state.range(0)])));
}

void BM_BareSocketTransfer(benchmark::State& state) {
    const size_t shape = static_cast<size_t>(state.range(0));
    bareRoundTrip(state, g_echoArray[shape], g_arrayRequest, g_arrayReply[shape]);
}

// Frame sizes of the two calls, from the encoder itself.
void measureFrames() {
    LONG c = 0;
    VARIANT args[3];
    for (VARIANT& v : args)
        VariantInit(&v);
    args[0].vt = VT_BYREF | VT_I4;
    args[0].plVal = &c;
    args[1].vt = args[2].vt = VT_I4;
    DISPPARAMS dp{args, nullptr, 3, 0};
    std::vector<uint8_t> f;
    WireEncodeInvoke(1, 1, 16, 0, DISPATCH_METHOD, &dp, false, false, &f, nullptr);
    g_callRequest = f.size();
    WireEncodeInvokeReply(1, S_OK, 0, nullptr, nullptr, args, 3, &f);
    g_callReply = f.size();

    DISPPARAMS two{args + 1, nullptr, 2, 0};
    WireEncodeInvoke(1, 1, 6, 0, DISPATCH_METHOD, &two, true, false, &f, nullptr);
    g_arrayRequest = f.size();
    IDispatch* local = nullptr;
    CreateTestObject(IID_IDispatch, reinterpret_cast<void**>(&local));
    for (int k = 0; k < 2; ++k) {
        VARIANT in[2], result;
        VariantInit(&in[0]);
        VariantInit(&in[1]);
        VariantInit(&result);
        in[0].vt = in[1].vt = VT_I4;
        in[0].lVal = kShapes[k].length;
        in[1].lVal = kShapes[k].strings;
        DISPPARAMS mk{in, nullptr, 2, 0};
        local->Invoke(6, IID_NULL, 0, DISPATCH_METHOD, &mk, &result, nullptr, nullptr);
        WireEncodeInvokeReply(1, S_OK, 0, nullptr, &result, in, 2, &f);
        g_arrayReply[k] = f.size();
        VariantClear(&result);
    }
    local->Release();
}

// Prints each figure, then each COM figure beside its floor.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration ? !m_sawMean : r.aggregate_name == "mean") {
                std::string key = r.run_name.function_name;
                if (!r.run_name.args.empty())
                    key += "/" + r.run_name.args;
                m_times[key] = r.GetAdjustedRealTime();
                m_sawMean = m_sawMean || r.run_type != Run::RT_Iteration;
            }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        print("BM_InvokeRoundTrip", "BM_BareSocketRoundTrip", "Invoke round trip / bare round trip", 3.0);
        print("BM_StringArrayCall/0", "BM_BareSocketTransfer/0", "60 KB array of 1000 strings / bare transfer", 2.0);
        print("BM_StringArrayCall/1", "BM_BareSocketTransfer/1", "60 KB array of 60 strings / bare transfer", 2.0);
        std::printf("frame bytes: Invoke %zu + %zu, string arrays %zu + %zu and %zu + %zu\n", g_callRequest,
                    g_callReply, g_arrayRequest, g_arrayReply[0], g_arrayRequest, g_arrayReply[1]);
        std::printf("client on CPU %d, servers on CPU %d\n", g_placement.client, g_placement.server);
    }

private:
    void print(const char* com, const char* floor, const char* what, double target) {
        if (!m_times.count(com) || !m_times.count(floor) || m_times[floor] <= 0)
            return;
        double ratio = m_times[com] / m_times[floor];
        std::printf("%-45s %6.2f (target at most %.0f)\n", what, ratio, target);
    }
    std::map<std::string, double> m_times;
    bool m_sawMean = false;  // with repetitions, the means are compared
};

} // namespace

BENCHMARK(BM_InvokeRoundTrip)->UseRealTime();
BENCHMARK(BM_BareSocketRoundTrip)->UseRealTime();
BENCHMARK(BM_StringArrayCall)->Arg(0)->Arg(1)->UseRealTime();
BENCHMARK(BM_BareSocketTransfer)->Arg(0)->Arg(1)->UseRealTime();

int main(int argc, char** argv) {
    // A private runtime directory, before any process or thread is made.
    char tmpl[] = "/tmp/korvane-bench-XXXXXX";
    if (!::mkdtemp(tmpl))
        return 1;
    ::setenv("XDG_RUNTIME_DIR", tmpl, 1);
    g_testWorkSleepLimitMs = 0;

    measureFrames();
    g_placement = bench::ChoosePlacement();
    pid_t server = ::fork();
    if (server == 0) {
        bench::PinThread(0, g_placement.server);
        runServer();
    }
    bench::PinThread(0, g_placement.client);
    pid_t echoCall = 0, echoArray = 0;
    g_echoCall = startEcho(g_callRequest, g_callReply, &echoCall);
    pid_t echoArray2 = 0;
    g_echoArray[0] = startEcho(g_arrayRequest, g_arrayReply[0], &echoArray);
    g_echoArray[1] = startEcho(g_arrayRequest, g_arrayReply[1], &echoArray2);

    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const std::string sock = std::string(tmpl) + "/com-" + korvane::platform::GuidToText(CLSID_TestObject) + ".sock";
    struct stat st {};
    for (int i = 0; i < 500 && ::stat(sock.c_str(), &st) != 0; ++i)
        ::usleep(10000);
    int rc = 1;
    if (SUCCEEDED(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                   reinterpret_cast<void**>(&g_proxy)))) {
        benchmark::Initialize(&argc, argv);
        RatioReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        benchmark::Shutdown();
        g_proxy->Release();
        rc = 0;
    } else {
        std::fprintf(stderr, "activation of the benchmark server failed\n");
    }
    CoUninitialize();
    ::close(g_echoCall);
    ::close(g_echoArray[0]);
    ::close(g_echoArray[1]);
    for (pid_t pid : {server, echoCall, echoArray, echoArray2}) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    std::error_code ec;
    std::filesystem::remove_all(tmpl, ec);
    return rc;
}
