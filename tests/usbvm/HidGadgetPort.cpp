#include "HidGadgetPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

HidGadgetPort::HidGadgetPort(std::string path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        error_ = "cannot open " + path + ": " + std::strerror(errno);
        return;
    }
    wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake_ < 0) {
        error_ = std::string("eventfd: ") + std::strerror(errno);
        ::close(fd_);
        fd_ = -1;
    }
}

HidGadgetPort::~HidGadgetPort() {
    if (fd_ >= 0) ::close(fd_);
    if (wake_ >= 0) ::close(wake_);
}

void HidGadgetPort::stop() {
    if (wake_ >= 0) {
        const std::uint64_t one = 1;
        // The counter only grows; a failed write means it is already signalled.
        [[maybe_unused]] auto n = ::write(wake_, &one, sizeof one);
    }
}

int HidGadgetPort::waitFor(short events, int timeoutMs) {
    if (fd_ < 0) return -1;
    pollfd fds[2] = {{fd_, events, 0}, {wake_, POLLIN, 0}};
    for (;;) {
        const int n = ::poll(fds, 2, timeoutMs);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error_ = std::string("poll: ") + std::strerror(errno);
            return -1;
        }
        if (n == 0) return 0;
        if (fds[1].revents) {
            error_ = "stopped";
            return -1;
        }
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            error_ = "device error";
            return -1;
        }
        return 1;
    }
}

std::optional<std::vector<std::uint8_t>> HidGadgetPort::readReport(int timeoutMs) {
    for (;;) {
        const int ready = waitFor(POLLIN, timeoutMs);
        if (ready <= 0) return std::nullopt;
        std::vector<std::uint8_t> report(512);
        const ssize_t n = ::read(fd_, report.data(), report.size());
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n < 0) {
            error_ = std::string("read: ") + std::strerror(errno);
            return std::nullopt;
        }
        report.resize(static_cast<std::size_t>(n));
        return report;
    }
}

bool HidGadgetPort::writeReport(const std::uint8_t* data, std::size_t length, int timeoutMs) {
    if (length > kReportSize) {
        error_ = "report longer than 64 bytes";
        return false;
    }
    std::uint8_t report[kReportSize] = {};
    if (length > 0) std::memcpy(report, data, length);
    for (;;) {
        const int ready = waitFor(POLLOUT, timeoutMs);
        if (ready == 0) error_ = "host did not take the previous report";
        if (ready <= 0) return false;
        const ssize_t n = ::write(fd_, report, sizeof report);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n != static_cast<ssize_t>(sizeof report)) {
            error_ = std::string("write: ") + (n < 0 ? std::strerror(errno) : "short");
            return false;
        }
        return true;
    }
}
