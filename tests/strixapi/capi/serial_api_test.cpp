// The C API with readers on serial lines (pseudo-terminals) in each line format.
#include <unistd.h>

#include <thread>

#include "ErrorCodes.h"
#include "SerialSwipeReader.h"
#include "capi_fixture.h"

namespace {

using sim::swipe::LineFormat;
using sim::swipe::SerialSwipeReader;

struct Events {
    Collector c;
    static void onCard(unsigned long, void* o, const char* t) {
        static_cast<Events*>(o)->c.add("card", t);
    }
    static void onNotif(unsigned long, void* o, unsigned int id, const char* hex) {
        static_cast<Events*>(o)->c.add("notif", std::to_string(id) + ":" + hex);
    }
    static void onState(unsigned long, void* o, long s) {
        static_cast<Events*>(o)->c.add("state", std::to_string(s));
    }
};

std::string hexBytes(const std::vector<uint8_t>& b) {
    return hexOfText(std::string(b.begin(), b.end()));
}

class SerialApi : public SwipeApiTest, public ::testing::WithParamInterface<LineFormat> {};

TEST_P(SerialApi, CommandsAndExtendedAnswers) {
    SerialSwipeReader reader(sim::swipe::swipeModel(0x0019), "B4444444444444DD", GetParam());
    unsigned long h = OpenDeviceEx(reader.connectionString().c_str());
    ASSERT_NE(h, 0u);
    EXPECT_EQ(GetProductIDEx(h), 0) << "no model row for serial readers";
    EXPECT_EQ(std::string(SendCommandEx(h, "0003")), hexOfText("B4444444444444DD"));
    // A key record of 196 bytes: several answer chunks, one of its bytes is 0x0D.
    std::string key = SendCommandEx(h, "030a:00");
    EXPECT_EQ(key.size(), 2u * 196) << sim::swipe::lineFormatName(GetParam());
    EXPECT_EQ(key.substr(0, 16), "9F0605A000000003");
    EXPECT_EQ(GetResultCodeEx(h), 0);
    CloseDeviceEx(h);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, SerialApi,
                         ::testing::Values(LineFormat::None, LineFormat::Legacy, LineFormat::Brevo,
                                           LineFormat::Slip),
                         [](const auto& info) { return sim::swipe::lineFormatName(info.param); });

TEST_F(SwipeApiTest, SerialNotificationsInChunksPerFormat) {
    struct Case {
        LineFormat format;
        bool rle;
    };
    std::vector<uint8_t> data(300);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i < 150 ? 0 : i);
    for (auto c : {Case{LineFormat::Slip, false}, Case{LineFormat::Slip, true},
                   Case{LineFormat::Brevo, false}}) {
        SerialSwipeReader reader(sim::swipe::swipeModel(0x0019), "B4444444444444DD", c.format);
        reader.setRle(c.rle);
        unsigned long h = OpenDeviceEx(reader.connectionString().c_str());
        ASSERT_NE(h, 0u);
        Events e;
        OnNotificationDataEx(h, &Events::onNotif, &e);
        reader.core().notify(0x0300, data);
        reader.core().notify(0x0301, {});
        EXPECT_TRUE(e.c.waitForText("notif", "768:" + hexBytes(data)))
            << sim::swipe::lineFormatName(c.format) << " rle " << c.rle;
        EXPECT_TRUE(e.c.waitForText("notif", "769:"));
        CloseDeviceEx(h);
    }
}

