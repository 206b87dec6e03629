// TCP connection over real loopback sockets with a peer in the test.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "ErrorCodes.h"
#include "SocketConnection.h"
#include "VelnorCommunicationPackage.h"
#include "orbio_helpers.h"

namespace {

// A listening loopback socket that accepts one peer.
class Peer {
  public:
    Peer() {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        listen(listener, 4);
        socklen_t len = sizeof sa;
        getsockname(listener, reinterpret_cast<sockaddr*>(&sa), &len);
        port = ntohs(sa.sin_port);
    }
    ~Peer() {
        hangUp();
        close(listener);
    }
    std::string address() const { return "tcp://127.0.0.1:" + std::to_string(port); }
    bool accept(int ms = 3000) {
        pollfd p{listener, POLLIN, 0};
        if (poll(&p, 1, ms) != 1) return false;
        conn = ::accept(listener, nullptr, nullptr);
        return conn >= 0;
    }
    void send(const Bytes& b) { ASSERT_EQ(ssize_t(b.size()), ::send(conn, b.data(), b.size(), 0)); }
    Bytes receive(size_t n, int ms = 3000) {
        Bytes out;
        while (out.size() < n) {
            pollfd p{conn, POLLIN, 0};
            if (poll(&p, 1, ms) != 1) break;
            unsigned char buf[4096];
            const ssize_t got = recv(conn, buf, std::min(sizeof buf, n - out.size()), 0);
            if (got <= 0) break;
            out.insert(out.end(), buf, buf + got);
        }
        return out;
    }
    void hangUp() {
        if (conn >= 0) close(conn);
        conn = -1;
    }
    int port = 0;

  private:
    int listener = -1;
    int conn = -1;
};

int unusedPort() {
    Peer p;  // bound, then closed: nothing listens there afterwards
    return p.port;
}

}  // namespace

TEST(SocketConnectionString, EveryFormIsParsed) {
    struct Case {
        std::string text;
        std::string address;
        int port;
    };
    const Case cases[] = {
        {"tcp://192.168.1.20:9000", "192.168.1.20", 9000},
        {"192.168.1.20", "192.168.1.20", 8888},
        {"TCP://10.0.0.5", "10.0.0.5", 8888},
        {"Tcp://10.0.0.5:1234", "10.0.0.5", 1234},
        {"tcp://10.0.0.5/ignored/part", "10.0.0.5", 8888},
        {"tcp://10.0.0.5:77;more=1", "10.0.0.5", 77},
        {"tcp://localhost:7000", "127.0.0.1", 7000},
        {"tcp://localhost", "127.0.0.1", 8888},
        {"tcp://no_such_host_q:7000", "no_such_host_q", 7000},
        {"tcp://reader.local:9000", "tcp://reader.local:9000", 8888},
        {"tcp://10.0.0.5:", "tcp://10.0.0.5:", 8888},
    };
    for (const auto& c : cases) {
        SocketConnection conn(c.text);
        EXPECT_EQ(c.address, conn.strIpAddress) << c.text;
        EXPECT_EQ(c.port, conn.portNumber) << c.text;
        EXPECT_FALSE(conn.IsOpen());
    }
}

TEST(SocketConnectionString, UnreachableAddressesFailToOpen) {
    const std::string cases[] = {
        "tcp://reader.local:9000",                          // whole text taken as address
        "tcp://no_such_host_q:7000",                        // name that does not resolve
        "tcp://127.0.0.1:" + std::to_string(unusedPort()),  // nobody listening
        "tcp://127.0.0.1:99999",                            // beyond the port range
        "",
    };
    const int fds = openDescriptors();
    for (const auto& text : cases) {
        SocketConnection conn(text);
        EXPECT_EQ(ERROR_DEVICE_NOT_OPEN, conn.Open()) << text;
        EXPECT_FALSE(conn.IsOpen());
        EXPECT_EQ(ERROR_UNKNOWN, conn.Send(reinterpret_cast<unsigned char*>(&conn), 1));
        EXPECT_EQ(ERROR_NO_ERR, conn.Close());
    }
    EXPECT_EQ(fds, openDescriptors());
}

TEST(SocketConnection, ExchangesBytesBothWays) {
    Peer peer;
    Inbox in;
    SocketConnection conn(peer.address());
    conn.onData = [&](unsigned char* p, unsigned int n) { in.addBytes(p, n); };
    ASSERT_EQ(ERROR_NO_ERR, conn.Open());
    ASSERT_TRUE(peer.accept());
    EXPECT_TRUE(conn.IsOpen());
    EXPECT_EQ(ERROR_NO_ERR, conn.Open());  // already open

    Bytes out(20000);
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<unsigned char>(i * 13);
    EXPECT_EQ(ERROR_NO_ERR, conn.Send(out.data(), static_cast<unsigned int>(out.size())));
    EXPECT_EQ(out, peer.receive(out.size()));

    const Bytes back{1, 2, 3, 4, 5};
    peer.send(back);
    ASSERT_TRUE(in.waitBytes(5));
    EXPECT_EQ(back, in.bytes);
    EXPECT_EQ(ERROR_NO_ERR, conn.Close());
    EXPECT_FALSE(conn.IsOpen());
    EXPECT_EQ(ERROR_UNKNOWN, conn.Send(out.data(), 1));
}

