// The simulated message-schema reader driven through each of its links by a host written
// against the operating system only: hidapi (the stand-in), a TCP socket, a terminal device.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include "SimTestSupport.h"
#include "sim/orb/OrbLinks.h"

using namespace simtest;
using namespace sim::orb;
using sim::Millis;

namespace {

// The host side of a link: whole messages out, whole messages in.
class Host {
  public:
    virtual ~Host() = default;
    virtual bool send(const Bytes& message) = 0;
    // The next message, or none after the timeout or when the link is gone (lost() then).
    virtual std::optional<Bytes> receive(Millis timeout) = 0;
    bool lost() const { return lost_; }

    std::optional<Message> next(Millis timeout = Millis(2000)) {
        auto m = receive(timeout);
        if (!m) return std::nullopt;
        return parseMessage(*m);
    }
    // The response to a command (notifications that come first are kept for later).
    std::optional<Message> exchange(const Bytes& command, Millis timeout = Millis(2000)) {
        if (!send(command)) return std::nullopt;
        for (auto m = next(timeout); m; m = next(timeout)) {
            if (m->kind == Kind::Response) return m;
            backlog_.push_back(*m);
        }
        return std::nullopt;
    }
    std::optional<Message> notification(Millis timeout = Millis(2000)) {
        if (!backlog_.empty()) {
            Message m = backlog_.front();
            backlog_.erase(backlog_.begin());
            return m;
        }
        return next(timeout);
    }

  protected:
    bool lost_ = false;

  private:
    std::vector<Message> backlog_;
};

Millis left(sim::Clock::time_point deadline) {
    auto l = std::chrono::duration_cast<Millis>(deadline - sim::Clock::now());
    return l.count() > 0 ? l : Millis(0);
}

class HidHost : public Host {
  public:
    explicit HidHost(hid_device* dev) : dev_(dev) {}
    ~HidHost() override {
        if (dev_) hid_close(dev_);
    }
    bool send(const Bytes& message) override {
        for (auto& p : cutIntoPackets(message)) {
            Bytes report{0x00};
            Bytes full = padded(p);
            report.insert(report.end(), full.begin(), full.end());
            if (hid_write(dev_, report.data(), report.size()) != 65) return false;
        }
        return true;
    }
    std::optional<Bytes> receive(Millis timeout) override {
        auto deadline = sim::Clock::now() + timeout;
        for (;;) {
            unsigned char buf[64];
            int n =
                hid_read_timeout(dev_, buf, sizeof buf, static_cast<int>(left(deadline).count()));
            if (n < 0) lost_ = true;
            if (n <= 0) return std::nullopt;
            EXPECT_EQ(n, 64) << "every input report is a full packet";
            if (auto m = assembler_.feed(Bytes(buf, buf + n))) return m;
        }
    }

  private:
    hid_device* dev_;
    PacketAssembler assembler_;
};

// Reads what is there within the time left; false when the peer closed or the line failed.
bool readInto(int fd, Bytes& to, sim::Clock::time_point deadline, bool& lost) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left(deadline).count())) <= 0) return false;
    std::uint8_t buf[4096];
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) {
        lost = true;
        return false;
    }
    to.insert(to.end(), buf, buf + n);
    return true;
}

class TcpHost : public Host {
  public:
    explicit TcpHost(std::uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) lost_ = true;
    }
    ~TcpHost() override { ::close(fd_); }
    bool send(const Bytes& message) override {
        for (auto& p : cutIntoPackets(message))  // packets as they are, not padded
            if (::send(fd_, p.data(), p.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(p.size()))
                return false;
        return true;
    }
    std::optional<Bytes> receive(Millis timeout) override {
        auto deadline = sim::Clock::now() + timeout;
        for (;;) {
            while (pending_.size() >= 64) {
                EXPECT_EQ(pending_.size() % 64 == 0 || pending_.size() > 64, true);
                Bytes packet(pending_.begin(), pending_.begin() + 64);
                pending_.erase(pending_.begin(), pending_.begin() + 64);
                if (auto m = assembler_.feed(packet)) return m;
            }
            if (!readInto(fd_, pending_, deadline, lost_)) return std::nullopt;
        }
    }

  private:
    int fd_ = -1;
    Bytes pending_;
    PacketAssembler assembler_;
};

