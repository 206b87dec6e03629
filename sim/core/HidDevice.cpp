#include "sim/HidDevice.h"

#include "HidServerCore.h"

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
    std::shared_ptr<HidServerCore> server;
    {
        std::lock_guard<std::mutex> g(lock_);
        if (!open_) return false;
        server = server_.lock();
    }
    if (!server) return false;
    server->queueInput(this, std::move(report), delay);
    return true;
}

void HidDevice::unplug() {
    std::shared_ptr<HidServerCore> server;
    std::string path;
    {
        std::lock_guard<std::mutex> g(lock_);
        server = server_.lock();
        path = path_;
    }
    if (server) server->detach(path);
}

void HidDevice::bind(std::weak_ptr<HidServerCore> server, std::string path) {
    std::lock_guard<std::mutex> g(lock_);
    server_ = server;
    path_ = std::move(path);
}

void HidDevice::unbind() {
    {
        std::lock_guard<std::mutex> g(lock_);
        server_.reset();
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

}  // namespace sim
