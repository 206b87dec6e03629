// Costs of the reading threads of the USB, TCP and serial connections:
//  - idle wake-ups per second of an open connection (voluntary context switches of the threads
//    that Open started, over a few seconds without traffic),
//  - time from a report or packet being handed to the link until the connection delivers it,
//  - time Close takes.
// USB goes through the hidapi stand-in: run with LD_LIBRARY_PATH=<build>/sim/standin.
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <pty.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "CommPort.h"
#include "SocketConnection.h"
#include "USBConnection.h"
#include "sim/Bench.h"
#include "sim/HidDevice.h"

using Clock = std::chrono::steady_clock;

namespace {

std::set<int> tasks() {
    std::set<int> ids;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] != '.') ids.insert(std::atoi(e->d_name));
        }
        closedir(d);
    }
    return ids;
}

long voluntarySwitches(const std::set<int>& ids) {
    long total = 0;
    for (int id : ids) {
        std::ifstream status("/proc/self/task/" + std::to_string(id) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
                total += std::atol(line.c_str() + 24);
        }
    }
    return total;
}

// Opens through `open`, then counts the wake-ups of the threads it started over `seconds`.
double idleWakeups(const std::function<void()>& open, double seconds) {
    const std::set<int> before = tasks();
    open();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::set<int> started;
    for (int id : tasks()) {
        if (!before.count(id)) started.insert(id);
    }
    const long a = voluntarySwitches(started);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const long b = voluntarySwitches(started);
    return (b - a) / seconds;
}

struct Latency {
    std::mutex m;
    std::condition_variable cv;
    Clock::time_point arrived;
    bool got = false;
    void hit() {
        std::lock_guard<std::mutex> g(m);
        arrived = Clock::now();
        got = true;
        cv.notify_all();
    }
    // Runs `send` and returns the microseconds until hit().
    double measure(const std::function<void()>& send) {
        {
            std::lock_guard<std::mutex> g(m);
            got = false;
        }
        const auto start = Clock::now();
        send();
        std::unique_lock<std::mutex> g(m);
        cv.wait_for(g, std::chrono::seconds(2), [this] { return got; });
        return got ? std::chrono::duration<double, std::micro>(arrived - start).count() : -1;
    }
};

void report(const char* link, double wakeups, std::vector<double> samples, double closeMs) {
    std::sort(samples.begin(), samples.end());
    auto at = [&](double q) { return samples[static_cast<size_t>(q * (samples.size() - 1))]; };
    std::printf(
        "%-7s idle wake-ups/s %6.1f | delivery us: median %7.1f p90 %7.1f max %7.1f | close ms "
        "%6.2f\n",
        link, wakeups, at(0.5), at(0.9), samples.back(), closeMs);
}

double timedClose(const std::function<void()>& close) {
    const auto start = Clock::now();
    close();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

constexpr int kSamples = 200;
constexpr double kIdleSeconds = 3.0;

void benchUsb() {
    sim::Bench bench;
    bench.exportHidSocket();
    auto device = std::make_shared<sim::HidDevice>(
        sim::HidIdentity{0x2F1A, 0x2020, "BENCH", "Reader", "Bench"});
    USBConnection conn(bench.attachHid(device));
    Latency lat;
    conn.onData = [&](unsigned char*, unsigned int) { lat.hit(); };
    const double idle = idleWakeups([&] { conn.Open(); }, kIdleSeconds);
    device->waitOpened(std::chrono::milliseconds(2000));
    std::vector<double> samples;
    for (int i = 0; i < kSamples; ++i) {
        samples.push_back(
            lat.measure([&] { device->pushInput(std::vector<unsigned char>(64, 1)); }));
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    report("USB", idle, samples, timedClose([&] { conn.Close(); }));
}

void benchTcp() {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    listen(listener, 1);
    socklen_t len = sizeof sa;
    getsockname(listener, reinterpret_cast<sockaddr*>(&sa), &len);
    SocketConnection conn("tcp://127.0.0.1:" + std::to_string(ntohs(sa.sin_port)));
    Latency lat;
    conn.onData = [&](unsigned char*, unsigned int) { lat.hit(); };
    int peer = -1;
    const double idle = idleWakeups(
        [&] {
            conn.Open();
            peer = accept(listener, nullptr, nullptr);
        },
        kIdleSeconds);
    std::vector<double> samples;
    const std::vector<unsigned char> packet(64, 1);
    for (int i = 0; i < kSamples; ++i) {
        samples.push_back(lat.measure([&] { (void)!send(peer, packet.data(), packet.size(), 0); }));
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    report("TCP", idle, samples, timedClose([&] { conn.Close(); }));
    close(peer);
    close(listener);
}

void benchSerial() {
    int master = -1, slave = -1;
    char name[256] = {0};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
    CommPort conn(std::string("PORT=") + name + ",BAUDRATE=115200");
    Latency lat;
    conn.onData = [&](unsigned char*, unsigned int) { lat.hit(); };
    const double idle = idleWakeups([&] { conn.Open(); }, kIdleSeconds);
    std::vector<double> samples;
    const std::vector<unsigned char> frame(64, 1);
    for (int i = 0; i < kSamples; ++i) {
        samples.push_back(lat.measure([&] { (void)!write(master, frame.data(), frame.size()); }));
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    report("serial", idle, samples, timedClose([&] { conn.Close(); }));
    close(master);
    close(slave);
}

}  // namespace

int main() {
    benchUsb();
    benchTcp();
    benchSerial();
    return 0;
}
