#include "SwipeHidDevice.h"

#include <algorithm>

namespace sim::swipe {

namespace {
sim::HidIdentity identityOf(uint16_t productId, const std::string& serial) {
    sim::HidIdentity id;
    id.vendorId = kVendorId;
    id.productId = productId;
    id.serialNumber = serial;
    id.product = swipeModel(productId).name;
    id.manufacturer = "Simulated Readers";
    return id;
}
}  // namespace

SwipeHidDevice::SwipeHidDevice(uint16_t productId, std::string serial)
    : sim::HidDevice(identityOf(productId, serial)),
      core_(std::make_unique<SwipeReaderCore>(swipeModel(productId),
                                              serial.empty() ? "B0000000000000000" : serial)) {
    SwipeReaderCore::Listener l;
    l.cardReport = [this](const Bytes& report) { pushInput(report); };
    l.notificationChunk = [this](uint16_t id, uint16_t off, uint16_t total, const Bytes& c) {
        Bytes r{0x02,
                0x00,
                static_cast<uint8_t>(c.size() & 0xFF),  // 256 is written as 0
                static_cast<uint8_t>(off >> 8),
                static_cast<uint8_t>(off),
                static_cast<uint8_t>(id >> 8),
                static_cast<uint8_t>(id),
                static_cast<uint8_t>(total >> 8),
                static_cast<uint8_t>(total)};
        r.insert(r.end(), c.begin(), c.end());
        pushInput(r);
    };
    core_->setListener(l);
}

SwipeHidDevice::~SwipeHidDevice() {
    core_.reset();  // stops the reader's scheduled events before the device goes
}

int SwipeHidDevice::onSetFeature(const sim::Bytes& report) {
    core_->onFeatureReport(report.data(), report.size());
    return static_cast<int>(report.size());
}

int SwipeHidDevice::onGetFeature(std::uint8_t reportId, std::size_t maxLength, sim::Bytes& out) {
    Bytes a = core_->answer();
    out.assign(std::min(maxLength, kFeatureReportLength), 0);
    if (out.empty()) return -1;
    out[0] = reportId;
    std::copy_n(a.begin(), std::min(a.size(), out.size() - 1), out.begin() + 1);
    return static_cast<int>(out.size());
}

}  // namespace sim::swipe
