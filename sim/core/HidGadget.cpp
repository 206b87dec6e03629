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
const std::string kGuestGadgets = "/sys/kernel/config/usb_gadget/usbvm";

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

template <class Pred>
bool waitUntil(Pred pred, Millis timeout) {
    auto end = Clock::now() + timeout;
    while (!pred()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(Millis(20));
    }
    return true;
}

// The host side of a dummy controller: its root hub's bus number, from
// /sys/devices/platform/dummy_hcd.N/usbB. 0 when not found.
int busOfController(const std::string& controller) {
    const std::string prefix = "dummy_udc.";
    if (controller.rfind(prefix, 0) != 0) return 0;
    std::string dir = "/sys/devices/platform/dummy_hcd." + controller.substr(prefix.size());
    int bus = 0;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            if (std::strncmp(e->d_name, "usb", 3) == 0 && std::atoi(e->d_name + 3) > 0)
                bus = std::atoi(e->d_name + 3);
        }
        ::closedir(d);
    }
    return bus;
}

}  // namespace

class HidGadgetCore : public HidBus, public std::enable_shared_from_this<HidGadgetCore> {
  public:
    HidGadgetCore(EventLoop& loop, std::vector<GadgetConfig> gadgets) : loop_(loop) {
        slots_.resize(gadgets.size());
        for (std::size_t i = 0; i < gadgets.size(); ++i) slots_[i].config = std::move(gadgets[i]);
    }
    ~HidGadgetCore() override {
        for (auto& s : slots_)
            if (s.fd >= 0) ::close(s.fd);
    }

    std::string attach(std::shared_ptr<HidDevice> device);
    bool detach(const std::string& path) override;
    void queueInput(HidDevice* device, Bytes report, Millis delay) override;
    // Any thread but the loop's: unplugs everything.
    void shutdown();
    // Unplugs every gadget. When one was plugged in, waits until the host has let go of it (and,
    // where the device manager runs, until libusb can have heard so).
    void unplugAll() {
        bool any = false;
        for (auto& s : slots_) {
            any = any || !readFile(s.config.gadgetDir + "/UDC").empty();
            writeFile(s.config.gadgetDir + "/UDC", "");
        }
        if (!any) return;
        waitUntil(
            [&] {
                for (auto& s : slots_) {
                    int bus = busOfController(s.config.controller);
                    if (bus > 0 && exists("/sys/bus/usb/devices/" + std::to_string(bus) + "-1"))
                        return false;
                }
                return true;
            },
            kEnumerationTimeout);
        if (exists("/run/udev/control")) {
            // The device manager passes the removal on once it has processed it.
            std::system("udevadm settle --timeout=10 >/dev/null 2>&1");
            std::this_thread::sleep_for(Millis(200));
        }
    }

  private:
    struct Pending {
        Clock::time_point due;
        Bytes data;
        bool unplugAfter;
    };
    struct Slot {
        GadgetConfig config;
        bool reserved = false;  // an attach is under way or done (guarded by reserveLock_)
        // Loop thread only:
        std::shared_ptr<HidDevice> device;
        std::string path;
        int fd = -1;
        std::deque<Pending> out;
        Clock::time_point lastDue{};
        EventLoop::TimerId timer = 0;
    };
    // Loop thread only from here on.
    Slot* slotByPath(const std::string& path);
    Slot* slotByDevice(const HidDevice* device);
    void onReadable(Slot& slot);
    void pump(Slot& slot);
    bool detachNow(const std::string& path);

    EventLoop& loop_;
    std::vector<Slot> slots_;  // fixed after construction
    std::mutex reserveLock_;
};

HidGadgetCore::Slot* HidGadgetCore::slotByPath(const std::string& path) {
    for (auto& s : slots_)
        if (s.device && s.path == path) return &s;
    return nullptr;
}

HidGadgetCore::Slot* HidGadgetCore::slotByDevice(const HidDevice* device) {
    for (auto& s : slots_)
        if (s.device.get() == device) return &s;
    return nullptr;
}