class SerialHost : public Host {
  public:
    explicit SerialHost(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY);
        termios t{};
        ::tcgetattr(fd_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(fd_, TCSANOW, &t);
    }
    ~SerialHost() override { ::close(fd_); }
    bool send(const Bytes& message) override { return sendPieces(message, 0); }
    bool writeRaw(const Bytes& bytes) {
        return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    // Sends the message as frames of at most `piece` bytes (0: one frame).
    bool sendPieces(const Bytes& message, std::size_t piece) {
        for (std::size_t i = 0; i < message.size();) {
            std::size_t n = piece ? std::min(piece, message.size() - i) : message.size();
            Bytes frame = slipFrame(0x00, Bytes(message.begin() + i, message.begin() + i + n));
            if (::write(fd_, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size()))
                return false;
            i += n;
        }
        return true;
    }
    std::optional<Bytes> receive(Millis timeout) override {
        auto deadline = sim::Clock::now() + timeout;
        for (;;) {
            while (!frames_.empty()) {
                Bytes body = frames_.front();
                frames_.erase(frames_.begin());
                if (body.size() < 5) continue;
                std::uint32_t length = static_cast<std::uint32_t>(body[1]) << 24 | body[2] << 16 |
                                       body[3] << 8 | body[4];
                if (body[0] == 0x03) {
                    announced.push_back(length);
                    continue;
                }
                EXPECT_EQ(body[0], 0x02);
                EXPECT_EQ(length, body.size() - 5);
                return Bytes(body.begin() + 5, body.end());
            }
            Bytes chunk;
            if (!readInto(fd_, chunk, deadline, lost_)) return std::nullopt;
            for (auto& f : decoder_.feed(chunk)) frames_.push_back(f);
        }
    }
    std::vector<std::uint32_t> announced;

  private:
    int fd_ = -1;
    SlipDecoder decoder_;
    std::vector<Bytes> frames_;
};

enum class Link { Usb, Tcp, Serial };

class OrbReaderLinks : public ::testing::TestWithParam<Link> {
  protected:
    void SetUp() override {
        ASSERT_NE(loadedHidapi().find("sim/standin"), std::string::npos);
        bench.exportHidSocket();
        switch (GetParam()) {
            case Link::Usb: {
                usb = std::make_shared<HidOrbReader>(readerIdentity(0x2023, "SIM0001"));
                bench.attachHid(usb);
                hid_device_info* list = hid_enumerate(kVendorId, 0x2023);
                ASSERT_NE(list, nullptr);
                hid_device* dev = hid_open_path(list->path);
                hid_free_enumeration(list);
                ASSERT_NE(dev, nullptr);
                host = std::make_unique<HidHost>(dev);
                break;
            }
            case Link::Tcp:
                tcp = std::make_shared<TcpOrbReader>();
                host = std::make_unique<TcpHost>(bench.serveTcp(tcp).port());
                ASSERT_TRUE(tcp->waitConnected(2s));
                break;
            case Link::Serial:
                serial = std::make_shared<SerialOrbReader>();
                host = std::make_unique<SerialHost>(bench.servePty(serial).slavePath());
                break;
        }
        reader().setStepDelay(5ms);
    }
    OrbReader& reader() { return usb ? usb->reader() : tcp ? tcp->reader() : serial->reader(); }
    sim::HostLog& hostLog() {
        return usb ? usb->hostLog() : tcp ? tcp->hostLog() : serial->hostLog();
    }
    sim::FaultInjector& faults() {
        return usb ? usb->faults() : tcp ? tcp->faults() : serial->faults();
    }

