// Benchmarks of the catalogue server program, each beside its floor
// measured in the same run:
//  - Dump/...: the whole catalogue of a project of 1 000 000 variables read
//    through SetVarInfoFilter and GetVarInfoBlockEx by this process (a
//    client of the server process), 800 entries a block without comments
//    and 400 with, in entries per second. The floor is the same exchange
//    without COM and without a catalogue: a forked child process that
//    answers over a socketpair, with blocking reads and writes, each request
//    of the size of the dump's Invoke request frame with a reply of the
//    bytes the dump delivers per block (its strings and numbers), as many
//    times as the dump had blocks. Two processes on both sides, so that the
//    floor and the dump see the same scheduling between the two processors.
//    Counter x_floor = floor rate / dump rate (target: at most 5);
//    server_cpu_ms is the server process's processor time per dump.
//  - EmptyCall: one late-bound call that does no work, beside the same kind
//    of child process answering a request and a reply of that call's frame
//    sizes.
//  - Activation: CoCreateInstance with no server running up to the first
//    answered call, beside starting /bin/true and waiting for it (target:
//    at most 20 ms above it). The project is not opened.
//
// Placement: see BenchPlacement.h (this process, the client, on one CPU;
// the server process and the floor's child on another; BENCH_SAME_CPU=1
// puts them on one).
//
// Calls are made as a late-bound client makes them: the DISPID of each
// member is looked up once (GetIDsOfNames) and kept, then used for every
// Invoke.
//
// The server program "varsvc" must be built beside this program (targets
// Varsvc and bench_varsvc). The benchmark makes its own install tree,
// registry store and runtime directory below the temporary directory and
// removes them at the end, unless BENCH_VARSVC_KEEP is set (for profiling).
#include <benchmark/benchmark.h>

#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchPlacement.h"
#include "platform/Bstr.h"
#include "platform/ComProxy.h"
#include "platform/ComRuntime.h"
#include "platform/SafeArray.h"
#include "platform/Variant.h"
#include "platform/WireMessage.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kVariables = 1000000;

// ------------------------------------------------------------ environment

// The install tree of the benchmark: the example plant's types and
// settings, the server program, a generated var file of kVariables lines.
struct Install {
    std::string root;
    std::string program;
    std::string project;
    bool ok = false;

    Install() {
        char tmpl[] = "/tmp/bench-varsvc-XXXXXX";
        if (mkdtemp(tmpl) == nullptr)
            return;
        root = tmpl;
        const fs::path self = fs::read_symlink("/proc/self/exe");
        const fs::path source = fs::path(__FILE__).parent_path().parent_path() / "examples" / "plant";
        std::error_code ec;
        fs::copy(source, root + "/plant", fs::copy_options::recursive, ec);
        fs::create_directories(root + "/plant/bin");
        fs::create_directories(root + "/plant/lib");
        program = root + "/plant/bin/varsvc";
        fs::copy_file(self.parent_path() / "varsvc", program, ec);
        if (ec) {
            fprintf(stderr, "bench_varsvc: no server program beside this one (%s)\n", ec.message().c_str());
            return;
        }
        for (const auto& lib : fs::directory_iterator(self.parent_path().parent_path() / "lib", ec))
            fs::create_symlink(lib.path(), fs::path(root) / "plant" / "lib" / lib.path().filename(), ec);
        mkdir((root + "/rt").c_str(), 0700);
        mkdir((root + "/tmp").c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", (root + "/rt").c_str(), 1);
        setenv("KORVANE_REGISTRY", (root + "/registry.db").c_str(), 1);
        setenv("TEMP", (root + "/tmp").c_str(), 1);
        unsetenv("VQ_LOGNAME");
        unsetenv("KORVANE_DEBUG_OUTPUT");
        // A second project beside line 1, seeing the same data types.
        project = root + "/plant/projects/line1/big.prj";
        WriteVarFile(root + "/plant/projects/line1/var/big.var");
        ok = Run({program, "-RegServer"}) == 0;
    }
    ~Install() {
        std::error_code ec;
        if (!root.empty() && getenv("BENCH_VARSVC_KEEP") == nullptr)
            fs::remove_all(root, ec);
    }

    static int Run(const std::vector<std::string>& argv) {
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        pid_t pid = -1;
        if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
            return -1;
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Names of 8-24 characters, elementary and 11 derived types, located
    // and unlocated variables, comments of 0-40 characters.
    static void WriteVarFile(const std::string& path) {
        struct Type {
            const char* name;
            int size;
        };
        static const Type kTypes[] = {
            {"BOOL", 1},     {"INT", 2},       {"DINT", 4},      {"REAL", 4},       {"WORD", 2},
            {"UDINT", 4},    {"UINT", 2},      {"BYTE", 1},      {"TIME", 4},       {"VALVE_T", 7},
            {"MOTOR_T", 11}, {"ANALOG_T", 8},  {"ALARM_T", 4},   {"RECIPE_T", 40},  {"TANK_T", 22},
            {"CONVEYOR_T", 16}, {"BATCH_T", 52}, {"TEMP4_T", 8}, {"TEMP_MAP_T", 64}, {"MOTORS_T", 44},
        };
        std::mt19937 random(12345);
        std::string text = "Korvane 2.5 var file (big)\nProject time stamp,09/13/01 13:46:40\n";
        text.reserve(80u * kVariables);
        char line[256];
        for (int i = 0; i < kVariables; ++i) {
            const Type& t = kTypes[random() % (sizeof kTypes / sizeof kTypes[0])];
            const int nameLength = 8 + static_cast<int>(random() % 17);
            const int commentLength = static_cast<int>(random() % 41);
            char name[32];
            int length = snprintf(name, sizeof name, "V%d", i);
            while (length < nameLength)
                name[length++] = static_cast<char>('a' + random() % 26);
            name[length] = '\0';
            std::string comment(static_cast<size_t>(commentLength), ' ');
            for (char& c : comment)
                c = static_cast<char>('a' + random() % 26);
            const bool located = (i % 3) != 0;
            snprintf(line, sizeof line, "%s,%d,%d,0,%s,%d,%d,%d,0,0,0,0,%s\n", name, i, located ? 1 : 2,
                     t.name, t.size, located ? 4 : 0, located ? i : 0, comment.c_str());
            text += line;
        }
        text += "@#$@#$\n";
        std::ofstream(path, std::ios::binary) << text;
    }
};

Install& TheInstall() {
    static Install install;
    return install;
}

// ------------------------------------------------------------- placement

bench::Placement g_placement;

// Binds every thread of process `pid` to `cpu`.
void PinProcess(pid_t pid, int cpu) {
    std::error_code ec;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec))
        bench::PinThread(static_cast<pid_t>(std::atol(task.path().filename().c_str())), cpu);
}

