// Stream decoders of the serial line formats: frame cutting, run-length decoding and the four
// filters' input and output.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FormatFilter.h"
#include "FrameFIFO.h"
#include "RLE.h"
#include "SwipeLine.h"

namespace {

std::string hexOf(const std::vector<uint8_t>& b) {
    static const char* d = "0123456789ABCDEF";
    std::string s;
    for (uint8_t v : b) {
        s += d[v >> 4];
        s += d[v & 15];
    }
    return s;
}
std::string hexOf(const std::string& raw) {
    return hexOf(std::vector<uint8_t>(raw.begin(), raw.end()));
}

struct Delivery {
    int result;
    int channel;
    std::string payload;
};

// Feeds each piece, then drains with "" until nothing more comes; records every delivery.
std::vector<Delivery> run(FormatFilter& f, const std::vector<std::string>& hexPieces) {
    std::vector<Delivery> out;
    for (const auto& piece : hexPieces) {
        std::string in = piece;
        for (;;) {
            std::string name, payload;
            int channel = -1;
            int n = f.FilterInput(in, name, channel, payload);
            in.clear();
            if (n < 0) break;
            out.push_back({n, n > 0 ? channel : -1, n > 0 ? payload : ""});
        }
    }
    return out;
}

TEST(FrameFifo, CutsFramesBetweenMarkers) {
    struct Case {
        const char* what;
        std::string stop, start;
        std::vector<std::string> pieces;
        std::vector<std::string> frames;
    };
    const std::vector<Case> cases = {
        {"line in one piece", "\r", "", {"0100\r"}, {"0100"}},
        {"line split over three pieces", "\r", "", {"01", "0", "0\r"}, {"0100"}},
        {"two lines back to back", "\r", "", {"AB\rCD\r"}, {"AB", "CD"}},
        {"incomplete line stays queued", "\r", "", {"AB"}, {}},
        {"slip frames back to back",
         "\xC0",
         "\xC0",
         {"\xC0"
          "a\xC0\xC0"
          "b\xC0"},
         {"a", "b"}},
        {"garbage before a slip frame is dropped",
         "\xC0",
         "\xC0",
         {"xy\xC0"
          "a\xC0"},
         {"a"}},
        {"empty frame is a frame",
         "\xC0",
         "\xC0",
         {"\xC0\xC0\xC0"
          "b\xC0"},
         {"", "b"}},
    };
    for (const auto& c : cases) {
        FrameFIFO fifo(c.stop, c.start);
        std::vector<std::string> got;
        for (const auto& p : c.pieces) {
            fifo.add(p);
            std::string f;
            while (fifo.nextFrame(f)) got.push_back(f);
        }
        EXPECT_EQ(got, c.frames) << c.what;
    }
}

TEST(Rle, DecodesRunsAndRejectsBadCoding) {
    struct Case {
        const char* what;
        std::string in;
        size_t capacity;
        bool ok;
        std::string out;
    };
    const std::vector<Case> cases = {
        {"literal bytes", "abc", 16, true, "abc"},
        {"run of five", std::string("xx\x05y"), 16, true, "xxxxxy"},
        {"run of zero bytes", std::string("\0\0\x03", 3), 16, true, std::string(3, '\0')},
        {"pair at the end without count", "abb", 16, false, ""},
        {"output past the buffer", std::string("zz\xFF"), 100, false, ""},
        {"output exactly fills the buffer", std::string("zz\x04"), 4, true, "zzzz"},
    };
    for (const auto& c : cases) {
        RLE rle(c.capacity);
        std::string out;
        EXPECT_EQ(rle.decode(c.in, out), c.ok) << c.what;
        if (c.ok) {
            EXPECT_EQ(out, c.out) << c.what;
        }
    }
    // The simulated reader's encoder and the decoder agree on long runs and escapes alike.
    std::vector<uint8_t> plain(700, 0);
    plain[3] = 0xC0;
    plain[500] = 7;
    auto enc = sim::swipe::rleEncode(plain);
    std::string decoded;
    ASSERT_TRUE(RLE(4096).decode(std::string(enc.begin(), enc.end()), decoded));
    EXPECT_EQ(decoded, std::string(plain.begin(), plain.end()));
}

TEST(FormatFilters, OutputBytesPerFormat) {
    struct Case {
        const char* format;
        std::string command;
        std::string bytes;  // hex of what goes on the line
    };
    const std::vector<Case> cases = {
        {"NONE", "000103", "303030313033"},     {"LEGACY", "000103", "3030303130330D"},
        {"BREVO", "000103", "0001030D"},        {"SLIP", "000103", "C0050003000103C0"},
        {"SLIP", "C0DB", "C0050002DBDCDBDDC0"},
    };
    for (const auto& c : cases) {
        auto f = FormatFilter::GetFilter(c.format);
        std::string name, hex;
        int channel = 0;
        int n = f->FilterOutput(c.command, name, channel, hex);
        EXPECT_EQ(hex, c.bytes) << c.format << " " << c.command;
        EXPECT_EQ(n, static_cast<int>(c.bytes.size() / 2)) << c.format;
    }
    EXPECT_THROW(FormatFilter::GetFilter("slip"), std::invalid_argument);
    EXPECT_THROW(FormatFilter::GetFilter("V5"), std::invalid_argument);
}

TEST(FormatFilters, InputFramesPerFormat) {
    using sim::swipe::rleEncode;
    using sim::swipe::slipFrame;
    using sim::swipe::slipMessage;
    const std::vector<uint8_t> chunk = {0x00, 0x03, 0x00, 0x00, 0x03, 0x01,
                                        0x00, 0x03, 0xC0, 0xDB, 0x0D};
    auto slipNotif = hexOf(slipFrame(slipMessage(2, chunk.size(), chunk)));
    auto slipNotifRle = hexOf(slipFrame(slipMessage(3, chunk.size(), rleEncode(chunk))));
    auto slipBadLength = hexOf(slipFrame(slipMessage(2, chunk.size() + 1, chunk)));
    auto slipResponse = hexOf(slipFrame(slipMessage(4, 3, {0x00, 0x01, 0x41})));
    std::string brevoResp =
        "04"
        "0003"
        "0D0A0B"
        "0D";  // status 0, 3 data bytes, one is 0x0D
    std::string brevoNotif = "02" + hexOf(chunk) + "0D";
    struct Case {
        const char* what;
        const char* format;
        std::vector<std::string> pieces;
        std::vector<Delivery> expect;
    };
    const std::string chunkHex = hexOf(chunk);
    const std::vector<Case> cases = {
        {"none: any bytes are a response", "NONE", {"000141"}, {{3, 2, "000141"}}},
        {"legacy: hex line is a response",
         "LEGACY",
         {hexOf(std::string("000141\r"))},
         {{3, 2, "000141"}}},
        {"legacy: track line is card data",
         "LEGACY",
         {hexOf(std::string("%B41^X/Y^25?\r"))},
         {{12, 17, hexOf(std::string("%B41^X/Y^25?"))}}},
        {"legacy: line split over pieces",
         "LEGACY",
         {hexOf(std::string("00")), hexOf(std::string("00\r"))},
         {{2, 2, "0000"}}},
        {"brevo: response with a 0x0D data byte", "BREVO", {brevoResp}, {{5, 2, "00030D0A0B"}}},
        {"brevo: notification without its kind byte",
         "BREVO",
         {brevoNotif},
         {{static_cast<int>(chunk.size()), 3, chunkHex}}},
        {"brevo: two lines in one read",
         "BREVO",
         {brevoResp + brevoNotif},
         {{5, 2, "00030D0A0B"}, {static_cast<int>(chunk.size()), 3, chunkHex}}},
        {"slip: escapes restored",
         "SLIP",
         {slipNotif},
         {{static_cast<int>(chunk.size()), 3, chunkHex}}},
        {"slip: run-length coded notification has the plain shape",
         "SLIP",
         {slipNotifRle},
         {{static_cast<int>(chunk.size()), 3, chunkHex}}},
        {"slip: length mismatch delivers nothing", "SLIP", {slipBadLength}, {{0, -1, ""}}},
        {"slip: back-to-back frames in one read",
         "SLIP",
         {slipResponse + slipNotif},
         {{3, 2, "000141"}, {static_cast<int>(chunk.size()), 3, chunkHex}}},
        {"slip: frame split mid-escape",
         "SLIP",
         {slipNotif.substr(0, 18), slipNotif.substr(18, 2), slipNotif.substr(20)},
         {{static_cast<int>(chunk.size()), 3, chunkHex}}},
    };
    for (const auto& c : cases) {
        auto f = FormatFilter::GetFilter(c.format);
        auto got = run(*f, c.pieces);
        ASSERT_EQ(got.size(), c.expect.size()) << c.what;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].result, c.expect[i].result) << c.what << " #" << i;
            EXPECT_EQ(got[i].channel, c.expect[i].channel) << c.what << " #" << i;
            EXPECT_EQ(got[i].payload, c.expect[i].payload) << c.what << " #" << i;
        }
    }
}

TEST(FormatFilters, EachFilterKeepsItsOwnPartialFrame) {
    // Two lines interleaved piece by piece: with a shared queue the halves would mix.
    auto a = FormatFilter::GetFilter("SLIP");
    auto b = FormatFilter::GetFilter("SLIP");
    auto fa = hexOf(sim::swipe::slipFrame(sim::swipe::slipMessage(4, 2, {0x00, 0xAA})));
    auto fb = hexOf(sim::swipe::slipFrame(sim::swipe::slipMessage(4, 2, {0x00, 0xBB})));
    auto half = [](const std::string& s, bool first) {
        return first ? s.substr(0, 6) : s.substr(6);
    };
    EXPECT_TRUE(run(*a, {half(fa, true)}).empty());
    EXPECT_TRUE(run(*b, {half(fb, true)}).empty());
    auto ra = run(*a, {half(fa, false)});
    auto rb = run(*b, {half(fb, false)});
    ASSERT_EQ(ra.size(), 1u);
    ASSERT_EQ(rb.size(), 1u);
    EXPECT_EQ(ra[0].payload, "00AA");
    EXPECT_EQ(rb[0].payload, "00BB");
}

}  // namespace
