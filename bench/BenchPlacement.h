// What the benchmarks that time a client against a server process share:
// where the two sides run, and the blocking socket exchange of their
// bare-socket floors.
//
// Placement: the client runs on one CPU and every server-side process on
// another, as a client and its server usually do on a machine with several
// cores. Left to the scheduler, a pair sometimes shares a CPU and sometimes
// not, and the two cases differ by the cost of a cross-CPU wake-up (tens of
// microseconds on a virtual machine), so that each figure would depend on
// where the processes happened to land. BENCH_SAME_CPU=1 puts them all on
// one CPU: then the figures show the CPU work alone, without wake-ups.
#pragma once

#include <sched.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <vector>

namespace bench {

/// The CPUs of the client and of the server side (-1: left to the scheduler).
struct Placement {
    int client = -1;
    int server = -1;
};

/// The first two CPUs this process may run on (one CPU for both when only
/// one is allowed or BENCH_SAME_CPU=1).
inline Placement ChoosePlacement() {
    Placement p;
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0)
        return p;
    std::vector<int> cpus;
    for (int c = 0; c < CPU_SETSIZE; ++c)
        if (CPU_ISSET(c, &allowed))
            cpus.push_back(c);
    if (cpus.empty())
        return p;
    const char* same = std::getenv("BENCH_SAME_CPU");
    p.client = cpus[0];
    p.server = (same != nullptr && *same == '1') || cpus.size() < 2 ? cpus[0] : cpus[1];
    return p;
}

/// Binds thread `tid` (0: the calling one) to `cpu` (-1: nothing happens);
/// threads and processes it makes afterwards inherit the binding.
inline void PinThread(pid_t tid, int cpu) {
    if (cpu < 0)
        return;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    sched_setaffinity(tid, sizeof set, &set);
}

/// Reads exactly `n` bytes; false on end of stream or error.
inline bool ReadExactly(int fd, void* buffer, size_t n) {
    char* p = static_cast<char*>(buffer);
    size_t got = 0;
    while (got < n) {
        const ssize_t r = read(fd, p + got, n - got);
        if (r <= 0)
            return false;
        got += static_cast<size_t>(r);
    }
    return true;
}

/// Writes all `n` bytes; false when the peer is gone.
inline bool WriteAll(int fd, const void* buffer, size_t n) {
    const char* p = static_cast<const char*>(buffer);
    size_t put = 0;
    while (put < n) {
        const ssize_t w = send(fd, p + put, n - put, MSG_NOSIGNAL);
        if (w <= 0)
            return false;
        put += static_cast<size_t>(w);
    }
    return true;
}

} // namespace bench