std::string PlacementLabel() {
    return "client CPU " + std::to_string(g_placement.client) + ", server CPU " + std::to_string(g_placement.server);
}

pid_t ServerPid();

// ------------------------------------------------------------------ calls

// The DISPID of each member, looked up at its first call and kept: every
// document of the class answers the same DISPIDs (those of its registered
// type library).
HRESULT DispidOf(IDispatch* d, const char16_t* member, DISPID* id) {
    static std::map<std::u16string, DISPID> known;
    const auto found = known.find(member);
    if (found != known.end()) {
        *id = found->second;
        return S_OK;
    }
    LPOLESTR names[] = {const_cast<LPOLESTR>(member)};
    const HRESULT hr = d->GetIDsOfNames(IID_NULL, names, 1, 0x0409, id);
    if (SUCCEEDED(hr))
        known.emplace(member, *id);
    return hr;
}

// The arguments in declaration order, as DISPPARAMS wants them (reversed).
struct Call {
    std::vector<VARIANT> reversed;
    DISPPARAMS params{};
    explicit Call(const std::vector<VARIANT>& args) : reversed(args.rbegin(), args.rend()) {
        params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    }
};

HRESULT Invoke(IDispatch* d, const char16_t* member, const std::vector<VARIANT>& args, SHORT* rc) {
    DISPID id = 0;
    HRESULT hr = DispidOf(d, member, &id);
    if (FAILED(hr))
        return hr;
    Call call(args);
    VARIANT result;
    VariantInit(&result);
    hr = d->Invoke(id, IID_NULL, 0x0409, DISPATCH_METHOD, &call.params, &result, nullptr, nullptr);
    *rc = result.vt == VT_I2 ? result.iVal : -9999;
    VariantClear(&result);
    return hr;
}

// Size in bytes of the Invoke request frame that the proxy sends for this
// call (0 when it cannot be encoded or the member is unknown).
size_t RequestFrameBytes(IDispatch* d, const char16_t* member, const std::vector<VARIANT>& args) {
    DISPID id = 0;
    if (FAILED(DispidOf(d, member, &id)))
        return 0;
    Call call(args);
    WireFrameBytes frame;
    UINT bad = 0;
    if (FAILED(WireEncodeInvoke(1, 1, id, 0x0409, DISPATCH_METHOD, &call.params, true, false, &frame, &bad)))
        return 0;
    return frame.size();
}

