// Serial connection over a real pseudo-terminal with a peer (the master side) in the test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <thread>

#include "CommPort.h"
#include "ErrorCodes.h"
#include "SerialCommunicationPackage.h"
#include "orbio_helpers.h"

namespace {

// A pseudo-terminal: the test plays the device on the master side.
class Pty {
  public:
    Pty() {
        char name[256] = {0};
        EXPECT_EQ(0, openpty(&master, &slave, name, nullptr, nullptr));
        path = name;
    }
    ~Pty() {
        hangUp();
        if (slave >= 0) close(slave);
    }
    std::string settings(const std::string& extra = "") const {
        return "PORT=" + path + ",BAUDRATE=115200" + extra;
    }
    void send(const Bytes& b) { ASSERT_EQ(ssize_t(b.size()), write(master, b.data(), b.size())); }
    Bytes receive(size_t n, int ms = 3000) {
        Bytes out;
        while (out.size() < n) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, ms) != 1) break;
            unsigned char buf[4096];
            const ssize_t got = read(master, buf, std::min(sizeof buf, n - out.size()));
            if (got <= 0) break;
            out.insert(out.end(), buf, buf + got);
        }
        return out;
    }
    void hangUp() {
        if (master >= 0) close(master);
        master = -1;
    }
    termios attributes() const {
        termios t{};
        tcgetattr(slave, &t);
        return t;
    }
    // The test's own slave descriptor keeps the line alive; closing it leaves the port's alone.
    void dropSlave() {
        close(slave);
        slave = -1;
    }

    std::string path;
    int master = -1;
    int slave = -1;
};

}  // namespace

TEST(CommPortSettings, ItemsAreParsed) {
    struct Case {
        std::string text;
        std::string port;
        int baud, parity, dataBits, stopBits;
    };
    const Case cases[] = {
        {"PORT=/dev/ttyACM0,BAUDRATE=115200,PARITY=N,STOPBITS=1", "/dev/ttyACM0", 115200, 0, 8, 0},
        {"port=/dev/ttyS1 , baudrate = 57600", "/dev/ttyS1", 57600, 0, 8, 0},
        {"PORT=/dev/x,PARITY=ODD,DATABITS=7,STOPBITS=2", "/dev/x", 115200, 1, 7, 2},
        {"PARITY=E,STOPBITS=1.5", "", 115200, 2, 8, 1},
        {"PARITY=MARK", "", 115200, 3, 8, 0},
        {"PARITY=S", "", 115200, 4, 8, 0},
        {"PARITY=O,PARITY=none", "", 115200, 1, 8, 0},  // lower case: not recognised
        {"PARITY=even", "", 115200, 0, 8, 0},
        {"STOPBITS=2,STOPBITS=3", "", 115200, 0, 8, 2},  // unknown value keeps the previous
        {"PORT/dev/x,BAUDRATE==9600,PORT=a=b", "", 115200, 0, 8, 0},  // no '=' or two '='
        {"PORT=,=/dev/x,COLOR=blue", "", 115200, 0, 8, 0},            // empty part, unknown key
        {"BAUDRATE=fast", "", 0, 0, 8, 0},                            // read as atoi reads it
        {"", "", 115200, 0, 8, 0},
    };
    for (const auto& c : cases) {
        CommPort port(c.text);
        EXPECT_EQ(c.text, port._config);
        EXPECT_EQ(c.port, port.portName) << c.text;
        EXPECT_EQ(c.baud, port.baudRate) << c.text;
        EXPECT_EQ(c.parity, port.parity) << c.text;
        EXPECT_EQ(c.dataBits, port.dataBits) << c.text;
        EXPECT_EQ(c.stopBits, port.stopBits) << c.text;
    }
}

