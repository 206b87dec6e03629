// Commands, responses, notifications and file messages (liborbdev only).
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <stdexcept>
#include <thread>

#include "AsterCommand.h"
#include "AsterFileMessage.h"
#include "AsterNotification.h"
#include "AsterResponse.h"
#include "TLV.h"
#include "stdafx.h"

namespace {
using Bytes = std::vector<unsigned char>;

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

std::string tlv(const std::string& tag, const std::string& valueHex) {
    return TLV(tag, valueHex, -1).toString();
}

// ---- commands ----

TEST(AsterCommandTest, SerialisesTheWorkedExampleWithAFreshNumberEachTime) {
    const AsterCommand cmd(0x1F01, 0);
    EXPECT_EQ(cmd.ID, 0x1F01);
    EXPECT_EQ(cmd.Command.ID(), 0x1F01);

    const Bytes first = cmd.ToBytes();
    const Bytes second = cmd.ToBytes();
    ASSERT_EQ(first.size(), 12u);
    ASSERT_EQ(second.size(), 12u);
    Bytes masked = first;
    masked[5] = 0x02;
    EXPECT_EQ(BV2H(masked), "AA00810401021F0184021F01");
    EXPECT_EQ(static_cast<unsigned char>(first[5] + 1), second[5]);
    Bytes masked2 = second;
    masked2[5] = first[5];
    EXPECT_EQ(masked2, first);
}

TEST(AsterCommandTest, InitialParametersInBothFormsBecomeInnerTags81To83) {
    struct {
        AsterCommand cmd;
        const char* inner;
    } cases[] = {
        {AsterCommand(0x1803, std::string("12"), std::string("e4"), 0), "18038101128201E4"},
        {AsterCommand(0x1803, Bytes{0x12}, Bytes{0xE4}, 0), "18038101128201E4"},
        {AsterCommand(0x1001, std::string("0A"), 0), "100181010A"},
        {AsterCommand(0x1001, Bytes{0x01, 0x02}, Bytes{}, Bytes{0x03}, 0),
         "1001810201028200830103"},
        {AsterCommand(0x1001, std::string("01"), std::string("02"), std::string("0304"), 0),
         "100181010182010283020304"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.inner);
        EXPECT_EQ(BV2H(c.cmd.Command.ToBytes()), c.inner);
        // The inner frame travels whole in P4 of the outer frame.
        const AsterAPIFrameWork outer = AsterAPIFrameWork::Parse(c.cmd.ToBytes());
        EXPECT_EQ(BV2H(outer.GetParameter(4)), c.inner);
        EXPECT_EQ(outer.GetAllParameterTags(), (Bytes{0x81, 0x84}));
    }

    AsterCommand cmd(0x1803, std::string("12"), std::string("34"), 0);
    cmd.SetCommandParameter(0x82, std::string("56"));
    cmd.SetCommandParameter(0x85, Bytes{0x77});
    EXPECT_EQ(BV2H(cmd.Command.ToBytes()), "1803810112820156850177");
    EXPECT_THROW(cmd.SetCommandParameter(0x9F, Bytes{1}), std::invalid_argument);
}

TEST(AsterCommandTest, CrcTypeAddsHeaderByteAndPlaceholder) {
    const AsterCommand cmd(0x1F01, 3);
    EXPECT_EQ(cmd.Crc32(), (Bytes{0, 0, 0, 0}));
    const AsterAPIFrameWork outer = AsterAPIFrameWork::Parse(cmd.ToBytes());
    const Bytes header = outer.GetParameter(1);
    ASSERT_EQ(header.size(), 5u);
    EXPECT_EQ(header[4], 3);
    EXPECT_EQ(outer.GetParameterByTag(0x9E), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(AsterCommand::Parse(cmd.ToBytes()).CrcType, 3);
}

TEST(AsterCommandTest, ParseReadsHeaderAndInnerFrame) {
    const AsterCommand cmd =
        AsterCommand::Parse(std::string("AAFF810401091803840818038101128201E4"));
    EXPECT_EQ(cmd.ID, 0x1803);
    EXPECT_EQ(cmd.MessageID, 0x09);
    EXPECT_EQ(cmd.CrcType, 0);
    EXPECT_EQ(cmd.Command.ID(), 0x1803);
    EXPECT_EQ(cmd.Command.GetParameter(2), Bytes{0xE4});

    // Bit 7 of the type byte is ignored.
    EXPECT_EQ(AsterCommand::Parse(std::string("AA00810481021F0184021F01")).MessageID, 0x02);

    struct {
        const char* hex;
        const char* error;
    } cases[] = {
        {"AA01810401021F0184021F01", "Invalid frameword id"},
        {"AA00810402021F0184021F01", "Invalid message type"},
        {"AA008100", "Invalid message type"},
        {"AA0084021F01", "Invalid message type"},
        {"AA008103010200", "Invalid message header"},
        {"AA00810401021F01", "invalid data"},  // no inner frame
        {"AA", "invalid data"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hex);
        EXPECT_EQ(errorOf([&] { AsterCommand::Parse(std::string(c.hex)); }), c.error);
    }
}

TEST(AsterCommandTest, RoundTripKeepsIdentifierAndParameters) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        AsterCommand cmd(static_cast<unsigned short>(rng()), 0);
        for (int i = rng() % 5; i > 0; --i) {
            Bytes value(rng() % 300);
            for (auto& b : value) b = static_cast<unsigned char>(rng());
            cmd.SetCommandParameter(AsterAPIFrameWork::PN2Tag(1 + static_cast<int>(rng() % 61)),
                                    value);
        }
        const Bytes wire = cmd.ToBytes();
        const AsterCommand back = AsterCommand::Parse(wire);
        EXPECT_EQ(back.ID, cmd.ID);
        EXPECT_EQ(back.MessageID, wire[5]);
        EXPECT_EQ(back.Command.ID(), cmd.ID);
        EXPECT_EQ(back.Command.parameters, cmd.Command.parameters);
    }
}

