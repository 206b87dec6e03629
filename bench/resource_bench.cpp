// What the SDK costs a process while nothing happens, measured in a process of its own:
//  - resident memory (VmRSS) after the dependencies are loaded, after the three libraries are
//    loaded on top of them, and after opening 8 readers of each connection type;
//  - with 1 and 8 readers of one connection type open and idle for a while (first argument,
//    seconds, default 10), the process's CPU time (getrusage: user + system, all threads) and
//    voluntary context switches (= wake-ups of blocked threads) per second.
// The simulated readers run in a separate process (tessera-sim), so everything counted here is
// the SDK's. Run from the folder of the libraries with the hidapi stand-in first on
// LD_LIBRARY_PATH (scripts/bench.sh does): resource_bench SECONDS PATH_TO_TESSERA_SIM
// Prints one line per figure: "name value unit".
#include <dlfcn.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchUtil.h"

extern char** environ;

namespace {

using OpenOrb = void* (*)(int, const char*);
using CloseOrb = void (*)(void*);
using OpenSwipe = unsigned long (*)(const char*);
using CloseSwipe = void (*)(unsigned long);

void report(const std::string& name, double value, const char* unit) {
    std::printf("%-40s %12.3f %s\n", name.c_str(), value, unit);
    std::fflush(stdout);
}

double rssMiB() {
    return static_cast<double>(benchutil::procStatusKiB("VmRSS")) / 1024.0;
}

// The simulator in a child process; its listing tells where each reader is.
struct Simulator {
    pid_t pid = -1;
    int toChild = -1;
    std::vector<std::string> orbUsb, orbTcp, orbSerial, swipeUsb, swipeSerial;

    bool start(const std::string& exe, const std::string& socket, int n) {
        int out[2], in[2];
        if (pipe(out) != 0 || pipe(in) != 0) return false;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        posix_spawn_file_actions_adddup2(&fa, in[0], 0);
        posix_spawn_file_actions_addclose(&fa, out[0]);
        posix_spawn_file_actions_addclose(&fa, in[1]);
        const std::string count = std::to_string(n);
        std::vector<std::string> args = {
            exe,   "--usb",          count, "--tcp",    count, "--serial", count, "--swipe",
            count, "--swipe-serial", count, "--socket", socket};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(&a[0]);
        argv.push_back(nullptr);
        int rc = posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        close(out[1]);
        close(in[0]);
        toChild = in[1];
        if (rc != 0) return false;
        FILE* f = fdopen(out[0], "r");
        char line[1024];
        while (std::fgets(line, sizeof line, f) != nullptr) {
            std::istringstream s(line);
            std::string name, kind, where, word, last;
            s >> name >> kind >> where;
            while (s >> word) last = word;
            if (name == "ready") break;
            if (kind == "usb") orbUsb.push_back(where);
            if (kind == "tcp") orbTcp.push_back(where);
            if (kind == "serial") orbSerial.push_back(where);
            if (kind == "swipe" && where.rfind("SERIAL://", 0) == 0) swipeSerial.push_back(where);
            if (kind == "swipe" && where.rfind("SERIAL://", 0) != 0)
                swipeUsb.push_back("HID://" + last);
        }
        return true;
    }
    ~Simulator() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            int status = 0;
            waitpid(pid, &status, 0);
        }
        if (toChild >= 0) close(toChild);
    }
};

long threadCount() {
    return benchutil::procStatusKiB("Threads");
}

void* symbol(void* lib, const char* name) {
    void* s = lib != nullptr ? dlsym(lib, name) : nullptr;
    if (s == nullptr) std::fprintf(stderr, "resource_bench: %s not found\n", name);
    return s;
}

