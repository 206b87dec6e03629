// Every model a USB enumeration lists opens with its engine, answers a command and decodes a
// swipe in its own report layout.
#include <chrono>

#include "capi_fixture.h"

namespace {

struct Card {
    Collector c;
    static void onCard(unsigned long, void* o, const char*) {
        static_cast<Card*>(o)->c.add("card", "");
    }
};

TEST_F(SwipeApiTest, EveryListedModelOpensAnswersAndDecodesASwipe) {
    for (const auto& model : sim::swipe::swipeModels()) {
        char serial[32];
        std::snprintf(serial, sizeof serial, "M%04X00000000001", model.productId);
        auto dev = attach(model.productId, serial);
        std::string name = std::string("HID://") + serial;
        auto t0 = std::chrono::steady_clock::now();
        unsigned long h = OpenDeviceEx(name.c_str());
        auto openTime = std::chrono::steady_clock::now() - t0;
        ASSERT_NE(h, 0u) << model.name;
        EXPECT_EQ(GetProductIDEx(h), model.productId) << model.name;
        if (model.productId == 0x001C || model.productId == 0x001F) {
            // These readers need 300 ms before their start-up command.
            EXPECT_GE(openTime, std::chrono::milliseconds(300)) << model.name;
        }
        auto log = dev->core().commands();
        bool startup = !log.empty() && log.front().code == 0x48;
        EXPECT_EQ(startup, model.routed) << model.name << ": start-up command";
        EXPECT_EQ(std::string(SendCommandEx(h, "0003")), hexOfText(serial)) << model.name;
        Card card;
        OnDataReceivedEx(h, &Card::onCard, &card);
        dev->swipe(sim::swipe::isoVisaCard());
        ASSERT_TRUE(card.c.waitFor("card", 1)) << model.name;
        VLMSRDATA r;
        ASSERT_EQ(GetCardDataStructureEx(h, &r), 0);
        EXPECT_STREQ(r.m_szPAN, model.encrypting ? "4111********1111" : "4111111111111111")
            << model.name;
        EXPECT_STREQ(r.m_szYear, "25") << model.name;
        // 39 characters; encrypted in 8-byte blocks: 40 bytes.
        EXPECT_EQ(r.m_dwTrack2Length, model.encrypting ? 40 : 39) << model.name;
        // Clear reports carry no battery byte (0); secure ones without it mean 100.
        EXPECT_EQ(r.m_dwBatteryLevel, !model.encrypting ? 0
                                      : model.battery   ? 85
                                                        : 100)
            << model.name;
        CloseDeviceEx(h);
        dev->unplug();
    }
}

}  // namespace
