// Throughput of the swipe-reader engine's decoding paths, and the cost of opening and closing a
// HID reader (closing waits for the reading thread, which notices the stop within one read wait).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "HIDConnection.h"
#include "Kestrel.h"
#include "StrixRecords.h"
#include "SwipeCard.h"
#include "SwipeHidDevice.h"
#include "sim/Bench.h"

namespace {

class Engine : public Kestrel {
  public:
    explicit Engine(long pid) {
        for (const CRConfigTable& row : CR_CfgTable)
            if (row.dwPID == pid) configTable = row;
    }
};

std::vector<unsigned char> report(long pid) {
    const auto& model = sim::swipe::swipeModel(static_cast<uint16_t>(pid));
    sim::swipe::SecureFields secure;
    secure.fluxmark.assign(100, 0x5A);
    secure.battery = 80;
    return sim::swipe::buildCardReport(sim::swipe::isoVisaCard(), model, secure, 1);
}

void BM_DecodeCardReport(benchmark::State& state) {
    const long pid = state.range(0);
    Engine engine(pid);
    std::vector<unsigned char> r = report(pid);
    for (auto _ : state) engine.onData(nullptr, r.data(), static_cast<int>(r.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * r.size()));
    state.SetLabel(std::to_string(r.size()) + "-byte report");
}
BENCHMARK(BM_DecodeCardReport)->Arg(0x0001)->Arg(0x0019);

void BM_ReassembleNotification(benchmark::State& state) {
    Engine engine(0x0019);
    const size_t total = 300;
    std::vector<std::vector<unsigned char>> chunks;
    for (size_t offset = 0; offset < total; offset += 256) {
        size_t n = std::min<size_t>(256, total - offset);
        std::vector<unsigned char> c{2,
                                     0,
                                     static_cast<unsigned char>(n & 0xFF),
                                     static_cast<unsigned char>(offset >> 8),
                                     static_cast<unsigned char>(offset),
                                     0x18,
                                     0x01,
                                     static_cast<unsigned char>(total >> 8),
                                     static_cast<unsigned char>(total)};
        c.resize(9 + n, 0x33);
        chunks.push_back(c);
    }
    for (auto _ : state)
        for (auto& c : chunks) engine.onData(nullptr, c.data(), static_cast<int>(c.size()));
}
BENCHMARK(BM_ReassembleNotification);

void BM_ComposeExtendedCommand(benchmark::State& state) {
    Engine engine(0x0019);
    std::string command = "0303:" + std::string(2 * static_cast<size_t>(state.range(0)), 'A');
    std::vector<unsigned char> buffer(65536);
    for (auto _ : state) {
        int length = static_cast<int>(buffer.size());
        benchmark::DoNotOptimize(engine.composeExtendedCommand(
            reinterpret_cast<unsigned char*>(&command[0]), static_cast<int>(command.size()),
            buffer.data(), &length));
    }
}
BENCHMARK(BM_ComposeExtendedCommand)->Arg(105)->Arg(4000);

// Closing a HID reader whose reading thread is waiting for input.
void BM_HidClose(benchmark::State& state) {
    sim::Bench bench;
    bench.exportHidSocket();
    auto reader = std::make_shared<sim::swipe::SwipeHidDevice>(0x0019, "B1000000000000A1");
    std::string path = bench.attachHid(reader);
    std::string name = "HID://" + path;
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<HIDConnection> c(HIDConnection::open(name.c_str()));
        if (!c) {
            state.SkipWithError("no simulated reader: run with the hidapi stand-in");
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // thread now in its read
        state.ResumeTiming();
        c.reset();
    }
}
BENCHMARK(BM_HidClose)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(40);

}  // namespace

BENCHMARK_MAIN();
