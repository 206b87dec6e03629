// The reader's own encoding of messages, packets and SLIP frames, checked against fixed bytes.
#include <gtest/gtest.h>

#include "sim/orb/Packets.h"
#include "sim/orb/Wire.h"

using sim::Bytes;
using namespace sim::orb;

namespace {
Bytes hex(const std::string& text) {
    Bytes out;
    std::string digits;
    for (char c : text)
        if (!isspace(static_cast<unsigned char>(c))) digits += c;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}
Bytes range(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i);
    return b;
}
}  // namespace

TEST(OrbWire, MessagesAreWrittenByteForByte) {
    struct Case {
        const char* name;
        Bytes built;
        const char* expected;
    } cases[] = {
        {"command", buildCommand(0x1F01, 0x02, {}), "AA00 810401021F01 84021F01"},
        {"command with parameters", buildCommand(0x1803, 0x07, {{0x82, {0x22}}, {0x81, {0x11}}}),
         "AA00 8104010718 03 8408 1803 810111 820122"},
        {"short status", buildResponse(0x1F01, 5, 0, {{0x81, {0x07}}}),
         "AA00 810402051F01 820400000000 84051F01810107"},
        {"container status", buildResponse(0x1F01, 5, 0, {{0x81, {0x07}}}, true),
         "AA00 810402051F01 84051F01810107 A206810100820100"},  // ascending numbers: P4 before P33
        {"failed status", buildResponse(0x1010, 1, 0x01000005, {}),
         "AA00 810402011010 820401000005"},
        {"notification, code in P2", buildNotification(0x0101, 3, 0x10010200, {{0x84, {0xAB}}}),
         "AA00 810403030101 820410010200 84050101 8401AB"},
        {"notification, priority in P3", buildNotification(0x0105, 4, 0x10020200, {}, 0x05),
         "AA00 810403040105 83050510020200"},
        {"file", buildFile(0x1805, 0x01000000, {0xDE, 0xAD}), "AA00 81080400180501000000 8402DEAD"},
    };
    for (auto& c : cases) EXPECT_EQ(c.built, hex(c.expected)) << c.name;
}

TEST(OrbWire, LongValuesUseBerLengths) {
    EXPECT_EQ(berLength(127), hex("7F"));
    EXPECT_EQ(berLength(200), hex("81C8"));
    EXPECT_EQ(berLength(300), hex("82012C"));
    EXPECT_EQ(berLength(65536), hex("83010000"));
    Bytes e = tlv(0x84, Bytes(300, 0xEE));
    EXPECT_EQ(Bytes(e.begin(), e.begin() + 4), hex("8482012C"));
    EXPECT_EQ(tlv(0x9F02, {1}), hex("9F020101"));
}

TEST(OrbWire, ParsingAcceptsBothFrameworksAndRejectsForeignData) {
    auto m = parseMessage(hex("AAFF81040101101084051010810102"));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->kind, Kind::Command);
    EXPECT_EQ(m->number, 1);
    EXPECT_EQ(m->id, 0x1010);
    ASSERT_NE(m->inner.byTag(0x81), nullptr);
    EXPECT_EQ(*m->inner.byTag(0x81), Bytes{0x02});

    auto r = parseMessage(hex("AA00 810482051F01 820400000000"));  // type byte with bit 7
    ASSERT_TRUE(r);
    EXPECT_EQ(r->kind, Kind::Response);

    auto f = parseMessage(buildFile(0x1805, 0x01000000, {1, 2, 3}));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->fileId, 0x01000000u);
    EXPECT_EQ(f->payload, (Bytes{1, 2, 3}));

    const char* bad[] = {
        "",                            // nothing
        "AA",                          // one byte
        "AB00810401021F0184021F01",    // not a framework identifier
        "AA00 8103 01021F 84021F01",   // header too short
        "AA00 810401021F01",           // command without payload
        "AA00 81060400180501 8401FF",  // file header of 6 bytes
        "AA00 810409021F01 84021F01",  // unknown message type
        "AA00 81FF0102",               // length past the end
    };
    for (const char* b : bad) EXPECT_FALSE(parseMessage(hex(b))) << b;
}

