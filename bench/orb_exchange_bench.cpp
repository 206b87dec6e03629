// End-to-end costs of liborbdev's C API against simulated message-schema readers on the hidapi
// stand-in (USB), loopback TCP and a pseudo-terminal (serial, SLIP), each beside the same work
// done directly on the transport by a raw client (RawLinks.h), in the same run:
//  - synchronous exchanges per second (ORBX_SendAndReceiveMessage),
//  - notifications per second delivered to the data callback in a burst (none lost, in order),
//  - a 1 MiB file message from the reader to the host and from the host to the reader.
// Run with the hidapi stand-in first on LD_LIBRARY_PATH (scripts/bench.sh does).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <pty.h>
#include <termios.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "BenchUtil.h"
#include "RawLinks.h"
#include "orbx.h"
#include "sim/Bench.h"
#include "sim/orb/OrbLinks.h"
#include "sim/orb/Wire.h"

namespace {

using sim::Bytes;
using sim::Millis;

constexpr std::uint16_t kEcho = 0x1F01;  // answered at once with one 8-byte parameter
constexpr std::uint32_t kBurstCode = 0x01020304;

enum LinkKind { kUsb = 0, kTcp = 1, kSerial = 2 };
const char* linkName(int k) {
    return k == kUsb ? "usb" : k == kTcp ? "tcp" : "serial";
}

struct Rig {
    sim::Bench bench;
    std::shared_ptr<sim::orb::HidOrbReader> usb = std::make_shared<sim::orb::HidOrbReader>();
    std::shared_ptr<sim::orb::TcpOrbReader> tcp = std::make_shared<sim::orb::TcpOrbReader>();
    std::shared_ptr<sim::orb::SerialOrbReader> serial =
        std::make_shared<sim::orb::SerialOrbReader>();
    std::string usbPath, tcpAddress, ptyPath;
    std::uint16_t tcpPort = 0;

