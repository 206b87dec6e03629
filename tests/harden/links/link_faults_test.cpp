// Faults on the three links of the message-schema reader (USB through the hidapi stand-in,
// loopback TCP, a pseudo-terminal serial line), seen through the product's connection and
// packaging: lost, repeated, reordered, damaged and late packets, a reader that never answers,
// unplugging at every packet of a multi-packet answer and at every step of a transaction, and a
// burst while the application closes. Every case ends in a bounded time with the documented
// outcome (the message whole, or nothing), at most one link-lost report (exactly one where the
// reader went away), and a working exchange with the reader plugged in again.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "CommPort.h"
#include "SerialCommunicationPackage.h"
#include "SocketConnection.h"
#include "USBConnection.h"
#include "VelnorCommunicationPackage.h"
#include "VelnorUSBHIDPackage.h"
#include "sim/Bench.h"
#include "sim/orb/OrbLinks.h"
#include "sim/orb/Packets.h"
#include "sim/orb/Wire.h"

using namespace std::chrono_literals;
using Bytes = std::vector<unsigned char>;

namespace {

enum class Transport { Usb, Tcp, Pty };

const char* nameOf(Transport t) {
    return t == Transport::Usb ? "Usb" : t == Transport::Tcp ? "Tcp" : "Pty";
}

constexpr std::uint16_t kBigCommand = 0x2001;
constexpr std::chrono::milliseconds kAnswerWait = 1500ms;
constexpr std::chrono::milliseconds kQuiet = 400ms;

// The answer of kBigCommand: a response carrying 300 bytes in P84, several packets long.
Bytes bigPayload() {
    Bytes b(300);
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<unsigned char>(i * 7 + 3);
    return b;
}

Bytes bigAnswer(std::uint8_t number) {
    return sim::orb::buildResponse(kBigCommand, number, sim::orb::status::kOk,
                                   {{0x84, bigPayload()}});
}

// One simulated reader plugged into one transport, and the product's connection and packaging
// opened on it, wired as the device object wires them.
class Plugged {
  public:
    Plugged(sim::Bench& bench, Transport t) : transport(t) {
        if (t == Transport::Usb) {
            auto r = std::make_shared<sim::orb::HidOrbReader>();
            reader = &r->reader();
            faults = &r->faults();
            hid = r;
            connection = std::make_unique<USBConnection>(bench.attachHid(r));
            packaging = std::make_unique<VelnorUSBHIDPackage>(0, 64);
        } else if (t == Transport::Tcp) {
            auto r = std::make_shared<sim::orb::TcpOrbReader>();
            reader = &r->reader();
            faults = &r->faults();
            stream = r;
            connection = std::make_unique<SocketConnection>(bench.serveTcp(r).address());
            packaging = std::make_unique<VelnorCommunicationPackage>(64);
        } else {
            auto r = std::make_shared<sim::orb::SerialOrbReader>();
            reader = &r->reader();
            faults = &r->faults();
            stream = r;
            connection = std::make_unique<CommPort>("PORT=" + bench.servePty(r).slavePath() +
                                                    ",BAUDRATE=115200");
            packaging = std::make_unique<SerialCommunicationPackage>(0x200000);
        }
        reader->onCommand(kBigCommand, [](const sim::orb::Message& m) {
            sim::orb::Reply reply;
            reply.params = {{0x84, bigPayload()}};
            (void)m;
            return std::optional<sim::orb::Reply>(reply);
        });
        reader->setStepDelay(20ms);
        packaging->onPayloadReceived = [this](Bytes m) {
            std::lock_guard<std::mutex> g(lock);
            messages.push_back(std::move(m));
            changed.notify_all();
        };
        connection->onData = [this](unsigned char* p, unsigned int n) {
            packaging->ParseReport(Bytes(p, p + n));
        };
        connection->onStatusChanged = [this](int s) {
            std::lock_guard<std::mutex> g(lock);
            statuses.push_back(s);
            changed.notify_all();
        };
    }
    ~Plugged() { close(); }

