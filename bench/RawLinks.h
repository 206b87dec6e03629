#pragma once
// Raw clients of the simulated message-schema reader: the same exchange the SDK makes, done
// directly on the transport (hidapi reports, a TCP socket, a pseudo-terminal with SLIP), so that
// the SDK's own cost is the difference between the two.
#include <fcntl.h>
#include <hidapi/hidapi.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "sim/orb/Packets.h"

namespace rawlink {

using sim::Bytes;

class Link {
  public:
    virtual ~Link() = default;
    virtual bool send(const Bytes& message) = 0;
    // The next whole message from the reader, or none after timeoutMs without one.
    virtual std::optional<Bytes> receive(int timeoutMs) = 0;
};

class HidLink : public Link {
  public:
    explicit HidLink(const std::string& path) : dev_(hid_open_path(path.c_str())) {}
    ~HidLink() override {
        if (dev_ != nullptr) hid_close(dev_);
    }
    bool ok() const { return dev_ != nullptr; }
    bool send(const Bytes& message) override {
        for (const Bytes& p : sim::orb::cutIntoPackets(message)) {
            Bytes report(65, 0);
            std::memcpy(report.data() + 1, p.data(), p.size());
            if (hid_write(dev_, report.data(), report.size()) != 65) return false;
        }
        return true;
    }
    std::optional<Bytes> receive(int timeoutMs) override {
        unsigned char buf[64];
        for (;;) {
            int n = hid_read_timeout(dev_, buf, sizeof buf, timeoutMs);
            if (n <= 0) return std::nullopt;
            if (auto m = assembler_.feed(Bytes(buf, buf + n))) return m;
        }
    }

  private:
    hid_device* dev_;
    sim::orb::PacketAssembler assembler_;
};

// Shared by the TCP and terminal links: a file descriptor read with poll().
class FdLink : public Link {
  public:
    ~FdLink() override {
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }

  protected:
    bool writeAll(const Bytes& bytes) {
        size_t off = 0;
        while (off < bytes.size()) {
            ssize_t n = ::write(fd_, bytes.data() + off, bytes.size() - off);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) {
                pollfd p{fd_, POLLOUT, 0};
                ::poll(&p, 1, 1000);
                continue;
            }
            if (n <= 0) return false;
            off += static_cast<size_t>(n);
        }
        return true;
    }
    // Reads what is there (waiting up to timeoutMs for the first byte); empty on timeout.
    Bytes readSome(int timeoutMs) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) return {};
        ssize_t n = ::read(fd_, buffer_, sizeof buffer_);
        if (n <= 0) return {};
        return Bytes(buffer_, buffer_ + n);
    }
    int fd_ = -1;
    // One buffer for every read: a fresh 64 KiB allocation per read costs page faults that the
    // SDK's own reading threads do not pay.
    unsigned char buffer_[65536];
};

class TcpLink : public FdLink {
  public:
    explicit TcpLink(std::uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    bool send(const Bytes& message) override {
        Bytes all;
        // Unpadded: a stream of padded packets cannot always be cut unambiguously by a peer
        // that skips padding in pairs of zero bytes.
        for (const Bytes& p : sim::orb::cutIntoPackets(message))
            all.insert(all.end(), p.begin(), p.end());
        return writeAll(all);
    }
    // The reader pads every packet to 64 bytes, so the stream is cut into 64-byte slots.
    std::optional<Bytes> receive(int timeoutMs) override {
        for (;;) {
            while (pending_.size() - used_ >= sim::orb::kPacketSize) {
                Bytes packet(pending_.begin() + static_cast<long>(used_),
                             pending_.begin() + static_cast<long>(used_ + sim::orb::kPacketSize));
                used_ += sim::orb::kPacketSize;
                if (auto m = assembler_.feed(packet)) return m;
            }
            pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(used_));
            used_ = 0;
            Bytes got = readSome(timeoutMs);
            if (got.empty()) return std::nullopt;
            pending_.insert(pending_.end(), got.begin(), got.end());
        }
    }

  private:
    sim::orb::PacketAssembler assembler_;
    Bytes pending_;
    size_t used_ = 0;
};

class PtyLink : public FdLink {
  public:
    explicit PtyLink(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0) return;
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        tcsetattr(fd_, TCSANOW, &t);
    }
    bool send(const Bytes& message) override {
        const size_t n = message.size();
        Bytes body(5 + n);
        body[0] = 0x00;  // from the host
        for (int i = 0; i < 4; ++i) body[1 + i] = static_cast<unsigned char>(n >> (24 - 8 * i));
        std::copy(message.begin(), message.end(), body.begin() + 5);
        return writeAll(sim::orb::slipEscape(body));
    }
    std::optional<Bytes> receive(int timeoutMs) override {
        for (;;) {
            while (next_ < frames_.size()) {
                Bytes& f = frames_[next_++];
                if (f.size() >= 5 && f[0] == 0x02) return Bytes(f.begin() + 5, f.end());
            }
            Bytes got = readSome(timeoutMs);
            if (got.empty()) return std::nullopt;
            frames_ = decoder_.feed(got);
            next_ = 0;
        }
    }

  private:
    sim::orb::SlipDecoder decoder_;
    std::vector<Bytes> frames_;
    size_t next_ = 0;
};

}  // namespace rawlink