TEST(AsterCommandTest, MessageNumberWrapsAfter256Draws) {
    const unsigned char start = AsterCommand(0x0001, 0).MessageID;
    for (int i = 0; i < 255; ++i) AsterCommand(0x0001, 0);
    EXPECT_EQ(AsterCommand(0x0001, 0).MessageID, start);
}

// Commands built and serialised on several threads at once draw every number exactly once.
TEST(AsterCommandTest, CounterIsConsistentAcrossThreads) {
    constexpr int kThreads = 4;
    constexpr int kPerThread = 5000;  // each iteration draws twice: construction and ToBytes
    const unsigned start = AsterCommand::GlobalMessageID.load();
    std::vector<std::vector<unsigned>> seen(kThreads, std::vector<unsigned>(256, 0));
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &seen] {
            for (int i = 0; i < kPerThread; ++i) {
                AsterCommand cmd(0x1F01, std::string("01"), 0);
                seen[t][cmd.MessageID]++;
                seen[t][cmd.ToBytes()[5]]++;
            }
        });
    }
    for (auto& th : threads) th.join();
    const unsigned total = 2u * kThreads * kPerThread;
    EXPECT_EQ(AsterCommand::GlobalMessageID.load(), static_cast<unsigned char>(start + total));
    // 40000 draws over 256 numbers: every number was handed out 156 or 157 times.
    for (unsigned n = 0; n < 256; ++n) {
        unsigned count = 0;
        for (int t = 0; t < kThreads; ++t) count += seen[t][n];
        EXPECT_TRUE(count == total / 256 || count == total / 256 + 1) << n << ": " << count;
    }
}

// ---- responses ----

