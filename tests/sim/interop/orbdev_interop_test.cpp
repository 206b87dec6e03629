// liborbdev's TCP and serial connections, packaging and message classes against the simulated
// message-schema reader: each side was written on its own from the wire description, so any
// disagreement shows up here.
#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "AsterCommand.h"
#include "AsterFileMessage.h"
#include "AsterNotification.h"
#include "AsterResponse.h"
#include "CommPort.h"
#include "SerialCommunicationPackage.h"
#include "SocketConnection.h"
#include "VelnorCommunicationPackage.h"
#include "sim/Bench.h"
#include "sim/orb/OrbLinks.h"
#include "stdafx.h"

using namespace std::chrono_literals;
using Bytes = std::vector<unsigned char>;

namespace {

// The product's receive and send path: connection -> packaging -> whole messages.
class ProductHost {
  public:
    ProductHost(std::unique_ptr<SerialComm> connection,
                std::unique_ptr<IVLCommunicationPackage> packaging)
        : connection_(std::move(connection)), packaging_(std::move(packaging)) {
        packaging_->onPayloadReceived = [this](std::vector<unsigned char> message) {
            {
                std::lock_guard<std::mutex> g(lock_);
                messages_.push_back(std::move(message));
            }
            arrived_.notify_all();
        };
        connection_->onData = [this](unsigned char* data, unsigned int length) {
            packaging_->ParseReport(Bytes(data, data + length));
        };
    }
    ~ProductHost() {
        connection_->Close();
        connection_->onData = nullptr;
        packaging_->onPayloadReceived = nullptr;
    }
    int open() { return connection_->Open(); }
    void send(const Bytes& message) {
        packaging_->SendPayload(
            message, [this](unsigned char* p, unsigned int n) { connection_->Send(p, n); },
            nullptr);
    }
    std::optional<Bytes> next(std::chrono::milliseconds timeout = 2s) {
        std::unique_lock<std::mutex> g(lock_);
        if (!arrived_.wait_for(g, timeout, [&] { return !messages_.empty(); })) return std::nullopt;
        Bytes m = std::move(messages_.front());
        messages_.pop_front();
        return m;
    }
    // The next message that parses as a response; notifications met on the way are kept.
    std::optional<AsterResponse> exchange(const Bytes& command) {
        send(command);
        for (auto m = next(); m; m = next()) {
            try {
                return AsterResponse::Parse(*m);
            } catch (const std::exception&) {
                skipped.push_back(*m);
            }
        }
        return std::nullopt;
    }
    std::optional<AsterNotification> notification() {
        Bytes m;
        if (!skipped.empty()) {
            m = skipped.front();
            skipped.pop_front();
        } else if (auto n = next()) {
            m = *n;
        } else {
            return std::nullopt;
        }
        try {
            return AsterNotification::Parse(m);
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }
    std::deque<Bytes> skipped;

  private:
    std::unique_ptr<SerialComm> connection_;
    std::unique_ptr<IVLCommunicationPackage> packaging_;
    std::mutex lock_;
    std::condition_variable arrived_;
    std::deque<Bytes> messages_;
};

enum class Link { Tcp, Serial };

class ProductAgainstSimulatedReader : public ::testing::TestWithParam<Link> {
  protected:
    void SetUp() override {
        if (GetParam() == Link::Tcp) {
            auto r = std::make_shared<sim::orb::TcpOrbReader>();
            reader = &r->reader();
            log = &r->hostLog();
            device = r;
            std::string address = bench.serveTcp(r).address();
            host = std::make_unique<ProductHost>(std::make_unique<SocketConnection>(address),
                                                 std::make_unique<VelnorCommunicationPackage>(64));
        } else {
            auto r = std::make_shared<sim::orb::SerialOrbReader>();
            reader = &r->reader();
            log = &r->hostLog();
            device = r;
            serial = r;
            std::string port = bench.servePty(r).slavePath();
            host = std::make_unique<ProductHost>(
                std::make_unique<CommPort>("PORT=" + port + ",BAUDRATE=115200"),
                std::make_unique<SerialCommunicationPackage>(0x200000));
        }
        ASSERT_EQ(host->open(), 0);
        // The bench accepts on its own thread: wait, or what the reader sends first is lost.
        ASSERT_TRUE(device->waitConnected(2s));
        reader->setStepDelay(5ms);
    }
    void TearDown() override { host.reset(); }

    sim::Bench bench;
    std::shared_ptr<sim::StreamDevice> device;
    std::shared_ptr<sim::orb::SerialOrbReader> serial;
    sim::orb::OrbReader* reader = nullptr;
    sim::HostLog* log = nullptr;
    std::unique_ptr<ProductHost> host;
};

std::string text(const Bytes& b) {
    return std::string(b.begin(), b.end());
}

}  // namespace

TEST_P(ProductAgainstSimulatedReader, CardTransactionAsTheTransactionHelpersSeeIt) {
    AsterCommand start(0x1001);
    start.SetCommandParameter(0x81, std::string("1E"));
    start.SetCommandParameter(0x82, std::string("030100"));
    auto r = host->exchange(start.ToBytes());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->GetStatus(), 0u);
    EXPECT_EQ(r->ID, 0x1001);

