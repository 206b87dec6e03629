// Packet and SLIP packaging: cutting, progress, reassembly and malformed input.
#include <gtest/gtest.h>

#include <numeric>
#include <stdexcept>

#include "PassThroughCommunication.h"
#include "SerialCommunicationPackage.h"
#include "VelnorCommunicationPackage.h"
#include "VelnorUSBHIDPackage.h"
#include "orbio_helpers.h"

namespace {

Bytes pattern(size_t n, unsigned char seed = 0) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(seed + i * 7 + 1);
    return b;
}

// Collects what a packaging object writes and delivers.
struct Wire {
    std::vector<Bytes> written;
    std::vector<double> progress;
    std::vector<Bytes> delivered;

    void attach(IVLCommunicationPackage& pkg) {
        pkg.onPayloadReceived = [this](Bytes m) { delivered.push_back(std::move(m)); };
    }
    void send(IVLCommunicationPackage& pkg, const Bytes& payload) {
        pkg.SendPayload(
            payload, [this](unsigned char* p, unsigned int n) { written.emplace_back(p, p + n); },
            [this](double v) { progress.push_back(v); });
    }
    Bytes joined() const {
        Bytes all;
        for (const auto& w : written) all.insert(all.end(), w.begin(), w.end());
        return all;
    }
};

}  // namespace

TEST(PacketPackaging, RejectsTooSmallPacketSize) {
    EXPECT_THROW(VelnorCommunicationPackage(5), std::invalid_argument);
    EXPECT_THROW(VelnorCommunicationPackage(0), std::invalid_argument);
    try {
        VelnorCommunicationPackage p(3);
        FAIL();
    } catch (const std::exception& e) {
        EXPECT_STREQ("Invalid packageSize for packet", e.what());
    }
    VelnorCommunicationPackage ok(6);
    EXPECT_EQ(1, ok.START_DATA_SIZE);
    EXPECT_EQ(4, ok.SINGLE_DATA_SIZE);
}