TEST(OrbPackets, MessagesAreCutAtTheRightSizes) {
    struct Case {
        std::size_t n;
        std::vector<std::size_t> sizes;
        int endLength;  // L of the last packet
    } cases[] = {
        {1, {3}, 1},         {62, {64}, 62},        {63, {64, 6}, 4},
        {120, {64, 63}, 61}, {121, {64, 64, 3}, 1}, {1000, {}, -1},
    };
    for (auto& c : cases) {
        auto packets = cutIntoPackets(range(c.n));
        if (!c.sizes.empty()) {
            std::vector<std::size_t> sizes;
            for (auto& p : packets) sizes.push_back(p.size());
            EXPECT_EQ(sizes, c.sizes) << c.n;
            EXPECT_EQ(packets.back()[1], c.endLength) << c.n;
        }
        // Whatever the size, the packets reassemble to the message, padded or not.
        PacketAssembler a;
        std::optional<Bytes> out;
        for (auto& p : packets) {
            EXPECT_FALSE(out) << "message complete before its last packet";
            out = a.feed(padded(p));
        }
        ASSERT_TRUE(out) << c.n;
        EXPECT_EQ(*out, range(c.n));
    }
    auto hundred = cutIntoPackets(range(100));
    ASSERT_EQ(hundred.size(), 2u);
    EXPECT_EQ(Bytes(hundred[0].begin(), hundred[0].begin() + 6), hex("010000006400"));
    EXPECT_EQ(Bytes(hundred[1].begin(), hundred[1].begin() + 3), hex("03293B"));
    auto three = cutIntoPackets(range(200));
    EXPECT_EQ(Bytes(three[1].begin(), three[1].begin() + 3), hex("020001"));
    EXPECT_EQ(Bytes(three[2].begin(), three[2].begin() + 3), hex("020002"));
}

TEST(OrbPackets, DamagedSequencesAreDroppedNotDelivered) {
    auto packets = cutIntoPackets(range(300));  // start, 3 continuations, end
    ASSERT_EQ(packets.size(), 5u);
    struct Case {
        const char* name;
        std::vector<int> order;
    } cases[] = {
        {"lost continuation", {0, 1, 3, 4}},
        {"repeated continuation", {0, 1, 1, 2, 3, 4}},
        {"swapped continuations", {0, 2, 1, 3, 4}},
        {"end without start", {4}},
    };
    for (auto& c : cases) {
        PacketAssembler a;
        for (int i : c.order) EXPECT_FALSE(a.feed(packets[i])) << c.name;
        EXPECT_EQ(a.dropped(), 1u) << c.name;
        // The assembler recovers with the next message.
        std::optional<Bytes> out;
        for (auto& p : packets) out = a.feed(p);
        ASSERT_TRUE(out) << c.name;
        EXPECT_EQ(out->size(), 300u);
    }
    PacketAssembler a;
    EXPECT_FALSE(a.feed(hex("0040AABB")));  // single packet longer than its bytes
    EXPECT_FALSE(a.feed(hex("03")));
    EXPECT_FALSE(a.feed(Bytes(64, 0)));  // padding only
}

TEST(OrbPackets, StreamSplitterKeepsPartialPacketsAndSkipsPadding) {
    Bytes stream;
    for (auto& p : cutIntoPackets(range(130))) stream.insert(stream.end(), p.begin(), p.end());
    Bytes single = cutIntoPackets(range(5))[0];
    Bytes paddedSingle = padded(single);
    stream.insert(stream.end(), paddedSingle.begin(), paddedSingle.end());
    stream.insert(stream.end(), single.begin(), single.end());
    PacketStreamSplitter s;
    std::vector<Bytes> packets;
    for (std::size_t i = 0; i < stream.size(); i += 7) {  // arrives in odd pieces
        Bytes piece(stream.begin() + i, stream.begin() + std::min(stream.size(), i + 7));
        for (auto& p : s.feed(piece)) packets.push_back(p);
    }
    ASSERT_EQ(packets.size(), 5u);  // start, continuation, end, single, single
    PacketAssembler a;
    std::vector<Bytes> messages;
    for (auto& p : packets)
        if (auto m = a.feed(p)) messages.push_back(*m);
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], range(130));
    EXPECT_EQ(messages[1], range(5));
    EXPECT_EQ(messages[2], range(5));
}

TEST(OrbSlip, FramesAreEscapedAndDecoded) {
    EXPECT_EQ(slipFrame(0x00, hex("01C0DB")), hex("C0 00 00000003 01 DBDC DBDD C0"));
    SlipDecoder d;
    // Noise before the first END is dropped; a frame split over two reads is kept; END END is
    // an empty frame; ESC DE / ESC DF stand for 11 / 13.
    EXPECT_TRUE(d.feed(hex("1234 C0 0200000002 AA")).empty());
    auto frames = d.feed(hex("BB C0 C0 C0 02 DBDE DBDF C0"));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], hex("0200000002AABB"));
    EXPECT_EQ(frames[1], hex("021113"));
}
