#include "sim/HidServer.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include "../wire/HidWire.h"
#include "HidServerCore.h"

namespace sim {

namespace {

wire::DeviceRecord recordOf(const std::string& path, const HidIdentity& id) {
    wire::DeviceRecord r;
    r.path = path;
    r.vendorId = id.vendorId;
    r.productId = id.productId;
    r.releaseNumber = id.releaseNumber;
    r.usagePage = id.usagePage;
    r.usage = id.usage;
    r.interfaceNumber = id.interfaceNumber;
    r.serialNumber = id.serialNumber;
    r.manufacturer = id.manufacturer;
    r.product = id.product;
    return r;
}

void sendPacket(int fd, const Bytes& packet) {
    // Answers go to a client that is waiting for them, so the socket has room; a vanished
    // client shows up as a hang-up on its next poll.
    while (::send(fd, packet.data(), packet.size(), MSG_NOSIGNAL) < 0 && errno == EINTR) {
    }
}

wire::Writer result(std::int32_t value) {
    wire::Writer w(wire::Result);
    w.u32(static_cast<std::uint32_t>(value));
    return w;
}

}  // namespace

HidServerCore::HidServerCore(EventLoop& loop, std::string socketPath)
    : loop_(loop), socketPath_(std::move(socketPath)) {}

HidServerCore::~HidServerCore() = default;

void HidServerCore::start() {
    if (socketPath_.empty()) {
        char folder[] = "/tmp/tessera-sim-XXXXXX";
        if (!::mkdtemp(folder)) throw std::system_error(errno, std::generic_category(), "mkdtemp");
        ownedFolder_ = folder;
        socketPath_ = ownedFolder_ + "/hid.sock";
    }
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (socketPath_.size() >= sizeof addr.sun_path)
        throw std::invalid_argument("socket path too long");
    std::strcpy(addr.sun_path, socketPath_.c_str());
    ::unlink(socketPath_.c_str());
    listenFd_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listenFd_ < 0) throw std::system_error(errno, std::generic_category(), "socket");
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 64) != 0) {
        int e = errno;
        ::close(listenFd_);
        listenFd_ = -1;
        throw std::system_error(e, std::generic_category(), "bind " + socketPath_);
    }
    loop_.call([this] { loop_.watch(listenFd_, POLLIN, [this](short) { onAccept(); }); });
}

void HidServerCore::shutdown() {
    if (listenFd_ < 0) return;
    try {
        loop_.call([this] {
            while (!slots_.empty()) detachNow(slots_.front().path);
            for (auto& [token, h] : handles_) {  // handles of devices already gone
                (void)token;
                dropConnection(h.requests);
                dropConnection(h.input);
            }
            handles_.clear();
            for (int fd : fresh_) dropConnection(fd);
            fresh_.clear();
            loop_.unwatch(listenFd_);
        });
    } catch (const std::exception&) {
        // The loop has stopped already; nothing runs on it any more.
    }
    ::close(listenFd_);
    listenFd_ = -1;
    ::unlink(socketPath_.c_str());
    if (!ownedFolder_.empty()) ::rmdir(ownedFolder_.c_str());
}

std::string HidServerCore::attach(std::shared_ptr<HidDevice> device) {
    if (!device) throw std::invalid_argument("no device");
    return loop_.call([&] {
        if (device->attached()) throw std::logic_error("device is attached already");
        char path[32];
        std::snprintf(path, sizeof path, "%04x:%04x:%02x", 1u, nextAddress_++ & 0xFFFFu,
                      static_cast<unsigned>(device->identity().interfaceNumber) & 0xFFu);
        slots_.push_back({path, device, 0});
        device->bind(weak_from_this(), path);
        return std::string(path);
    });
}

