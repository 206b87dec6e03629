// The bench's stream transports seen from the host side: a TCP client socket and a terminal.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include "SimTestSupport.h"

using namespace simtest;

namespace {

// Echoes every chunk the host sends back as one packet.
class EchoStream : public sim::StreamDevice {
  protected:
    void onHostBytes(const Bytes& data) override { send(data); }
};

// Reads until n bytes arrived, the peer closed, or the timeout passed.
Bytes readSome(int fd, std::size_t n, int timeoutMs = 2000) {
    Bytes out;
    while (out.size() < n) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) break;
        std::uint8_t buf[1024];
        ssize_t r = ::read(fd, buf, sizeof buf);
        if (r <= 0) break;
        out.insert(out.end(), buf, buf + r);
    }
    return out;
}

int connectTo(std::uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int openTerminal(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return -1;
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    return fd;
}

}  // namespace

TEST(TcpPort, CarriesBytesBothWaysAndRecordsWhatTheHostSent) {
    sim::Bench bench;
    auto dev = std::make_shared<EchoStream>();
    auto& port = bench.serveTcp(dev);
    ASSERT_NE(port.port(), 0);
    EXPECT_EQ(port.address(), "tcp://127.0.0.1:" + std::to_string(port.port()));
    EXPECT_FALSE(dev->send({1}));  // nobody connected: lost
    int fd = connectTo(port.port());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(dev->waitConnected(2s));
    Bytes msg{0x00, 0x03, 0xC0, 0xDB, 0x11};
    ASSERT_EQ(::write(fd, msg.data(), msg.size()), static_cast<ssize_t>(msg.size()));
    EXPECT_EQ(readSome(fd, msg.size()), msg);
    ASSERT_TRUE(dev->hostLog().waitFor(sim::HostLog::Kind::StreamBytes, 1, 1s));
    EXPECT_EQ(dev->hostLog().of(sim::HostLog::Kind::StreamBytes)[0], msg);

    // A host that goes away is noticed; a new connection is served.
    ::close(fd);
    EXPECT_TRUE(dev->waitDisconnected(2s));
    fd = connectTo(port.port());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(dev->waitConnected(2s));
    // The device hangs up: the host reads end of stream.
    dev->hangUp();
    EXPECT_EQ(readSome(fd, 1), Bytes{});
    EXPECT_TRUE(dev->waitDisconnected(2s));
    ::close(fd);
}

TEST(TcpPort, FaultsApplyToWholePacketsAndGarbageGoesOutAsIs) {
    sim::Bench bench;
    auto dev = std::make_shared<EchoStream>();
    auto& port = bench.serveTcp(dev);
    int fd = connectTo(port.port());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(dev->waitConnected(2s));
    dev->faults().swapNextTwo();
    dev->faults().dropNext();
    ASSERT_TRUE(dev->send({1, 1}));
    ASSERT_TRUE(dev->send({2, 2}));  // dropped
    ASSERT_TRUE(dev->send({3, 3}));
    ASSERT_TRUE(dev->sendRaw({0xFF}));
    EXPECT_EQ(readSome(fd, 5), (Bytes{3, 3, 1, 1, 0xFF}));
    // Unplug after the next packet: the host gets it, then the end of the stream.
    dev->faults().unplugAfter(1);
    ASSERT_TRUE(dev->send({4, 4}));
    EXPECT_EQ(readSome(fd, 3), (Bytes{4, 4}));
    ::close(fd);
}

TEST(PtyPort, IsARawTerminalTheHostOpensByPath) {
    sim::Bench bench;
    auto dev = std::make_shared<EchoStream>();
    auto& pty = bench.servePty(dev);
    ASSERT_EQ(pty.slavePath().rfind("/dev/pts/", 0), 0u) << pty.slavePath();
    EXPECT_TRUE(dev->connected());
    int fd = openTerminal(pty.slavePath());
    ASSERT_GE(fd, 0);
    // Every byte value passes untouched in raw mode (no CR/LF or flow-control translation).
    Bytes msg{0x0D, 0x0A, 0x11, 0x13, 0x03, 0x00, 0xFF, 0xC0};
    ASSERT_EQ(::write(fd, msg.data(), msg.size()), static_cast<ssize_t>(msg.size()));
    EXPECT_EQ(readSome(fd, msg.size()), msg);
    // The host closes and reopens the port: the line stays up.
    ::close(fd);
    fd = openTerminal(pty.slavePath());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(dev->sendRaw({0x42}));
    EXPECT_EQ(readSome(fd, 1), Bytes{0x42});
    // Late answer: nothing within 50 ms, then the packet.
    dev->faults().delayNext(200ms);
    ASSERT_TRUE(dev->send({0x43}));
    EXPECT_EQ(readSome(fd, 1, 50), Bytes{});
    EXPECT_EQ(readSome(fd, 1, 3000), Bytes{0x43});
    ::close(fd);
}