TEST(CommPort, SupportedSpeedsOpenInRawMode) {
    const std::pair<int, speed_t> speeds[] = {
        {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800},
        {500000, B500000}, {576000, B576000}, {921600, B921600}};
    for (const auto& sp : speeds) {
        Pty pty;
        CommPort port("PORT=" + pty.path + ",BAUDRATE=" + std::to_string(sp.first) +
                      ",PARITY=E,DATABITS=7,STOPBITS=2");
        ASSERT_EQ(ERROR_NO_ERR, port.Open()) << sp.first;
        EXPECT_TRUE(port.IsOpen());
        const termios t = pty.attributes();
        EXPECT_EQ(sp.second, cfgetospeed(&t));
        EXPECT_EQ(sp.second, cfgetispeed(&t));
        EXPECT_EQ(0u, t.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN));
        EXPECT_EQ(0u, t.c_iflag & (INLCR | IGNCR | ICRNL | IXON | IXOFF | ISTRIP));
        EXPECT_EQ(0u, t.c_oflag & (ONLCR | OCRNL));
        EXPECT_EQ(1, t.c_cc[VTIME]);
        EXPECT_EQ(0, t.c_cc[VMIN]);
        // A pseudo-terminal keeps 8 data bits without parity whatever is asked; stop bits stay.
        EXPECT_EQ(tcflag_t(CSTOPB), t.c_cflag & CSTOPB);
        EXPECT_EQ(ERROR_NO_ERR, port.Close());
        EXPECT_FALSE(port.IsOpen());
    }
}

TEST(CommPort, UnsupportedSpeedsAndMissingPortsFail) {
    Pty pty;
    struct Case {
        std::string settings;
        int result;
    };
    const Case cases[] = {
        {"PORT=" + pty.path + ",BAUDRATE=9600", ERROR_INVALID_PARAMETERS},
        {"PORT=" + pty.path + ",BAUDRATE=38400", ERROR_INVALID_PARAMETERS},
        {"PORT=" + pty.path + ",BAUDRATE=1000000", ERROR_INVALID_PARAMETERS},
        {"PORT=" + pty.path + ",BAUDRATE=0", ERROR_INVALID_PARAMETERS},
        {"PORT=/dev/no-such-port,BAUDRATE=115200", ERROR_UNKNOWN},
        {"BAUDRATE=115200", ERROR_UNKNOWN},
        {"PORT=/dev/null", ERROR_UNKNOWN},  // not a terminal: attributes cannot be read
    };
    const int fds = openDescriptors(), threads = runningThreads();
    for (const auto& c : cases) {
        CommPort port(c.settings);
        EXPECT_EQ(c.result, port.Open()) << c.settings;
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(ERROR_NO_ERR, port.Close());
    }
    EXPECT_EQ(fds, openDescriptors());  // the descriptor opened before the check is closed
    EXPECT_EQ(threads, runningThreads());
}

TEST(CommPort, ExchangesBytesBothWays) {
    Pty pty;
    Inbox in;
    CommPort port(pty.settings());
    port.onData = [&](unsigned char* p, unsigned int n) { in.addBytes(p, n); };
    ASSERT_EQ(ERROR_NO_ERR, port.Open());
    EXPECT_EQ(ERROR_NO_ERR, port.Open());  // already open

    // Every byte value, CR and LF and XON/XOFF included, passes unchanged.
    Bytes all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<unsigned char>(i);
    pty.send(all);
    ASSERT_TRUE(in.waitBytes(all.size()));
    EXPECT_EQ(all, in.bytes);

    Bytes out(3000);
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<unsigned char>(255 - i % 256);
    std::thread reader([&] { EXPECT_EQ(out, pty.receive(out.size())); });
    EXPECT_EQ(ERROR_NO_ERR, port.Send(out.data(), static_cast<unsigned int>(out.size())));
    reader.join();
    EXPECT_EQ(ERROR_NO_ERR, port.Close());
    EXPECT_EQ(ERROR_UNKNOWN, port.Send(out.data(), 1));
}