    bool open() {
        if (connection->Open() != 0) return false;
        if (hid) return hid->waitOpened(2s);
        // The bench accepts on its own thread: what the reader sends before is lost.
        return stream->waitConnected(2s);
    }
    void close() {
        connection->Close();
        connection->onData = nullptr;
        connection->onStatusChanged = nullptr;
        packaging->onPayloadReceived = nullptr;
    }
    void send(const Bytes& message) {
        packaging->SendPayload(
            message, [this](unsigned char* p, unsigned int n) { connection->Send(p, n); }, nullptr);
    }
    void unplug() {
        if (hid)
            hid->unplug();
        else
            stream->hangUp();
    }
    // Packets the reader needs for a message on a transport.
    static size_t packetsOf(Transport t, const Bytes& message) {
        return t == Transport::Pty ? 1 : sim::orb::cutIntoPackets(message).size();
    }

    std::optional<Bytes> next(std::chrono::milliseconds wait) {
        std::unique_lock<std::mutex> g(lock);
        if (!changed.wait_for(g, wait, [&] { return !messages.empty(); })) return std::nullopt;
        Bytes m = std::move(messages.front());
        messages.pop_front();
        return m;
    }
    bool waitStatus(std::chrono::milliseconds wait) {
        std::unique_lock<std::mutex> g(lock);
        return changed.wait_for(g, wait, [&] { return !statuses.empty(); });
    }
    std::vector<int> statusReports() {
        std::lock_guard<std::mutex> g(lock);
        return statuses;
    }
    size_t pendingMessages() {
        std::lock_guard<std::mutex> g(lock);
        return messages.size();
    }

    Transport transport;
    sim::orb::OrbReader* reader = nullptr;
    sim::FaultInjector* faults = nullptr;
    std::shared_ptr<sim::orb::HidOrbReader> hid;
    std::shared_ptr<sim::StreamDevice> stream;
    std::unique_ptr<SerialComm> connection;
    std::unique_ptr<IVLCommunicationPackage> packaging;

  private:
    std::mutex lock;
    std::condition_variable changed;
    std::deque<Bytes> messages;
    std::vector<int> statuses;
};

class LinkFaults : public ::testing::TestWithParam<Transport> {
  protected:
    void SetUp() override { bench.exportHidSocket(); }

    std::unique_ptr<Plugged> plugIn() {
        auto p = std::make_unique<Plugged>(bench, GetParam());
        EXPECT_TRUE(p->open());
        return p;
    }
    // A fresh reader (plugged in again) answers the big command whole.
    void expectWorkingExchange() {
        auto p = plugIn();
        p->send(sim::orb::buildCommand(kBigCommand, 9, {}));
        auto m = p->next(kAnswerWait);
        ASSERT_TRUE(m.has_value());
        EXPECT_EQ(*m, bigAnswer(9));
        EXPECT_TRUE(p->statusReports().empty());
    }

