#include "sim/StreamPorts.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

#include "StreamPortCore.h"

namespace sim {

StreamPortCore::StreamPortCore(EventLoop& loop, std::shared_ptr<StreamDevice> device, bool socket)
    : loop_(loop), device_(std::move(device)), socket_(socket) {
    if (!device_) throw std::invalid_argument("no device");
}

StreamPortCore::~StreamPortCore() = default;

bool StreamPortCore::hasLine() const {
    return line_ >= 0;
}

void StreamPortCore::queue(Bytes packet, Millis delay, bool withFaults) {
    loop_.post(
        [self = shared_from_this(), packet = std::move(packet), delay, withFaults]() mutable {
            if (self->line_ < 0) return;
            std::deque<FaultInjector::Emission> emissions;
            if (withFaults)
                emissions = self->device_->faults().process(std::move(packet));
            else
                emissions.push_back({std::move(packet)});
            auto now = Clock::now();
            for (auto& e : emissions) {
                if (e.data.empty()) continue;
                auto due = now + delay + e.delay;
                if (due < self->lastDue_) due = self->lastDue_;
                self->lastDue_ = due;
                self->out_.push_back({due, std::move(e.data), 0, e.unplugAfterThis});
            }
            self->pump();
        });
}

void StreamPortCore::hangUp() {
    loop_.post([self = shared_from_this()] { self->closeLine(); });
}

void StreamPortCore::shutdown() {
    try {
        loop_.call([this] {
            closeLine();
            if (extraFd >= 0) {
                loop_.unwatch(extraFd);
                ::close(extraFd);
                extraFd = -1;
            }
        });
    } catch (const std::exception&) {
        // The loop has stopped: nothing runs on it any more.
    }
}

void StreamPortCore::setLine(int fd) {
    closeLine();
    line_ = fd;
    device_->bind(weak_from_this());
    loop_.watch(fd, POLLIN, [this](short revents) { onReadable(revents); });
    device_->setConnected(true);
    device_->onHostConnected();
}

void StreamPortCore::closeLine() {
    if (line_ < 0) return;
    loop_.unwatch(line_);
    ::close(line_);
    line_ = -1;
    out_.clear();
    if (timer_) loop_.cancel(timer_);
    timer_ = 0;
    device_->setConnected(false);
    device_->onHostDisconnected();
}

void StreamPortCore::onReadable(short revents) {
    if (revents & POLLOUT) pump();
    if (line_ < 0 || !(revents & (POLLIN | POLLHUP | POLLERR))) return;
    Bytes buffer(8192);
    ssize_t n = ::read(line_, buffer.data(), buffer.size());
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) {
        closeLine();
        return;
    }
    buffer.resize(static_cast<std::size_t>(n));
    device_->hostLog().add(HostLog::Kind::StreamBytes, buffer);
    device_->onHostBytes(buffer);
}

void StreamPortCore::pump() {
    while (line_ >= 0 && !out_.empty()) {
        Pending& p = out_.front();
        auto now = Clock::now();
        if (p.due > now) {
            if (timer_) loop_.cancel(timer_);
            std::weak_ptr<StreamPortCore> weak = weak_from_this();
            timer_ = loop_.after(std::chrono::ceil<Millis>(p.due - now), [weak] {
                if (auto self = weak.lock()) self->pump();
            });
            loop_.setEvents(line_, POLLIN);
            return;
        }
        const std::uint8_t* data = p.data.data() + p.sent;
        std::size_t left = p.data.size() - p.sent;
        ssize_t n = socket_ ? ::send(line_, data, left, MSG_DONTWAIT | MSG_NOSIGNAL)
                            : ::write(line_, data, left);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            loop_.setEvents(line_, POLLIN | POLLOUT);
            return;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            closeLine();
            return;
        }
        p.sent += static_cast<std::size_t>(n);
        if (p.sent < p.data.size()) continue;
        bool unplug = p.unplugAfter;
        out_.pop_front();
        if (unplug) {
            closeLine();
            return;
        }
    }
    if (line_ >= 0) loop_.setEvents(line_, POLLIN);
}

// --- TCP ---

TcpPort::TcpPort(EventLoop& loop, std::shared_ptr<StreamDevice> device, std::uint16_t port)
    : core_(std::make_shared<StreamPortCore>(loop, std::move(device), true)) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) throw std::system_error(errno, std::generic_category(), "socket");
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 8) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        int e = errno;
        ::close(fd);
        throw std::system_error(e, std::generic_category(), "listen on 127.0.0.1");
    }
    port_ = ntohs(addr.sin_port);
    core_->extraFd = fd;
    StreamPortCore* core = core_.get();
    loop.call([core, fd] {
        core->loop().watch(fd, POLLIN, [core, fd](short) {
            int c = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (c < 0) return;
            int on = 1;
            ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            core->setLine(c);
        });
    });
}

TcpPort::~TcpPort() {
    core_->shutdown();
}

std::string TcpPort::address() const {
    return "tcp://127.0.0.1:" + std::to_string(port_);
}

// --- pseudo-terminal ---

PtyPort::PtyPort(EventLoop& loop, std::shared_ptr<StreamDevice> device)
    : core_(std::make_shared<StreamPortCore>(loop, std::move(device), false)) {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        throw std::system_error(errno, std::generic_category(), "openpty");
    termios t{};
    if (::tcgetattr(slave, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(slave, TCSANOW, &t);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    slavePath_ = name;
    core_->extraFd = slave;  // keeps the line up while the host has the port closed
    StreamPortCore* core = core_.get();
    loop.call([core, master] { core->setLine(master); });
}

PtyPort::~PtyPort() {
    core_->shutdown();
}

}  // namespace sim
