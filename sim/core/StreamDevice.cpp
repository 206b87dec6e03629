#include "sim/StreamDevice.h"

#include "StreamPortCore.h"

namespace sim {

StreamDevice::StreamDevice() = default;
StreamDevice::~StreamDevice() = default;

bool StreamDevice::connected() const {
    std::lock_guard<std::mutex> g(lock_);
    return connected_;
}

bool StreamDevice::waitConnected(Millis timeout) const {
    std::unique_lock<std::mutex> g(lock_);
    return changed_.wait_for(g, timeout, [&] { return connected_; });
}

bool StreamDevice::waitDisconnected(Millis timeout) const {
    std::unique_lock<std::mutex> g(lock_);
    return changed_.wait_for(g, timeout, [&] { return !connected_; });
}

bool StreamDevice::send(Bytes packet, Millis delay) {
    std::shared_ptr<StreamPortCore> port;
    {
        std::lock_guard<std::mutex> g(lock_);
        if (!connected_) return false;
        port = port_.lock();
    }
    if (!port) return false;
    port->queue(std::move(packet), delay, true);
    return true;
}

bool StreamDevice::sendRaw(Bytes bytes) {
    std::shared_ptr<StreamPortCore> port;
    {
        std::lock_guard<std::mutex> g(lock_);
        if (!connected_) return false;
        port = port_.lock();
    }
    if (!port) return false;
    port->queue(std::move(bytes), Millis(0), false);
    return true;
}

void StreamDevice::hangUp() {
    std::shared_ptr<StreamPortCore> port;
    {
        std::lock_guard<std::mutex> g(lock_);
        port = port_.lock();
    }
    if (port) port->hangUp();
}

void StreamDevice::bind(std::weak_ptr<StreamPortCore> port) {
    std::lock_guard<std::mutex> g(lock_);
    port_ = std::move(port);
}

void StreamDevice::setConnected(bool connected) {
    {
        std::lock_guard<std::mutex> g(lock_);
        connected_ = connected;
    }
    changed_.notify_all();
}

void StreamDevice::onHostBytes(const Bytes&) {}
void StreamDevice::onHostConnected() {}
void StreamDevice::onHostDisconnected() {}

}  // namespace sim