    sim::Bench bench;
};

// What the host sees of one answer.
enum class Outcome {
    Whole,    // the answer arrives intact
    Nothing,  // no message at all (a damaged answer is dropped, never delivered garbled)
    Late,     // nothing within the wait, then the answer intact
    Twice,    // the answer intact, then once more (a repeated frame is a repeated message)
    Desync,   // nothing, and the link stays out of step until it is opened again
};

struct FaultCase {
    const char* name;
    std::function<void(sim::FaultInjector&, size_t packets)> arm;
    // The packet links put continuation packets in place by their sequence number, so a repeated
    // or reordered packet still gives the whole answer. TCP skips the 64-byte slot of a packet
    // it cannot read (the reader pads every packet to a slot), so garbage that is not a whole
    // slot costs the answer it lands in, and the slots stay out of step (later answers can be
    // lost too) until the connection is opened again. A serial frame is one packet: a repeated
    // frame is a repeated message.
    Outcome usb;
    Outcome tcp;
    Outcome serial;
};

const FaultCase kFaultCases[] = {
    {"no fault", [](sim::FaultInjector&, size_t) {}, Outcome::Whole, Outcome::Whole,
     Outcome::Whole},
    {"first packet lost", [](sim::FaultInjector& f, size_t) { f.dropNext(); }, Outcome::Nothing,
     Outcome::Nothing, Outcome::Nothing},
    {"last packet lost",
     [](sim::FaultInjector& f, size_t n) {
         for (size_t i = 0; i + 1 < n; ++i) f.delayNext(0ms);
         f.dropNext();
     },
     Outcome::Nothing, Outcome::Nothing, Outcome::Nothing},
    {"middle packet repeated",
     [](sim::FaultInjector& f, size_t n) {
         for (size_t i = 0; i < n / 2; ++i) f.delayNext(0ms);
         f.duplicateNext();
     },
     Outcome::Whole, Outcome::Whole, Outcome::Twice},
    {"continuation packets swapped",
     [](sim::FaultInjector& f, size_t n) {
         if (n < 3) return;  // a one-frame answer has nothing to swap with
         f.delayNext(0ms);
         f.swapNextTwo();
     },
     Outcome::Whole, Outcome::Whole, Outcome::Whole},
    {"packet kind damaged", [](sim::FaultInjector& f, size_t) { f.corruptNext(0, 0xFF); },
     Outcome::Nothing, Outcome::Nothing, Outcome::Nothing},
    {"garbage before the answer",
     [](sim::FaultInjector& f, size_t) {
         f.garbageBeforeNext({0x7E, 0x11, 0xC0, 0x42, 0xDB});
     },
     Outcome::Whole, Outcome::Desync, Outcome::Whole},
    {"answer after the wait",
     [](sim::FaultInjector& f, size_t) { f.delayNext(kAnswerWait + 300ms); }, Outcome::Late,
     Outcome::Late, Outcome::Late},
    {"reader never answers", [](sim::FaultInjector& f, size_t) { f.setSilent(true); },
     Outcome::Nothing, Outcome::Nothing, Outcome::Nothing},
};

// The next message that reads as a message. Scraps that a desynchronised link hands on (bytes
// of a damaged answer) are skipped, but none of them may read as a message: a damaged answer
// never reaches the application as a different message.
std::optional<Bytes> nextMessage(Plugged& p, std::chrono::milliseconds wait) {
    const auto until = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        auto m = p.next(left);
        if (!m) return std::nullopt;
        if (sim::orb::parseMessage(*m)) return m;
        EXPECT_LT(m->size(), 8u) << "a scrap of " << m->size() << " bytes";
    }
}

TEST_P(LinkFaults, DamagedAnswersAreDroppedOrDeliveredWholeAndTheNextExchangeWorks) {
    const size_t packets = Plugged::packetsOf(GetParam(), bigAnswer(1));
    if (GetParam() != Transport::Pty) {
        ASSERT_GT(packets, 3u);
    }
    for (const FaultCase& c : kFaultCases) {
        SCOPED_TRACE(c.name);
        const Outcome expected = GetParam() == Transport::Usb   ? c.usb
                                 : GetParam() == Transport::Tcp ? c.tcp
                                                                : c.serial;
        auto p = plugIn();
        c.arm(*p->faults, packets);
        p->send(sim::orb::buildCommand(kBigCommand, 1, {}));
        const bool arrives = expected == Outcome::Whole || expected == Outcome::Twice;
        auto m = nextMessage(*p, arrives ? kAnswerWait : kQuiet);
        if (arrives) {
            ASSERT_TRUE(m.has_value());
            EXPECT_EQ(*m, bigAnswer(1));
        } else {
            EXPECT_FALSE(m.has_value())
                << (*m == bigAnswer(1) ? "the answer, whole" : "a garbled answer");
        }
        if (expected == Outcome::Late || expected == Outcome::Twice) {
            auto late = nextMessage(*p, kAnswerWait + 1s);
            ASSERT_TRUE(late.has_value());
            EXPECT_EQ(*late, bigAnswer(1));
        }
        if (expected == Outcome::Desync) {
            // Opened again, the link is in step: the next answer arrives whole.
            p.reset();
            expectWorkingExchange();
            continue;
        }
        // The same connection goes on: the next answer (no fault left) arrives whole.
        p->faults->clear();
        p->faults->setSilent(false);
        p->send(sim::orb::buildCommand(kBigCommand, 2, {}));
        auto again = nextMessage(*p, kAnswerWait);
        ASSERT_TRUE(again.has_value());
        EXPECT_EQ(*again, bigAnswer(2));
        EXPECT_FALSE(nextMessage(*p, 100ms).has_value());
        EXPECT_TRUE(p->statusReports().empty());
    }
    expectWorkingExchange();
}

