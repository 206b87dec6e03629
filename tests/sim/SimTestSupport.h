#pragma once
// Helpers shared by the bench tests: a small HID device that answers like a loop-back reader,
// and a check that the hidapi in this process is the stand-in.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <hidapi/hidapi.h>

#include <atomic>
#include <map>
#include <string>

#include "sim/Bench.h"

namespace simtest {

using namespace std::chrono_literals;
using sim::Bytes;

// Returns every output report (without its report number) as an input report, keeps feature
// reports by id and answers get-feature with them.
class LoopbackDevice : public sim::HidDevice {
  public:
    explicit LoopbackDevice(sim::HidIdentity id) : HidDevice(std::move(id)) {}
    std::atomic<int> opened{0};
    std::atomic<int> closed{0};

  protected:
    void onOutputReport(const Bytes& report) override {
        pushInput(Bytes(report.begin() + 1, report.end()));
    }
    int onSetFeature(const Bytes& report) override {
        if (report[0] == 0xEE) return -1;  // a report id the device refuses
        features_[report[0]] = report;
        return static_cast<int>(report.size());
    }
    int onGetFeature(std::uint8_t id, std::size_t, Bytes& out) override {
        auto it = features_.find(id);
        if (it == features_.end()) return -1;
        out = it->second;
        return static_cast<int>(out.size());
    }
    void onHostOpened() override { ++opened; }
    void onHostClosed() override { ++closed; }

  private:
    std::map<std::uint8_t, Bytes> features_;  // bench thread only
};

inline sim::HidIdentity identity(std::uint16_t pid, std::string serial) {
    sim::HidIdentity id;
    id.vendorId = 0x2F1A;
    id.productId = pid;
    id.serialNumber = std::move(serial);
    id.product = "Test Reader";
    id.manufacturer = "Bench";
    return id;
}

// The tests are meaningless against the real hidapi: make sure the stand-in was loaded.
inline std::string loadedHidapi() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&hid_enumerate), &info) || !info.dli_fname) return {};
    return info.dli_fname;
}

inline Bytes readReport(hid_device* dev, int timeoutMs = 2000) {
    unsigned char buf[512];
    int n = hid_read_timeout(dev, buf, sizeof buf, timeoutMs);
    if (n <= 0) return {};
    return Bytes(buf, buf + n);
}

}  // namespace simtest