TEST(PacketPackaging, CutsAtThePacketBoundaries) {
    struct Case {
        size_t n;
        std::vector<unsigned char> types;  // first byte of each packet
        std::vector<size_t> sizes;         // bytes per packet
        unsigned char lastLength;          // length byte of the last packet
    };
    const Case cases[] = {
        {1, {0x00}, {3}, 1},
        {62, {0x00}, {64}, 62},
        {63, {0x01, 0x03}, {64, 6}, 4},
        {120, {0x01, 0x03}, {64, 63}, 61},
        {121, {0x01, 0x02, 0x03}, {64, 64, 3}, 1},
        {181, {0x01, 0x02, 0x03}, {64, 64, 63}, 61},
        {182, {0x01, 0x02, 0x02, 0x03}, {64, 64, 64, 3}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        VelnorCommunicationPackage pkg(64);
        Wire w;
        const Bytes payload = pattern(c.n);
        w.send(pkg, payload);
        ASSERT_EQ(c.types.size(), w.written.size());
        Bytes carried;
        for (size_t k = 0; k < w.written.size(); ++k) {
            const Bytes& p = w.written[k];
            EXPECT_EQ(c.types[k], p[0]);
            EXPECT_EQ(c.sizes[k], p.size());
            if (p[0] == 0x01) {
                EXPECT_EQ(c.n,
                          (size_t(p[1]) << 24) | (size_t(p[2]) << 16) | (size_t(p[3]) << 8) | p[4]);
                carried.insert(carried.end(), p.begin() + 5, p.end());
            } else if (p[0] == 0x02) {
                EXPECT_EQ(k, size_t(p[1] << 8 | p[2]));  // 1 for the first continuation
                carried.insert(carried.end(), p.begin() + 3, p.end());
            } else {
                carried.insert(carried.end(), p.begin() + 2, p.end());
            }
        }
        EXPECT_EQ(c.lastLength, w.written.back()[1]);
        EXPECT_EQ(payload, carried);
    }
}

TEST(PacketPackaging, WorkedExampleOfOneHundredBytes) {
    VelnorCommunicationPackage pkg(64);
    Wire w;
    const Bytes payload = pattern(100);
    w.send(pkg, payload);
    ASSERT_EQ(2u, w.written.size());
    EXPECT_EQ((Bytes{0x01, 0x00, 0x00, 0x00, 0x64}),
              Bytes(w.written[0].begin(), w.written[0].begin() + 5));
    EXPECT_EQ(Bytes(payload.begin(), payload.begin() + 59),
              Bytes(w.written[0].begin() + 5, w.written[0].end()));
    EXPECT_EQ((Bytes{0x03, 0x29}), Bytes(w.written[1].begin(), w.written[1].begin() + 2));
    EXPECT_EQ(43u, w.written[1].size());
}

TEST(PacketPackaging, ProgressFollowsEachPacket) {
    struct Case {
        size_t n;
        std::vector<double> expected;
    };
    const Case cases[] = {{10, {1.0}}, {100, {0.5, 1.0}}, {121, {1.0 / 3, 2.0 / 3, 1.0}}};
    for (const auto& c : cases) {
        VelnorCommunicationPackage pkg(64);
        std::vector<std::string> order;
        pkg.SendPayload(
            pattern(c.n), [&](unsigned char*, unsigned int) { order.push_back("send"); },
            [&](double v) { order.push_back(std::to_string(v)); });
        ASSERT_EQ(c.expected.size() * 2, order.size()) << c.n;
        for (size_t k = 0; k < c.expected.size(); ++k) {
            EXPECT_EQ("send", order[2 * k]);
            EXPECT_EQ(std::to_string(c.expected[k]), order[2 * k + 1]);
        }
    }
    // Either callable may be missing.
    VelnorCommunicationPackage pkg(64);
    Wire w;
    pkg.SendPayload(pattern(200), nullptr, [&](double v) { w.progress.push_back(v); });
    EXPECT_EQ(1.0, w.progress.back());
    pkg.SendPayload(
        pattern(200), [&](unsigned char*, unsigned int) { w.written.push_back({}); }, nullptr);
    EXPECT_EQ(4u, w.written.size());
}

TEST(PacketPackaging, RoundTripsMessagesOfManySizes) {
    for (size_t n : {1, 2, 61, 62, 63, 64, 119, 120, 121, 122, 181, 182, 1000, 4099}) {
        VelnorCommunicationPackage sender(64), receiver(64);
        Wire w;
        w.attach(receiver);
        const Bytes payload = pattern(n, static_cast<unsigned char>(n));
        w.send(sender, payload);
        // As one piece, and again packet by packet.
        receiver.ParseReport(w.joined());
        for (const auto& p : w.written) receiver.ParseReport(p);
        ASSERT_EQ(2u, w.delivered.size()) << n;
        EXPECT_EQ(payload, w.delivered[0]) << n;
        EXPECT_EQ(payload, w.delivered[1]) << n;
    }
}

// A TCP link delivers the stream in arbitrary pieces, padded to 64 bytes or not.
TEST(PacketPackaging, StreamSplitAtEveryPointIsReassembled) {
    // 61 and 120 bytes end in 63-byte packets: one byte short of a slot.
    const std::vector<Bytes> messages{pattern(150, 3), pattern(5, 9), pattern(61, 2),
                                      pattern(120, 4), pattern(70, 1)};
    for (bool padded : {false, true}) {
        VelnorCommunicationPackage sender(64);
        Wire w;
        for (const Bytes& m : messages) w.send(sender, m);
        Bytes stream;
        for (auto p : w.written) {
            if (padded) p.resize(64, 0);
            stream.insert(stream.end(), p.begin(), p.end());
        }
        for (size_t cut = 1; cut < stream.size(); cut += 5) {
            SCOPED_TRACE(std::to_string(cut) + (padded ? " padded" : " unpadded"));
            VelnorCommunicationPackage receiver(64);
            Wire r;
            r.attach(receiver);
            receiver.ParseReport(Bytes(stream.begin(), stream.begin() + cut));
            receiver.ParseReport(Bytes(stream.begin() + cut, stream.end()));
            EXPECT_EQ(messages, r.delivered);
        }
    }
}

TEST(PacketPackaging, ByteByByteStreamIsReassembled) {
    VelnorCommunicationPackage sender(64), receiver(64);
    Wire w, r;
    r.attach(receiver);
    const Bytes payload = pattern(300);
    w.send(sender, payload);
    for (unsigned char b : w.joined()) receiver.ParseReport({b});
    ASSERT_EQ(1u, r.delivered.size());
    EXPECT_EQ(payload, r.delivered[0]);
}

TEST(PacketPackaging, InconsistentMessagesAreDropped) {
    VelnorCommunicationPackage sender(64);
    Wire w;
    w.send(sender, pattern(200));  // start, 2 continuations, end
    ASSERT_EQ(4u, w.written.size());
    const Bytes good = pattern(5);
    Bytes single{0x00, 0x05};
    single.insert(single.end(), good.begin(), good.end());

    struct Case {
        const char* name;
        std::vector<Bytes> packets;
    };
    const Case cases[] = {
        {"lost continuation", {w.written[0], w.written[1], w.written[3]}},
        {"continuation numbers out of step", {w.written[0], w.written[2], w.written[3]}},
        {"end without start", {w.written[3]}},
        {"continuations without start", {w.written[1], w.written[2], w.written[3]}},
        {"unknown packet type", {Bytes(64, 0x07)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VelnorCommunicationPackage receiver(64);
        Wire r;
        r.attach(receiver);
        for (const auto& p : c.packets) receiver.ParseReport(p);
        EXPECT_TRUE(r.delivered.empty());
        // The receiver is not stuck: the next message arrives whole.
        receiver.ParseReport(single);
        ASSERT_EQ(1u, r.delivered.size());
        EXPECT_EQ(good, r.delivered[0]);
    }
    // A repeated continuation replaces the earlier piece, and a new start packet discards an
    // incomplete message: both still yield the whole message once.
    const std::vector<Bytes> accepted[] = {
        {w.written[0], w.written[1], w.written[1], w.written[2], w.written[3]},
        {w.written[0], w.written[1], w.written[0], w.written[1], w.written[2], w.written[3]},
    };
    for (const auto& packets : accepted) {
        VelnorCommunicationPackage receiver(64);
        Wire r;
        r.attach(receiver);
        for (const auto& p : packets) receiver.ParseReport(p);
        ASSERT_EQ(1u, r.delivered.size());
        EXPECT_EQ(pattern(200), r.delivered[0]);
    }
}

// Truncated packets are handed straight to ParseOneFrame: nothing may be read past them.
TEST(PacketPackaging, ShortFramesAreNeverReadPast) {
    struct Case {
        const char* name;
        Bytes frame;
    };
    const Case cases[] = {
        {"single length larger than the packet", {0x00, 0x3E, 0xAA, 0xBB}},
        {"single without length", {0x00}},
        {"start shorter than a packet", {0x01, 0x00, 0x00, 0x00, 0x64, 0xAA}},
        {"continuation shorter than a packet", {0x02, 0x00, 0x01, 0xAA}},
        {"end length larger than the packet", {0x03, 0x20, 0xAA}},
        {"end without length", {0x03}},
        {"empty", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VelnorCommunicationPackage pkg(64);
        Wire r;
        r.attach(pkg);
        // Heap copies of exactly the frame's size, so ASan sees any overread.
        pkg.ParseOneFrame(Bytes(c.frame));
        EXPECT_TRUE(r.delivered.empty());
    }
}

TEST(PacketPackaging, InvalidHeaderInAStreamCostsOnePacketSlot) {
    VelnorCommunicationPackage receiver(64);
    Wire r;
    r.attach(receiver);
    Bytes stream{0x00, 0x50};  // single with length 80 > 62: no valid packet
    stream.resize(64, 0xEE);
    const Bytes msg = pattern(4);
    stream.insert(stream.end(), {0x00, 0x04});
    stream.insert(stream.end(), msg.begin(), msg.end());
    receiver.ParseReport(Bytes(stream.begin(), stream.begin() + 30));
    EXPECT_TRUE(r.delivered.empty());
    receiver.ParseReport(Bytes(stream.begin() + 30, stream.end()));
    ASSERT_EQ(1u, r.delivered.size());
    EXPECT_EQ(msg, r.delivered[0]);
}

TEST(PacketPackaging, UsbVariantAddsAndStripsTheReportNumber) {
    VelnorUSBHIDPackage pkg(0, 64);
    Wire w;
    w.attach(pkg);
    w.send(pkg, pattern(100));
    ASSERT_EQ(2u, w.written.size());
    EXPECT_EQ(65u, w.written[0].size());
    EXPECT_EQ((Bytes{0x00, 0x01, 0x00, 0x00, 0x00, 0x64}),
              Bytes(w.written[0].begin(), w.written[0].begin() + 6));
    EXPECT_EQ(44u, w.written[1].size());
    EXPECT_EQ((Bytes{0x00, 0x03, 0x29}), Bytes(w.written[1].begin(), w.written[1].begin() + 3));

    VelnorUSBHIDPackage other(0x05, 64);
    Wire w2;
    w2.send(other, {0xAA});
    ASSERT_EQ(1u, w2.written.size());
    EXPECT_EQ((Bytes{0x05, 0x00, 0x01, 0xAA}), w2.written[0]);

    // Placeholder byte, then a single packet of length 5, padded to a full report.
    Bytes report{0x00, 0x00, 0x05, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE};
    report.resize(65, 0);
    pkg.ParseReport(report);
    ASSERT_EQ(1u, w.delivered.size());
    EXPECT_EQ((Bytes{0xAA, 0xBB, 0xCC, 0xDD, 0xEE}), w.delivered[0]);
}

TEST(PacketPackaging, UsbReportsAreIndependent) {
    VelnorUSBHIDPackage sender(0, 64), receiver(0, 64);
    Wire w, r;
    r.attach(receiver);
    const Bytes payload = pattern(130);
    w.send(sender, payload);
    // Reports as read: placeholder byte, packet, zero padding to 64.
    for (auto p : w.written) {
        p.resize(65, 0);
        receiver.ParseReport(p);
    }
    ASSERT_EQ(1u, r.delivered.size());
    EXPECT_EQ(payload, r.delivered[0]);

    // A report with a start packet cut short is dropped, and its bytes do not spill into the
    // next report.
    receiver.ParseReport({0x00, 0x01, 0x00, 0x00, 0x00, 0x10});
    receiver.ParseReport({0x00, 0x00, 0x02, 0x11, 0x22});
    ASSERT_EQ(2u, r.delivered.size());
    EXPECT_EQ((Bytes{0x11, 0x22}), r.delivered[1]);
    // Padding with non-zero bytes after a short packet is ignored.
    Bytes noisy{0x00, 0x00, 0x01, 0x33};
    noisy.resize(65, 0x5A);
    receiver.ParseReport(noisy);
    ASSERT_EQ(3u, r.delivered.size());
    EXPECT_EQ((Bytes{0x33}), r.delivered[2]);
    // Nothing but the placeholder, or nothing at all.
    receiver.ParseReport({0x00});
    receiver.ParseReport({});
    EXPECT_EQ(3u, r.delivered.size());
}

TEST(PacketPackaging, OversizedReadIsCutIntoPacketSlots) {
    // 130 bytes after the placeholder: packets of 64, 64 and 2 bytes.
    VelnorUSBHIDPackage sender(0, 64), receiver(0, 64);
    Wire w, r;
    r.attach(receiver);
    w.send(sender, pattern(120));  // start + end(61) = 64 + 63 bytes
    Bytes read{0x00};
    for (auto p : w.written) {
        Bytes packet(p.begin() + 1, p.end());
        packet.resize(64, 0);
        read.insert(read.end(), packet.begin(), packet.end());
    }
    read.insert(read.end(), {0x00, 0x00});
    ASSERT_EQ(131u, read.size());
    receiver.ParseReport(read);
    ASSERT_EQ(1u, r.delivered.size());
    EXPECT_EQ(pattern(120), r.delivered[0]);
}

TEST(PassThrough, WritesOnceAndDeliversUnchanged) {
    PassThroughCommunication pkg;
    Wire w;
    w.attach(pkg);
    w.send(pkg, pattern(500));
    ASSERT_EQ(1u, w.written.size());
    EXPECT_EQ(pattern(500), w.written[0]);
    EXPECT_EQ(std::vector<double>{1.0}, w.progress);
    pkg.ParseReport({1, 2, 3});
    ASSERT_EQ(1u, w.delivered.size());
    EXPECT_EQ((Bytes{1, 2, 3}), w.delivered[0]);
}

TEST(Slip, EscapesAndFramesTheWorkedExample) {
    SerialCommunicationPackage pkg(0x200000);
    Wire w;
    w.send(pkg, {0x01, 0xC0, 0xDB});
    EXPECT_EQ((Bytes{0xC0, 0x00, 0x00, 0x00, 0x00, 0x03, 0x01, 0xDB, 0xDC, 0xDB, 0xDD, 0xC0}),
              w.joined());
    EXPECT_EQ(std::vector<double>{1.0}, w.progress);

    w.attach(pkg);
    pkg.ParseReport({0xC0, 0x02, 0x00, 0x00, 0x00, 0x02, 0xAA, 0xBB, 0xC0});
    ASSERT_EQ(1u, w.delivered.size());
    EXPECT_EQ((Bytes{0xAA, 0xBB}), w.delivered[0]);

    EXPECT_TRUE(generateDataWithSlipEscape({}).empty());
    Wire none;
    pkg.SendPayload(
        {}, [&](unsigned char*, unsigned int) { none.written.push_back({}); }, nullptr);
    EXPECT_TRUE(none.written.empty());
}

TEST(Slip, UnescapesEveryEscapeForm) {
    struct Case {
        Bytes chunk;
        Bytes frame;
    };
    const Case cases[] = {
        {{0xC0, 0xDB, 0xDC}, {0xC0}},
        {{0xC0, 0xDB, 0xDD}, {0xDB}},
        {{0xC0, 0xDB, 0xDE}, {0x11}},
        {{0xC0, 0xDB, 0xDF}, {0x13}},
        {{0xC0, 0xDB, 0x41}, {0x41}},
        {{0xC0, 0x01, 0xDB}, {0x01}},  // lone ESC at the end
        {{0xC0}, {}},
        {{0x01, 0x02}, {}},  // not starting with END
    };
    for (const auto& c : cases) EXPECT_EQ(c.frame, SocketInSliper::Sliper(c.chunk));
}

TEST(Slip, CutsTheStreamIntoFrames) {
    SerialCommunicationPackage pkg(0x200000);
    Wire r;
    r.attach(pkg);
    // Garbage, back-to-back frames, an empty frame, a wrong length, an unknown type, a host frame.
    pkg.ParseReport({0x55, 0x66, 0xC0, 0x02, 0,    0, 0, 1,    0x10, 0xC0, 0xC0, 0x02, 0, 0, 0,   1,
                     0x20, 0xC0, 0xC0, 0xC0, 0x02, 0, 0, 0,    5,    0x30, 0xC0, 0x07, 0, 0, 0,   1,
                     0x40, 0xC0, 0x00, 0,    0,    0, 1, 0x50, 0xC0, 0x02, 0,    0,    0, 0, 0xC0});
    ASSERT_EQ(2u, r.delivered.size());
    EXPECT_EQ(Bytes{0x10}, r.delivered[0]);
    EXPECT_EQ(Bytes{0x20}, r.delivered[1]);

    // A stream starting without END loses its first frame only.
    SerialCommunicationPackage late(0x200000);
    Wire r2;
    r2.attach(late);
    late.ParseReport({0x02, 0, 0, 0, 1, 0x10, 0xC0, 0xC0, 0x02, 0, 0, 0, 1, 0x20, 0xC0});
    ASSERT_EQ(1u, r2.delivered.size());
    EXPECT_EQ(Bytes{0x20}, r2.delivered[0]);
}

TEST(Slip, FrameSplitAcrossReadsIsDeliveredAfterTheLastPiece) {
    SerialCommunicationPackage sender(0x200000), receiver(0x200000);
    // A device frame (type 02) with bytes that need escaping.
    Bytes payload = pattern(3000);
    payload[0] = 0xC0;
    payload[1] = 0xDB;
    const Bytes frame = generateDataWithSlipEscape(slipBody(0x02, payload));
    for (size_t cut : {size_t(1), size_t(2), size_t(6), frame.size() / 2, frame.size() - 1}) {
        Wire r;
        r.attach(receiver);
        receiver.ParseReport(Bytes(frame.begin(), frame.begin() + cut));
        EXPECT_TRUE(r.delivered.empty()) << cut;
        receiver.ParseReport(Bytes(frame.begin() + cut, frame.end()));
        ASSERT_EQ(1u, r.delivered.size()) << cut;
        EXPECT_EQ(payload, r.delivered[0]);
    }
}

TEST(Slip, BufferSizeAnnouncementSlicesLaterPayloads) {
    SerialCommunicationPackage pkg(0x200000);
    EXPECT_EQ(0x200000, pkg.DeviceBufferSize.load());
    Wire w;
    w.attach(pkg);
    pkg.ParseReport({0xC0, 0x03, 0x00, 0x00, 0x10, 0x00, 0xC0});
    EXPECT_EQ(4096, pkg.DeviceBufferSize.load());
    EXPECT_TRUE(w.delivered.empty());

    const Bytes payload = pattern(10000);
    w.send(pkg, payload);
    // Decode what was written as a device would.
    SocketInSliper s;
    Bytes all = w.joined();
    s.add(all.data(), static_cast<int>(all.size()));
    std::vector<size_t> sizes;
    Bytes rebuilt;
    for (Bytes f = s.get(); !f.empty(); f = s.get()) {
        ASSERT_GE(f.size(), 5u);
        EXPECT_EQ(0x00, f[0]);
        const size_t len = (size_t(f[1]) << 24) | (size_t(f[2]) << 16) | (size_t(f[3]) << 8) | f[4];
        EXPECT_EQ(len, f.size() - 5);
        sizes.push_back(len);
        rebuilt.insert(rebuilt.end(), f.begin() + 5, f.end());
    }
    EXPECT_EQ((std::vector<size_t>{4096, 4096, 1808}), sizes);
    EXPECT_EQ(payload, rebuilt);
    // Every write is at most 1024 bytes; progress rises to exactly 1.0.
    for (const auto& chunk : w.written) EXPECT_LE(chunk.size(), 1024u);
    EXPECT_TRUE(std::is_sorted(w.progress.begin(), w.progress.end()));
    EXPECT_EQ(1.0, w.progress.back());
    EXPECT_EQ(w.written.size(), w.progress.size());
}

TEST(Slip, ProgressCountsChunksWithinPieces) {
    SerialCommunicationPackage pkg(1500);
    Wire w;
    w.send(pkg, pattern(3000));  // 2 frames of 1507 bytes (payloads avoid END/ESC) -> 2 chunks each
    ASSERT_EQ(4u, w.written.size());
    const std::vector<double> expected{0.25, 0.5, 0.75, 1.0};
    ASSERT_EQ(expected.size(), w.progress.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_DOUBLE_EQ(expected[i], w.progress[i]);
}

TEST(Slip, AnnouncementOfZeroIsIgnored) {
    SerialCommunicationPackage pkg(0x200000);
    pkg.ParseReport({0xC0, 0x03, 0x00, 0x00, 0x00, 0x00, 0xC0});
    EXPECT_EQ(0x200000, pkg.DeviceBufferSize.load());
}