// Size in bytes of the Invoke reply frame for this call after it returned
// `rc` (the by-reference arguments as they are now).
size_t ReplyFrameBytes(const std::vector<VARIANT>& args, SHORT rc) {
    Call call(args);
    VARIANT result;
    VariantInit(&result);
    result.vt = VT_I2;
    result.iVal = rc;
    WireFrameBytes frame;
    if (FAILED(WireEncodeInvokeReply(1, S_OK, 0, nullptr, &result, call.reversed.data(),
                                     static_cast<UINT>(call.reversed.size()), &frame)))
        return 0;
    return frame.size();
}

VARIANT V(VARTYPE vt, void* p) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    v.byref = p;
    return v;
}

VARIANT I4(LONG value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

IDispatch* Activate() {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(u"Varsvc.Document", &clsid)))
        return nullptr;
    IDispatch* d = nullptr;
    CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, reinterpret_cast<void**>(&d));
    return d;
}

// ------------------------------------------------------------------ dump

// The logged-in document with the big project open (made once).
struct Opened {
    IDispatch* doc = nullptr;
    LONG handle = 0;
    bool ok = false;
    Opened() {
        if (!TheInstall().ok)
            return;
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        korvane::platform::ComSetCallTimeout(600000);
        doc = Activate();
        if (doc == nullptr)
            return;
        // The server was started by this process and inherited its CPU.
        PinProcess(ServerPid(), g_placement.server);
        SHORT rc = -1;
        VARIANT name;
        VariantInit(&name);
        name.vt = VT_BSTR;
        name.bstrVal = SysAllocString(u"bench");
        Invoke(doc, u"Login", {V(VT_BYREF | VT_I4, &handle), name}, &rc);
        VariantClear(&name);
        std::u16string path(TheInstall().project.begin(), TheInstall().project.end());
        VARIANT p;
        VariantInit(&p);
        p.vt = VT_BSTR;
        p.bstrVal = SysAllocString(path.c_str());
        Invoke(doc, u"ProjOpen", {I4(handle), p}, &rc);
        VariantClear(&p);
        ok = rc == 0;
        if (!ok) {
            fprintf(stderr, "bench_varsvc: the project could not be opened\n");
            return;
        }
        // The first selection after a read builds the catalogue's key order
        // (a one-time cost of the read, not of a dump): made here, before
        // any figure is taken.
        LONG iterator = 0;
        VARIANT mask;
        VariantInit(&mask);
        mask.vt = VT_BSTR;
        mask.bstrVal = SysAllocString(u"");
        Invoke(doc, u"SetVarInfoFilter", {I4(handle), mask, I4(0), I4(-1), I4(0), V(VT_BYREF | VT_I4, &iterator)},
               &rc);
        VariantClear(&mask);
        ok = rc == 0;
    }
};

Opened* g_project = nullptr;

Opened& TheProject() {
    static Opened opened;
    g_project = &opened;
    return opened;
}

// Reads the whole selection once; the entries read, the blocks and the
// bytes of the strings and numbers delivered (UTF-16 text with a 4-byte
// length per string, 2 or 4 bytes per number).
struct DumpResult {
    long entries = 0;
    long blocks = 0;
    double bytes = 0;
    size_t requestBytes = 0; // the Invoke request frame of a block
    bool ok = true;
};

DumpResult Dump(bool comments) {
    Opened& o = TheProject();
    DumpResult r;
    SHORT rc = -1;
    LONG iterator = 0;
    VARIANT mask;
    VariantInit(&mask);
    mask.vt = VT_BSTR;
    mask.bstrVal = SysAllocString(u"");
    Invoke(o.doc, u"SetVarInfoFilter",
           {I4(o.handle), mask, I4(0), I4(-1), I4(0), V(VT_BYREF | VT_I4, &iterator)}, &rc);
    VariantClear(&mask);
    const SHORT request = comments ? 400 : 800;
    for (;;) {
        SHORT req = request, ret = 0;
        VARIANT arrays[10];
        for (VARIANT& a : arrays)
            VariantInit(&a);
        if (!comments) {
            arrays[1].vt = VT_I4; // the not-wanted marker
            arrays[1].lVal = 0;
        }
        std::vector<VARIANT> args = {I4(o.handle), V(VT_BYREF | VT_I4, &iterator), V(VT_BYREF | VT_I2, &req),
                                     V(VT_BYREF | VT_I2, &ret)};
        for (VARIANT& a : arrays)
            args.push_back(V(VT_BYREF | VT_VARIANT, &a));
        if (r.requestBytes == 0)
            r.requestBytes = RequestFrameBytes(o.doc, u"GetVarInfoBlockEx", args);
        if (FAILED(Invoke(o.doc, u"GetVarInfoBlockEx", args, &rc)) || rc != 0) {
            r.ok = false;
            break;
        }
        ++r.blocks;
        r.entries += ret;
        for (int k = 0; k < 2; ++k) {
            if (arrays[k].vt != (VT_ARRAY | VT_BSTR))
                continue;
            BSTR* data = nullptr;
            SafeArrayAccessData(arrays[k].parray, reinterpret_cast<void**>(&data));
            for (SHORT i = 0; i < req; ++i)
                r.bytes += 4 + 2.0 * SysStringLen(data[i]);
            SafeArrayUnaccessData(arrays[k].parray);
        }
        r.bytes += req * (7 * 2 + 4.0);
        for (VARIANT& a : arrays)
            VariantClear(&a);
        if (ret == 0 || (ret < request && req == request))
            break;
    }
    return r;
}

