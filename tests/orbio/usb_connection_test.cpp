// USB connection against readers simulated behind the hidapi stand-in.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "ErrorCodes.h"
#include "USBConnection.h"
#include "VelnorCommunicationPackage.h"
#include "VelnorUSBHIDPackage.h"
#include "orbio_helpers.h"
#include "sim/Bench.h"
#include "sim/HidDevice.h"

namespace {

using Kind = sim::HostLog::Kind;
constexpr sim::Millis kWait{3000};

class Reader : public sim::HidDevice {
  public:
    Reader(unsigned short vid, unsigned short pid, std::string serial, std::string product)
        : HidDevice({vid, pid, std::move(serial), std::move(product), "Bench"}) {}

    // Sends a message the way a reader does: 64-byte packets, each in one input report.
    void sendMessage(const Bytes& message, size_t packets = SIZE_MAX) {
        VelnorCommunicationPackage pkg(64);
        size_t sent = 0;
        pkg.SendPayload(
            message,
            [&](unsigned char* p, unsigned int n) {
                if (sent++ >= packets) return;
                Bytes report(p, p + n);
                report.resize(64, 0);
                pushInput(report);
            },
            nullptr);
    }
};

std::shared_ptr<Reader> reader(unsigned short pid, const std::string& serial,
                               unsigned short vid = 0x2F1A) {
    return std::make_shared<Reader>(vid, pid, serial, "Reader " + serial);
}

// One open connection with the packaging on top, as the device object wires them.
struct Link {
    Inbox in;
    VelnorUSBHIDPackage pkg{0, 64};
    USBConnection conn;
    explicit Link(const std::string& path) : conn(path) {
        pkg.onPayloadReceived = [this](Bytes m) { in.addMessage(std::move(m)); };
        conn.onData = [this](unsigned char* p, unsigned int n) {
            pkg.ParseReport(Bytes(p, p + n));
        };
        conn.onStatusChanged = [this](int s) { in.addStatus(s); };
    }
    void send(const Bytes& message) {
        pkg.SendPayload(
            message, [this](unsigned char* p, unsigned int n) { EXPECT_EQ(0, conn.Send(p, n)); },
            nullptr);
    }
};

class UsbConnectionTest : public ::testing::Test {
  protected:
    void SetUp() override { bench.exportHidSocket(); }
    sim::Bench bench;
};

}  // namespace

TEST_F(UsbConnectionTest, NoReaderMeansEmptyListAndFailedOpen) {
    bench.attachHid(reader(0x9999, "OTHERPID"));          // maker's vendor, unknown product
    bench.attachHid(reader(0x2020, "OTHERVID", 0x1234));  // known product id, other vendor
    USBConnection conn;
    int listed = 0;
    EXPECT_FALSE(conn.Enum(
        [&](std::string, std::string) {
            ++listed;
            return true;
        },
        ""));
    EXPECT_EQ(0, listed);
    EXPECT_EQ(ERROR_DEVICE_NOT_OPEN, conn.Open());
    EXPECT_FALSE(conn.IsOpen());
    USBConnection byPath("0009:0009:00");
    EXPECT_EQ(ERROR_DEVICE_NOT_OPEN, byPath.Open());
    unsigned char b = 1;
    EXPECT_EQ(ERROR_IPAD_DEVICE_REMOVED, byPath.Send(&b, 1));
}

