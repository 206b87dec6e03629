#include "sim/Bench.h"

#include <cstdlib>

#include "../wire/HidWire.h"

namespace sim {

Bench::Bench(std::string hidSocketPath)
    : loop_(std::make_unique<EventLoop>()), hidSocketPath_(std::move(hidSocketPath)) {
    // In the USB test guest the bench starts, like the stand-in's bus, with nothing plugged in.
    if (HidGadget::requested()) gadget_ = std::make_unique<HidGadget>(*loop_);
}

Bench::~Bench() {
    std::string path;
    {
        std::lock_guard<std::mutex> g(lock_);
        if (hid_) path = hid_->socketPath();
        pty_.clear();
        tcp_.clear();
        gadget_.reset();
        hid_.reset();
    }
    if (exported_) {
        const char* now = std::getenv(wire::kSocketVariable);
        if (now && path == now) ::unsetenv(wire::kSocketVariable);
    }
    loop_->stop();
}

HidServer& Bench::hid() {
    std::lock_guard<std::mutex> g(lock_);
    if (!hid_) hid_ = std::make_unique<HidServer>(*loop_, hidSocketPath_);
    return *hid_;
}

std::string Bench::attachHid(std::shared_ptr<HidDevice> device) {
    if (HidGadget::requested()) {
        HidGadget* gadget;
        {
            std::lock_guard<std::mutex> g(lock_);
            if (!gadget_) gadget_ = std::make_unique<HidGadget>(*loop_);
            gadget = gadget_.get();
        }
        return gadget->attach(std::move(device));
    }
    return hid().attach(std::move(device));
}

TcpPort& Bench::serveTcp(std::shared_ptr<StreamDevice> device, std::uint16_t port) {
    auto p = std::make_unique<TcpPort>(*loop_, std::move(device), port);
    std::lock_guard<std::mutex> g(lock_);
    tcp_.push_back(std::move(p));
    return *tcp_.back();
}

PtyPort& Bench::servePty(std::shared_ptr<StreamDevice> device) {
    auto p = std::make_unique<PtyPort>(*loop_, std::move(device));
    std::lock_guard<std::mutex> g(lock_);
    pty_.push_back(std::move(p));
    return *pty_.back();
}

void Bench::exportHidSocket() {
    ::setenv(wire::kSocketVariable, hid().socketPath().c_str(), 1);
    exported_ = true;
}

}  // namespace sim