// The floor: `exchanges` request/reply exchanges over a socketpair with a
// forked child process, each a request of `requestBytes` bytes answered by
// `replyBytes` bytes, with blocking reads and writes on both ends; seconds
// taken, or a negative value when the child cannot be made or the
// exchanges break off.
//
// The child is forked from a process that has threads (the COM runtime's),
// so it only reads, writes and exits: its buffer is made before the fork.
double SocketFloorOnce(long exchanges, size_t requestBytes, size_t replyBytes) {
    if (requestBytes == 0 || replyBytes == 0)
        return -1;
    std::vector<char> buffer(std::max(requestBytes, replyBytes), 'x');
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return -1;
    const pid_t child = fork();
    if (child < 0) {
        close(fds[0]);
        close(fds[1]);
        return -1;
    }
    if (child == 0) {
        bench::PinThread(0, g_placement.server);
        close(fds[0]);
        while (bench::ReadExactly(fds[1], buffer.data(), requestBytes) && bench::WriteAll(fds[1], buffer.data(), replyBytes)) {
        }
        _exit(0);
    }
    close(fds[1]);
    bool ok = true;
    const auto start = std::chrono::steady_clock::now();
    for (long b = 0; b < exchanges && ok; ++b)
        ok = bench::WriteAll(fds[0], buffer.data(), requestBytes) && bench::ReadExactly(fds[0], buffer.data(), replyBytes);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    close(fds[0]); // the child reads the end and exits
    int status = 0;
    waitpid(child, &status, 0);
    return ok ? seconds : -1;
}

// The floor taken five times, the median of the five: a single run of a few
// tens of milliseconds shows how the two processes happened to be placed on
// the processors more than what the transfer costs.
double SocketFloor(long exchanges, size_t requestBytes, size_t replyBytes) {
    constexpr int kRuns = 5;
    double seconds[kRuns];
    for (double& s : seconds) {
        s = SocketFloorOnce(exchanges, requestBytes, replyBytes);
        if (s <= 0)
            return -1;
    }
    std::sort(seconds, seconds + kRuns);
    return seconds[kRuns / 2];
}

pid_t ServerPid() {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        const pid_t pid = static_cast<pid_t>(std::atol(entry.path().filename().c_str()));
        std::error_code link;
        if (pid > 0 && fs::read_symlink(entry.path() / "exe", link).string() == TheInstall().program)
            return pid;
    }
    return -1;
}

// CPU seconds that process `pid` has used so far.
double CpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t close = line.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i == 14 || i == 15)
            ticks += std::atof(field.c_str());
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

void BM_Dump(benchmark::State& state) {
    const bool comments = state.range(0) != 0;
    if (!TheProject().ok) {
        state.SkipWithError("the server or the project is not available");
        return;
    }
    DumpResult last;
    double seconds = 0;
    const pid_t server = ServerPid();
    const double serverCpu = CpuSeconds(server);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        last = Dump(comments);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!last.ok) {
            state.SkipWithError("a block read failed");
            return;
        }
    }
    const double dumpRate = last.entries * static_cast<double>(state.iterations()) / seconds;
    const size_t bytesPerBlock = static_cast<size_t>(last.bytes / static_cast<double>(last.blocks));
    const double floorSeconds = SocketFloor(last.blocks, last.requestBytes, bytesPerBlock);
    if (floorSeconds <= 0) {
        state.SkipWithError("the floor could not be measured");
        return;
    }
    const double floorRate = last.entries / floorSeconds;
    state.SetItemsProcessed(static_cast<int64_t>(last.entries) * state.iterations());
    state.counters["entries"] = static_cast<double>(last.entries);
    state.counters["blocks"] = static_cast<double>(last.blocks);
    state.counters["MB"] = last.bytes / 1e6;
    state.counters["request_bytes"] = static_cast<double>(last.requestBytes);
    state.counters["entries_per_s"] = dumpRate;
    state.counters["floor_entries_per_s"] = floorRate;
    state.counters["x_floor"] = floorRate / dumpRate;
    state.counters["server_cpu_ms"] = (CpuSeconds(server) - serverCpu) * 1e3 / static_cast<double>(state.iterations());
    state.SetLabel(PlacementLabel());
}