TEST_F(UsbConnectionTest, ListsRecognisedReadersWithTheirDescription) {
    const std::string p1 = bench.attachHid(reader(0x2020, "SN0001"));
    bench.attachHid(reader(0x9999, "SKIPPED"));
    const std::string p2 = bench.attachHid(
        std::make_shared<Reader>(0x2F1A, 0x2024, "A\"B\\C", std::string("Caf\xC3\xA9 / 2")));
    const std::string p3 = bench.attachHid(reader(0x2023, ""));
    std::vector<std::pair<std::string, std::string>> listed;
    USBConnection conn;
    EXPECT_TRUE(conn.Enum(
        [&](std::string path, std::string description) {
            listed.emplace_back(path, description);
            return true;
        },
        "ignored filter"));
    const std::vector<std::pair<std::string, std::string>> expected{
        {p1,
         "{\"DSN\":\"SN0001\",\"Name\":\"SN0001\",\"Product\":\"Reader SN0001\",\"PID\":"
         "\"2020\",\"VID\":\"2f1a\",\"Path\":\"" +
             p1 + "\"}"},
        {p2,
         "{\"DSN\":\"A\\\"B\\\\C\",\"Name\":\"A\\\"B\\\\C\",\"Product\":\"Caf\xC3\xA9 \\/ "
         "2\",\"PID\":\"2024\",\"VID\":\"2f1a\",\"Path\":\"" +
             p2 + "\"}"},
        {p3,
         "{\"DSN\":\"\",\"Name\":\"\",\"Product\":\"Reader \",\"PID\":\"2023\",\"VID\":"
         "\"2f1a\",\"Path\":\"" +
             p3 + "\"}"},
    };
    EXPECT_EQ(expected, listed);

    // The callback stops the listing by returning false.
    int calls = 0;
    EXPECT_TRUE(conn.Enum(
        [&](std::string, std::string) {
            ++calls;
            return false;
        },
        ""));
    EXPECT_EQ(1, calls);
}

TEST_F(UsbConnectionTest, OpensByPathOrTheFirstReaderFound) {
    auto other = reader(0x9999, "NOTME");
    auto first = reader(0x2023, "FIRST");
    auto second = reader(0x2020, "SECOND");
    bench.attachHid(other);
    bench.attachHid(first);
    const std::string secondPath = bench.attachHid(second);
    {
        USBConnection conn(secondPath);
        EXPECT_EQ(ERROR_NO_ERR, conn.Open());
        EXPECT_TRUE(conn.IsOpen());
        EXPECT_EQ(ERROR_NO_ERR, conn.Open());  // already open
        EXPECT_TRUE(second->waitOpened(kWait));
        EXPECT_FALSE(first->openByHost());
        EXPECT_EQ(65, conn.iInputReportBufferLength);
        EXPECT_EQ(ERROR_NO_ERR, conn.Close());
        EXPECT_TRUE(second->waitClosed(kWait));
        EXPECT_FALSE(conn.IsOpen());
        EXPECT_EQ(0, conn.iInputReportBufferLength);
    }
    USBConnection conn;
    EXPECT_EQ(65, conn.iOutputReportBufferLength);
    EXPECT_EQ(ERROR_NO_ERR, conn.Open());
    EXPECT_TRUE(first->waitOpened(kWait));
    EXPECT_FALSE(second->openByHost());
    EXPECT_FALSE(other->openByHost());
}

TEST_F(UsbConnectionTest, ShortPacketIsPaddedToAFullReport) {
    auto r = reader(0x2020, "PAD");
    USBConnection conn(bench.attachHid(r));
    ASSERT_EQ(ERROR_NO_ERR, conn.Open());
    unsigned char packet[] = {0x00, 0xA1, 0xA2};
    EXPECT_EQ(ERROR_NO_ERR, conn.Send(packet, 3));
    ASSERT_TRUE(r->hostLog().waitFor(Kind::OutputReport, 1, kWait));
    Bytes expected(65, 0);
    expected[1] = 0xA1;
    expected[2] = 0xA2;
    EXPECT_EQ(expected, r->hostLog().of(Kind::OutputReport)[0]);
    // More than one report does not fit.
    Bytes tooLong(66, 1);
    EXPECT_EQ(1, conn.Send(tooLong.data(), 66));
    EXPECT_EQ(1u, r->hostLog().count(Kind::OutputReport));
}

TEST_F(UsbConnectionTest, MessagesOfManyPacketsTravelBothWays) {
    auto r = reader(0x2020, "MULTI");
    Link link(bench.attachHid(r));
    ASSERT_EQ(ERROR_NO_ERR, link.conn.Open());
    ASSERT_TRUE(r->waitOpened(kWait));

    Bytes out(300);
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<unsigned char>(i * 3);
    link.send(out);
    ASSERT_TRUE(r->hostLog().waitFor(Kind::OutputReport, 5, kWait));  // 59 + 3 * 61 + 58
    VelnorCommunicationPackage device(64);
    Inbox got;
    device.onPayloadReceived = [&](Bytes m) { got.addMessage(std::move(m)); };
    for (const Bytes& report : r->hostLog().of(Kind::OutputReport)) {
        ASSERT_EQ(65u, report.size());
        EXPECT_EQ(0x00, report[0]);  // report number
        device.ParseOneFrame(Bytes(report.begin() + 1, report.end()));
    }
    ASSERT_EQ(1u, got.messages.size());
    EXPECT_EQ(out, got.messages[0]);

    const Bytes small{0x11, 0x22, 0x33};
    Bytes large(1000);
    for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<unsigned char>(i ^ 0x5A);
    r->sendMessage(large);
    r->sendMessage(small);
    ASSERT_TRUE(link.in.waitMessages(2));
    EXPECT_EQ(large, link.in.messages[0]);
    EXPECT_EQ(small, link.in.messages[1]);
    EXPECT_TRUE(link.in.statuses.empty());
}