    std::uint32_t statusOf(const Message& response) {
        const Bytes* p2 = response.outer.param(2);
        if (!p2 || p2->size() != 4) return 0xFFFFFFFF;
        return static_cast<std::uint32_t>((*p2)[0]) << 24 | (*p2)[1] << 16 | (*p2)[2] << 8 |
               (*p2)[3];
    }
    std::uint32_t codeOf(const Message& n) {
        const Bytes* p2 = n.outer.param(2);
        if (!p2 || p2->size() != 4) return 0xFFFFFFFF;
        return static_cast<std::uint32_t>((*p2)[0]) << 24 | (*p2)[1] << 16 | (*p2)[2] << 8 |
               (*p2)[3];
    }
    // (core identifier, code) of the next notifications.
    std::vector<std::pair<int, std::uint32_t>> notifications(std::size_t n) {
        std::vector<std::pair<int, std::uint32_t>> out;
        while (out.size() < n) {
            auto m = host->notification();
            if (!m) break;
            EXPECT_EQ(m->kind, Kind::Notification);
            out.emplace_back(m->id, codeOf(*m));
            last.push_back(*m);
        }
        return out;
    }

    sim::Bench bench;
    std::shared_ptr<HidOrbReader> usb;
    std::shared_ptr<TcpOrbReader> tcp;
    std::shared_ptr<SerialOrbReader> serial;
    std::unique_ptr<Host> host;
    std::vector<Message> last;
};

Bytes hex(const std::string& text) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return out;
}

// Descends through nested one-byte-tag elements: the k-th element with the tag at each step.
std::optional<Bytes> at(const Bytes& value, std::vector<std::pair<std::uint32_t, int>> path) {
    Bytes current = value;
    for (auto [tag, k] : path) {
        bool found = false;
        for (auto& e : parseElements(current, false)) {
            if (e.tag == tag && k-- == 0) {
                current = e.value;
                found = true;
                break;
            }
        }
        if (!found) return std::nullopt;
    }
    return current;
}

}  // namespace

TEST_P(OrbReaderLinks, AnswersACommandWithTheSameMessageNumber) {
    // Unknown command: a failure status in the short form, the command's number echoed.
    auto r = host->exchange(hex("AA00810401421F0184021F01"));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->raw, hex("AA0081040242"
                          "1F01"
                          "820480000001"));
    // Card data before any card: "no data".
    r = host->exchange(buildCommand(0x1010, 0x43, {{0x81, {0x01}}}));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->number, 0x43);
    EXPECT_EQ(statusOf(*r), status::kNoData);
    ASSERT_TRUE(hostLog().waitFor(sim::HostLog::Kind::Message, 2, 1s));
    EXPECT_EQ(hostLog().of(sim::HostLog::Kind::Message)[0], hex("AA00810401421F0184021F01"));
    EXPECT_TRUE(reader().waitForCommand(0x1010, 1, 1s));
}