TEST(AsterResponseTest, ShortAndContainerStatusForms) {
    struct {
        const char* name;
        std::string hex;
        unsigned op;
        unsigned cmd;
        unsigned combined;
    } cases[] = {
        {"short form",
         "AA00810402051F01820400000000"
         "84051F01810107",
         0, 0, 0},
        {"container form",
         "AA00810402051F01A206810100820100"
         "84051F01810107",
         0, 0, 0},
        {"short form with codes",
         "AA00810402051F018204010000058402"
         "1F01",
         1, 5, 0x01000005},
        {"top-byte only", "AA00810402051F01820440000000", 0x40, 0, 0x40000000},
        {"short form, extra bytes ignored",
         "AA00810402051F018206"
         "02000102FFFF",
         2, 0x102, 0x02000102},
        {"container wins over P2",
         "AA00810402051F01820401000005A207810201028201"
         "03",
         3, 0x102, 0x03000102},
        {"container, first 81 and 82 count, at any depth",
         "AA00810402051F01A20FE1078102ABCD820101810107820102", 1, 0xABCD, 0x0100ABCD},
        {"container command status wider than 24 bits keeps the top byte",
         "AA00810402051F01A20981041234567882017F", 0x7F, 0x12345678, 0x7F345678},
        {"type byte with bit 7, framework AAFF", "AAFF810482051F01820400000009", 0, 9, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const AsterResponse r = AsterResponse::Parse(c.hex);
        EXPECT_EQ(r.ID, 0x1F01);
        EXPECT_EQ(r.MessageID, 5);
        EXPECT_EQ(r.OpStatus, c.op);
        EXPECT_EQ(r.CmdStatus, c.cmd);
        EXPECT_EQ(r.GetStatus(), c.combined);
        EXPECT_EQ(r.Raw, c.hex);
    }
}

TEST(AsterResponseTest, InnerFrameAndParameters) {
    const AsterResponse r =
        AsterResponse::Parse(H2BV("AA00810402051F01820400000000"
                                  "84081F01810107830100"));
    EXPECT_EQ(r.Response.ID(), 0x1F01);
    EXPECT_EQ(r.GetResponseParameter(static_cast<unsigned char>(0x81)), Bytes{0x07});
    EXPECT_EQ(r.GetResponseParameter(static_cast<unsigned char>(0x83)), Bytes{0x00});
    EXPECT_TRUE(r.GetResponseParameter(static_cast<unsigned char>(0x82)).empty());
    EXPECT_EQ(r.GetAllResponseTags(), (Bytes{0x81, 0x83}));
    EXPECT_EQ(r.GetResponseParameter("81"), Bytes{0x07});

    // Without P4 the inner frame is the bare command identifier.
    const AsterResponse bare = AsterResponse::Parse(std::string("AA00810402061F02820400000000"));
    EXPECT_EQ(bare.Response.ID(), 0x1F02);
    EXPECT_TRUE(bare.GetAllResponseTags().empty());
    EXPECT_TRUE(bare.GetResponseParameter("A4.A4.A0(0).81").empty());

    const AsterResponse made(0x1F01, 5, 1, "AA00");
    EXPECT_EQ(made.GetStatus(), 0x01000005u);
    EXPECT_EQ(made.Response.ID(), 0x1F01);
    EXPECT_EQ(made.Raw, "AA00");
}

TEST(AsterResponseTest, FaultsAreErrorsWithText) {
    struct {
        const char* name;
        const char* hex;
        const char* error;
    } cases[] = {
        {"foreign framework", "AB00810402051F01820400000000", "Invalid frameword id"},
        {"command type", "AA00810401051F01820400000000", "Invalid message type"},
        {"no header", "AA00820400000000", "Invalid message type"},
        {"header of 3 bytes",
         "AA0081030205"
         "1F820400000000",
         "Invalid message header"},
        {"no status", "AA00810402051F0184021F01", "Cannot find response status"},
        {"short status", "AA00810402051F01820300000084021F01", "Cannot find response status"},
        {"container without 82", "AA00810402051F01A203810100", "Cannot find response status"},
        {"container without 81", "AA00810402051F01A203820100", "Cannot find response status"},
        {"empty container", "AA00810402051F01A200820400000000", "Cannot find response status"},
        {"container cut short", "AA00810402051F01A2048105AABB", "Cannot find response status"},
        {"empty status value", "AA00810402051F01A2058100820100", "Invalid response status"},
        {"status value over 4 bytes", "AA00810402051F01A20A81050102030405820100",
         "Invalid response status"},
        {"inner frame of one byte",
         "AA00810402051F01820400000000"
         "84011F",
         "invalid data"},
        {"too short", "AA", "invalid data"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(errorOf([&] { AsterResponse::Parse(std::string(c.hex)); }), c.error);
    }
}

// A card-data response: inner parameter A4 holds a card container A4 with one A0 block per track.
TEST(AsterResponseTest, TagPathOverCardDataResponse) {
    const std::string tracks[] = {
        ASCII2H("%B5999000000000010^CARDHOLDER/TEST^2912101000000000?"),
        ASCII2H(";5999000000000010=29121010000000000?"),
        ASCII2H(";015999000000000010=000000000000?"),
    };
    std::string card = tlv("81", "02");
    for (const auto& t : tracks) card += tlv("A0", tlv("81", t) + tlv("82", "00"));
    AsterAPIFrameWork inner(0x1F05);
    inner.SetParameterByTag(0x81, std::string("00"));
    inner.SetParameterByTag(0xA4, tlv("A4", card) + tlv("9F39", "90"));
    AsterAPIFrameWork outer(0xAA00);
    outer.SetParameter(1, std::string("02111F05"));
    outer.SetParameter(2, std::string("00000000"));
    outer.SetParameter(4, inner.ToBytes());

    const AsterResponse r = AsterResponse::Parse(outer.ToBytes());
    char path[32];
    for (int i = 0; i < 3; ++i) {
        std::snprintf(path, sizeof path, "A4.A4.A0(%d).81", i);
        SCOPED_TRACE(path);
        EXPECT_EQ(BV2H(r.GetResponseParameter(path)), tracks[i]);
    }
    // A fourth track is absent: the result is empty (a card-data reader treats 3 bytes or
    // fewer as no track).
    EXPECT_TRUE(r.GetResponseParameter("A4.A4.A0(3).81").empty());
    EXPECT_TRUE(r.GetResponseParameter("A4.A5.A0(0).81").empty());
    EXPECT_TRUE(r.GetResponseParameter("9F.81").empty());
    EXPECT_TRUE(r.GetResponseParameter("C1").empty());
    EXPECT_EQ(r.GetResponseParameter("A4.9F39"), Bytes{0x90});
    EXPECT_THROW(r.GetResponseParameter("Z4.A4"), std::invalid_argument);
}

// ---- notifications ----

TEST(AsterNotificationTest, EventDescriptionForms) {
    struct {
        const char* name;
        std::string hex;
        unsigned char fields[5];  // priority, source, section, event, reason
        std::string additional;
    } cases[] = {
        {"five fields in P3",
         "AA00810403071001"
         "830501020304"
         "05",
         {1, 2, 3, 4, 5},
         ""},
        {"P2 with additional data in P3",
         "AA00810483071001"
         "820402030405"
         "8302ABCD",
         {0, 2, 3, 4, 5},
         "ABCD"},
        {"P2 without P3", "AAFF810403071001820402030405", {0, 2, 3, 4, 5}, ""},
        {"P2 with an empty P3", "AA008104030710018204020304058300", {0, 2, 3, 4, 5}, ""},
        {"short P3: missing fields are 0",
         "AA00810403071001830301020"
         "3",
         {1, 2, 3, 0, 0},
         ""},
        {"short P2: missing fields are 0", "AA00810403071001820102", {0, 2, 0, 0, 0}, ""},
        {"no event description", "AA00810403071001", {0, 0, 0, 0, 0}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const AsterNotification n = AsterNotification::Parse(c.hex);
        EXPECT_EQ(n.NotificationID, 0x1001);
        EXPECT_EQ(n.MessageID, 7);
        EXPECT_EQ(n.Priority, c.fields[0]);
        EXPECT_EQ(n.Source, c.fields[1]);
        EXPECT_EQ(n.Section, c.fields[2]);
        EXPECT_EQ(n.Event, c.fields[3]);
        EXPECT_EQ(n.Reason, c.fields[4]);
        EXPECT_EQ(BV2H(n.AddtionalData), c.additional);
        EXPECT_EQ(n.GetNotificationNode(), static_cast<unsigned>(c.fields[1]) << 24 |
                                               static_cast<unsigned>(c.fields[2]) << 16 |
                                               static_cast<unsigned>(c.fields[3]) << 8 |
                                               c.fields[4]);
        EXPECT_EQ(n.Raw, c.hex);
        EXPECT_EQ(n.Notification.ID(), 0x1001);
    }
    EXPECT_EQ(
        AsterNotification::Parse(std::string("AA00810403071001820481828384")).GetNotificationNode(),
        0x81828384u);
}

TEST(AsterNotificationTest, InnerFrameParameters) {
    const AsterNotification n =
        AsterNotification::Parse(H2BV("AA00810403071001820401020304"
                                      "840C1001"
                                      "8101FF"
                                      "A405"
                                      "A0038101"
                                      "EE"));
    EXPECT_EQ(n.Notification.ID(), 0x1001);
    EXPECT_EQ(n.GetNotificationParameter(static_cast<unsigned char>(0x81)), Bytes{0xFF});
    EXPECT_TRUE(n.GetNotificationParameter(static_cast<unsigned char>(0x82)).empty());
    EXPECT_EQ(n.GetNotificationParameter("A4.A0.81"), Bytes{0xEE});
    EXPECT_TRUE(n.GetNotificationParameter("A4.A0(1).81").empty());

    const AsterNotification made(0x2001, "AA00");
    EXPECT_EQ(made.NotificationID, 0);
    EXPECT_EQ(made.Notification.ID(), 0x2001);
    EXPECT_EQ(made.GetNotificationNode(), 0u);
}

TEST(AsterNotificationTest, FaultsAreErrorsWithText) {
    struct {
        const char* hex;
        const char* error;
    } cases[] = {
        {"AB00810403071001830501020304"
         "05",
         "Invalid frameword id"},
        {"AA0081050307100100830501020304"
         "05",
         "Invalid message type"},  // 5-byte header
        {"AA00810302071083050102030405", "Invalid message type"},
        {"AA00810402071001830501020304"
         "05",
         "Invalid message type"},
        {"AA00830501020304"
         "05",
         "Invalid message type"},
        {"AA0081040307100184011"
         "0",
         "invalid data"},
        {"AA", "invalid data"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hex);
        EXPECT_EQ(errorOf([&] { AsterNotification::Parse(std::string(c.hex)); }), c.error);
    }
}

// ---- file messages ----

TEST(AsterFileMessageTest, BuildsTheFileEnvelope) {
    const Bytes data = {0xDE, 0xAD, 0xBE, 0xEF, 0x00};
    const AsterFileMessage f(0x12345678, data, 0x1F05);
    EXPECT_EQ(f.ID(), 0xAA00);
    EXPECT_EQ(f.MessageID, 0);
    EXPECT_EQ(f.FileID, 0x12345678ul);
    EXPECT_EQ(f.ORBCommandID, 0x1F05);
    EXPECT_EQ(f.FileData, data);
    EXPECT_EQ(BV2H(f.ToBytes()),
              "AA00"
              "8108"
              "04001F0512345678"
              "8405"
              "DEADBEEF00");

    // A large file needs the long length form.
    const AsterFileMessage big(1, Bytes(70000, 0x5A), 0x1F06);
    const Bytes wire = big.ToBytes();
    EXPECT_EQ(BV2H(Bytes(wire.begin(), wire.begin() + 17)),
              "AA008108"
              "04001F0600000001"
              "8483011170");
    const AsterFileMessage back = AsterFileMessage::ParseFileMessage(wire);
    EXPECT_EQ(back.FileData, Bytes(70000, 0x5A));
    EXPECT_EQ(back.FileID, 1ul);
    EXPECT_EQ(back.ORBCommandID, 0x1F06);

    // The identifier is 32 bits on the wire: wider values are cut rather than breaking P1.
    const AsterFileMessage wide(0x1AABBCCDDul, data, 0x0001);
    EXPECT_EQ(wide.FileID, 0xAABBCCDDul);
    EXPECT_EQ(wide.GetParameter(1).size(), 8u);
}

TEST(AsterFileMessageTest, ParseChecksInOrder) {
    const AsterFileMessage f =
        AsterFileMessage::ParseFileMessage(H2BV("AAFF8108"
                                                "84021F05000000FF"
                                                "840301020"
                                                "3"));
    EXPECT_EQ(f.FileID, 0xFFul);
    EXPECT_EQ(f.ORBCommandID, 0x1F05);
    EXPECT_EQ(f.FileData, (Bytes{1, 2, 3}));
    EXPECT_EQ(f.MessageID, 0);
    EXPECT_EQ(f.ID(), 0xAA00);

    struct {
        const char* name;
        const char* hex;
        const char* error;
    } cases[] = {
        {"foreign framework",
         "AA018108"
         "04001F0500000001"
         "840101",
         "Invalid frameword id"},
        {"6-byte header",
         "AA008106"
         "04001F050000"
         "840101",
         "File message need 6 bytes in P1"},
        {"9-byte header",
         "AA008109"
         "04001F050000000100"
         "840101",
         "File message need 6 bytes in P1"},
        {"no header", "AA00840101", "File message need 6 bytes in P1"},
        {"wrong type and no payload",
         "AA008108"
         "03001F0500000001",
         "Message Type is not file"},
        {"empty payload",
         "AA008108"
         "04001F0500000001"
         "8400",
         "File message must have a payload - P4!"},
        {"no payload",
         "AA008108"
         "04001F0500000001",
         "File message must have a payload - P4!"},
        {"too short", "AA", "invalid data"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(errorOf([&] { AsterFileMessage::ParseFileMessage(H2BV(c.hex)); }), c.error);
    }
}
}  // namespace