TEST_F(UsbConnectionTest, UnplugDuringAMessageIsReportedExactlyOnce) {
    auto r = reader(0x2020, "UNPLUG");
    Link link(bench.attachHid(r));
    std::thread::id reporter;
    link.conn.onStatusChanged = [&](int s) {
        reporter = std::this_thread::get_id();
        link.in.addStatus(s);
    };
    ASSERT_EQ(ERROR_NO_ERR, link.conn.Open());
    ASSERT_TRUE(r->waitOpened(kWait));
    Bytes message(400, 0x77);
    r->sendMessage(message, 3);  // start and two continuations of seven packets
    SLEEP(50);
    r->unplug();
    ASSERT_TRUE(link.in.waitStatuses(1));
    SLEEP(200);
    EXPECT_EQ(1u, link.in.statusCount());
    EXPECT_LT(link.in.statuses[0], 0);
    EXPECT_NE(std::this_thread::get_id(), reporter);
    EXPECT_TRUE(link.in.messages.empty());
    // The handle stays until the application closes; writes now fail.
    EXPECT_TRUE(link.conn.IsOpen());
    unsigned char b[] = {0x00, 0x00, 0x01, 0x01};
    EXPECT_EQ(1, link.conn.Send(b, sizeof b));
    EXPECT_EQ(ERROR_NO_ERR, link.conn.Close());
    EXPECT_FALSE(link.conn.IsOpen());
    EXPECT_EQ(1u, link.in.statusCount());
}

TEST_F(UsbConnectionTest, WritersAreNotHeldUpByAWaitingReader) {
    auto r = reader(0x2020, "WRITER");
    Link link(bench.attachHid(r));
    ASSERT_EQ(ERROR_NO_ERR, link.conn.Open());
    ASSERT_TRUE(r->waitOpened(kWait));
    // Writers on two threads while the reading thread waits for input: every report arrives
    // whole.
    std::thread a([&] {
        for (int i = 0; i < 50; ++i) link.send(Bytes(10, 0xAA));
    });
    std::thread b([&] {
        for (int i = 0; i < 50; ++i) link.send(Bytes(10, 0xBB));
    });
    a.join();
    b.join();
    ASSERT_TRUE(r->hostLog().waitFor(Kind::OutputReport, 100, kWait));
    for (const Bytes& report : r->hostLog().of(Kind::OutputReport)) {
        ASSERT_EQ(65u, report.size());
        EXPECT_EQ(Bytes(10, report[3]), Bytes(report.begin() + 3, report.begin() + 13));
    }
}

TEST_F(UsbConnectionTest, OpenCloseLeavesNoThreadOrDescriptor) {
    auto r = reader(0x2020, "LOOP");
    const std::string path = bench.attachHid(r);
    {  // the stand-in's first connection sets up state that lives on
        USBConnection warm(path);
        ASSERT_EQ(ERROR_NO_ERR, warm.Open());
    }
    ASSERT_TRUE(r->waitClosed(kWait));
    const int fds = openDescriptors(), threads = runningThreads();
    for (int i = 0; i < 30; ++i) {
        Link link(path);
        ASSERT_EQ(ERROR_NO_ERR, link.conn.Open());
        if (i % 2) {
            ASSERT_TRUE(r->waitOpened(kWait));
            r->sendMessage({1, 2, 3});
            ASSERT_TRUE(link.in.waitMessages(1));
        }
        EXPECT_EQ(ERROR_NO_ERR, link.conn.Close());
        ASSERT_TRUE(r->waitClosed(kWait));
    }
    EXPECT_LE(settledCount(fds, openDescriptors), fds);
    EXPECT_LE(settledCount(threads, runningThreads), threads);
}
