#include "sim/HidDevice.h"

namespace sim {

HidDevice::HidDevice(HidIdentity identity) : identity_(std::move(identity)) {}

HidDevice::~HidDevice() = default;

std::string HidDevice::path() const {
    std::lock_guard<std::mutex> g(lock_);
    return path_;
}

bool HidDevice::attached() const {
    std::lock_guard<std::mutex> g(lock_);
    return !path_.empty();
}

bool HidDevice::openByHost() const {
    std::lock_guard<std::mutex> g(lock_);
    return open_;
}

bool HidDevice::waitOpened(Millis timeout) const {
    std::unique_lock<std::mutex> g(lock_);
    return changed_.wait_for(g, timeout, [&] { return open_; });
}

bool HidDevice::waitClosed(Millis timeout) const {
    std::unique_lock<std::mutex> g(lock_);
    return changed_.wait_for(g, timeout, [&] { return !open_; });
}

bool HidDevice::pushInput(Bytes report, Millis delay) {
    std::shared_ptr<HidBus> bus;
    {
        std::lock_guard<std::mutex> g(lock_);
        if (!open_) return false;
        bus = bus_.lock();
    }
    if (!bus) return false;
    bus->queueInput(this, std::move(report), delay);
    return true;
}

void HidDevice::unplug() {
    std::shared_ptr<HidBus> bus;
    std::string path;
    {
        std::lock_guard<std::mutex> g(lock_);
        bus = bus_.lock();
        path = path_;
    }
    if (bus) bus->detach(path);
}

void HidDevice::bind(std::weak_ptr<HidBus> bus, std::string path) {
    std::lock_guard<std::mutex> g(lock_);
    bus_ = std::move(bus);
    path_ = std::move(path);
}

void HidDevice::unbind() {
    {
        std::lock_guard<std::mutex> g(lock_);
        bus_.reset();
        path_.clear();
        open_ = false;
    }
    changed_.notify_all();
}

void HidDevice::setOpen(bool open) {
    {
        std::lock_guard<std::mutex> g(lock_);
        open_ = open;
    }
    changed_.notify_all();
}

void HidDevice::onOutputReport(const Bytes&) {}
int HidDevice::onSetFeature(const Bytes& report) {
    return static_cast<int>(report.size());
}
int HidDevice::onGetFeature(std::uint8_t, std::size_t, Bytes&) {
    return -1;
}
int HidDevice::onGetInputReport(std::uint8_t, std::size_t, Bytes&) {
    return -1;
}
void HidDevice::onHostOpened() {}
void HidDevice::onHostClosed() {}

void HidBus::bindDevice(HidDevice& device, std::weak_ptr<HidBus> bus, std::string path) {
    device.bind(std::move(bus), std::move(path));
}
void HidBus::unbindDevice(HidDevice& device) {
    device.unbind();
}
void HidBus::setDeviceOpen(HidDevice& device, bool open) {
    device.setOpen(open);
}
void HidBus::hostOpened(HidDevice& device) {
    device.onHostOpened();
}
void HidBus::hostClosed(HidDevice& device) {
    device.onHostClosed();
}
void HidBus::outputReport(HidDevice& device, const Bytes& report) {
    device.hostLog().add(HostLog::Kind::OutputReport, report);
    device.onOutputReport(report);
}

}  // namespace sim