TEST(SocketConnection, WithoutHandlerBytesWaitInTheBuffer) {
    Peer peer;
    SocketConnection conn(peer.address());
    ASSERT_EQ(ERROR_NO_ERR, conn.Open());
    ASSERT_TRUE(peer.accept());
    peer.send({9, 8, 7, 6});
    for (int i = 0; i < 300 && conn._received.size() < 4; ++i) SLEEP(10);
    unsigned char buf[3];
    unsigned int n = 3;
    EXPECT_EQ(ERROR_MORE_DATA_AVAILABLE, conn.Receive(buf, &n));
    EXPECT_EQ(3u, n);
    EXPECT_EQ((Bytes{9, 8, 7}), Bytes(buf, buf + 3));
    n = 3;
    EXPECT_EQ(ERROR_NO_ERR, conn.Receive(buf, &n));
    EXPECT_EQ(1u, n);
    EXPECT_EQ(6, buf[0]);
    EXPECT_EQ(ERROR_INVALID_PARAMETERS, conn.Receive(buf, nullptr));
}

// Packets cut at arbitrary points by the network reach the packaging whole.
TEST(SocketConnection, PacketsSplitByTheNetworkAreReassembled) {
    Peer peer;
    VelnorCommunicationPackage pkg(64), device(64);
    Inbox in;
    SocketConnection conn(peer.address());  // closed (reader joined) before the packaging goes
    pkg.onPayloadReceived = [&](Bytes m) { in.addMessage(std::move(m)); };
    conn.onData = [&](unsigned char* p, unsigned int n) { pkg.ParseReport(Bytes(p, p + n)); };
    ASSERT_EQ(ERROR_NO_ERR, conn.Open());
    ASSERT_TRUE(peer.accept());

    std::vector<Bytes> messages;
    Bytes stream;
    for (size_t n : {3, 300, 62, 63, 121}) {
        Bytes m(n);
        for (size_t i = 0; i < n; ++i) m[i] = static_cast<unsigned char>(n + i);
        messages.push_back(m);
        device.SendPayload(
            m, [&](unsigned char* p, unsigned int len) { stream.insert(stream.end(), p, p + len); },
            nullptr);
    }
    // Pieces of 1, 7, 50 and 100 bytes, each sent on its own.
    const size_t pieces[] = {1, 7, 50, 100};
    size_t pos = 0;
    for (size_t k = 0; pos < stream.size(); ++k) {
        const size_t n = std::min(pieces[k % 4], stream.size() - pos);
        peer.send(Bytes(stream.begin() + pos, stream.begin() + pos + n));
        pos += n;
        SLEEP(1);
    }
    ASSERT_TRUE(in.waitMessages(messages.size()));
    EXPECT_EQ(messages, in.messages);

    // And the other way: what the host sends is what a device reads.
    Bytes big(500, 0x42);
    size_t written = 0;
    pkg.SendPayload(
        big,
        [&](unsigned char* p, unsigned int n) {
            EXPECT_EQ(ERROR_NO_ERR, conn.Send(p, n));
            written += n;
        },
        nullptr);
    const Bytes wire = peer.receive(written);
    Inbox dev;
    device.onPayloadReceived = [&](Bytes m) { dev.addMessage(std::move(m)); };
    device.ParseReport(wire);
    ASSERT_EQ(1u, dev.messages.size());
    EXPECT_EQ(big, dev.messages[0]);
}

TEST(SocketConnection, PeerClosingIsReportedOnce) {
    Peer peer;
    Inbox in;
    SocketConnection conn(peer.address());
    std::thread::id reporter;
    conn.onStatusChanged = [&](int s) {
        reporter = std::this_thread::get_id();
        in.addStatus(s);
    };
    ASSERT_EQ(ERROR_NO_ERR, conn.Open());
    ASSERT_TRUE(peer.accept());
    peer.hangUp();
    ASSERT_TRUE(in.waitStatuses(1));
    SLEEP(100);
    EXPECT_EQ(1u, in.statusCount());
    EXPECT_EQ(SocketConnection::LINK_LOST, in.statuses[0]);
    EXPECT_NE(std::this_thread::get_id(), reporter);
    // The connection stays open until the application closes it.
    EXPECT_TRUE(conn.IsOpen());
    EXPECT_EQ(ERROR_NO_ERR, conn.Close());
    EXPECT_EQ(1u, in.statusCount());
}

TEST(SocketConnection, StatusHandlerMayCloseAndDestroyTheConnection) {
    Peer peer;
    auto* conn = new SocketConnection(peer.address());
    Inbox in;
    conn->onStatusChanged = [&](int s) {
        delete conn;  // runs on the status thread, which the connection then lets go
        in.addStatus(s);
    };
    ASSERT_EQ(ERROR_NO_ERR, conn->Open());
    ASSERT_TRUE(peer.accept());
    peer.hangUp();
    ASSERT_TRUE(in.waitStatuses(1));
    EXPECT_EQ(SocketConnection::LINK_LOST, in.statuses[0]);
}

TEST(SocketConnection, OpenCloseLeavesNoThreadOrDescriptor) {
    Peer peer;
    // The first round is a warm-up: run-time helpers (a sanitizer's own thread) start lazily.
    int fds = 0, threads = 0;
    for (int i = -1; i < 40; ++i) {
        if (i == 0) {
            fds = openDescriptors();
            threads = runningThreads();
        }
        Inbox in;
        SocketConnection conn(peer.address());
        conn.onData = [&](unsigned char* p, unsigned int n) { in.addBytes(p, n); };
        conn.onStatusChanged = [&](int s) { in.addStatus(s); };
        ASSERT_EQ(ERROR_NO_ERR, conn.Open());
        ASSERT_TRUE(peer.accept());
        if (i % 2) {
            peer.send({1});
            ASSERT_TRUE(in.waitBytes(1));
        }
        if (i % 4 == 3) {
            peer.hangUp();
            ASSERT_TRUE(in.waitStatuses(1));
        }
        EXPECT_EQ(ERROR_NO_ERR, conn.Close());
        peer.hangUp();
    }
    EXPECT_LE(settledCount(fds, openDescriptors), fds);
    EXPECT_LE(settledCount(threads, runningThreads), threads);
}
