// Extended commands, chunked command sending, extended responses with busy answers, and
// notification reassembly, against a scripted connection.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ErrorCodes.h"
#include "engine_fixture.h"

namespace {

unsigned char* text(std::string& s) {
    return reinterpret_cast<unsigned char*>(&s[0]);
}

std::string hexBytes(size_t n, unsigned char first = 0) {
    static const char d[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        unsigned char b = static_cast<unsigned char>(first + i);
        s += d[b >> 4];
        s += d[b & 15];
    }
    return s;
}

unsigned be16(const Bytes& b, size_t at) {
    return (b[at] << 8) | b[at + 1];
}

TEST(ExtendedCommand, ComposesChunksOf52DataBytes) {
    const struct {
        size_t dataBytes;
        std::vector<size_t> chunkSizes;
    } cases[] = {{0, {9}},       {1, {10}},       {52, {61}},
                 {53, {61, 10}}, {104, {61, 61}}, {105, {61, 61, 10}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dataBytes);
        Kestrel engine;
        std::string command = "0303:" + hexBytes(c.dataBytes, 0x20);
        Bytes buffer(4096, 0);
        int length = static_cast<int>(buffer.size());
        ASSERT_TRUE(engine.composeExtendedCommand(text(command), static_cast<int>(command.size()),
                                                  buffer.data(), &length));
        size_t total = 0;
        for (size_t n : c.chunkSizes) total += n;
        ASSERT_EQ(static_cast<size_t>(length), total);
        size_t at = 0;
        size_t dataOffset = 0;
        for (size_t n : c.chunkSizes) {
            EXPECT_EQ(buffer[at], 0x01);
            EXPECT_EQ(buffer[at + 1], 0x49);
            EXPECT_EQ(buffer[at + 2], 6 + (n - 9));
            EXPECT_EQ(be16(buffer, at + 3), dataOffset);
            EXPECT_EQ(buffer[at + 5], 0x03);
            EXPECT_EQ(buffer[at + 6], 0x03);
            EXPECT_EQ(be16(buffer, at + 7), c.dataBytes);
            for (size_t i = 0; i < n - 9; ++i)
                EXPECT_EQ(buffer[at + 9 + i], static_cast<unsigned char>(0x20 + dataOffset + i));
            dataOffset += n - 9;
            at += n;
        }
    }
}

TEST(ExtendedCommand, RejectsMalformedTextAndReportsTheSizeNeeded) {
    const char* bad[] = {"03:00", "030303:00", "0G03:00", "0303:0X", ""};
    for (const char* b : bad) {
        SCOPED_TRACE(b);
        Kestrel engine;
        std::string command = b;
        Bytes buffer(256);
        int length = 256;
        EXPECT_FALSE(engine.composeExtendedCommand(command.empty() ? nullptr : text(command),
                                                   static_cast<int>(command.size()), buffer.data(),
                                                   &length));
    }
    Kestrel engine;
    std::string command = "0303:" + hexBytes(105);
    Bytes buffer(100);
    int length = 100;
    EXPECT_FALSE(engine.composeExtendedCommand(text(command), static_cast<int>(command.size()),
                                               buffer.data(), &length));
    EXPECT_EQ(length, 132);
}

struct Bench {
    RecordingDelegate delegate;  // outlives the engine, which reports its closing
    TestEngine<Kestrel> engine;
    ScriptedConnection* link = new ScriptedConnection();  // owned by the engine
    Bench() {
        engine.configure(modelRow(0x0019));
        engine.attach(link);
        engine.setDelegate(&delegate);
    }
    int send(std::string command) {
        return engine.sendCommand(text(command), static_cast<int>(command.size()));
    }
};

Bytes status(unsigned char s) {
    return Bytes{1, s, 0};
}

TEST(ExtendedCommand, SendsLongReportsIn61BytePieces) {
    const struct {
        const char* what;
        std::string command;
        std::vector<size_t> pieces;
    } cases[] = {
        {"plain command of 61 bytes", "48" + hexBytes(58), {61}},
        {"plain command of 62 bytes", "48" + hexBytes(59), {61, 1}},
        {"extended, no data", "0303:", {9}},
        {"extended, 105 data bytes", "0303:" + hexBytes(105), {61, 61, 10}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bench bench;
        for (size_t i = 1; i < c.pieces.size(); ++i) bench.link->answers.push_back(status(0x0B));
        ASSERT_EQ(bench.send(c.command), ERROR_NO_ERR);
        ASSERT_EQ(bench.link->sent.size(), c.pieces.size());
        for (size_t i = 0; i < c.pieces.size(); ++i)
            EXPECT_EQ(bench.link->sent[i].size(), c.pieces[i]);
        EXPECT_EQ(bench.link->sent[0][0], 0x01);
        // Every pacing answer was read between the pieces.
        EXPECT_TRUE(bench.link->answers.empty());
    }
}

TEST(ExtendedCommand, LongExtendedCommandIsSentWhole) {
    // 4000 data bytes: 76 full chunks and one of 48 bytes, 4693 bytes in all.
    Bench bench;
    for (int i = 0; i < 76; ++i) bench.link->answers.push_back(status(0x0B));
    ASSERT_EQ(bench.send("0303:" + hexBytes(4000)), ERROR_NO_ERR);
    ASSERT_EQ(bench.link->sent.size(), 77u);
    EXPECT_EQ(bench.link->sent.back().size(), 9u + 48u);
    EXPECT_EQ(be16(bench.link->sent.back(), 3), 76u * 52u);
    EXPECT_EQ(be16(bench.link->sent.back(), 7), 4000u);
}

TEST(ExtendedCommand, TransportErrorStopsTheSending) {
    Bench bench;
    bench.link->failSendAt = 1;
    bench.link->answers.push_back(status(0x00));
    EXPECT_EQ(bench.send("0303:" + hexBytes(105)), ERROR_BAD_COMMUNICATION);
    EXPECT_EQ(bench.link->sent.size(), 1u);
    EXPECT_EQ(bench.send("zz"), ERROR_INVALID_PARAMETERS);
}

TEST(ExtendedCommand, PacingAnswers) {
    const struct {
        Bytes answer;
        bool readable;
        int rc;
    } cases[] = {{status(0x00), true, 0},  {status(0x0A), true, 0},  {status(0x0B), true, 0},
                 {status(0x0C), true, 17}, {status(0x01), true, 17}, {{}, false, 0}};
    for (const auto& c : cases) {
        Bench bench;
        if (c.readable) bench.link->answers.push_back(c.answer);
        EXPECT_EQ(bench.engine.waitForMore(), c.rc);
    }
}

// One chunk of an extended response: report ID, 0x0A, 6 + n, offset, result code, total, data.
Bytes responseChunk(unsigned offset, unsigned total, size_t n, unsigned code = 0x0123) {
    Bytes c{1,
            0x0A,
            static_cast<unsigned char>(6 + n),
            static_cast<unsigned char>(offset >> 8),
            static_cast<unsigned char>(offset),
            static_cast<unsigned char>(code >> 8),
            static_cast<unsigned char>(code),
            static_cast<unsigned char>(total >> 8),
            static_cast<unsigned char>(total)};
    for (size_t i = 0; i < n; ++i) c.push_back(static_cast<unsigned char>(offset + i));
    return c;
}

size_t countNextRequests(const ScriptedConnection& link) {
    size_t n = 0;
    for (const Bytes& s : link.sent)
        if (s == Bytes{0x01, 0x4A, 0x00}) ++n;
    return n;
}

TEST(ExtendedResponse, ThreeChunksWithBusyAnswers) {
    const struct {
        const char* what;
        int busyBetween;
    } cases[] = {{"no busy answers", 0}, {"two busy answers", 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bench bench;
        auto& a = bench.link->answers;
        a.push_back(responseChunk(0, 120, 52));
        for (int i = 0; i < c.busyBetween; ++i) a.push_back(status(i % 2 ? 0x0C : 0x0B));
        a.push_back(responseChunk(52, 120, 52));
        a.push_back(responseChunk(104, 120, 16));
        Bytes buffer(8192);
        int length = static_cast<int>(buffer.size());
        ASSERT_EQ(bench.engine.getResponse(buffer.data(), &length), ERROR_NO_ERR);
        EXPECT_EQ(length, 61 + 61 + 25);
        EXPECT_EQ(countNextRequests(*bench.link), 2u + c.busyBetween);

        char out[1024];
        int outLen = sizeof out;
        ASSERT_EQ(bench.engine.MakeHexStringFromResponse(buffer.data(), length, out, &outLen),
                  ERROR_NO_ERR);
        EXPECT_EQ(outLen, 240);
        EXPECT_EQ(std::string(out), hexBytes(120));
        EXPECT_EQ(bench.engine.getResultCode(), 0x0123);
    }
}

TEST(ExtendedResponse, BusyBudgetIs30Answers) {
    const struct {
        int busy;
        int rc;
        size_t nextRequests;
    } cases[] = {{30, ERROR_NO_ERR, 30}, {31, ERROR_DEVICE_TIMEOUT, 30}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.busy);
        Bench bench;
        for (int i = 0; i < c.busy; ++i) bench.link->answers.push_back(status(0x0B));
        bench.link->answers.push_back(Bytes{1, 0x00, 1, 0x42});  // the answer, or the one drained
        Bytes buffer(8192);
        int length = static_cast<int>(buffer.size());
        EXPECT_EQ(bench.engine.getResponse(buffer.data(), &length), c.rc);
        EXPECT_EQ(countNextRequests(*bench.link), c.nextRequests);
        EXPECT_TRUE(bench.link->answers.empty());
    }
}

TEST(ExtendedResponse, PlainAnswersAndAnswersThatDoNotFit) {
    Bench bench;
    bench.link->answers.push_back(Bytes{1, 0x00, 2, 0xBE, 0xEF});
    Bytes buffer(8192);
    int length = static_cast<int>(buffer.size());
    ASSERT_EQ(bench.engine.getResponse(buffer.data(), &length), ERROR_NO_ERR);
    EXPECT_EQ(length, 61);
    char out[64];
    int outLen = sizeof out;
    EXPECT_EQ(bench.engine.MakeHexStringFromResponse(buffer.data(), length, out, &outLen), 0);
    EXPECT_STREQ(out, "BEEF");

    // An extended answer larger than the caller's buffer.
    bench.link->answers.push_back(responseChunk(0, 60, 52));
    bench.link->answers.push_back(responseChunk(52, 60, 8));
    length = 70;
    EXPECT_EQ(bench.engine.getResponse(buffer.data(), &length), ERROR_BUFFER_INSUFFICIENT);
    // A chunk announcing more data than the report holds.
    Bytes broken = responseChunk(0, 60, 52);
    broken[2] = 0;  // 256
    bench.link->answers.push_back(broken);
    bench.link->answers.push_back(status(0));  // drained
    length = 8192;
    EXPECT_EQ(bench.engine.getResponse(buffer.data(), &length), ERROR_BAD_COMMUNICATION);
    EXPECT_TRUE(bench.link->answers.empty());
    // No answer at all: the transport's error.
    length = 8192;
    EXPECT_EQ(bench.engine.getResponse(buffer.data(), &length), ERROR_BAD_COMMUNICATION);
}

TEST(ExtendedResponse, FormattingRejectsInconsistentChunks) {
    auto join = [](std::vector<Bytes> chunks) {
        Bytes all;
        for (auto& c : chunks) all.insert(all.end(), c.begin(), c.end());
        return all;
    };
    Bytes outside = responseChunk(52, 60, 52);
    const struct {
        const char* what;
        Bytes buffer;
        int rc;
        const char* hex;
    } cases[] = {
        {"different totals", join({responseChunk(0, 60, 52), responseChunk(52, 70, 8)}), 17, ""},
        {"data past the total", join({responseChunk(0, 60, 52), outside}), 17, ""},
        {"last chunk missing", join({responseChunk(0, 60, 52)}), 17, ""},
        {"empty response", responseChunk(0, 0, 0), 0, ""},
        {"two chunks", join({responseChunk(0, 53, 52), responseChunk(52, 53, 1)}), 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Kestrel engine;
        Bytes b = c.buffer;
        char out[256];
        int outLen = sizeof out;
        EXPECT_EQ(
            engine.MakeHexStringFromResponse(b.data(), static_cast<int>(b.size()), out, &outLen),
            c.rc);
        EXPECT_EQ(std::string(out), c.hex != nullptr ? c.hex : hexBytes(53));
    }
}

// A notification chunk: report ID 2, count (0 = 256), offset, message ID, total, data.
Bytes notificationChunk(unsigned offset, unsigned id, unsigned total, size_t n) {
    Bytes c{2,
            0,
            static_cast<unsigned char>(n & 0xFF),
            static_cast<unsigned char>(offset >> 8),
            static_cast<unsigned char>(offset),
            static_cast<unsigned char>(id >> 8),
            static_cast<unsigned char>(id),
            static_cast<unsigned char>(total >> 8),
            static_cast<unsigned char>(total)};
    for (size_t i = 0; i < n; ++i) c.push_back(static_cast<unsigned char>((offset + i) * 7));
    return c;
}

Bytes expectedNotification(size_t n) {
    Bytes b;
    for (size_t i = 0; i < n; ++i) b.push_back(static_cast<unsigned char>(i * 7));
    return b;
}

TEST(Notifications, ReassemblesChunks) {
    Bench bench;
    bench.link->input(notificationChunk(0, 0x1801, 300, 256));
    EXPECT_TRUE(bench.delegate.notifications.empty());
    bench.link->input(notificationChunk(256, 0x1801, 300, 44));
    ASSERT_EQ(bench.delegate.notifications.size(), 1u);
    EXPECT_EQ(bench.delegate.notifications[0].id, 0x1801);
    EXPECT_EQ(bench.delegate.notifications[0].data, expectedNotification(300));

    bench.link->input(notificationChunk(0, 0x0002, 0, 0));
    ASSERT_EQ(bench.delegate.notifications.size(), 2u);
    EXPECT_TRUE(bench.delegate.notifications[1].nullData);
    EXPECT_EQ(bench.delegate.notifications[1].id, 0x0002);

    bench.link->input(notificationChunk(0, 0x0003, 5, 5));
    ASSERT_EQ(bench.delegate.notifications.size(), 3u);
    EXPECT_EQ(bench.delegate.notifications[2].data, expectedNotification(5));
    EXPECT_TRUE(bench.delegate.errors.empty());
}

TEST(Notifications, MalformedChunksAreDroppedWithTheirError) {
    const char* kLength = "Invalid notification package data length!";
    const char* kHeader = "Header is not match!";
    Bytes announcesMore = notificationChunk(0, 1, 100, 10);
    announcesMore[2] = 20;  // 20 announced, 10 present
    const struct {
        const char* what;
        std::vector<Bytes> chunks;
        const char* error;
    } cases[] = {
        {"second chunk with another message ID",
         {notificationChunk(0, 1, 100, 50), notificationChunk(50, 2, 100, 50)},
         kHeader},
        {"second chunk with another total",
         {notificationChunk(0, 1, 100, 50), notificationChunk(50, 1, 120, 50)},
         kHeader},
        {"first chunk not at offset 0", {notificationChunk(10, 1, 100, 50)}, kLength},
        {"chunk past the total",
         {notificationChunk(0, 1, 100, 50), notificationChunk(50, 1, 100, 60)},
         kLength},
        {"gap between chunks",
         {notificationChunk(0, 1, 100, 40), notificationChunk(50, 1, 100, 50)},
         kLength},
        {"chunk announces more data than it holds", {announcesMore}, kLength},
        {"report shorter than a header", {Bytes{2, 0, 1, 0, 0}}, kLength},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bench bench;
        for (const Bytes& chunk : c.chunks) bench.link->input(chunk);
        EXPECT_TRUE(bench.delegate.notifications.empty());
        ASSERT_EQ(bench.delegate.errors.size(), 1u);
        EXPECT_EQ(bench.delegate.errors[0].first, ERROR_BAD_COMMUNICATION);
        EXPECT_EQ(bench.delegate.errors[0].second, c.error);
        // The next notification starts clean.
        bench.link->input(notificationChunk(0, 9, 3, 3));
        ASSERT_EQ(bench.delegate.notifications.size(), 1u);
        EXPECT_EQ(bench.delegate.notifications[0].id, 9);
    }
}

TEST(InputReports, RoutedByReportId) {
    Bench bench;
    Bytes card(338, 0);
    card[0] = 1;
    bench.link->input(card);
    bench.link->input(Bytes{3, 1, 2, 3});
    bench.link->input(Bytes{0, 1, 2, 3});
    bench.link->input(Bytes{});
    EXPECT_EQ(bench.delegate.cardStates, std::vector<ECardDataStateValues>{STRIX_DATA_READY});
    EXPECT_TRUE(bench.delegate.notifications.empty());
    EXPECT_TRUE(bench.delegate.errors.empty());
}

TEST(StartUp, SendsCommand4800AndReadsItsAnswer) {
    Bench bench;
    bench.link->answers.push_back(Bytes{1, 0x00, 0});
    bench.engine.afterOpen();
    ASSERT_EQ(bench.link->sent.size(), 1u);
    EXPECT_EQ(bench.link->sent[0], (Bytes{0x01, 0x48, 0x01, 0x00}));
    EXPECT_TRUE(bench.link->answers.empty());
}

}  // namespace
