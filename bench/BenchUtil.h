#pragma once
// Helpers shared by the benchmarks: the memcpy baseline that every codec figure is set beside,
// and process figures (CPU time, context switches, resident memory) read from the kernel.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace benchutil {

using Clock = std::chrono::steady_clock;

// CPU time of the calling thread in nanoseconds: on a machine shared with other work, the
// thread's own CPU time is what a codec costs, whatever the wall clock shows.
inline double threadCpuNanos() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

// CPU nanoseconds one memcpy of `bytes` bytes takes on this machine now (best of a few rounds).
inline double memcpyNanos(size_t bytes) {
    std::vector<unsigned char> src(bytes, 0x5A), dst(bytes);
    const int reps =
        static_cast<int>(std::max<size_t>(64, (1u << 24) / std::max<size_t>(bytes, 1)));
    double best = 1e300;
    for (int round = 0; round < 5; ++round) {
        const double t0 = threadCpuNanos();
        for (int i = 0; i < reps; ++i) {
            std::memcpy(dst.data(), src.data(), bytes);
            benchmark::ClobberMemory();
            benchmark::DoNotOptimize(dst.data());
        }
        const double ns = (threadCpuNanos() - t0) / reps;
        best = std::min(best, ns);
    }
    return best;
}

// Runs `body` once per iteration, counts `bytes` per iteration and reports beside it the factor
// "x_memcpy": CPU time of one iteration divided by the CPU time of a memcpy of the same bytes,
// measured in the same run.
template <typename Body>
void measureAgainstMemcpy(benchmark::State& state, size_t bytes, Body&& body) {
    const double base = memcpyNanos(bytes);
    const double t0 = threadCpuNanos();
    for (auto _ : state) body();
    const double ns = threadCpuNanos() - t0;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    if (state.iterations() > 0)
        state.counters["x_memcpy"] = ns / static_cast<double>(state.iterations()) / base;
    state.counters["bytes"] = static_cast<double>(bytes);
}

// A value of the "Name:   1234 kB" lines of /proc/self/status, in KiB (-1 when absent).
inline long procStatusKiB(const char* name) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(name);
    while (std::getline(in, line)) {
        if (line.compare(0, n, name) == 0 && line.size() > n && line[n] == ':')
            return std::atol(line.c_str() + n + 1);
    }
    return -1;
}

struct Usage {
    double cpuSeconds = 0;  // user + system, all threads of the process
    long voluntarySwitches = 0;
    long involuntarySwitches = 0;
};

inline Usage processUsage() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    Usage u;
    u.cpuSeconds = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                   static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    u.voluntarySwitches = ru.ru_nvcsw;
    u.involuntarySwitches = ru.ru_nivcsw;
    return u;
}

// Reports, when it goes out of scope, the CPU time of the whole process (every thread: the
// SDK's, the simulator's, the caller's) per iteration as the counter "proc_cpu_us". Unlike the
// wall clock, it does not grow when other work on the machine takes the cores away.
class ProcessCpu {
  public:
    explicit ProcessCpu(benchmark::State& state)
        : state_(state), start_(processUsage().cpuSeconds) {}
    ~ProcessCpu() {
        if (state_.iterations() > 0)
            state_.counters["proc_cpu_us"] = 1e6 * (processUsage().cpuSeconds - start_) /
                                             static_cast<double>(state_.iterations());
    }
    ProcessCpu(const ProcessCpu&) = delete;
    ProcessCpu& operator=(const ProcessCpu&) = delete;

  private:
    benchmark::State& state_;
    double start_;
};

}  // namespace benchutil