TEST_P(OrbReaderLinks, PlaysAnEmvTransactionToItsResult) {
    // Start: 30 s, MSR | contact, EMV, no options; amount 12.34 in the EMV data.
    auto r = host->exchange(buildCommand(
        0x1001, 1,
        {{0x81, {0x1E}}, {0x82, {0x03, 0x01, 0x00}}, {0x86, hex("9F0206000000001234")}}));
    ASSERT_TRUE(r);
    EXPECT_EQ(statusOf(*r), status::kOk);
    using N = std::vector<std::pair<int, std::uint32_t>>;
    EXPECT_EQ(notifications(3),
              (N{{0x0101, 0x10010200}, {0x0101, 0x10080201}, {0x0101, 0x10080202}}));
    ASSERT_EQ(last.size(), 3u);
    const Bytes* arqc = last[2].inner.byTag(0x84);
    ASSERT_NE(arqc, nullptr);
    ASSERT_GT(arqc->size(), 2u);
    EXPECT_EQ(static_cast<std::size_t>((*arqc)[0] << 8 | (*arqc)[1]), arqc->size() - 2);
    ASSERT_TRUE(at(Bytes(arqc->begin() + 2, arqc->end()), {{0x70, 0}}));
    Bytes expectedAmount = hex("9F0206000000001234");
    EXPECT_NE(std::search(arqc->begin(), arqc->end(), expectedAmount.begin(), expectedAmount.end()),
              arqc->end());

    // Card data: 81 = status, source (10 contact), card type; tracks under A4.A4.A0(i).
    r = host->exchange(buildCommand(0x1010, 2, {{0x81, {0x01}}}));
    ASSERT_TRUE(r);
    EXPECT_EQ(statusOf(*r), status::kOk);
    ASSERT_NE(r->inner.byTag(0x81), nullptr);
    EXPECT_EQ(*r->inner.byTag(0x81), (Bytes{0x00, 0x10, 0x01}));
    const Bytes* a4 = r->inner.byTag(0xA4);
    ASSERT_NE(a4, nullptr);
    Card card;
    const std::string tracks[] = {card.track1, card.track2, card.track3};
    for (int i = 0; i < 3; ++i) {
        auto descriptor = at(*a4, {{0xA4, 0}, {0xA0, i}, {0x81, 0}});
        auto masked = at(*a4, {{0xA4, 0}, {0xA0, i}, {0x84, 0}});
        ASSERT_TRUE(descriptor && masked) << i;
        ASSERT_GT(descriptor->size(), 3u);
        EXPECT_EQ((*descriptor)[0], i + 1);
        EXPECT_EQ(std::string(masked->begin(), masked->end()), tracks[i]);
    }
    EXPECT_FALSE(at(*a4, {{0xA4, 0}, {0xA0, 3}}));

    // The ARQC on request, as the host fetches it after "ARQC ready".
    r = host->exchange(hex("AAFF81040101101084051010810102"));
    ASSERT_TRUE(r);
    ASSERT_NE(r->inner.byTag(0x84), nullptr);
    EXPECT_EQ(*r->inner.byTag(0x84), *arqc);

    // The host's authorisation ends the transaction.
    r = host->exchange(buildCommand(0x1004, 3, {{0x81, {0x00}}, {0x84, hex("8A023030")}}));
    ASSERT_TRUE(r);
    EXPECT_EQ(statusOf(*r), status::kOk);
    last.clear();
    EXPECT_EQ(notifications(4), (N{{0x0101, 0x10080301},
                                   {0x0101, 0x10080302},
                                   {0x0105, 0x10020200},
                                   {0x0105, 0x10040000}}));
    ASSERT_EQ(last.size(), 4u);
    const Bytes* batch = last[1].inner.byTag(0x84);
    ASSERT_NE(batch, nullptr);
    ASSERT_GT(batch->size(), 2u);
    EXPECT_EQ(static_cast<std::size_t>((*batch)[0] << 8 | (*batch)[1]), batch->size() - 2);
    r = host->exchange(buildCommand(0x1010, 4, {{0x81, {0x03}}}));
    ASSERT_TRUE(r);
    ASSERT_NE(r->inner.byTag(0x84), nullptr);
    EXPECT_EQ(*r->inner.byTag(0x84), *batch);
    EXPECT_FALSE(reader().transactionRunning());
}

