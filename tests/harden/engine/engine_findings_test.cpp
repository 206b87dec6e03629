// Faults of the swipe engine found by fuzzing, kept as tests: long extended commands, and serial
// lines of hex digits that are not whole bytes.
#include <gtest/gtest.h>

#include <string>

#include "ErrorCodes.h"
#include "FormatFilter.h"
#include "FrameFIFO.h"
#include "engine_fixture.h"

namespace {

std::string hexBytes(size_t n) {
    static const char d[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += d[(i >> 4) & 15];
        s += d[i & 15];
    }
    return s;
}

// Extended commands are cut into chunks of 52 data bytes with a 9-byte header each, and the
// composed chunks are sent in 61-byte pieces. Commands whose composed form is larger than the
// plain command buffer (4 KiB), up to the largest (65,535 data bytes), go out whole.
TEST(LongExtendedCommand, EveryDataLengthUpToTheLargestIsSentWhole) {
    const size_t lengths[] = {52, 4000, 4096, 20000, 65535};
    for (size_t n : lengths) {
        SCOPED_TRACE(n);
        RecordingDelegate delegate;
        TestEngine<Kestrel> engine;
        auto* link = new ScriptedConnection();  // owned by the engine
        engine.configure(modelRow(0x0019));
        engine.attach(link);
        engine.setDelegate(&delegate);
        const size_t chunks = (n + 51) / 52;
        const size_t composed = chunks * 9 + n;
        const size_t pieces = (composed + 60) / 61;
        for (size_t i = 1; i < pieces; ++i) link->answers.push_back(Bytes{1, 0x0B, 0});
        std::string command = "0303:" + hexBytes(n);
        ASSERT_EQ(engine.sendCommand(reinterpret_cast<unsigned char*>(&command[0]),
                                     static_cast<int>(command.size())),
                  ERROR_NO_ERR);
        ASSERT_EQ(link->sent.size(), pieces);
        Bytes all;
        for (const Bytes& piece : link->sent) all.insert(all.end(), piece.begin(), piece.end());
        ASSERT_EQ(all.size(), composed);
        // The data comes back from the chunks in order.
        Bytes data;
        for (size_t at = 0; at < all.size();) {
            ASSERT_EQ(all[at + 1], 0x49);
            const size_t count = all[at + 2] - 6u;
            EXPECT_EQ(static_cast<size_t>(all[at + 3] << 8 | all[at + 4]), data.size());
            EXPECT_EQ(static_cast<size_t>(all[at + 7] << 8 | all[at + 8]), n);
            data.insert(data.end(), all.begin() + static_cast<long>(at + 9),
                        all.begin() + static_cast<long>(at + 9 + count));
            at += 9 + count;
        }
        ASSERT_EQ(data.size(), n);
        for (size_t i = 0; i < n; ++i) ASSERT_EQ(data[i], static_cast<unsigned char>(i)) << i;
        engine.setDelegate(nullptr);
    }
}

std::string hexOf(const std::string& raw) {
    static const char d[] = "0123456789ABCDEF";
    std::string s;
    for (unsigned char c : raw) {
        s += d[c >> 4];
        s += d[c & 15];
    }
    return s;
}

// LEGACY lines: whole bytes of hex are a response, track text is card data, and a hex line cut
// inside a byte delivers nothing (it was handed on as a response that is not whole bytes).
TEST(LegacyLines, ResponsesAreWholeBytes) {
    const struct {
        const char* line;
        int count;  // FilterInput's result
        int channel;
        const char* payload;
    } cases[] = {
        {"9000\r", 2, FormatFilter::RESPONSE, "9000"},
        {"0A1B22C\r", 0, 0, ""},
        {"A\r", 0, 0, ""},
        {"%B41^A/B^25?\r", 12, FormatFilter::MSR_CARD_DATA, "254234315E412F425E32353F"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        auto filter = FormatFilter::GetFilter("LEGACY");
        std::string name, payload;
        int channel = 0;
        EXPECT_EQ(filter->FilterInput(hexOf(c.line), name, channel, payload), c.count);
        EXPECT_EQ(channel, c.channel);
        EXPECT_EQ(payload, c.payload);
        // The filter goes on with the next line.
        payload.clear();
        EXPECT_EQ(filter->FilterInput(hexOf("6F00\r"), name, channel, payload), 2);
        EXPECT_EQ(payload, "6F00");
    }
}

// A SLIP line that carries noise and no frame for a long time: the queue keeps at most what could
// still begin a frame, and the next frame after the noise is cut whole.
TEST(SlipQueue, NoiseBeforeAFrameIsNotKept) {
    FrameFIFO fifo("\xC0", "\xC0");
    std::string frame;
    for (int i = 0; i < 10000; ++i) {
        fifo.add(std::string(100, static_cast<char>(0x20 + i % 64)));
        ASSERT_FALSE(fifo.nextFrame(frame));
        ASSERT_LE(fifo.size(), 1u);
    }
    fifo.add(
        "noise\xC0"
        "frame");
    ASSERT_FALSE(fifo.nextFrame(frame));
    fifo.add("\xC0");
    ASSERT_TRUE(fifo.nextFrame(frame));
    EXPECT_EQ(frame, "frame");
}

// A BREVO line that never ends: the filter drops it once it is longer than any line can be, and
// reads the next line whole.
TEST(BrevoLines, EndlessNoiseIsDropped) {
    auto filter = FormatFilter::GetFilter("BREVO");
    std::string name, payload;
    int channel = 0;
    const std::string noise = hexOf(std::string(1000, 'x'));
    for (int i = 0; i < 200; ++i) ASSERT_LT(filter->FilterInput(noise, name, channel, payload), 0);
    EXPECT_EQ(filter->FilterInput(hexOf(std::string("\r\x04\x00\x02\x90\x00\r", 7)), name, channel,
                                  payload),
              0);  // what was left of the noise
    EXPECT_EQ(filter->FilterInput("", name, channel, payload), 4);
    EXPECT_EQ(channel, FormatFilter::RESPONSE);
    EXPECT_EQ(payload, "00029000");
}

}  // namespace