TEST_F(SwipeApiTest, SerialSlipFramesSplitAndBackToBack) {
    SerialSwipeReader reader(sim::swipe::swipeModel(0x0019), "B4444444444444DD", LineFormat::Slip);
    unsigned long h = OpenDeviceEx(reader.connectionString().c_str());
    ASSERT_NE(h, 0u);
    Events e;
    OnNotificationDataEx(h, &Events::onNotif, &e);
    auto frame = [](uint16_t id, const std::vector<uint8_t>& d) {
        std::vector<uint8_t> chunk;
        chunk.reserve(8 + d.size());
        for (uint16_t v :
             {static_cast<uint16_t>(d.size()), uint16_t{0}, id, static_cast<uint16_t>(d.size())}) {
            chunk.push_back(static_cast<uint8_t>(v >> 8));
            chunk.push_back(static_cast<uint8_t>(v & 0xFF));
        }
        chunk.insert(chunk.end(), d.begin(), d.end());
        return sim::swipe::slipFrame(sim::swipe::slipMessage(2, chunk.size(), chunk));
    };
    // Two frames in one write.
    auto both = frame(0x0501, {0xC0, 0x01});
    auto second = frame(0x0502, {0xDB, 0x02});
    both.insert(both.end(), second.begin(), second.end());
    reader.writeRaw(both);
    // One frame a byte at a time.
    for (uint8_t b : frame(0x0503, {0x11, 0x22, 0x33})) {
        reader.writeRaw({b});
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // A frame whose length field lies, then a good one: only the good one arrives.
    auto bad = sim::swipe::slipFrame(sim::swipe::slipMessage(2, 40, {0, 1, 0, 0, 5, 4, 0, 1, 9}));
    reader.writeRaw(bad);
    reader.writeRaw(frame(0x0505, {0x55}));
    EXPECT_TRUE(e.c.waitForText("notif", std::to_string(0x0501) + ":C001"));
    EXPECT_TRUE(e.c.waitForText("notif", std::to_string(0x0502) + ":DB02"));
    EXPECT_TRUE(e.c.waitForText("notif", std::to_string(0x0503) + ":112233"));
    EXPECT_TRUE(e.c.waitForText("notif", std::to_string(0x0505) + ":55"));
    EXPECT_EQ(e.c.of("notif").size(), 4u);
    CloseDeviceEx(h);
}

TEST_F(SwipeApiTest, SerialSwipesReachTheCardCallback) {
    for (LineFormat f : {LineFormat::Slip, LineFormat::Legacy}) {
        SerialSwipeReader reader(sim::swipe::swipeModel(0x0019), "B4444444444444DD", f);
        unsigned long h = OpenDeviceEx(reader.connectionString().c_str());
        ASSERT_NE(h, 0u);
        Events e;
        OnDataReceivedEx(h, &Events::onCard, &e);
        reader.swipe(sim::swipe::isoMastercardCard());
        ASSERT_TRUE(e.c.waitFor("card", 1)) << sim::swipe::lineFormatName(f);
        VLMSRDATA r;
        ASSERT_EQ(GetCardDataStructureEx(h, &r), 0);
        EXPECT_STREQ(r.m_szPAN, "5454545454545454") << sim::swipe::lineFormatName(f);
        EXPECT_STREQ(r.m_szLastName, "CARDHOLDER");
        EXPECT_STREQ(r.m_szYear, "27");
        CloseDeviceEx(h);
    }
}

TEST_F(SwipeApiTest, TwoSerialReadersOfOneFormatStaySeparate) {
    SerialSwipeReader a(sim::swipe::swipeModel(0x0019), "AAAAAAAAAAAAAAAA", LineFormat::Slip);
    SerialSwipeReader b(sim::swipe::swipeModel(0x0019), "BBBBBBBBBBBBBBBB", LineFormat::Slip);
    unsigned long ha = OpenDeviceEx(a.connectionString().c_str());
    unsigned long hb = OpenDeviceEx(b.connectionString().c_str());
    ASSERT_TRUE(ha && hb);
    Events ea, eb;
    OnNotificationDataEx(ha, &Events::onNotif, &ea);
    OnNotificationDataEx(hb, &Events::onNotif, &eb);
    std::thread ta([&] {
        for (int i = 0; i < 20; ++i) a.core().notify(0x0300, std::vector<uint8_t>(120, 0xAA));
    });
    std::thread tb([&] {
        for (int i = 0; i < 20; ++i) b.core().notify(0x0300, std::vector<uint8_t>(120, 0xBB));
    });
    ta.join();
    tb.join();
    ASSERT_TRUE(ea.c.waitFor("notif", 20));
    ASSERT_TRUE(eb.c.waitFor("notif", 20));
    std::string wantA = "768:", wantB = "768:";
    for (int i = 0; i < 120; ++i) {
        wantA += "AA";
        wantB += "BB";
    }
    for (const auto& t : ea.c.of("notif")) EXPECT_EQ(t, wantA);
    for (const auto& t : eb.c.of("notif")) EXPECT_EQ(t, wantB);
    CloseDeviceEx(ha);
    CloseDeviceEx(hb);
}

TEST_F(SwipeApiTest, SerialTimeoutAndHangup) {
    SerialSwipeReader reader(sim::swipe::swipeModel(0x0019), "B4444444444444DD", LineFormat::Slip);
    unsigned long h = OpenDeviceEx(reader.connectionString().c_str());
    ASSERT_NE(h, 0u);
    reader.setAnswering(false);
    SetCommandTimeout(300);
    EXPECT_STREQ(SendCommandEx(h, "0003"), "");
    EXPECT_EQ(GetResultCodeEx(h), ERROR_DEVICE_TIMEOUT);
    SetCommandTimeout(10000);
    Events e;
    OnDeviceConnectionStateChangedEx(h, &Events::onState, &e);
    reader.unplug();
    ASSERT_TRUE(e.c.waitFor("state", 1));
    EXPECT_EQ(e.c.of("state")[0], "0");
    CloseDeviceEx(h);
}

}  // namespace