TEST(CommPort, ReceiveReadsTheLine) {
    Pty pty;
    CommPort port(pty.settings());
    unsigned char buf[8];
    unsigned int n = sizeof buf;
    EXPECT_EQ(ERROR_UNKNOWN, port.Receive(buf, &n));  // closed
    ASSERT_EQ(ERROR_NO_ERR, port.Open());
    EXPECT_EQ(ERROR_INVALID_PARAMETERS, port.Receive(buf, nullptr));
    n = sizeof buf;
    EXPECT_EQ(1, port.Receive(buf, &n));  // nothing there: returns after the line's 0.1 s
    EXPECT_EQ(0u, n);
}

TEST(CommPort, SlipFramesSplitAcrossReadsAreDelivered) {
    Pty pty;
    SerialCommunicationPackage pkg(0x200000);
    Inbox in;
    CommPort port(pty.settings());  // closed (reader joined) before the packaging goes
    pkg.onPayloadReceived = [&](Bytes m) { in.addMessage(std::move(m)); };
    port.onData = [&](unsigned char* p, unsigned int n) { pkg.ParseReport(Bytes(p, p + n)); };
    ASSERT_EQ(ERROR_NO_ERR, port.Open());

    Bytes payload(700);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<unsigned char>(i * 31);
    const Bytes frame = generateDataWithSlipEscape(slipBody(0x02, payload));
    pty.send(Bytes(frame.begin(), frame.begin() + 100));
    SLEEP(20);
    pty.send(Bytes(frame.begin() + 100, frame.end()));
    ASSERT_TRUE(in.waitMessages(1));
    EXPECT_EQ(payload, in.messages[0]);

    // What the host sends decodes on the device side.
    size_t written = 0;
    pkg.SendPayload(
        payload,
        [&](unsigned char* p, unsigned int n) {
            EXPECT_EQ(ERROR_NO_ERR, port.Send(p, n));
            written += n;
        },
        nullptr);
    Bytes wire = pty.receive(written);
    SocketInSliper device;
    device.add(wire.data(), static_cast<int>(wire.size()));
    const Bytes got = device.get();
    ASSERT_EQ(payload.size() + 5, got.size());
    EXPECT_EQ(0x00, got[0]);
    EXPECT_EQ(payload, Bytes(got.begin() + 5, got.end()));
}

TEST(CommPort, HangUpIsReportedOnceAndEndsTheReader) {
    Pty pty;
    Inbox in;
    CommPort port(pty.settings());
    const int threads = runningThreads();
    port.onStatusChanged = [&](int s) { in.addStatus(s); };
    ASSERT_EQ(ERROR_NO_ERR, port.Open());
    pty.dropSlave();
    pty.hangUp();
    ASSERT_TRUE(in.waitStatuses(1));
    SLEEP(100);
    EXPECT_EQ(1u, in.statusCount());
    EXPECT_EQ(CommPort::LINK_LOST, in.statuses[0]);
    // The reading thread has ended instead of spinning on the hung-up line.
    for (int i = 0; i < 100 && runningThreads() > threads; ++i) SLEEP(10);
    EXPECT_EQ(threads, runningThreads());
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(ERROR_NO_ERR, port.Close());
}

TEST(CommPort, OpenCloseLeavesNoThreadOrDescriptor) {
    Pty pty;
    // The first round is a warm-up: run-time helpers (a sanitizer's own thread) start lazily.
    int fds = 0, threads = 0;
    for (int i = -1; i < 40; ++i) {
        if (i == 0) {
            fds = openDescriptors();
            threads = runningThreads();
        }
        Inbox in;
        CommPort port(pty.settings());
        port.onData = [&](unsigned char* p, unsigned int n) { in.addBytes(p, n); };
        ASSERT_EQ(ERROR_NO_ERR, port.Open());
        if (i % 2) {
            pty.send({0x55});
            ASSERT_TRUE(in.waitBytes(1));
        }
        EXPECT_EQ(ERROR_NO_ERR, port.Close());
    }
    EXPECT_LE(settledCount(fds, openDescriptors), fds);
    EXPECT_LE(settledCount(threads, runningThreads), threads);
}