// Unplugged after 0, 1, ... packets of the answer: the link loss is reported exactly once, the
// answer never arrives in part (on USB and TCP it arrives whole when all its packets were sent;
// a serial line that hangs up may discard what the host had not read yet), closing works, and a
// reader plugged in again answers.
TEST_P(LinkFaults, UnplugAtEveryPacketOfAMultiPacketAnswer) {
    const size_t packets = Plugged::packetsOf(GetParam(), bigAnswer(1));
    for (size_t k = 0; k <= packets; ++k) {
        SCOPED_TRACE("unplugged after " + std::to_string(k) + " of " + std::to_string(packets));
        auto p = plugIn();
        if (k == 0) {
            p->unplug();
        } else {
            p->faults->unplugAfter(static_cast<unsigned>(k));
        }
        p->send(sim::orb::buildCommand(kBigCommand, 1, {}));
        ASSERT_TRUE(p->waitStatus(2s));
        auto m = p->next(k >= packets ? kAnswerWait : 100ms);
        if (k < packets || GetParam() != Transport::Pty) {
            EXPECT_EQ(m.has_value(), k >= packets);
        }
        if (m) {
            EXPECT_EQ(*m, bigAnswer(1));
        }
        std::this_thread::sleep_for(100ms);
        const std::vector<int> reports = p->statusReports();
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_LT(reports[0], 0);
        p->close();
        EXPECT_EQ(p->statusReports().size(), 1u);
    }
    expectWorkingExchange();
}

// A transaction (answer, then notifications) unplugged after each of its messages: the messages
// before the unplug arrive whole and in order, nothing after it, one link-lost report.
TEST_P(LinkFaults, UnplugAtEveryStepOfATransaction) {
    const Bytes start =
        sim::orb::buildCommand(0x1001, 1, {{0x81, {0x1E}}, {0x82, {0x03, 0x01, 0x00}}});
    // Answer, card inserted, ARQC ready, authorisation request.
    const size_t steps = 4;
    for (size_t k = 1; k <= steps; ++k) {
        SCOPED_TRACE("unplugged after message " + std::to_string(k));
        auto p = plugIn();
        // Counted in packets: a message of several packets ends the transaction earlier.
        p->faults->unplugAfter(static_cast<unsigned>(k));
        p->send(start);
        ASSERT_TRUE(p->waitStatus(3s));
        std::this_thread::sleep_for(200ms);
        size_t got = 0;
        while (auto m = p->next(50ms)) {
            auto parsed = sim::orb::parseMessage(*m);
            ASSERT_TRUE(parsed.has_value());
            EXPECT_EQ(parsed->kind,
                      got == 0 ? sim::orb::Kind::Response : sim::orb::Kind::Notification);
            ++got;
        }
        EXPECT_LE(got, k);
        EXPECT_EQ(p->statusReports().size(), 1u);
        p->close();
    }
    expectWorkingExchange();
}

// The reader keeps sending while the application closes: Close returns, no message is handed
// on after it returned, and no link-lost report is made for a close the application asked for.
TEST_P(LinkFaults, BurstWhileTheApplicationCloses) {
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        auto p = plugIn();
        std::atomic<bool> closed{false};
        std::atomic<int> afterClose{0};
        p->packaging->onPayloadReceived = [&](Bytes) {
            if (closed.load()) afterClose.fetch_add(1);
        };
        for (int i = 0; i < 200; ++i)
            p->reader->notify(sim::orb::core::kTransaction, 0x10010200,
                              {{0x84, Bytes(40, static_cast<unsigned char>(i))}},
                              std::chrono::milliseconds(i / 20));
        std::this_thread::sleep_for(std::chrono::milliseconds(round * 2));
        p->connection->Close();
        closed = true;
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(afterClose.load(), 0);
        EXPECT_TRUE(p->statusReports().empty());
        p->close();
    }
    expectWorkingExchange();
}

INSTANTIATE_TEST_SUITE_P(Transports, LinkFaults,
                         ::testing::Values(Transport::Usb, Transport::Tcp, Transport::Pty),
                         [](const ::testing::TestParamInfo<Transport>& i) {
                             return std::string(nameOf(i.param));
                         });

}  // namespace