bool HidServerCore::detach(const std::string& path) {
    if (loop_.inLoopThread()) {
        // Deferred: the caller may be a device handler in the middle of a request.
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

std::vector<std::shared_ptr<HidDevice>> HidServerCore::devices() {
    return loop_.call([&] {
        std::vector<std::shared_ptr<HidDevice>> out;
        for (auto& s : slots_) out.push_back(s.device);
        return out;
    });
}

void HidServerCore::queueInput(HidDevice* device, Bytes report, Millis delay) {
    std::weak_ptr<HidDevice> weak = device->weak_from_this();
    loop_.post([self = shared_from_this(), weak, report = std::move(report), delay]() mutable {
        auto dev = weak.lock();
        Slot* slot = dev ? self->slotByDevice(dev.get()) : nullptr;
        if (!slot || !slot->handle) return;  // unplugged or closed meanwhile: the report is lost
        std::uint64_t token = slot->handle;
        Handle& h = self->handles_.at(token);
        auto now = Clock::now();
        for (auto& e : dev->faults().process(std::move(report))) {
            if (e.data.empty()) continue;
            auto due = now + delay + e.delay;
            if (due < h.lastDue) due = h.lastDue;
            h.lastDue = due;
            h.out.push_back({due, std::move(e.data), e.unplugAfterThis});
        }
        self->pump(token);
    });
}

HidServerCore::Slot* HidServerCore::slotByPath(const std::string& path) {
    for (auto& s : slots_)
        if (s.path == path) return &s;
    return nullptr;
}

HidServerCore::Slot* HidServerCore::slotByDevice(const HidDevice* device) {
    for (auto& s : slots_)
        if (s.device.get() == device) return &s;
    return nullptr;
}

void HidServerCore::dropConnection(int fd) {
    if (fd < 0) return;
    loop_.unwatch(fd);
    ::close(fd);
}

void HidServerCore::onAccept() {
    for (;;) {
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) return;
        fresh_.insert(fd);
        loop_.watch(fd, POLLIN, [this, fd](short) { onFirstPacket(fd); });
    }
}

void HidServerCore::onFirstPacket(int fd) {
    Bytes packet(wire::kMaxPacket);
    ssize_t n = ::recv(fd, packet.data(), packet.size(), 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    fresh_.erase(fd);
    if (n <= 0) {
        dropConnection(fd);
        return;
    }
    wire::Reader r(packet.data(), static_cast<std::size_t>(n));
    switch (r.u8()) {
        case wire::Enumerate: {
            wire::Writer w(wire::DeviceList);
            w.u16(static_cast<std::uint16_t>(slots_.size()));
            for (auto& s : slots_) w.record(recordOf(s.path, s.device->identity()));
            sendPacket(fd, w.bytes());
            break;  // the list stays readable after the close below
        }
        case wire::Open: {
            std::string path = r.str();
            Slot* slot = r.ok() ? slotByPath(path) : nullptr;
            if (!slot || slot->handle) {
                sendPacket(fd, wire::Writer(wire::Failed)
                                   .str(slot ? "device is busy" : "no such device")
                                   .bytes());
                break;
            }
            std::uint64_t token = nextToken_++;
            Handle& h = handles_[token];
            h.path = path;
            h.requests = fd;
            slot->handle = token;
            sendPacket(fd, wire::Writer(wire::Opened)
                               .u64(token)
                               .record(recordOf(path, slot->device->identity()))
                               .bytes());
            loop_.watch(fd, POLLIN, [this, token](short) { onRequest(token); });
            return;
        }
        case wire::Input: {
            std::uint64_t token = r.u64();
            auto it = handles_.find(token);
            if (!r.ok() || it == handles_.end() || it->second.input >= 0) break;
            Handle& h = it->second;
            h.input = fd;
            loop_.watch(fd, POLLIN, [this, token](short revents) {
                // The host never sends on this connection: readable means it went away.
                if (revents & POLLOUT) pump(token);
                if (revents & (POLLIN | POLLHUP | POLLERR)) closeHandle(token);
            });
            // Open before the host hears so: once hid_open_path returns, reports reach it.
            if (Slot* slot = slotByPath(h.path)) {
                auto device = slot->device;
                device->setOpen(true);
                device->onHostOpened();
            }
            sendPacket(fd, result(0).bytes());
            pump(token);
            return;
        }
        default:
            break;
    }
    dropConnection(fd);
}

void HidServerCore::onRequest(std::uint64_t token) {
    auto it = handles_.find(token);
    if (it == handles_.end()) return;
    Handle& h = it->second;
    Bytes packet(wire::kMaxPacket);
    ssize_t n = ::recv(h.requests, packet.data(), packet.size(), 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    Slot* slot = slotByPath(h.path);
    if (n <= 0 || !slot) {
        closeHandle(token);
        return;
    }
    packet.resize(static_cast<std::size_t>(n));
    auto device = slot->device;
    wire::Reader r(packet.data(), packet.size());
    std::uint8_t op = r.u8();
    Bytes body(r.rest(), r.rest() + r.remaining());
    switch (op) {
        case wire::Write: {
            device->hostLog().add(HostLog::Kind::OutputReport, body);
            device->onOutputReport(body);
            sendPacket(h.requests, result(static_cast<std::int32_t>(body.size())).bytes());
            break;
        }
        case wire::SetFeature: {
            device->hostLog().add(HostLog::Kind::SetFeature, body);
            sendPacket(h.requests, result(device->onSetFeature(body)).bytes());
            break;
        }
        case wire::GetFeature:
        case wire::GetInput: {
            std::uint8_t id = r.u8();
            std::size_t maxLength = r.u32();
            Bytes out;
            int rc = -1;
            if (op == wire::GetFeature) {
                device->hostLog().add(HostLog::Kind::GetFeature, {id});
                rc = device->onGetFeature(id, maxLength, out);
            } else {
                device->hostLog().add(HostLog::Kind::GetInputReport, {id});
                rc = device->onGetInputReport(id, maxLength, out);
            }
            if (out.size() > maxLength) out.resize(maxLength);
            auto w = result(rc < 0 ? -1 : static_cast<std::int32_t>(out.size()));
            if (rc >= 0) w.raw(out.data(), out.size());
            sendPacket(h.requests, w.bytes());
            break;
        }
        default:
            sendPacket(h.requests, result(-1).bytes());
            break;
    }
}

// The device hears of the close first and the host last, so that whoever sees a failed call
// also sees the device's state after it.
void HidServerCore::closeHandle(std::uint64_t token) {
    auto it = handles_.find(token);
    if (it == handles_.end()) return;
    Handle h = std::move(it->second);
    handles_.erase(it);
    Slot* slot = slotByPath(h.path);
    if (slot && slot->handle == token) {
        slot->handle = 0;
        auto device = slot->device;
        if (h.input >= 0) device->onHostClosed();
        device->setOpen(false);
    }
    releaseHandle(h);
}

void HidServerCore::releaseHandle(Handle& h) {
    dropConnection(h.requests);
    dropConnection(h.input);
    if (h.timer) loop_.cancel(h.timer);
}

void HidServerCore::pump(std::uint64_t token) {
    auto it = handles_.find(token);
    if (it == handles_.end() || it->second.input < 0) return;
    Handle& h = it->second;
    while (!h.out.empty()) {
        Pending& p = h.out.front();
        auto now = Clock::now();
        if (p.due > now) {
            if (h.timer) loop_.cancel(h.timer);
            std::weak_ptr<HidServerCore> weak = weak_from_this();
            h.timer = loop_.after(std::chrono::ceil<Millis>(p.due - now), [weak, token] {
                if (auto self = weak.lock()) self->pump(token);
            });
            loop_.setEvents(h.input, POLLIN);
            return;
        }
        ssize_t n = ::send(h.input, p.data.data(), p.data.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            loop_.setEvents(h.input, POLLIN | POLLOUT);  // the host is not reading: wait
            return;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            closeHandle(token);
            return;
        }
        bool unplug = p.unplugAfter;
        h.out.pop_front();
        if (unplug) {
            detachNow(h.path);
            return;
        }
    }
    loop_.setEvents(h.input, POLLIN);
}

bool HidServerCore::detachNow(const std::string& path) {
    Slot* slot = slotByPath(path);
    if (!slot) return false;
    auto device = slot->device;
    std::uint64_t token = slot->handle;
    slots_.erase(slots_.begin() + (slot - slots_.data()));
    auto it = handles_.find(token);
    if (it == handles_.end()) {
        device->unbind();
        return true;
    }
    Handle h = std::move(it->second);
    handles_.erase(it);
    if (h.input >= 0) device->onHostClosed();
    device->unbind();
    releaseHandle(h);
    return true;
}

HidServer::HidServer(EventLoop& loop, std::string socketPath)
    : core_(std::make_shared<HidServerCore>(loop, std::move(socketPath))) {
    core_->start();
}

HidServer::~HidServer() {
    core_->shutdown();
}

const std::string& HidServer::socketPath() const {
    return core_->socketPath();
}
std::string HidServer::attach(std::shared_ptr<HidDevice> device) {
    return core_->attach(device);
}
bool HidServer::detach(const std::string& path) {
    return core_->detach(path);
}
std::vector<std::shared_ptr<HidDevice>> HidServer::devices() const {
    return core_->devices();
}

}  // namespace sim