    const unsigned int expected[] = {0x10010200, 0x10080201, 0x10080202};
    std::vector<unsigned char> arqc;
    for (unsigned int code : expected) {
        auto n = host->notification();
        ASSERT_TRUE(n);
        EXPECT_EQ(n->NotificationID, 0x0101);
        EXPECT_EQ(n->GetNotificationNode(), code);
        if (code == 0x10080202) arqc = n->GetNotificationParameter(0x84);
    }
    EXPECT_FALSE(arqc.empty());

    // Card data read the way the card-data helper reads it: 81, then A4.A4.A0(i).81/84.
    auto card = host->exchange(AsterCommand(0x1010, std::string("01")).ToBytes());
    ASSERT_TRUE(card);
    EXPECT_EQ(card->GetStatus(), 0u);
    EXPECT_EQ(card->GetResponseParameter(0x81), (Bytes{0x00, 0x10, 0x01}));
    sim::orb::Card expectedCard;
    const std::string tracks[] = {expectedCard.track1, expectedCard.track2};
    for (int i = 0; i < 2; ++i) {
        std::string base = "A4.A4.A0(" + std::to_string(i) + ")";
        Bytes descriptor = card->GetResponseParameter((base + ".81").c_str());
        ASSERT_GT(descriptor.size(), 3u) << i;
        EXPECT_EQ(descriptor[0], i + 1);
        EXPECT_EQ(text(card->GetResponseParameter((base + ".84").c_str())), tracks[i]);
    }

    // The fixed message the adapter sends on "ARQC ready" is understood.
    auto fetched = host->exchange(H2BV("AAFF81040101101084051010810102"));
    ASSERT_TRUE(fetched);
    EXPECT_EQ(fetched->GetResponseParameter(0x84), arqc);

    AsterCommand authorise(0x1004);
    authorise.SetCommandParameter(0x81, std::string("00"));
    authorise.SetCommandParameter(0x84, std::string("8A023030"));
    auto done = host->exchange(authorise.ToBytes());
    ASSERT_TRUE(done);
    EXPECT_EQ(done->GetStatus(), 0u);
    const unsigned int end[] = {0x10080301, 0x10080302, 0x10020200, 0x10040000};
    for (unsigned int code : end) {
        auto n = host->notification();
        ASSERT_TRUE(n);
        EXPECT_EQ(n->GetNotificationNode(), code);
    }

    // Status in the container form reads the same.
    reader->setContainerStatus(true);
    auto unknown = host->exchange(AsterCommand(0x1F01).ToBytes());
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->GetStatus(), sim::orb::status::kUnknownCommand);
}

TEST_P(ProductAgainstSimulatedReader, LongMessagesBothWays) {
    Bytes contents(3000);
    for (std::size_t i = 0; i < contents.size(); ++i) contents[i] = static_cast<unsigned char>(i);
    reader->sendFile(0x1805, 0x01000000, contents);
    auto m = host->next();
    ASSERT_TRUE(m);
    AsterFileMessage file = AsterFileMessage::ParseFileMessage(*m);
    EXPECT_EQ(file.FileID, 0x01000000u);
    EXPECT_EQ(file.FileData, contents);

    AsterCommand big(0x1F20);
    big.SetCommandParameter(0x81, Bytes(2000, 0xC0));
    Bytes bytes = big.ToBytes();
    auto r = host->exchange(bytes);
    ASSERT_TRUE(r);
    auto messages = log->of(sim::HostLog::Kind::Message);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), bytes);
}

// Buffer sizes are announced on serial lines only.
class ProductOnSerialLine : public ProductAgainstSimulatedReader {};

TEST_P(ProductOnSerialLine, FollowsTheReadersBufferSize) {
    serial->announceOnFirstContact(256);
    ASSERT_TRUE(host->exchange(AsterCommand(0x1F01).ToBytes()));
    // The announcement reached the host: a long command now goes out in 256-byte frames, which
    // the reader joins again.
    AsterCommand big(0x1F21);
    big.SetCommandParameter(0x81, Bytes(1000, 0xDB));
    Bytes bytes = big.ToBytes();
    std::size_t before = log->count(sim::HostLog::Kind::StreamBytes);
    ASSERT_TRUE(host->exchange(bytes));
    EXPECT_EQ(log->of(sim::HostLog::Kind::Message).back(), bytes);
    // More than one frame went out (each frame is 5 header bytes + at most 256 payload bytes).
    std::size_t frames = 0;
    auto chunks = log->of(sim::HostLog::Kind::StreamBytes);
    for (std::size_t i = before; i < chunks.size(); ++i)
        for (unsigned char b : chunks[i]) frames += b == 0xC0;
    EXPECT_GE(frames / 2, 4u);
}

INSTANTIATE_TEST_SUITE_P(Links, ProductAgainstSimulatedReader,
                         ::testing::Values(Link::Tcp, Link::Serial),
                         [](const ::testing::TestParamInfo<Link>& i) {
                             return i.param == Link::Tcp ? std::string("Tcp")
                                                         : std::string("Serial");
                         });
INSTANTIATE_TEST_SUITE_P(Serial, ProductOnSerialLine, ::testing::Values(Link::Serial));