TEST_P(OrbReaderLinks, ASecondStartIsRefusedUntilTheTransactionIsCancelled) {
    reader().setPresentation(Presentation::None);
    auto r = host->exchange(buildCommand(0x1001, 1, {{0x81, {0x1E}}, {0x82, {0x02, 0x01, 0x00}}}));
    ASSERT_TRUE(r);
    EXPECT_EQ(statusOf(*r), status::kOk);
    r = host->exchange(buildCommand(0x1001, 2, {{0x81, {0x1E}}, {0x82, {0x02, 0x01, 0x00}}}));
    ASSERT_TRUE(r);
    EXPECT_EQ(statusOf(*r), status::kBusy);
    r = host->exchange(buildCommand(0x1004, 3, {}));  // cancel
    ASSERT_TRUE(r);
    EXPECT_EQ(statusOf(*r), status::kOk);
    using N = std::vector<std::pair<int, std::uint32_t>>;
    EXPECT_EQ(notifications(1), (N{{0x0105, 0x07030500}}));
    reader().setPresentation(Presentation::Swipe);
    r = host->exchange(buildCommand(0x1001, 4, {{0x81, {0x1E}}, {0x82, {0x01, 0x00, 0x00}}}));
    ASSERT_TRUE(r);
    EXPECT_EQ(statusOf(*r), status::kOk);
    EXPECT_EQ(notifications(2), (N{{0x0101, 0x08010100}, {0x0105, 0x08040000}}));
    r = host->exchange(buildCommand(0x1010, 5, {{0x81, {0x01}}}));
    ASSERT_TRUE(r);
    ASSERT_NE(r->inner.byTag(0x81), nullptr);
    EXPECT_EQ((*r->inner.byTag(0x81))[1], 0x08);  // source: magnetic stripe
}

TEST_P(OrbReaderLinks, LongMessagesCrossTheLinkWhole) {
    Bytes contents(1500);
    for (std::size_t i = 0; i < contents.size(); ++i)
        contents[i] = static_cast<std::uint8_t>(i * 7);
    reader().sendFile(0x1805, 0x01000000, contents);
    auto m = host->next();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->kind, Kind::File);
    EXPECT_EQ(m->fileId, 0x01000000u);
    EXPECT_EQ(m->payload, contents);

    Bytes big = buildCommand(0x1F10, 9, {{0x81, Bytes(700, 0xC0)}, {0x82, Bytes(50, 0xDB)}});
    auto r = host->exchange(big);
    ASSERT_TRUE(r);
    EXPECT_EQ(statusOf(*r), status::kUnknownCommand);
    EXPECT_EQ(hostLog().of(sim::HostLog::Kind::Message).back(), big);
}

TEST_P(OrbReaderLinks, ScriptedAnswersNotificationsAndSilence) {
    reader().onCommand(0x1F01, [](const Message& cmd) -> std::optional<Reply> {
        Reply r;
        r.status = 0x41000007;
        r.containerStatus = true;
        r.params[0x81] = *cmd.inner.byTag(0x81);
        return r;
    });
    reader().onCommand(0x1F02, [](const Message&) { return std::optional<Reply>(); });
    auto r = host->exchange(buildCommand(0x1F01, 1, {{0x81, {0x55}}}));
    ASSERT_TRUE(r);
    ASSERT_NE(r->outer.param(33), nullptr);
    EXPECT_EQ(*r->outer.param(33), hex("810107820141"));
    EXPECT_EQ(r->outer.param(2), nullptr);
    EXPECT_EQ(*r->inner.byTag(0x81), Bytes{0x55});
    // No answer at all.
    EXPECT_FALSE(host->exchange(buildCommand(0x1F02, 2, {}), 200ms));
    // A scripted sequence arrives in order, with the priority form of the event description.
    reader().setNotificationPriority(0x02);
    reader().play({{10ms, buildNotification(0x1803, 0, 0x02010100, {{0x83, {'H', 'i'}}})},
                   {10ms, buildNotification(0x1001, 0, 0x01040000, {})}});
    auto n1 = host->notification();
    auto n2 = host->notification();
    ASSERT_TRUE(n1 && n2);
    EXPECT_EQ(n1->id, 0x1803);
    EXPECT_EQ(*n1->inner.byTag(0x83), (Bytes{'H', 'i'}));
    EXPECT_EQ(n2->id, 0x1001);
    reader().notify(0x1001, 0x00000000);
    auto n3 = host->notification();
    ASSERT_TRUE(n3);
    ASSERT_NE(n3->outer.param(3), nullptr);
    EXPECT_EQ(*n3->outer.param(3), (Bytes{0x02, 0, 0, 0, 0}));
}