std::string HidGadgetCore::attach(std::shared_ptr<HidDevice> device) {
    if (!device) throw std::invalid_argument("no device");
    if (device->attached()) throw std::logic_error("device is attached already");
    Slot* slot = nullptr;
    {
        std::lock_guard<std::mutex> g(reserveLock_);
        for (auto& s : slots_) {
            if (!s.reserved) {
                s.reserved = true;
                slot = &s;
                break;
            }
        }
    }
    if (!slot) throw std::runtime_error("every USB gadget serves a device already");
    auto release = [&] {
        writeFile(slot->config.gadgetDir + "/UDC", "");
        std::lock_guard<std::mutex> g(reserveLock_);
        slot->reserved = false;
    };
    const HidIdentity& id = device->identity();
    const std::string& g = slot->config.gadgetDir;
    const int bus = busOfController(slot->config.controller);
    if (bus == 0) {
        release();
        throw std::runtime_error("no host side for " + slot->config.controller);
    }
    // The device sits on the controller's only port: "B-1" on the host side.
    const std::string name = std::to_string(bus) + "-1";
    const std::string sysfs = "/sys/bus/usb/devices/" + name + "/";
    // The host must have let go of the device of an earlier attach before it sees this one.
    if (!waitUntil([&] { return !exists(sysfs); }, kEnumerationTimeout)) {
        release();
        throw std::runtime_error("the host still lists the gadget's previous device");
    }
    bool ok = writeFile(g + "/idVendor", "0x" + hex4(id.vendorId)) &&
              writeFile(g + "/idProduct", "0x" + hex4(id.productId)) &&
              writeFile(g + "/bcdDevice", "0x" + hex4(id.releaseNumber)) &&
              writeFile(g + "/strings/0x409/serialnumber", id.serialNumber) &&
              writeFile(g + "/strings/0x409/product", id.product) &&
              writeFile(g + "/strings/0x409/manufacturer", id.manufacturer);
    if (!ok || !writeFile(g + "/UDC", slot->config.controller)) {
        release();
        throw std::runtime_error("cannot set up and plug in the gadget " + g);
    }
    // The character device exists while the gadget is plugged in; it is opened after plugging
    // in and closed before unplugging, never kept across. Its minor number names it.
    std::string dev = readFile(g + "/functions/hid.usb0/dev");
    std::string node = "/dev/hidg" + dev.substr(dev.find(':') + 1);
    int fd = -1;
    waitUntil(
        [&] {
            fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
            return fd >= 0;
        },
        Millis(5000));
    if (fd < 0) {
        int error = errno;
        release();
        throw std::runtime_error("cannot open " + node + ": " + std::strerror(error));
    }
    // Enumerated by the kernel, its node created, and (where the device manager runs) its
    // record written, which is when libusb hears of the new device.
    bool seen = waitUntil(
        [&] {
            if (readFile(sysfs + "idVendor") != hex4(id.vendorId) ||
                readFile(sysfs + "idProduct") != hex4(id.productId))
                return false;
            int devnum = std::atoi(readFile(sysfs + "devnum").c_str());
            char usbNode[32];
            std::snprintf(usbNode, sizeof usbNode, "/dev/bus/usb/%03d/%03d", bus, devnum);
            if (devnum <= 0 || !exists(usbNode)) return false;
            if (!exists("/run/udev/control")) return true;
            return exists("/run/udev/data/c189:" + std::to_string((bus - 1) * 128 + devnum - 1));
        },
        kEnumerationTimeout);
    if (!seen) {
        ::close(fd);
        release();
        throw std::runtime_error("the host did not enumerate the gadget " + g);
    }
    // libusb takes the device manager's event on its own thread: give it a moment.
    std::this_thread::sleep_for(Millis(200));
    std::string config = readFile(sysfs + "bConfigurationValue");
    std::string path =
        name + ":" + (config.empty() ? "1" : config) + "." + std::to_string(id.interfaceNumber);
    loop_.call([&] {
        slot->device = device;
        slot->path = path;
        slot->fd = fd;
        slot->out.clear();
        slot->lastDue = {};
        std::weak_ptr<HidGadgetCore> weak = weak_from_this();
        loop_.watch(fd, POLLIN, [weak, slot](short revents) {
            auto self = weak.lock();
            if (!self) return;
            if (revents & POLLOUT) self->pump(*slot);
            if ((revents & POLLIN) && slot->fd >= 0) self->onReadable(*slot);
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
        bool known = slotByPath(path) != nullptr;
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
    Slot* slot = slotByPath(path);
    if (!slot) return false;
    auto device = std::move(slot->device);
    slot->device.reset();
    // The device hears of it first and the host last, so that whoever sees a failed call also
    // sees the device's state after it.
    hostClosed(*device);
    unbindDevice(*device);
    loop_.unwatch(slot->fd);
    ::close(slot->fd);
    slot->fd = -1;
    if (slot->timer) loop_.cancel(slot->timer);
    slot->timer = 0;
    slot->out.clear();
    slot->path.clear();
    writeFile(slot->config.gadgetDir + "/UDC", "");
    {
        std::lock_guard<std::mutex> g(reserveLock_);
        slot->reserved = false;
    }
    return true;
}

void HidGadgetCore::shutdown() {
    try {
        loop_.call([&] {
            for (auto& s : slots_)
                if (s.device) detachNow(s.path);
            return true;
        });
    } catch (const std::exception&) {
        // The loop has stopped: nothing runs on it any more.
    }
    unplugAll();
}

void HidGadgetCore::onReadable(Slot& slot) {
    std::uint8_t buffer[512];
    for (;;) {
        ssize_t n = ::read(slot.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        // Nothing more, or the bus went away under the read (unplugged): nothing to deliver.
        if (n <= 0) return;
        // The host wrote report number 0 followed by the report; the gadget passes only the
        // report on. Handlers see what hid_write was given.
        Bytes report(1 + static_cast<std::size_t>(n));
        report[0] = 0x00;
        std::memcpy(report.data() + 1, buffer, static_cast<std::size_t>(n));
        auto device = slot.device;
        outputReport(*device, report);
        if (slot.device != device) return;  // the handler unplugged the device
    }
}

void HidGadgetCore::queueInput(HidDevice* device, Bytes report, Millis delay) {
    std::weak_ptr<HidDevice> weak = device->weak_from_this();
    loop_.post([self = shared_from_this(), weak, report = std::move(report), delay]() mutable {
        auto dev = weak.lock();
        Slot* slot = dev ? self->slotByDevice(dev.get()) : nullptr;
        if (!slot) return;  // unplugged meanwhile: the report is lost
        auto now = Clock::now();
        for (auto& e : dev->faults().process(std::move(report))) {
            if (e.data.empty()) continue;
            auto due = now + delay + e.delay;
            if (due < slot->lastDue) due = slot->lastDue;
            slot->lastDue = due;
            if (e.data.size() > kReportSize) e.data.resize(kReportSize);
            slot->out.push_back({due, std::move(e.data), e.unplugAfterThis});
        }
        self->pump(*slot);
    });
}

void HidGadgetCore::pump(Slot& slot) {
    if (slot.fd < 0) return;
    while (!slot.out.empty()) {
        Pending& p = slot.out.front();
        auto now = Clock::now();
        if (p.due > now) {
            if (slot.timer) loop_.cancel(slot.timer);
            std::weak_ptr<HidGadgetCore> weak = weak_from_this();
            Slot* s = &slot;
            slot.timer = loop_.after(std::chrono::ceil<Millis>(p.due - now), [weak, s] {
                if (auto self = weak.lock()) self->pump(*s);
            });
            loop_.setEvents(slot.fd, POLLIN);
            return;
        }
        ssize_t n = ::write(slot.fd, p.data.data(), p.data.size());
        if (n < 0 && errno == EAGAIN) {
            // The host has not taken the previous report yet.
            loop_.setEvents(slot.fd, POLLIN | POLLOUT);
            return;
        }
        if (n < 0 && errno == EINTR) continue;
        // A failed write (bus gone) loses the report, as on a real bus.
        bool unplug = p.unplugAfter;
        slot.out.pop_front();
        if (unplug) {
            detachNow(slot.path);
            return;
        }
    }
    loop_.setEvents(slot.fd, POLLIN);
}

namespace {
std::vector<GadgetConfig> guestGadgets() {
    std::vector<GadgetConfig> out;
    for (int k = 0;; ++k) {
        std::string dir = k == 0 ? kGuestGadgets : kGuestGadgets + std::to_string(k);
        if (!exists(dir + "/UDC")) break;
        out.push_back({dir, "dummy_udc." + std::to_string(k)});
    }
    return out;
}
}  // namespace

HidGadget::HidGadget(EventLoop& loop, std::vector<GadgetConfig> gadgets)
    : core_(std::make_shared<HidGadgetCore>(
          loop, gadgets.empty() ? guestGadgets() : std::move(gadgets))) {
    core_->unplugAll();
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
    return v && *v && std::string(v) != "0" && exists(kGuestGadgets + "/UDC");
}

}  // namespace sim
