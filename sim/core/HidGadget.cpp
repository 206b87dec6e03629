#include "sim/HidGadget.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace sim {

namespace {

constexpr std::size_t kReportSize = 64;
constexpr Millis kEnumerationTimeout{15000};

bool writeFile(const std::string& path, const std::string& value) {
    std::ofstream f(path);
    f << value << '\n';
    f.flush();
    return static_cast<bool>(f);
}

std::string readFile(const std::string& path) {
    std::ifstream f(path);
    std::string value;
    std::getline(f, value);
    return value;
}

bool exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

std::string hex4(unsigned value) {
    char s[8];
    std::snprintf(s, sizeof s, "%04x", value & 0xFFFFu);
    return s;
}

// The host side's name (sysfs, e.g. "1-1") of the enumerated USB device with these IDs and
// serial number, or "" while there is none.
std::string enumeratedDevice(const HidIdentity& id) {
    std::string found;
    DIR* dir = ::opendir("/sys/bus/usb/devices");
    if (!dir) return found;
    while (dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name.empty() || name[0] == '.' || name.find(':') != std::string::npos) continue;
        std::string base = "/sys/bus/usb/devices/" + name + "/";
        if (readFile(base + "idVendor") == hex4(id.vendorId) &&
            readFile(base + "idProduct") == hex4(id.productId) &&
            readFile(base + "serial") == id.serialNumber) {
            found = name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

template <class Pred>
bool waitUntil(Pred pred, Millis timeout) {
    auto end = Clock::now() + timeout;
    while (!pred()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(Millis(20));
    }
    return true;
}

}  // namespace

class HidGadgetCore : public HidBus, public std::enable_shared_from_this<HidGadgetCore> {
  public:
    HidGadgetCore(EventLoop& loop, GadgetConfig config) : loop_(loop), config_(std::move(config)) {}
    ~HidGadgetCore() override {
        if (fd_ >= 0) ::close(fd_);
    }

    std::string attach(std::shared_ptr<HidDevice> device);
    bool detach(const std::string& path) override;
    void queueInput(HidDevice* device, Bytes report, Millis delay) override;
    void unplugGadget() { writeFile(config_.gadgetDir + "/UDC", ""); }
    // Any thread but the loop's: unplugs whatever is attached.
    void shutdown() {
        try {
            loop_.call([&] { return detachNow(path_); });
        } catch (const std::exception&) {
            // The loop has stopped: nothing runs on it any more.
        }
        unplugGadget();
    }

  private:
    struct Pending {
        Clock::time_point due;
        Bytes data;
        bool unplugAfter;
    };
    // Loop thread only from here on.
    void onReadable();
    void pump();
    bool detachNow(const std::string& path);

    EventLoop& loop_;
    const GadgetConfig config_;
    std::shared_ptr<HidDevice> device_;
    std::string path_;
    int fd_ = -1;
    std::deque<Pending> out_;
    Clock::time_point lastDue_{};
    EventLoop::TimerId timer_ = 0;
};

std::string HidGadgetCore::attach(std::shared_ptr<HidDevice> device) {
    if (!device) throw std::invalid_argument("no device");
    if (device->attached()) throw std::logic_error("device is attached already");
    if (loop_.call([&] { return device_ != nullptr; }))
        throw std::logic_error("the gadget serves one device at a time");
    const HidIdentity& id = device->identity();
    const std::string& g = config_.gadgetDir;
    // The host must have let go of the device of an earlier attach before it sees this one.
    if (!waitUntil([&] { return enumeratedDevice(id).empty(); }, kEnumerationTimeout))
        throw std::runtime_error("the host still lists the gadget's previous device");
    bool ok = writeFile(g + "/idVendor", "0x" + hex4(id.vendorId)) &&
              writeFile(g + "/idProduct", "0x" + hex4(id.productId)) &&
              writeFile(g + "/bcdDevice", "0x" + hex4(id.releaseNumber)) &&
              writeFile(g + "/strings/0x409/serialnumber", id.serialNumber) &&
              writeFile(g + "/strings/0x409/product", id.product) &&
              writeFile(g + "/strings/0x409/manufacturer", id.manufacturer);
    if (!ok) throw std::runtime_error("cannot write the device's identity into " + g);
    if (!writeFile(g + "/UDC", config_.controller))
        throw std::runtime_error("cannot bind the gadget to " + config_.controller);
    // The character device exists while the gadget is bound; it is opened after binding and
    // closed before unbinding, never kept across.
    int fd = -1;
    waitUntil(
        [&] {
            fd = ::open(config_.deviceNode.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
            return fd >= 0;
        },
        Millis(5000));
    if (fd < 0) {
        int error = errno;
        unplugGadget();
        throw std::runtime_error("cannot open " + config_.deviceNode + ": " + std::strerror(error));
    }
    // Enumerated by the kernel, its node created, and (where the device manager runs) its
    // record written, which is when libusb hears of the new device.
    std::string name;
    bool seen = waitUntil(
        [&] {
            name = enumeratedDevice(id);
            if (name.empty()) return false;
            std::string base = "/sys/bus/usb/devices/" + name + "/";
            int bus = std::atoi(readFile(base + "busnum").c_str());
            int dev = std::atoi(readFile(base + "devnum").c_str());
            char node[32];
            std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", bus, dev);
            if (!exists(node)) return false;
            if (!exists("/run/udev/control")) return true;
            return exists("/run/udev/data/c189:" + std::to_string((bus - 1) * 128 + dev - 1));
        },
        kEnumerationTimeout);
    if (!seen) {
        ::close(fd);
        unplugGadget();
        throw std::runtime_error("the host did not enumerate the gadget");
    }
    // libusb takes the device manager's event on its own thread: give it a moment.
    std::this_thread::sleep_for(Millis(200));
    std::string config = readFile("/sys/bus/usb/devices/" + name + "/bConfigurationValue");
    std::string path =
        name + ":" + (config.empty() ? "1" : config) + "." + std::to_string(id.interfaceNumber);
    loop_.call([&] {
        device_ = device;
        path_ = path;
        fd_ = fd;
        out_.clear();
        lastDue_ = {};
        std::weak_ptr<HidGadgetCore> weak = weak_from_this();
        loop_.watch(fd_, POLLIN, [weak](short revents) {
            auto self = weak.lock();
            if (!self) return;
            if (revents & POLLOUT) self->pump();
            if (revents & POLLIN) self->onReadable();
        });
        bindDevice(*device, weak_from_this(), path);
        setDeviceOpen(*device, true);
        hostOpened(*device);
    });
    return path;
}

bool HidGadgetCore::detach(const std::string& path) {
    if (loop_.inLoopThread()) {
        // Deferred: the caller may be a device handler in the middle of a report.
        bool known = device_ && path == path_;
        loop_.post([self = shared_from_this(), path] { self->detachNow(path); });
        return known;
    }
    try {
        return loop_.call([&] { return detachNow(path); });
    } catch (const std::exception&) {
        return false;
    }
}

bool HidGadgetCore::detachNow(const std::string& path) {
    if (!device_ || path != path_) return false;
    auto device = std::move(device_);
    loop_.unwatch(fd_);
    ::close(fd_);
    fd_ = -1;
    if (timer_) loop_.cancel(timer_);
    timer_ = 0;
    out_.clear();
    path_.clear();
    unplugGadget();
    hostClosed(*device);
    unbindDevice(*device);
    return true;
}

void HidGadgetCore::onReadable() {
    std::uint8_t buffer[512];
    for (;;) {
        ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        // Nothing more, or the bus went away under the read (unplugged): nothing to deliver.
        if (n <= 0) return;
        // The host wrote report number 0 followed by the report; the gadget passes only the
        // report on. Handlers see what hid_write was given.
        Bytes report(1 + static_cast<std::size_t>(n));
        report[0] = 0x00;
        std::memcpy(report.data() + 1, buffer, static_cast<std::size_t>(n));
        auto device = device_;
        outputReport(*device, report);
        if (device_ != device) return;  // the handler unplugged the device
    }
}

void HidGadgetCore::queueInput(HidDevice* device, Bytes report, Millis delay) {
    std::weak_ptr<HidDevice> weak = device->weak_from_this();
    loop_.post([self = shared_from_this(), weak, report = std::move(report), delay]() mutable {
        auto dev = weak.lock();
        if (!dev || dev != self->device_) return;  // unplugged meanwhile: the report is lost
        auto now = Clock::now();
        for (auto& e : dev->faults().process(std::move(report))) {
            if (e.data.empty()) continue;
            auto due = now + delay + e.delay;
            if (due < self->lastDue_) due = self->lastDue_;
            self->lastDue_ = due;
            if (e.data.size() > kReportSize) e.data.resize(kReportSize);
            self->out_.push_back({due, std::move(e.data), e.unplugAfterThis});
        }
        self->pump();
    });
}

void HidGadgetCore::pump() {
    if (fd_ < 0) return;
    while (!out_.empty()) {
        Pending& p = out_.front();
        auto now = Clock::now();
        if (p.due > now) {
            if (timer_) loop_.cancel(timer_);
            std::weak_ptr<HidGadgetCore> weak = weak_from_this();
            timer_ = loop_.after(std::chrono::ceil<Millis>(p.due - now), [weak] {
                if (auto self = weak.lock()) self->pump();
            });
            loop_.setEvents(fd_, POLLIN);
            return;
        }
        ssize_t n = ::write(fd_, p.data.data(), p.data.size());
        if (n < 0 && errno == EAGAIN) {
            // The host has not taken the previous report yet.
            loop_.setEvents(fd_, POLLIN | POLLOUT);
            return;
        }
        if (n < 0 && errno == EINTR) continue;
        // A failed write (bus gone) loses the report, as on a real bus.
        bool unplug = p.unplugAfter;
        out_.pop_front();
        if (unplug) {
            detachNow(path_);
            return;
        }
    }
    loop_.setEvents(fd_, POLLIN);
}

HidGadget::HidGadget(EventLoop& loop, GadgetConfig config)
    : core_(std::make_shared<HidGadgetCore>(loop, std::move(config))) {
    core_->unplugGadget();
}

HidGadget::~HidGadget() {
    core_->shutdown();
}

std::string HidGadget::attach(std::shared_ptr<HidDevice> device) {
    return core_->attach(std::move(device));
}

bool HidGadget::detach(const std::string& path) {
    return core_->detach(path);
}

bool HidGadget::requested() {
    const char* v = std::getenv("SIM_HID_GADGET");
    return v && *v && std::string(v) != "0" && exists(GadgetConfig().gadgetDir + "/UDC");
}

}  // namespace sim