TEST_P(OrbReaderLinks, ALostPacketCostsOneMessageOnly) {
    Bytes contents(300, 0x5A);
    faults().dropNext();  // the first packet (or frame) of the file
    reader().sendFile(0x1805, 1, contents);
    reader().notify(0x1001, 0x01040000);
    auto m = host->next();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->kind, Kind::Notification);  // the file never completed
    EXPECT_FALSE(host->next(100ms));
}

TEST_P(OrbReaderLinks, TheLinkGoesAwayInTheMiddleOfAMessage) {
    faults().unplugAfter(2);
    reader().sendFile(0x1805, 1, Bytes(1000, 0x11));
    reader().sendFile(0x1805, 2, Bytes(1000, 0x22));
    // Packet links: the first file is cut short and never delivered. Serial line: whatever the
    // terminal still held when the line dropped may be lost too, but never half a message.
    std::vector<Message> got;
    while (auto m = host->next(2000ms)) got.push_back(*m);
    if (GetParam() == Link::Serial) {
        ASSERT_LE(got.size(), 2u);
        for (auto& m : got) EXPECT_EQ(m.payload.size(), 1000u);
    } else {
        EXPECT_TRUE(got.empty());
    }
    EXPECT_TRUE(host->lost());
}

INSTANTIATE_TEST_SUITE_P(Links, OrbReaderLinks,
                         ::testing::Values(Link::Usb, Link::Tcp, Link::Serial),
                         [](const ::testing::TestParamInfo<Link>& i) {
                             return i.param == Link::Usb   ? std::string("Usb")
                                    : i.param == Link::Tcp ? std::string("Tcp")
                                                           : std::string("Serial");
                         });

TEST(SerialOrbReader, AnnouncesItsBufferAndJoinsTheHostsPieces) {
    sim::Bench bench;
    auto reader = std::make_shared<SerialOrbReader>();
    SerialHost host(bench.servePty(reader).slavePath());
    reader->announceOnFirstContact(64);
    // The first message goes whole; the announcement follows the reader's first contact.
    auto r = host.exchange(buildCommand(0x1F01, 1, {}));
    ASSERT_TRUE(r);
    ASSERT_TRUE(host.receive(200ms) == std::nullopt);
    EXPECT_EQ(host.announced, std::vector<std::uint32_t>{64});
    // Pieces of 64 bytes: one message of 200 bytes, one of exactly 128 bytes.
    Bytes m200 = buildCommand(0x1F02, 2, {{0x81, Bytes(200 - 16, 0xAB)}});
    ASSERT_EQ(m200.size(), 200u);
    Bytes m128 = buildCommand(0x1F03, 3, {{0x81, Bytes(128 - 14, 0xCD)}});
    ASSERT_EQ(m128.size(), 128u);
    ASSERT_TRUE(host.sendPieces(m200, 64));
    auto r200 = host.next();
    ASSERT_TRUE(r200);
    EXPECT_EQ(r200->id, 0x1F02);
    ASSERT_TRUE(host.sendPieces(m128, 64));
    auto r128 = host.next();
    ASSERT_TRUE(r128);
    EXPECT_EQ(r128->id, 0x1F03);
    auto log = reader->hostLog().of(sim::HostLog::Kind::Message);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1], m200);
    EXPECT_EQ(log[2], m128);
    // Frames with a wrong length field or type are dropped; the line goes on.
    ASSERT_TRUE(host.writeRaw(slipEscape({0x00, 0, 0, 0, 9, 1, 2})));
    ASSERT_TRUE(host.writeRaw(slipEscape({0x05, 0, 0, 0, 1, 1})));
    ASSERT_TRUE(host.exchange(buildCommand(0x1F04, 4, {})));
    EXPECT_EQ(reader->droppedFrames(), 2u);
}
