// Synchronous exchanges per second with a simulated swipe reader through SendCommandEx (libstrix's
// handle API), beside the same exchange done directly on the transport: for HID, the command's
// feature report written and the answer's feature report read through hidapi (the stand-in);
// the serial line is measured through the SDK only.
// Run with the hidapi stand-in first on LD_LIBRARY_PATH (scripts/bench.sh does).
#include <benchmark/benchmark.h>
#include <hidapi/hidapi.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "BenchUtil.h"
#include "SerialSwipeReader.h"
#include "SwipeHidDevice.h"
#include "SwipeModel.h"
#include "sim/Bench.h"
#include "strix.h"

namespace {

constexpr const char* kSerial = "B1000000000000A1";
constexpr const char* kCommand = "0003";  // the reader's serial number

struct Rig {
    sim::Bench bench;
    std::shared_ptr<sim::swipe::SwipeHidDevice> reader =
        std::make_shared<sim::swipe::SwipeHidDevice>(0x0019, kSerial);
    std::string path;
    Rig() {
        bench.exportHidSocket();
        path = bench.attachHid(reader);
    }
};

Rig& rig() {
    static Rig r;
    return r;
}

void BM_SwipeExchange_Sdk_hid(benchmark::State& state) {
    unsigned long h = OpenDeviceEx((std::string("HID://") + kSerial).c_str());
    if (h == 0) {
        state.SkipWithError("open failed (is the hidapi stand-in on LD_LIBRARY_PATH?)");
        return;
    }
    benchutil::ProcessCpu cpu(state);
    for (auto _ : state) {
        const char* answer = SendCommandEx(h, kCommand);
        if (answer == nullptr || answer[0] == '\0') {
            state.SkipWithError("no answer");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    CloseDeviceEx(h);
}

// The reports the SDK writes for the command, taken from the reader's record of one exchange.
std::vector<sim::Bytes> commandReports() {
    Rig& r = rig();
    unsigned long h = OpenDeviceEx((std::string("HID://") + kSerial).c_str());
    if (h == 0) return {};
    r.reader->hostLog().clear();
    SendCommandEx(h, kCommand);
    std::vector<sim::Bytes> out;
    for (const auto& e : r.reader->hostLog().entries()) {
        if (e.kind == sim::HostLog::Kind::SetFeature) out.push_back(e.data);
    }
    CloseDeviceEx(h);
    return out;
}

void BM_SwipeExchange_Raw_hid(benchmark::State& state) {
    std::vector<sim::Bytes> reports = commandReports();
    hid_device* dev = hid_open_path(rig().path.c_str());
    if (reports.empty() || dev == nullptr) {
        state.SkipWithError("no simulated reader");
        if (dev != nullptr) hid_close(dev);
        return;
    }
    unsigned char answer[61];
    benchutil::ProcessCpu cpu(state);
    for (auto _ : state) {
        for (const auto& r : reports) hid_send_feature_report(dev, r.data(), r.size());
        answer[0] = 0;
        if (hid_get_feature_report(dev, answer, sizeof answer) <= 0) {
            state.SkipWithError("no answer");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    hid_close(dev);
}

void BM_SwipeExchange_Sdk_serial(benchmark::State& state) {
    sim::swipe::SerialSwipeReader reader(sim::swipe::swipeModel(0x0019), kSerial,
                                         sim::swipe::LineFormat::Slip);
    unsigned long h = OpenDeviceEx(reader.connectionString().c_str());
    if (h == 0) {
        state.SkipWithError("open failed");
        return;
    }
    benchutil::ProcessCpu cpu(state);
    for (auto _ : state) {
        const char* answer = SendCommandEx(h, kCommand);
        if (answer == nullptr || answer[0] == '\0') {
            state.SkipWithError("no answer");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    CloseDeviceEx(h);
}

// The SDK's and the raw client's exchanges take turns, a few rounds of each (BENCH_ROUNDS,
// default 3); scripts/bench_table.py compares the best round of each.
void registerExchanges() {
    const char* r = std::getenv("BENCH_ROUNDS");
    const int rounds = r != nullptr ? std::max(1, std::atoi(r)) : 3;
    for (int round = 1; round <= rounds; ++round) {
        const std::string suffix = "/round:" + std::to_string(round);
        benchmark::RegisterBenchmark(("BM_SwipeExchange_Sdk_hid" + suffix).c_str(),
                                     BM_SwipeExchange_Sdk_hid)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("BM_SwipeExchange_Raw_hid" + suffix).c_str(),
                                     BM_SwipeExchange_Raw_hid)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("BM_SwipeExchange_Sdk_serial" + suffix).c_str(),
                                     BM_SwipeExchange_Sdk_serial)
            ->UseRealTime();
    }
}

}  // namespace

int main(int argc, char** argv) {
    rig();  // the bench exists (and TESSERA_SIM_HID is set) before the libraries enumerate
    registerExchanges();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