// For comparison: one late-bound call that does no work (GetStateRamLayout)
// through the proxy and the server, per call, beside a bare exchange with a
// child process of the request and reply frame sizes of that call.
void BM_EmptyCall(benchmark::State& state) {
    if (!TheProject().ok) {
        state.SkipWithError("the server or the project is not available");
        return;
    }
    IDispatch* doc = TheProject().doc;
    LONG out[9] = {};
    std::vector<VARIANT> args = {I4(0)};
    for (LONG& o : out)
        args.push_back(V(VT_BYREF | VT_I4, &o));
    SHORT rc = 0;
    for (auto _ : state)
        Invoke(doc, u"GetStateRamLayout", args, &rc);
    const size_t request = RequestFrameBytes(doc, u"GetStateRamLayout", args);
    const size_t reply = ReplyFrameBytes(args, rc);
    constexpr long kFloorCalls = 2000;
    const double floor = SocketFloor(kFloorCalls, request, reply);
    if (floor <= 0) {
        state.SkipWithError("the floor could not be measured");
        return;
    }
    state.counters["floor_us"] = floor / kFloorCalls * 1e6;
    state.counters["request_bytes"] = static_cast<double>(request);
    state.counters["reply_bytes"] = static_cast<double>(reply);
    state.SetLabel(PlacementLabel());
}
BENCHMARK(BM_EmptyCall)->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_Dump)->Arg(0)->Arg(1)->ArgNames({"comments"})->Unit(benchmark::kMillisecond)->Iterations(3);

// ------------------------------------------------------------- activation

// Ends the server (ExecRequ(0) through `doc`) and waits until it is gone.
void StopServer(IDispatch* doc) {
    const pid_t pid = ServerPid();
    SHORT rc = -1;
    VARIANT packet = I4(0);
    Invoke(doc, u"ExecRequ", {V(VT_BYREF | VT_VARIANT, &packet)}, &rc);
    doc->Release();
    while (pid > 0 && kill(pid, 0) == 0) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        std::getline(stat, line);
        const size_t close = line.rfind(')');
        if (close == std::string::npos || close + 2 >= line.size() || line[close + 2] == 'Z')
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void BM_Activation(benchmark::State& state) {
    if (!TheInstall().ok) {
        state.SkipWithError("the server is not available");
        return;
    }
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    // No server may run at the start: the dump's server is ended first.
    if (g_project != nullptr && g_project->doc != nullptr) {
        StopServer(g_project->doc);
        g_project->doc = nullptr;
    }
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        IDispatch* doc = Activate();
        SHORT rc = -1;
        VARIANT packet = I4(86);
        if (doc == nullptr || FAILED(Invoke(doc, u"ExecRequ", {V(VT_BYREF | VT_VARIANT, &packet)}, &rc)) || rc != 0) {
            state.SkipWithError("activation failed");
            return;
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
        StopServer(doc);
    }
    // The floor: start /bin/true and wait for it.
    constexpr int kFloorRuns = 20;
    double floor = 0;
    for (int i = 0; i < kFloorRuns; ++i) {
        char program[] = "/bin/true";
        char* args[] = {program, nullptr};
        const auto start = std::chrono::steady_clock::now();
        pid_t pid = -1;
        posix_spawn(&pid, program, nullptr, nullptr, args, environ);
        int status = 0;
        waitpid(pid, &status, 0);
        floor += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double mean = total / static_cast<double>(state.iterations());
    state.counters["activation_ms"] = mean * 1e3;
    state.counters["bin_true_ms"] = floor / kFloorRuns * 1e3;
    state.counters["above_ms"] = (mean - floor / kFloorRuns) * 1e3;
}
BENCHMARK(BM_Activation)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char** argv) {
    // Bound before any thread is made, so that the COM runtime's threads
    // run on the client's CPU too.
    g_placement = bench::ChoosePlacement();
    bench::PinThread(0, g_placement.client);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
