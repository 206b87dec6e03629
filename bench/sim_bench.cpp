// Round-trip costs of the bench's transports, to know how much time the simulation itself adds
// to what a test measures. Run with the stand-in loaded:
//   LD_LIBRARY_PATH=build/sim/standin build/bin/sim_bench
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <hidapi/hidapi.h>

#include <cstdio>
#include <string>

#include "sim/Bench.h"
#include "sim/orb/OrbLinks.h"
#include "sim/orb/Packets.h"
#include "sim/orb/Wire.h"

namespace {

class Echo : public sim::HidDevice {
  public:
    Echo() : HidDevice({0x2F1A, 0x2020, "BENCH", "Echo", "Bench"}) {}

  protected:
    void onOutputReport(const sim::Bytes& r) override {
        pushInput(sim::Bytes(r.begin() + 1, r.end()));
    }
};

bool standinLoaded() {
    Dl_info info{};
    return dladdr(reinterpret_cast<void*>(&hid_enumerate), &info) && info.dli_fname &&
           std::string(info.dli_fname).find("sim/standin") != std::string::npos;
}

// One 65-byte output report to an echoing device and its 64-byte input report back.
void HidReportRoundTrip(benchmark::State& state) {
    if (!standinLoaded()) {
        state.SkipWithError("the hidapi stand-in is not loaded (LD_LIBRARY_PATH)");
        return;
    }
    sim::Bench bench;
    bench.exportHidSocket();
    auto dev = std::make_shared<Echo>();
    hid_device* h = hid_open_path(bench.attachHid(dev).c_str());
    unsigned char out[65] = {0, 1, 2, 3}, in[64];
    for (auto _ : state) {
        hid_write(h, out, sizeof out);
        if (hid_read_timeout(h, in, sizeof in, 1000) != 64) state.SkipWithError("no answer");
    }
    hid_close(h);
}
BENCHMARK(HidReportRoundTrip)->UseRealTime();

// A whole command and its response through the simulated reader on USB (packets, assembly,
// parsing and building on the reader's side).
void HidCommandResponse(benchmark::State& state) {
    if (!standinLoaded()) {
        state.SkipWithError("the hidapi stand-in is not loaded (LD_LIBRARY_PATH)");
        return;
    }
    sim::Bench bench;
    bench.exportHidSocket();
    auto reader = std::make_shared<sim::orb::HidOrbReader>();
    hid_device* h = hid_open_path(bench.attachHid(reader).c_str());
    sim::Bytes command = sim::orb::buildCommand(0x1F01, 1, {{0x81, sim::Bytes(200, 0x11)}});
    auto packets = sim::orb::cutIntoPackets(command);
    for (auto _ : state) {
        for (auto& p : packets) {
            unsigned char report[65] = {0};
            std::copy(p.begin(), p.end(), report + 1);
            hid_write(h, report, sizeof report);
        }
        sim::orb::PacketAssembler a;
        unsigned char in[64];
        for (;;) {
            if (hid_read_timeout(h, in, sizeof in, 1000) != 64) {
                state.SkipWithError("no answer");
                break;
            }
            if (a.feed(sim::Bytes(in, in + 64))) break;
        }
    }
    hid_close(h);
}
BENCHMARK(HidCommandResponse)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