    Rig() {
        bench.exportHidSocket();
        usbPath = bench.attachHid(usb);
        auto& t = bench.serveTcp(tcp);
        tcpAddress = t.address();
        tcpPort = t.port();
        ptyPath = bench.servePty(serial).slavePath();
        for (sim::orb::OrbReader* r : {&usb->reader(), &tcp->reader(), &serial->reader()}) {
            r->onCommand(kEcho, [](const sim::orb::Message&) {
                sim::orb::Reply reply;
                reply.params[0x81] = Bytes(8, 0x5A);
                return std::optional<sim::orb::Reply>(reply);
            });
        }
    }
    sim::orb::OrbReader& reader(int k) {
        return k == kUsb ? usb->reader() : k == kTcp ? tcp->reader() : serial->reader();
    }
    sim::HostLog& hostLog(int k) {
        return k == kUsb ? usb->hostLog() : k == kTcp ? tcp->hostLog() : serial->hostLog();
    }
    void* open(int k) {
        if (k == kUsb) return ORBX_OpenDevice(USB, usbPath.c_str());
        if (k == kTcp) return ORBX_OpenDevice(TCP, tcpAddress.c_str());
        return ORBX_OpenDevice(SERIAL, ("PORT=" + ptyPath + ",BAUDRATE=115200").c_str());
    }
    std::unique_ptr<rawlink::Link> raw(int k) {
        if (k == kUsb) {
            auto l = std::make_unique<rawlink::HidLink>(usbPath);
            return l->ok() ? std::move(l) : nullptr;
        }
        if (k == kTcp) {
            auto l = std::make_unique<rawlink::TcpLink>(tcpPort);
            return l->ok() ? std::move(l) : nullptr;
        }
        auto l = std::make_unique<rawlink::PtyLink>(ptyPath);
        return l->ok() ? std::move(l) : nullptr;
    }
};

Rig& rig() {
    static Rig r;
    return r;
}

bool isOpen(void* h) {
    return h != nullptr && h != reinterpret_cast<void*>(-1);
}

// Waits until the simulated reader sees the host (a stream link accepts asynchronously).
void settle() {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

std::string hexOf(const Bytes& b) {
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    s.reserve(2 * b.size());
    for (unsigned char c : b) {
        s.push_back(digits[c >> 4]);
        s.push_back(digits[c & 15]);
    }
    return s;
}

// ---- synchronous exchanges ----

void BM_OrbExchange_Sdk(benchmark::State& state) {
    const int k = static_cast<int>(state.range(0));
    void* h = rig().open(k);
    if (!isOpen(h)) {
        state.SkipWithError("open failed (is the hidapi stand-in on LD_LIBRARY_PATH?)");
        return;
    }
    settle();
    const std::string command = hexOf(sim::orb::buildCommand(kEcho, 1, {}));
    benchutil::ProcessCpu cpu(state);
    for (auto _ : state) {
        const char* response = ORBX_SendAndReceiveMessage(h, command.c_str(), 1000);
        if (response == nullptr || response[0] == '\0') {
            state.SkipWithError("no response");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(linkName(k));
    ORBX_CloseDevice(h);
}

void BM_OrbExchange_Raw(benchmark::State& state) {
    const int k = static_cast<int>(state.range(0));
    auto link = rig().raw(k);
    if (!link) {
        state.SkipWithError("raw link failed");
        return;
    }
    settle();
    const Bytes command = sim::orb::buildCommand(kEcho, 1, {});
    benchutil::ProcessCpu cpu(state);
    for (auto _ : state) {
        link->send(command);
        if (!link->receive(1000)) {
            state.SkipWithError("no response");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(linkName(k));
}

// The SDK's and the raw client's exchanges take turns, a few rounds of each (BENCH_ROUNDS,
// default 3), so that a burst of load from elsewhere on the machine does not fall on one side
// only; scripts/bench_table.py compares the best round of each.
void registerExchanges() {
    const char* r = std::getenv("BENCH_ROUNDS");
    const int rounds = r != nullptr ? std::max(1, std::atoi(r)) : 3;
    for (int round = 1; round <= rounds; ++round) {
        for (int k : {kUsb, kTcp, kSerial}) {
            for (auto* fn : {&BM_OrbExchange_Sdk, &BM_OrbExchange_Raw}) {
                const std::string name =
                    std::string(fn == &BM_OrbExchange_Sdk ? "BM_OrbExchange_Sdk"
                                                          : "BM_OrbExchange_Raw") +
                    "/round:" + std::to_string(round);
                benchmark::RegisterBenchmark(name.c_str(), fn)->Arg(k)->UseRealTime();
            }
        }
    }
}

// ---- notification burst ----

// What the data callback saw: how many notifications, and whether their sequence numbers
// (parameter 81) came in order without a gap.
struct Sink {
    std::mutex m;
    std::condition_variable cv;
    long count = 0;
    long expected = 0;
    bool inOrder = true;
    bool gotFile = false;
    size_t fileBytes = 0;
};
Sink g_sink;

// Notifications are asked for first: it is the common case, and ORBX_IsFile costs a thrown
// and caught exception for every message that is not a file.
void onData(void*, const char* hex) {
    if (ORBX_IsNotification(hex, kBurstCode, 0)) {
        long seq = std::strtol(ORBX_GetNotificationParameter(hex, "81"), nullptr, 16);
        std::lock_guard<std::mutex> g(g_sink.m);
        if (seq != g_sink.expected) g_sink.inOrder = false;
        g_sink.expected = seq + 1;
        ++g_sink.count;
        g_sink.cv.notify_all();
        return;
    }
    if (ORBX_IsFile(hex)) {
        std::lock_guard<std::mutex> g(g_sink.m);
        g_sink.gotFile = true;
        g_sink.fileBytes = std::strlen(ORBX_GetFilePayload(hex)) / 2;
        g_sink.cv.notify_all();
    }
}

Bytes seqParam(long i) {
    return Bytes{static_cast<unsigned char>(i >> 24), static_cast<unsigned char>(i >> 16),
                 static_cast<unsigned char>(i >> 8), static_cast<unsigned char>(i)};
}

long burstSize() {
    const char* n = std::getenv("BENCH_BURST");
    return n != nullptr ? std::atol(n) : 100000;
}

void BM_OrbNotifications_Sdk(benchmark::State& state) {
    const int k = static_cast<int>(state.range(0));
    const long n = burstSize();
    void* h = rig().open(k);
    if (!isOpen(h)) {
        state.SkipWithError("open failed");
        return;
    }
    ORBX_SetDataArriveCallback(h, onData);
    settle();
    bool complete = true;
    for (auto _ : state) {
        {
            std::lock_guard<std::mutex> g(g_sink.m);
            g_sink.count = 0;
            g_sink.expected = 0;
            g_sink.inOrder = true;
        }
        for (long i = 0; i < n; ++i)
            rig().reader(k).notify(0x1001, kBurstCode, {{0x81, seqParam(i)}});
        std::unique_lock<std::mutex> g(g_sink.m);
        complete =
            g_sink.cv.wait_for(g, std::chrono::seconds(120), [&] { return g_sink.count >= n; });
    }
    state.counters["delivered"] = static_cast<double>(g_sink.count);
    state.counters["lost"] = static_cast<double>(n - g_sink.count);
    state.counters["in_order"] = g_sink.inOrder ? 1 : 0;
    state.counters["msgs_per_s"] = benchmark::Counter(static_cast<double>(n) * state.iterations(),
                                                      benchmark::Counter::kIsRate);
    if (!complete || !g_sink.inOrder) state.SkipWithError("notifications lost or out of order");
    state.SetLabel(linkName(k));
    ORBX_CloseDevice(h);
}
BENCHMARK(BM_OrbNotifications_Sdk)
    ->Arg(kUsb)
    ->Arg(kTcp)
    ->Arg(kSerial)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_OrbNotifications_Raw(benchmark::State& state) {
    const int k = static_cast<int>(state.range(0));
    const long n = burstSize();
    auto link = rig().raw(k);
    if (!link) {
        state.SkipWithError("raw link failed");
        return;
    }
    settle();
    long got = 0;
    for (auto _ : state) {
        got = 0;
        for (long i = 0; i < n; ++i)
            rig().reader(k).notify(0x1001, kBurstCode, {{0x81, seqParam(i)}});
        while (got < n && link->receive(5000)) ++got;
    }
    state.counters["delivered"] = static_cast<double>(got);
    state.counters["msgs_per_s"] = benchmark::Counter(static_cast<double>(n) * state.iterations(),
                                                      benchmark::Counter::kIsRate);
    if (got != n) state.SkipWithError("raw client lost notifications");
    state.SetLabel(linkName(k));
}
BENCHMARK(BM_OrbNotifications_Raw)
    ->Arg(kUsb)
    ->Arg(kTcp)
    ->Arg(kSerial)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The SDK's own delivery capacity: a source that writes a prebuilt burst as fast as the link
// takes it (a TCP server of our own on loopback, or our own pseudo-terminal), so that the
// simulator's per-message cost does not set the pace.
void BM_OrbNotifications_Sdk_Blast(benchmark::State& state) {
    const int k = static_cast<int>(state.range(0));
    const long n = burstSize();
    Bytes stream;
    for (long i = 0; i < n; ++i) {
        Bytes m = sim::orb::buildNotification(0x1001, static_cast<std::uint8_t>(i), kBurstCode,
                                              {{0x81, seqParam(i)}});
        if (k == kTcp) {
            for (const Bytes& p : sim::orb::cutIntoPackets(m)) {
                Bytes padded = sim::orb::padded(p);
                stream.insert(stream.end(), padded.begin(), padded.end());
            }
        } else {
            Bytes f = sim::orb::slipFrame(0x02, m);
            stream.insert(stream.end(), f.begin(), f.end());
        }
    }
    int listener = -1, line = -1, slave = -1;
    void* h = nullptr;
    if (k == kTcp) {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listener, 1);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
        const std::string address = "tcp://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
        h = ORBX_OpenDevice(TCP, address.c_str());
        if (isOpen(h)) line = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    } else {
        char name[256] = {};
        if (::openpty(&line, &slave, name, nullptr, nullptr) == 0) {
            termios t{};
            ::tcgetattr(slave, &t);
            ::cfmakeraw(&t);
            ::tcsetattr(slave, TCSANOW, &t);
            h = ORBX_OpenDevice(SERIAL, (std::string("PORT=") + name + ",BAUDRATE=115200").c_str());
        }
    }
    if (!isOpen(h) || line < 0) {
        state.SkipWithError("open failed");
    } else {
        ORBX_SetDataArriveCallback(h, onData);
        settle();
        bool complete = true;
        const double cpu0 = benchutil::processUsage().cpuSeconds;
        for (auto _ : state) {
            {
                std::lock_guard<std::mutex> g(g_sink.m);
                g_sink.count = 0;
                g_sink.expected = 0;
                g_sink.inOrder = true;
            }
            std::thread writer([&] {
                size_t off = 0;
                while (off < stream.size()) {
                    ssize_t w = ::write(line, stream.data() + off, stream.size() - off);
                    if (w <= 0 && errno != EINTR) break;
                    if (w > 0) off += static_cast<size_t>(w);
                }
            });
            {
                std::unique_lock<std::mutex> g(g_sink.m);
                complete = g_sink.cv.wait_for(g, std::chrono::seconds(120),
                                              [&] { return g_sink.count >= n; });
            }
            writer.join();
        }
        state.counters["delivered"] = static_cast<double>(g_sink.count);
        state.counters["lost"] = static_cast<double>(n - g_sink.count);
        state.counters["in_order"] = g_sink.inOrder ? 1 : 0;
        state.counters["msgs_per_s"] = benchmark::Counter(
            static_cast<double>(n) * state.iterations(), benchmark::Counter::kIsRate);
        if (!complete || !g_sink.inOrder) state.SkipWithError("notifications lost or out of order");
        state.counters["proc_cpu_us_per_msg"] =
            1e6 * (benchutil::processUsage().cpuSeconds - cpu0) /
            (static_cast<double>(n) * static_cast<double>(state.iterations()));
        state.SetLabel(std::string(linkName(k)) + ", prebuilt stream");
    }
    if (isOpen(h)) ORBX_CloseDevice(h);
    for (int fd : {line, slave, listener})
        if (fd >= 0) ::close(fd);
}
BENCHMARK(BM_OrbNotifications_Sdk_Blast)
    ->Arg(kTcp)
    ->Arg(kSerial)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// ---- 1 MiB file messages ----

// 1 MiB unless BENCH_FILE_BYTES says otherwise (the smoke test uses a small file).
size_t fileBytes() {
    const char* n = std::getenv("BENCH_FILE_BYTES");
    return n != nullptr ? static_cast<size_t>(std::atol(n)) : size_t{1} << 20;
}

void BM_OrbFileToHost_Sdk(benchmark::State& state) {
    const int k = static_cast<int>(state.range(0));
    const size_t kFileBytes = fileBytes();
    void* h = rig().open(k);
    if (!isOpen(h)) {
        state.SkipWithError("open failed");
        return;
    }
    ORBX_SetDataArriveCallback(h, onData);
    settle();
    Bytes contents(kFileBytes, 0x3C);
    bool ok = true;
    for (auto _ : state) {
        {
            std::lock_guard<std::mutex> g(g_sink.m);
            g_sink.gotFile = false;
        }
        rig().reader(k).sendFile(0x1F20, 7, contents);
        std::unique_lock<std::mutex> g(g_sink.m);
        ok = g_sink.cv.wait_for(g, std::chrono::seconds(60), [] { return g_sink.gotFile; }) &&
             g_sink.fileBytes == kFileBytes;
        if (!ok) break;
    }
    if (!ok) state.SkipWithError("file not delivered whole");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
    state.SetLabel(linkName(k));
    ORBX_CloseDevice(h);
}
BENCHMARK(BM_OrbFileToHost_Sdk)
    ->Arg(kUsb)
    ->Arg(kTcp)
    ->Arg(kSerial)
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_OrbFileToHost_Raw(benchmark::State& state) {
    const int k = static_cast<int>(state.range(0));
    const size_t kFileBytes = fileBytes();
    auto link = rig().raw(k);
    if (!link) {
        state.SkipWithError("raw link failed");
        return;
    }
    settle();
    Bytes contents(kFileBytes, 0x3C);
    bool ok = true;
    for (auto _ : state) {
        rig().reader(k).sendFile(0x1F20, 7, contents);
        auto m = link->receive(60000);
        ok = m && m->size() > kFileBytes;
        if (!ok) break;
    }
    if (!ok) state.SkipWithError("file not received");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
    state.SetLabel(linkName(k));
}
BENCHMARK(BM_OrbFileToHost_Raw)
    ->Arg(kUsb)
    ->Arg(kTcp)
    ->Arg(kSerial)
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_OrbFileToReader_Sdk(benchmark::State& state) {
    const int k = static_cast<int>(state.range(0));
    const size_t kFileBytes = fileBytes();
    void* h = rig().open(k);
    if (!isOpen(h)) {
        state.SkipWithError("open failed");
        return;
    }
    settle();
    const std::string file =
        ORBX_GetFileMessage(7, std::string(2 * kFileBytes, 'A').c_str(), 0x1F20);
    sim::HostLog& log = rig().hostLog(k);
    bool ok = true;
    for (auto _ : state) {
        const size_t before = log.count(sim::HostLog::Kind::Message);
        ok = ORBX_SendMessage(h, file.c_str()) == 0 &&
             log.waitFor(sim::HostLog::Kind::Message, before + 1, Millis(60000));
        if (!ok) break;
    }
    if (!ok) state.SkipWithError("file not sent");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
    state.SetLabel(linkName(k));
    ORBX_CloseDevice(h);
}
BENCHMARK(BM_OrbFileToReader_Sdk)
    ->Arg(kUsb)
    ->Arg(kTcp)
    ->Arg(kSerial)
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_OrbFileToReader_Raw(benchmark::State& state) {
    const int k = static_cast<int>(state.range(0));
    const size_t kFileBytes = fileBytes();
    auto link = rig().raw(k);
    if (!link) {
        state.SkipWithError("raw link failed");
        return;
    }
    settle();
    const Bytes file = sim::orb::buildFile(0x1F20, 7, Bytes(kFileBytes, 0xAA));
    sim::HostLog& log = rig().hostLog(k);
    bool ok = true;
    for (auto _ : state) {
        const size_t before = log.count(sim::HostLog::Kind::Message);
        ok =
            link->send(file) && log.waitFor(sim::HostLog::Kind::Message, before + 1, Millis(60000));
        if (!ok) break;
    }
    if (!ok) state.SkipWithError("file not sent");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
    state.SetLabel(linkName(k));
}
BENCHMARK(BM_OrbFileToReader_Raw)
    ->Arg(kUsb)
    ->Arg(kTcp)
    ->Arg(kSerial)
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    rig();  // the bench exists (and TESSERA_SIM_HID is set) before the library enumerates
    registerExchanges();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
