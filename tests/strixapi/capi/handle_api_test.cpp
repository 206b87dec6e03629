// Handle-based C API against simulated swipe readers on the HID stand-in.
#include <atomic>
#include <cstring>
#include <thread>

#include "ErrorCodes.h"
#include "capi_fixture.h"

namespace {

using sim::swipe::CommandRecord;

TEST_F(SwipeApiTest, TwoReadersOpenIndependentlyAndANameOpensOnce) {
    auto a = attach(0x0019, "B1111111111111AA");
    auto b = attach(0x001E, "B2222222222222BB");
    std::string list = GetDeviceList();
    EXPECT_EQ(list, "HID://B1111111111111AA,HID://B2222222222222BB");
    EXPECT_STREQ(g_deviceList, list.c_str());

    unsigned long ha = OpenDeviceEx("HID://B1111111111111AA");
    unsigned long hb = OpenDeviceEx("HID://B2222222222222BB");
    ASSERT_NE(ha, 0u);
    ASSERT_NE(hb, 0u);
    EXPECT_NE(ha, hb);
    EXPECT_EQ(OpenDeviceEx("HID://B1111111111111AA"), 0u) << "second open of the same name";
    EXPECT_EQ(GetProductIDEx(ha), 0x0019);
    EXPECT_EQ(GetProductIDEx(hb), 0x001E);
    EXPECT_EQ(IsDeviceConnectedEx(ha), 1);
    EXPECT_EQ(std::string(SendCommandEx(ha, "0003")), hexOfText("B1111111111111AA"));
    EXPECT_EQ(std::string(SendCommandEx(hb, "0003")), hexOfText("B2222222222222BB"));
    // Each reader saw the start-up command and its own query only.
    auto codes = [](const std::vector<CommandRecord>& log) {
        std::vector<int> c;
        for (const auto& r : log) c.push_back(r.code);
        return c;
    };
    EXPECT_EQ(codes(a->core().commands()), (std::vector<int>{0x48, 0x00}));
    EXPECT_EQ(codes(b->core().commands()), (std::vector<int>{0x48, 0x00}));

    CloseDeviceEx(ha);
    EXPECT_EQ(IsDeviceConnectedEx(ha), 0) << "a closed handle answers like handle 0";
    EXPECT_STREQ(SendCommandEx(ha, "0003"), "");
    unsigned long again = OpenDeviceEx("HID://B1111111111111AA");
    EXPECT_NE(again, 0u) << "the name opens again once closed";
    CloseDeviceEx(again);
    CloseDeviceEx(hb);
    // Handle 0 everywhere.
    EXPECT_EQ(IsDeviceConnectedEx(0), 0);
    EXPECT_EQ(GetProductIDEx(0), 0);
    EXPECT_STREQ(SendCommandEx(0, "0003"), "");
    VLMSRDATA r;
    EXPECT_EQ(GetCardDataStructureEx(0, &r), ERROR_INVALID_PARAMETERS);
    EXPECT_STREQ(GetCardDataEx(0), "");
    EXPECT_EQ(SendDataEx(0, "000103"), 0);
    CloseDeviceEx(0);
}

TEST_F(SwipeApiTest, OpenWithoutNameTakesTheFirstListedReaderAndUnknownModelsFail) {
    EXPECT_EQ(OpenDeviceEx(""), 0u) << "nothing attached";
    attach(0x0001, "");  // no serial number: listed by its path
    std::string list = GetDeviceList();
    ASSERT_EQ(list.rfind("HID://", 0), 0u);
    unsigned long h = OpenDeviceEx(nullptr);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(GetProductIDEx(h), 0x0001);
    CloseDeviceEx(h);
    EXPECT_EQ(OpenDeviceEx("HID://NOSUCHREADER"), 0u);
}

struct Swipes {
    Collector c;
    static void onCard(unsigned long, void* obj, const char* text) {
        static_cast<Swipes*>(obj)->c.add("card", text);
    }
    static void onState(unsigned long, void* obj, long state) {
        static_cast<Swipes*>(obj)->c.add("state", std::to_string(state));
    }
    static void onNotif(unsigned long, void* obj, unsigned int id, const char* hex) {
        static_cast<Swipes*>(obj)->c.add("notif", std::to_string(id) + ":" + hex);
    }
    static void onResponse(unsigned long, void* obj, const char* text) {
        static_cast<Swipes*>(obj)->c.add("response", text);
    }
};

TEST_F(SwipeApiTest, SwipeReachesTheHandleCallbackAndRecord) {
    auto dev = attach(0x0019, "B1111111111111AA");
    unsigned long h = OpenDeviceEx("HID://B1111111111111AA");
    ASSERT_NE(h, 0u);
    Swipes s;
    OnDataReceivedEx(h, &Swipes::onCard, &s);
    dev->swipe(sim::swipe::isoVisaCard());
    ASSERT_TRUE(s.c.waitFor("card", 1));
    std::string line = s.c.of("card")[0];
    EXPECT_EQ(line, GetCardDataEx(h));
    VLMSRDATA r;
    ASSERT_EQ(GetCardDataStructureEx(h, &r), 0);
    EXPECT_STREQ(r.m_szPAN, "4111********1111");
    EXPECT_STREQ(r.m_szMonth, "12");
    EXPECT_STREQ(r.m_szYear, "25");
    EXPECT_STREQ(r.m_szLastName, "TESTER");
    EXPECT_EQ(r.m_dwReaderID, 0x0019);
    EXPECT_EQ(r.m_dwBatteryLevel, 85);
    EXPECT_STREQ(r.m_szDeviceSerialNumber, "B1111111111111AA");
    EXPECT_EQ(r.m_dwTrack1Length, 72);  // 69 characters encrypted in 8-byte blocks
    EXPECT_EQ(std::strlen(r.m_szTrack1Data), 144u);
    // The card line carries the masked account number, never the clear one.
    EXPECT_EQ(line.find("4111111111111111"), std::string::npos);
    EXPECT_NE(line.find("4111********1111"), std::string::npos);
    ClearCardDataEx(h);
    ASSERT_EQ(GetCardDataStructureEx(h, &r), 0);
    EXPECT_STREQ(r.m_szPAN, "");
    CloseDeviceEx(h);
}

TEST_F(SwipeApiTest, UnplugGivesOneDisconnectedCallback) {
    auto dev = attach(0x001D, "B3333333333333CC");
    unsigned long h = OpenDeviceEx("HID://B3333333333333CC");
    ASSERT_NE(h, 0u);
    Swipes s;
    OnDeviceConnectionStateChangedEx(h, &Swipes::onState, &s);
    dev->unplug();
    ASSERT_TRUE(s.c.waitFor("state", 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(s.c.of("state"), std::vector<std::string>{"0"});
    EXPECT_STREQ(SendCommandEx(h, "0003"), "");
    CloseDeviceEx(h);
    EXPECT_EQ(s.c.of("state").size(), 1u) << "closing makes no callback";
}

TEST_F(SwipeApiTest, RacingHandleCommandsOneRunsTheOtherGetsBusy) {
    auto dev = attach(0x0019, "B1111111111111AA");
    unsigned long h = OpenDeviceEx("HID://B1111111111111AA");
    ASSERT_NE(h, 0u);
    dev->core().setBusyPolls(6);  // the extended command takes about 0.6 s
    std::string slow;
    std::thread t([&] { slow = SendCommandEx(h, "030b:00"); });
    ASSERT_TRUE(dev->hostLog().waitUntil(
        [](const std::vector<sim::HostLog::Entry>& e) {
            for (const auto& x : e)
                if (x.kind == sim::HostLog::Kind::SetFeature && x.data.size() > 1 &&
                    x.data[1] == 0x49)
                    return true;
            return false;
        },
        std::chrono::milliseconds(3000)));
    EXPECT_STREQ(SendCommandEx(h, "0003"), "");
    EXPECT_EQ(GetResultCodeEx(h), ERROR_BUSY_IN_PRIOR_COMMAND);
    t.join();
    EXPECT_EQ(slow.substr(0, 14), hexOfText("EMV L2 ")) << "the first command ran to the end";
    EXPECT_EQ(std::string(SendCommandEx(h, "0003")), hexOfText("B1111111111111AA"));
    CloseDeviceEx(h);
}

TEST_F(SwipeApiTest, SendCommandWithLengthExChecksTheLengthByte) {
    auto dev = attach(0x0019, "B1111111111111AA");
    unsigned long h = OpenDeviceEx("HID://B1111111111111AA");
    ASSERT_NE(h, 0u);
    struct Case {
        const char* text;
        bool sent;
        std::vector<uint8_t> data;  // of the set-property command 0x01
    };
    const std::vector<Case> cases = {
        {"01026041", true, {0x60, 0x41}},
        {"0102604142", true, {0x60, 0x41}},  // characters past the length are not sent
        {"0102604", false, {}},
        {"0101", false, {}},
        {"01zz6041", false, {}},
    };
    for (const auto& c : cases) {
        dev->core().clearCommands();
        SendCommandWithLengthEx(h, c.text);
        auto log = dev->core().commands();
        if (c.sent) {
            ASSERT_EQ(log.size(), 1u) << c.text;
            EXPECT_EQ(log[0].code, 0x01) << c.text;
            EXPECT_EQ(log[0].data, c.data) << c.text;
        } else {
            EXPECT_TRUE(log.empty()) << c.text;
        }
    }
    CloseDeviceEx(h);
}

TEST_F(SwipeApiTest, SendDataExAnswersThroughTheResponseCallback) {
    auto dev = attach(0x0019, "B1111111111111AA");
    unsigned long h = OpenDeviceEx("HID://B1111111111111AA");
    ASSERT_NE(h, 0u);
    Swipes s;
    OnDeviceResponseEx(h, &Swipes::onResponse, &s);
    EXPECT_EQ(SendDataEx(h, "00103"), 0);  // odd length: "000103"
    ASSERT_TRUE(s.c.waitFor("response", 1));
    std::string expect = "0010" + hexOfText("B1111111111111AA");
    for (char& ch : expect) ch = static_cast<char>(std::tolower(ch));
    EXPECT_EQ(s.c.of("response")[0], expect);
    auto log = dev->core().commands();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().code, 0x00);
    EXPECT_EQ(log.back().data, std::vector<uint8_t>{0x03});
    CloseDeviceEx(h);
}

TEST_F(SwipeApiTest, NoHandleCallbackRunsAfterCloseDeviceExReturns) {
    auto dev = attach(0x0019, "B1111111111111AA");
    unsigned long h = OpenDeviceEx("HID://B1111111111111AA");
    ASSERT_NE(h, 0u);
    struct Slow {
        std::atomic<int> started{0}, finished{0};
        static void onNotif(unsigned long, void* obj, unsigned int, const char*) {
            auto* s = static_cast<Slow*>(obj);
            ++s->started;
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            ++s->finished;
        }
    };
    auto slow = std::make_unique<Slow>();
    OnNotificationDataEx(h, &Slow::onNotif, slow.get());
    for (int i = 0; i < 5; ++i) dev->notify(0x0500, {static_cast<uint8_t>(i)});
    for (int i = 0; i < 200 && slow->started == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    CloseDeviceEx(h);
    // Every callback that started has finished: the object may go now.
    EXPECT_EQ(slow->started.load(), slow->finished.load());
    int after = slow->started;
    slow.reset();
    dev->notify(0x0500, {9});
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_GE(after, 1);
}

TEST_F(SwipeApiTest, ConcurrentCallersGetTheirOwnTexts) {
    attach(0x0019, "AAAAAAAAAAAAAAAA");
    attach(0x0019, "BBBBBBBBBBBBBBBB");
    unsigned long ha = OpenDeviceEx("HID://AAAAAAAAAAAAAAAA");
    unsigned long hb = OpenDeviceEx("HID://BBBBBBBBBBBBBBBB");
    ASSERT_TRUE(ha && hb);
    std::atomic<int> wrong{0};
    auto worker = [&](unsigned long h, const std::string& expect) {
        std::vector<const char*> kept;
        for (int i = 0; i < 60; ++i) {
            const char* t = SendCommandEx(h, "0003");
            kept.push_back(t);
            if (expect != t) ++wrong;
        }
        // The last 99 texts of this thread are all still intact.
        for (const char* t : kept)
            if (expect != t) ++wrong;
    };
    std::thread ta(worker, ha, hexOfText("AAAAAAAAAAAAAAAA"));
    std::thread tb(worker, hb, hexOfText("BBBBBBBBBBBBBBBB"));
    ta.join();
    tb.join();
    EXPECT_EQ(wrong.load(), 0);
    CloseDeviceEx(ha);
    CloseDeviceEx(hb);
}

}  // namespace
