#include "SerialSwipeReader.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace sim::swipe {

SerialSwipeReader::SerialSwipeReader(const SwipeModel& model, std::string serial, LineFormat format)
    : core_(std::make_unique<SwipeReaderCore>(model, std::move(serial))), codec_(format) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        if (master_ >= 0) ::close(master_);
        throw std::runtime_error("cannot create a pseudo-terminal");
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        ::close(master_);
        throw std::runtime_error("cannot name the pseudo-terminal");
    }
    port_ = name;
    slaveKeep_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveKeep_ >= 0) {
        termios t{};
        tcgetattr(slaveKeep_, &t);
        cfmakeraw(&t);
        tcsetattr(slaveKeep_, TCSANOW, &t);
    }
    wake_ = eventfd(0, EFD_CLOEXEC);
    // Notifications and card data of one reader stay on one line: serial readers have no
    // second channel, so everything goes through the same framing.
    core_->setResponseChunkSize(format == LineFormat::Slip ? 120 : 52);
    SwipeReaderCore::Listener l;
    l.notificationChunk = [this](uint16_t id, uint16_t off, uint16_t total, const Bytes& c) {
        onNotificationChunk(id, off, total, c);
    };
    core_->setListener(l);
    thread_ = std::thread(&SerialSwipeReader::run, this);
}

SerialSwipeReader::~SerialSwipeReader() {
    uint64_t one = 1;
    (void)!::write(wake_, &one, sizeof one);
    thread_.join();
    core_.reset();  // its worker may still write: stop it before the terminal goes
    if (master_ >= 0) ::close(master_);
    if (slaveKeep_ >= 0) ::close(slaveKeep_);
    ::close(wake_);
}

std::string SerialSwipeReader::connectionString() const {
    return "SERIAL://PORT=" + port_ + ",BAUDRATE=115200,FORMAT=" + lineFormatName(format());
}

void SerialSwipeReader::setRle(bool rle) {
    std::lock_guard<std::mutex> g(writeLock_);
    codec_.setRle(rle);
}

void SerialSwipeReader::setAnswering(bool on) {
    answering_ = on;
}

Bytes SerialSwipeReader::received() const {
    std::lock_guard<std::mutex> g(rxLock_);
    return rx_;
}

void SerialSwipeReader::writeAll(const Bytes& bytes) {
    std::lock_guard<std::mutex> g(writeLock_);
    if (master_ < 0) return;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

void SerialSwipeReader::swipe(const SwipeCard& card) {
    // A host on a serial line has no model row to tell it the secure layout, so serial readers
    // send the clear card-report layout (report ID 1) or, in the legacy format, the track text.
    Bytes report = buildCardReport(card, swipeModel(0x0001), SecureFields{}, 0x01);
    Bytes framed;
    {
        std::lock_guard<std::mutex> g(writeLock_);
        framed = codec_.frameCardData(report, card.track1 + card.track2 + card.track3);
    }
    if (!framed.empty()) writeAll(framed);
}

void SerialSwipeReader::writeRaw(const Bytes& bytes) {
    writeAll(bytes);
}

void SerialSwipeReader::unplug() {
    std::lock_guard<std::mutex> g(writeLock_);
    if (slaveKeep_ >= 0) {
        ::close(slaveKeep_);
        slaveKeep_ = -1;
    }
    if (master_ >= 0) {
        // Closing the controlling side hangs the line up for whoever has the terminal open.
        uint64_t one = 1;
        (void)!::write(wake_, &one, sizeof one);
    }
}

void SerialSwipeReader::onNotificationChunk(uint16_t id, uint16_t offset, uint16_t total,
                                            const Bytes& chunk) {
    Bytes c;
    c.reserve(8 + chunk.size());
    for (uint16_t v : {static_cast<uint16_t>(chunk.size()), offset, id, total}) {
        c.push_back(static_cast<uint8_t>(v >> 8));
        c.push_back(static_cast<uint8_t>(v & 0xFF));
    }
    c.insert(c.end(), chunk.begin(), chunk.end());
    Bytes framed;
    {
        std::lock_guard<std::mutex> g(writeLock_);
        framed = codec_.frameNotification(c);
    }
    if (!framed.empty()) writeAll(framed);
}

void SerialSwipeReader::run() {
    uint8_t buf[4096];
    for (;;) {
        pollfd fds[2] = {{wake_, POLLIN, 0}, {master_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents & POLLIN) {
            std::lock_guard<std::mutex> g(writeLock_);
            if (slaveKeep_ < 0 && master_ >= 0) {
                // Unplugged: hang the line up by closing the controlling side.
                ::close(master_);
                master_ = -1;
            }
            return;
        }
        if (!(fds[1].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            // Nobody holds the far end (cannot happen while slaveKeep_ is open): wait for the
            // wake-up only.
            pollfd w{wake_, POLLIN, 0};
            ::poll(&w, 1, -1);
            continue;
        }
        {
            std::lock_guard<std::mutex> g(rxLock_);
            rx_.insert(rx_.end(), buf, buf + n);
        }
        std::vector<Bytes> commands;
        {
            std::lock_guard<std::mutex> g(writeLock_);
            commands = codec_.feed(buf, static_cast<size_t>(n));
        }
        for (const auto& cmd : commands) {
            core_->onSerialCommand(cmd.data(), cmd.size());
            if (!answering_) continue;
            Bytes framed;
            {
                std::lock_guard<std::mutex> g(writeLock_);
                framed = codec_.frameAnswer(core_->answer());
            }
            writeAll(framed);
        }
    }
}

}  // namespace sim::swipe
