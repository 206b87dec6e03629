// The serial connection against the simulated swipe reader on a pseudo-terminal, in every line
// format; and the simulated reader itself driven by a raw terminal client.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ErrorCodes.h"
#include "SerialConnection.h"
#include "SerialSwipeReader.h"
#include "StrixTimeout.h"

using sim::swipe::LineFormat;
using sim::swipe::SerialSwipeReader;

namespace {

const sim::swipe::SwipeModel& etorvo() {
    return sim::swipe::swipeModel(0x0019);
}

// Collects what a connection hands to its data and change callbacks.
struct Sink {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::vector<unsigned char>> packets;
    std::vector<int> changes;

    static void onData(iConnection*, unsigned char* d, int n, void* p) {
        auto* s = static_cast<Sink*>(p);
        std::lock_guard<std::mutex> g(s->m);
        s->packets.emplace_back(d, d + n);
        s->cv.notify_all();
    }
    static void onChanged(const char*, int change, void* p) {
        auto* s = static_cast<Sink*>(p);
        std::lock_guard<std::mutex> g(s->m);
        s->changes.push_back(change);
        s->cv.notify_all();
    }
    bool waitPackets(size_t n) {
        std::unique_lock<std::mutex> g(m);
        return cv.wait_for(g, std::chrono::seconds(5), [&] { return packets.size() >= n; });
    }
    bool waitChanges(size_t n) {
        std::unique_lock<std::mutex> g(m);
        return cv.wait_for(g, std::chrono::seconds(5), [&] { return changes.size() >= n; });
    }
};

// A plain command report (report ID, command, length, data) through send/receive.
int exchange(SerialConnection& c, std::vector<unsigned char> cmd,
             std::vector<unsigned char>& answer) {
    std::vector<unsigned char> report{0x01};
    report.insert(report.end(), cmd.begin(), cmd.end());
    int rc = c.send(reinterpret_cast<char*>(report.data()), static_cast<int>(report.size()), 1);
    if (rc != 0) return rc;
    answer.assign(1024, 0);
    int len = static_cast<int>(answer.size());
    rc = c.receive(answer.data(), &len);
    answer.resize(rc == 0 ? static_cast<size_t>(len) : 0);
    return rc;
}

class SerialFormats : public ::testing::TestWithParam<LineFormat> {};

TEST_P(SerialFormats, CommandAndResponse) {
    SerialSwipeReader reader(etorvo(), "B5550001SERIAL01", GetParam());
    std::unique_ptr<SerialConnection> c(SerialConnection::open(reader.connectionString().c_str()));
    ASSERT_TRUE(c);
    EXPECT_STREQ(c->getScheme(), reader.connectionString().c_str());
    std::vector<unsigned char> answer;
    ASSERT_EQ(exchange(*c, {0x00, 0x01, 0x03}, answer), 0);  // get serial number
    std::string serial = "B5550001SERIAL01";
    ASSERT_EQ(answer.size(), 3 + serial.size());
    EXPECT_EQ(answer[0], 0x73);
    EXPECT_EQ(answer[1], 0x00);
    EXPECT_EQ(answer[2], serial.size());
    EXPECT_EQ(std::string(answer.begin() + 3, answer.end()), serial);
    // An unknown command: the reader's failure status comes through as data.
    ASSERT_EQ(exchange(*c, {0x7E, 0x00}, answer), 0);
    ASSERT_GE(answer.size(), 2u);
    EXPECT_EQ(answer[1], 0x01);
    auto cmds = reader.core().commands();
    ASSERT_EQ(cmds.size(), 2u);
    EXPECT_EQ(cmds[0].code, 0x00);
    EXPECT_EQ(cmds[0].data, std::vector<uint8_t>{0x03});
    EXPECT_EQ(cmds[1].code, 0x7E);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, SerialFormats,
                         ::testing::Values(LineFormat::None, LineFormat::Legacy, LineFormat::Brevo,
                                           LineFormat::Slip),
                         [](const auto& info) { return sim::swipe::lineFormatName(info.param); });

TEST(SerialConnection, SettingsAndOpenFailures) {
    SerialSwipeReader reader(etorvo(), "B5550001SERIAL01", LineFormat::Slip);
    const std::string port = reader.portPath();
    struct Case {
        std::string text;
        bool opens;
        int baud;
        const char* format;
    };
    const std::vector<Case> cases = {
        {"serial://PORT=" + port + ",BAUDRATE=9600", true, 9600, "SLIP"},
        {"SERIAL://port = " + port + " , format=legacy", true, 115200, "LEGACY"},
        {"SERIAL://PORT=" + port + ",JUNK,BAUDRATE", true, 115200, "SLIP"},
        {"SERIAL://PORT=" + port + ",FORMAT=BREVO,STARTINGBYTE=NONE,ENDINGBYTE=0x0A", true, 115200,
         "Brevo"},
        {"SERIAL://PORT=" + port + ",PARITY=EVEN,DATABITS=7,STOPBITS=2", true, 115200, "SLIP"},
        {"SERIAL://PORT=" + port + ",BAUDRATE=14400", false, 0, ""},
        {"SERIAL://PORT=" + port + ",PARITY=X", false, 0, ""},
        {"SERIAL://PORT=" + port + ",STOPBITS=3", false, 0, ""},
        {"SERIAL://PORT=" + port + ",ENDINGBYTE=13", false, 0, ""},
        {"SERIAL://PORT=" + port + ",FORMAT=V5", false, 0, ""},
        {"SERIAL://PORT=/nonexistent/tty", false, 0, ""},
        {"SERIAL://BAUDRATE=9600", false, 0, ""},
        {"HID://" + port, false, 0, ""},
    };
    for (const auto& c : cases) {
        std::unique_ptr<SerialConnection> conn(SerialConnection::open(c.text.c_str()));
        EXPECT_EQ(conn != nullptr, c.opens) << c.text;
        if (conn && c.opens) {
            EXPECT_EQ(conn->baud(), c.baud) << c.text;
            EXPECT_EQ(conn->formatName(), c.format) << c.text;
            EXPECT_EQ(conn->port(), port) << c.text;
        }
    }
    termios t{};
    {
        std::unique_ptr<SerialConnection> conn(
            SerialConnection::open(("serial://PORT=" + port + ",BAUDRATE=9600").c_str()));
        ASSERT_TRUE(conn);
        int fd = ::open(port.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        tcgetattr(fd, &t);
        ::close(fd);
    }
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_EQ(t.c_lflag & ICANON, 0u);
}

TEST(SerialConnection, TwoReadersOfTheSameFormatAnswerIndependently) {
    SerialSwipeReader a(etorvo(), "AAAAAAAAAAAAAAAA", LineFormat::Slip);
    SerialSwipeReader b(etorvo(), "BBBBBBBBBBBBBBBB", LineFormat::Slip);
    std::unique_ptr<SerialConnection> ca(SerialConnection::open(a.connectionString().c_str()));
    std::unique_ptr<SerialConnection> cb(SerialConnection::open(b.connectionString().c_str()));
    ASSERT_TRUE(ca && cb);
    // Both lines deliver notifications at the same time as the commands run.
    Sink sa, sb;
    ca->registerOnDataEvent(&Sink::onData, &sa);
    cb->registerOnDataEvent(&Sink::onData, &sb);
    std::atomic<int> wrong{0};
    auto worker = [&](SerialConnection& c, SerialSwipeReader& r, char expect) {
        for (int i = 0; i < 40; ++i) {
            r.core().notify(0x0101, std::vector<uint8_t>(30, static_cast<uint8_t>(expect)));
            std::vector<unsigned char> answer;
            if (exchange(c, {0x00, 0x01, 0x03}, answer) != 0 || answer.size() != 19 ||
                answer[3] != expect || answer[18] != expect) {
                ++wrong;
            }
        }
    };
    std::thread ta(worker, std::ref(*ca), std::ref(a), 'A');
    std::thread tb(worker, std::ref(*cb), std::ref(b), 'B');
    ta.join();
    tb.join();
    EXPECT_EQ(wrong.load(), 0);
    ASSERT_TRUE(sa.waitPackets(40));
    ASSERT_TRUE(sb.waitPackets(40));
    std::lock_guard<std::mutex> g1(sa.m), g2(sb.m);
    for (const auto& p : sa.packets) EXPECT_EQ(p.back(), 'A');
    for (const auto& p : sb.packets) EXPECT_EQ(p.back(), 'B');
}

TEST(SerialConnection, NotificationsReachTheDataCallbackAsReportTwo) {
    struct Case {
        LineFormat format;
        bool rle;
    };
    for (auto c : {Case{LineFormat::Slip, false}, Case{LineFormat::Slip, true},
                   Case{LineFormat::Brevo, false}}) {
        SerialSwipeReader reader(etorvo(), "B5550001SERIAL01", c.format);
        reader.setRle(c.rle);
        std::unique_ptr<SerialConnection> conn(
            SerialConnection::open(reader.connectionString().c_str()));
        ASSERT_TRUE(conn);
        Sink sink;
        conn->registerOnDataEvent(&Sink::onData, &sink);
        std::vector<uint8_t> data(40, 0x00);
        data[0] = 0x11;
        reader.core().notify(0x0300, data);
        ASSERT_TRUE(sink.waitPackets(1)) << sim::swipe::lineFormatName(c.format);
        std::vector<unsigned char> expect = {0x02, 0x00, 40, 0x00, 0x00, 0x03, 0x00, 0x00, 40};
        expect.insert(expect.end(), data.begin(), data.end());
        std::lock_guard<std::mutex> g(sink.m);
        EXPECT_EQ(sink.packets[0], expect)
            << sim::swipe::lineFormatName(c.format) << " rle " << c.rle;
    }
}

TEST(SerialConnection, StrayResponseIsDroppedAndTimeoutReported) {
    SerialSwipeReader reader(etorvo(), "B5550001SERIAL01", LineFormat::Slip);
    std::unique_ptr<SerialConnection> c(SerialConnection::open(reader.connectionString().c_str()));
    ASSERT_TRUE(c);
    // A response nobody asked for, then a real exchange: the command gets its own answer.
    reader.writeRaw(sim::swipe::slipFrame(sim::swipe::slipMessage(4, 3, {0x00, 0x01, 0x99})));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::vector<unsigned char> answer;
    ASSERT_EQ(exchange(*c, {0x00, 0x01, 0x03}, answer), 0);
    EXPECT_EQ(answer.size(), 19u);
    // A reader that never answers: the wait ends after _TimeoutMs with 1.
    reader.setAnswering(false);
    int saved = _TimeoutMs;
    _TimeoutMs = 200;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(exchange(*c, {0x00, 0x01, 0x03}, answer), ERROR_DEVICE_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(190));
    _TimeoutMs = saved;
    // A too-small buffer is refused rather than overrun.
    reader.setAnswering(true);
    unsigned char report[] = {0x01, 0x00, 0x01, 0x03};
    ASSERT_EQ(c->send(reinterpret_cast<char*>(report), 4, 1), 0);
    unsigned char small[8];
    int len = sizeof small;
    EXPECT_EQ(c->receive(small, &len), ERROR_BUFFER_INSUFFICIENT);
    EXPECT_EQ(len, 19);
}

TEST(SerialConnection, HangupReportsTheDeviceGoneOnceAndCloseStillWorks) {
    SerialSwipeReader reader(etorvo(), "B5550001SERIAL01", LineFormat::Slip);
    std::unique_ptr<SerialConnection> c(SerialConnection::open(reader.connectionString().c_str()));
    ASSERT_TRUE(c);
    Sink sink;
    c->registerConnectionChanged(&Sink::onChanged, &sink);
    reader.unplug();
    ASSERT_TRUE(sink.waitChanges(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    c->close();
    std::lock_guard<std::mutex> g(sink.m);
    EXPECT_EQ(sink.changes, std::vector<int>{1});
}

TEST(SerialConnection, ClosingFromInsideTheDataCallback) {
    SerialSwipeReader reader(etorvo(), "B5550001SERIAL01", LineFormat::Slip);
    struct Ctx {
        std::unique_ptr<SerialConnection> conn;
        std::atomic<bool> done{false};
    } ctx;
    ctx.conn.reset(SerialConnection::open(reader.connectionString().c_str()));
    ASSERT_TRUE(ctx.conn);
    ctx.conn->registerOnDataEvent(
        [](iConnection*, unsigned char*, int, void* p) {
            auto* x = static_cast<Ctx*>(p);
            x->conn.reset();  // deletes the connection on its own reading thread
            x->done = true;
        },
        &ctx);
    // Two notifications in one burst: the second must not be touched after the delete.
    reader.core().notify(0x0300, {1});
    reader.core().notify(0x0300, {2});
    for (int i = 0; i < 500 && !ctx.done; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_TRUE(ctx.done.load());
}

// The simulated reader through a bare terminal client: bytes in, bytes out.
TEST(SimulatedSerialReader, AnswersRawClientsInEachFormat) {
    struct Case {
        LineFormat format;
        std::string send;
        std::string expectPrefix;
    };
    const std::string slipCmd("\xC0\x05\x00\x03\x00\x01\x03\xC0", 8);
    const std::vector<Case> cases = {
        {LineFormat::None, "000103", std::string("\x00\x10", 2) + "B5550001"},
        {LineFormat::Legacy, "000103\r", "00104235353530303031"},
        {LineFormat::Brevo, std::string("\x00\x01\x03\x0D", 4),
         std::string("\x04\x00\x10", 3) + "B555"},
        {LineFormat::Slip, slipCmd, std::string("\xC0\x04\x00\x12\x00\x10", 6) + "B555"},
    };
    for (const auto& c : cases) {
        SerialSwipeReader reader(etorvo(), "B5550001SERIAL01", c.format);
        int fd = ::open(reader.portPath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        termios t{};
        tcgetattr(fd, &t);
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
        ASSERT_EQ(::write(fd, c.send.data(), c.send.size()), static_cast<ssize_t>(c.send.size()));
        std::string got;
        while (got.size() < c.expectPrefix.size()) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 2000) <= 0) break;
            char buf[256];
            ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, static_cast<size_t>(n));
        }
        ::close(fd);
        EXPECT_EQ(got.substr(0, c.expectPrefix.size()), c.expectPrefix)
            << sim::swipe::lineFormatName(c.format);
    }
}

}  // namespace