// Idle figures of `open`ed readers over `seconds`, then closes them.
template <typename Handle>
void idle(const std::string& name, double seconds, std::vector<Handle> handles,
          void (*close)(Handle)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // opening has settled
    benchutil::Usage a = benchutil::processUsage();
    auto t0 = benchutil::Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    benchutil::Usage b = benchutil::processUsage();
    double wall = std::chrono::duration<double>(benchutil::Clock::now() - t0).count();
    // The main thread's own sleep is one switch; it is not the SDK's.
    report("idle." + name + ".cpu_ms_per_s", 1000.0 * (b.cpuSeconds - a.cpuSeconds) / wall, "ms/s");
    report("idle." + name + ".wakeups_per_s",
           static_cast<double>(b.voluntarySwitches - a.voluntarySwitches - 1) / wall, "1/s");
    for (Handle h : handles) close(h);
    // Whatever the closed readers left behind (threads still running, timers) shows here.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    a = benchutil::processUsage();
    t0 = benchutil::Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    b = benchutil::processUsage();
    wall = std::chrono::duration<double>(benchutil::Clock::now() - t0).count();
    report("closed." + name + ".cpu_ms_per_s", 1000.0 * (b.cpuSeconds - a.cpuSeconds) / wall,
           "ms/s");
    report("closed." + name + ".wakeups_per_s",
           static_cast<double>(b.voluntarySwitches - a.voluntarySwitches - 1) / wall, "1/s");
    report("closed." + name + ".threads", static_cast<double>(threadCount()), "threads");
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const std::string simExe = argc > 2 ? argv[2] : "../bin/tessera-sim";

    report("memory.start", rssMiB(), "MiB");
    // The dependencies the libraries load anyway (hidapi, libusb, libcrypto for libtessera).
    for (const char* dep : {"libhidapi-libusb.so.0", "libusb-1.0.so.0", "libcrypto.so.3"}) {
        if (dlopen(dep, RTLD_NOW | RTLD_GLOBAL) == nullptr)
            std::fprintf(stderr, "resource_bench: %s: %s\n", dep, dlerror());
    }
    const double deps = rssMiB();
    report("memory.dependencies_loaded", deps, "MiB");
    void* orb = dlopen("./liborbdev.so", RTLD_NOW | RTLD_GLOBAL);
    void* strix = dlopen("./libstrix.so", RTLD_NOW | RTLD_GLOBAL);
    void* tessera = dlopen("./libtessera.so", RTLD_NOW | RTLD_GLOBAL);
    if (orb == nullptr || strix == nullptr || tessera == nullptr) {
        std::fprintf(stderr, "resource_bench: %s (run from the libraries' folder)\n", dlerror());
        return 1;
    }
    const double loaded = rssMiB();
    report("memory.libraries_loaded", loaded, "MiB");
    report("memory.libraries_cost", loaded - deps, "MiB");

    auto openOrb = reinterpret_cast<OpenOrb>(symbol(orb, "ORBX_OpenDevice"));
    auto closeOrb = reinterpret_cast<CloseOrb>(symbol(orb, "ORBX_CloseDevice"));
    auto openSwipe = reinterpret_cast<OpenSwipe>(symbol(strix, "OpenDeviceEx"));
    auto closeSwipe = reinterpret_cast<CloseSwipe>(symbol(strix, "CloseDeviceEx"));

    char folder[] = "/tmp/resource-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) return 1;
    const std::string socket = std::string(folder) + "/hid.sock";
    setenv("TESSERA_SIM_HID", socket.c_str(), 1);
    Simulator sim;
    if (!sim.start(simExe, socket, 8)) {
        std::fprintf(stderr, "resource_bench: cannot start %s\n", simExe.c_str());
        return 1;
    }

    struct OrbKind {
        const char* name;
        int type;  // USB 0, TCP 4, SERIAL 7
        std::vector<std::string>* where;
    };
    for (const OrbKind& k : {OrbKind{"orb_usb", 0, &sim.orbUsb}, OrbKind{"orb_tcp", 4, &sim.orbTcp},
                             OrbKind{"orb_serial", 7, &sim.orbSerial}}) {
        if (openOrb == nullptr || closeOrb == nullptr) break;
        for (size_t n : {size_t{1}, size_t{8}}) {
            const double before = rssMiB();
            std::vector<void*> handles;
            for (size_t i = 0; i < n && i < k.where->size(); ++i) {
                void* h = openOrb(k.type, (*k.where)[i].c_str());
                if (h != nullptr && h != reinterpret_cast<void*>(-1)) handles.push_back(h);
            }
            const std::string name = std::string(k.name) + "." + std::to_string(n);
            report("open." + name, static_cast<double>(handles.size()), "readers");
            if (n == 8) report("memory.open8." + std::string(k.name), rssMiB() - before, "MiB");
            idle(name, seconds, handles, closeOrb);
        }
    }
    struct SwipeKind {
        const char* name;
        std::vector<std::string>* where;
    };
    for (const SwipeKind& k :
         {SwipeKind{"swipe_hid", &sim.swipeUsb}, SwipeKind{"swipe_serial", &sim.swipeSerial}}) {
        if (openSwipe == nullptr || closeSwipe == nullptr) break;
        for (size_t n : {size_t{1}, size_t{8}}) {
            const double before = rssMiB();
            std::vector<unsigned long> handles;
            for (size_t i = 0; i < n && i < k.where->size(); ++i) {
                unsigned long h = openSwipe((*k.where)[i].c_str());
                if (h != 0) handles.push_back(h);
            }
            const std::string name = std::string(k.name) + "." + std::to_string(n);
            report("open." + name, static_cast<double>(handles.size()), "readers");
            if (n == 8) report("memory.open8." + std::string(k.name), rssMiB() - before, "MiB");
            idle(name, seconds, handles, closeSwipe);
        }
    }
    report("memory.end", rssMiB(), "MiB");
    unlink(socket.c_str());
    rmdir(folder);
    return 0;
}
