// The serial engine's packet routing: notification chunks with their 2-byte length, short and
// malformed chunks, and card data from the line's card-data channel.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "KestrelSerial.h"
#include "SwipeCard.h"

namespace {

struct Recorder : Cardova_Delegate {
    std::vector<std::string> errors;
    std::vector<std::pair<unsigned short, std::vector<unsigned char>>> notes;
    std::vector<ECardDataStateValues> cards;
    void OnError(Cardova*, int, char* m) override { errors.emplace_back(m); }
    void OnDeviceChange(Cardova*, EDeviceStateValues) override {}
    void OnCardUpdate(Cardova*, ECardDataStateValues s) override { cards.push_back(s); }
    void OnNotification(Cardova*, unsigned short id, const unsigned char* d, int n) override {
        notes.push_back({id, std::vector<unsigned char>(d, d + n)});
    }
};

std::vector<unsigned char> chunk(int chunkLen, int offset, int id, int total,
                                 std::vector<unsigned char> data) {
    std::vector<unsigned char> p;
    p.reserve(9 + data.size());
    p.push_back(0x02);
    for (int v : {chunkLen, offset, id, total}) {
        p.push_back(static_cast<unsigned char>(v >> 8));
        p.push_back(static_cast<unsigned char>(v & 0xFF));
    }
    p.insert(p.end(), data.begin(), data.end());
    return p;
}

TEST(KestrelSerial, NotificationChunks) {
    struct Case {
        const char* what;
        std::vector<std::vector<unsigned char>> packets;
        size_t notes;
        std::vector<unsigned char> data;
        size_t errors;
    };
    std::vector<unsigned char> ten(10, 0x5A), big(300, 0x11);
    const std::vector<Case> cases = {
        {"one chunk", {chunk(3, 0, 0x300, 3, {1, 2, 3})}, 1, {1, 2, 3}, 0},
        {"8-byte packet is ignored", {std::vector<unsigned char>(8, 0x02)}, 0, {}, 0},
        {"length 20 with 10 bytes present copies 10",
         {chunk(20, 0, 0x300, 20, ten), chunk(10, 10, 0x300, 20, ten)},
         1,
         std::vector<unsigned char>(20, 0x5A),
         0},
        {"two chunks beyond 256 bytes",
         {chunk(256, 0, 0x303, 300, std::vector<unsigned char>(256, 0x11)),
          chunk(44, 256, 0x303, 300, std::vector<unsigned char>(44, 0x11))},
         1,
         big,
         0},
        {"empty notification", {chunk(0, 0, 0x304, 0, {})}, 1, {}, 0},
        {"zero chunk length", {chunk(0, 0, 0x304, 5, {1, 2, 3, 4, 5})}, 0, {}, 1},
        {"second chunk of another message",
         {chunk(2, 0, 0x300, 4, {1, 2}), chunk(2, 2, 0x301, 4, {3, 4})},
         0,
         {},
         1},
    };
    for (const auto& c : cases) {
        KestrelSerial engine;
        Recorder rec;
        engine.setDelegate(&rec);
        for (auto p : c.packets) engine.onData(nullptr, p.data(), static_cast<int>(p.size()));
        ASSERT_EQ(rec.notes.size(), c.notes) << c.what;
        if (c.notes) {
            EXPECT_EQ(rec.notes[0].second, c.data) << c.what;
        }
        EXPECT_EQ(rec.errors.size(), c.errors) << c.what;
        engine.setDelegate(nullptr);
    }
}

TEST(KestrelSerial, CardDataOfTheLineChannel) {
    auto card = sim::swipe::isoMastercardCard();
    std::string tracks = card.track1 + card.track2;
    auto report = sim::swipe::buildCardReport(card, sim::swipe::swipeModel(0x0001), {}, 0x01);
    auto hexOf = [](const std::vector<unsigned char>& b) {
        static const char* d = "0123456789ABCDEF";
        std::vector<unsigned char> out{0xC0};
        for (unsigned char v : b) {
            out.push_back(static_cast<unsigned char>(d[v >> 4]));
            out.push_back(static_cast<unsigned char>(d[v & 15]));
        }
        return out;
    };
    for (const auto& packet :
         {hexOf(std::vector<unsigned char>(tracks.begin(), tracks.end())), hexOf(report)}) {
        KestrelSerial engine;
        Recorder rec;
        engine.setDelegate(&rec);
        engine.onData(nullptr, const_cast<unsigned char*>(packet.data()),
                      static_cast<int>(packet.size()));
        ASSERT_EQ(rec.cards, std::vector<ECardDataStateValues>{STRIX_DATA_READY});
        VLMSRDATA r = engine.getCardData();
        EXPECT_STREQ(r.m_szPAN, "5454545454545454");
        EXPECT_STREQ(r.m_szTrack2Data, card.track2.c_str());
        engine.setDelegate(nullptr);
    }
}

}  // namespace
