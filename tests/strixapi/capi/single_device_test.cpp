// Single-device C API (LYNX and plain names): commands, busy rejection, card getters, EMV
// transaction record and notification dispatch, extended commands and the TLV payload.
#include <algorithm>
#include <cstring>
#include <thread>

#include "ErrorCodes.h"
#include "capi_fixture.h"

namespace {

Collector g;  // what the global callbacks delivered

void onCard(const char* t) {
    g.add("card", t);
}
void onResponse(const char* t) {
    g.add("response", t);
}
void onStatus(const char* t) {
    g.add("0300", t);
}
void onDisplay(const char* t) {
    g.add("0301", t);
}
void onSelection(const char* t) {
    g.add("0302", t);
}
void onArqc(const char* t) {
    g.add("0303", t);
}
void onResult(const char* t) {
    g.add("0304", t);
}
void onExtended(const char* t) {
    g.add("extended", t);
}
void onNotif(unsigned int id, const char* hex) {
    g.add("notif", std::to_string(id) + ":" + hex);
}

class SingleDeviceTest : public SwipeApiTest {
  protected:
    void SetUp() override {
        SwipeApiTest::SetUp();
        g.clear();
        dev = attach(0x0019, "B1111111111111AA");
        ASSERT_EQ(OpenDevice(""), 0);
    }
    std::shared_ptr<sim::swipe::SwipeHidDevice> dev;
};

TEST_F(SwipeApiTest, SingleDeviceWithoutReader) {
    EXPECT_EQ(OpenDevice("HID://"), 1);
    EXPECT_EQ(IsDeviceConnected(), 0);
    char result[64];
    char cmd[] = "0003";
    EXPECT_EQ(LYNXSendCommand(cmd, 4, result, sizeof result), ERROR_DEVICE_NOT_OPEN);
    EXPECT_EQ(GetResultCode(), ERROR_DEVICE_NOT_OPEN);
    EXPECT_STREQ(SendCommand("0003"), "");
    EXPECT_STREQ(GetCardData(), "");
    EXPECT_STREQ(GetTLVPayload(), "");
    EXPECT_STREQ(GetFirmware(), "");
    EXPECT_EQ(GetBatteryLevel(), 100);
    EXPECT_FALSE(IsDeviceEMV());
    EXPECT_EQ(SendData("000103"), 0);
    EXPECT_EQ(CloseDevice(), 0);
}

TEST_F(SingleDeviceTest, OpenTwiceKeepsTheReaderAndDeviceInformation) {
    EXPECT_EQ(OpenDevice("HID://ANYTHING"), 0);
    EXPECT_EQ(IsDeviceConnected(), 1);
    long pid = 0, state = -1;
    LYNXGetPID(&pid);
    LYNXGetDeviceState(&state);
    EXPECT_EQ(pid, 0x0019);
    EXPECT_EQ(state, STRIX_STATE_CONNECTED);
    EXPECT_STREQ(GetProductID(), "0019");
    EXPECT_STREQ(GetDeviceName(), "eTorvo");
    EXPECT_TRUE(IsDeviceEMV());
    EXPECT_STREQ(GetDeviceSerial(), "B1111111111111AA");
    EXPECT_EQ(std::string(GetFirmware()), hexOfText("21042840A01 V1.05"));
    EXPECT_EQ(std::string(GetDevicePartNumber()), hexOfText("21042840"));
    EXPECT_STREQ(GetCapMagStripeEncryption(), "1");
    EXPECT_STREQ(GetCapCardova20Encryption(), "1");
    EXPECT_EQ(GetBatteryLevel(), 0x55);
    // The serial number is asked once and then cached until the reader is closed.
    dev->core().clearCommands();
    GetDeviceSerial();
    EXPECT_TRUE(dev->core().commands().empty());
}

TEST_F(SingleDeviceTest, CommandsAndLengthByteRules) {
    char result[256];
    struct Case {
        const char* cmd;
        bool withLength;
        long rc;
        int code;                   // expected command byte at the reader (-1: nothing sent)
        std::vector<uint8_t> data;  // its data
    };
    const std::vector<Case> cases = {
        {"0003", false, 0, 0x00, {0x03}},
        {"7E", false, 1, 0x7E, {}},  // unknown command: the reader's failure status
        {"0", false, ERROR_INVALID_PARAMETERS, -1, {}},
        {"01026041", true, 0, 0x01, {0x60, 0x41}},
        {"0102604", true, 0, 0x01, {0x60}},  // whatever follows the length byte is passed on
        {"010", true, STRIX_ST_INVALID_PARAM, -1, {}},
        {"0306:010203", true, 0, 0x49, {0x01, 0x02, 0x03}},  // extended form passes unchanged
    };
    for (const auto& c : cases) {
        dev->core().clearCommands();
        std::vector<char> cmd(c.cmd, c.cmd + std::strlen(c.cmd) + 1);
        long rc =
            c.withLength
                ? LYNXSendCommandWithLength(cmd.data(), std::strlen(c.cmd), result, sizeof result)
                : LYNXSendCommand(cmd.data(), std::strlen(c.cmd), result, sizeof result);
        EXPECT_EQ(rc, c.rc) << c.cmd;
        auto log = dev->core().commands();
        if (c.code < 0) {
            EXPECT_TRUE(log.empty()) << c.cmd;
            continue;
        }
        ASSERT_FALSE(log.empty()) << c.cmd;
        // The first command the reader took (further ones fetch extended answers).
        EXPECT_EQ(log.front().code, c.code) << c.cmd;
        EXPECT_EQ(log.front().data, c.data) << c.cmd;
    }
    EXPECT_EQ(GetResultCode(), 0);
    // A result buffer too small for the answer is refused, not overrun.
    char tiny[8];
    char cmd[] = "0003";
    EXPECT_EQ(LYNXSendCommand(cmd, 4, tiny, sizeof tiny), ERROR_BUFFER_INSUFFICIENT);
}

TEST_F(SingleDeviceTest, SecondCommandWhileOneRunsIsBusy) {
    dev->core().setBusyPolls(6);
    std::string slow;
    std::thread t([&] { slow = SendCommand("030b:00"); });
    ASSERT_TRUE(dev->hostLog().waitUntil(
        [](const std::vector<sim::HostLog::Entry>& e) {
            for (const auto& x : e)
                if (x.kind == sim::HostLog::Kind::SetFeature && x.data.size() > 1 &&
                    x.data[1] == 0x49)
                    return true;
            return false;
        },
        std::chrono::milliseconds(3000)));
    char result[64];
    char cmd[] = "0003";
    EXPECT_EQ(LYNXSendCommand(cmd, 4, result, sizeof result), ERROR_BUSY_IN_PRIOR_COMMAND);
    t.join();
    EXPECT_FALSE(slow.empty());
    EXPECT_EQ(LYNXSendCommand(cmd, 4, result, sizeof result), 0);
}

TEST_F(SingleDeviceTest, SendDataPadsOddTextAndAnswersThroughTheCallback) {
    OnDeviceResponse(&onResponse);
    EXPECT_EQ(SendData("00103"), 0);
    ASSERT_TRUE(g.waitFor("response", 1));
    std::string expect = "0010" + hexOfText("B1111111111111AA");
    for (char& ch : expect) ch = static_cast<char>(std::tolower(ch));
    EXPECT_EQ(g.of("response")[0], expect);
    EXPECT_EQ(dev->core().commands().back().data, std::vector<uint8_t>{0x03});
}

TEST_F(SingleDeviceTest, CardGettersBeforeAfterSwipeAndAfterClear) {
    // Before any swipe: nothing is ready.
    EXPECT_STREQ(GetCardData(), "");
    EXPECT_STREQ(GetPAN(), "");
    EXPECT_EQ(GetPANLength(), 0);
    char buf[512];
    int len = sizeof buf;
    EXPECT_EQ(LYNXGetTrack2Masked(buf, &len), 1);
    VLMSRDATA rec;
    EXPECT_EQ(LYNXGetCardData(&rec), 1);

    OnDataReceived(&onCard);
    dev->swipe(sim::swipe::isoVisaCard());
    ASSERT_TRUE(g.waitFor("card", 1));
    struct Case {
        const char* name;
        std::string got, want;
    };
    const std::vector<Case> cases = {
        {"PAN", GetPAN(), "4111********1111"},
        {"IIN", GetCardIIN(), "4111**"},
        {"last 4", GetCardLast4(), "1111"},
        {"name", GetCardName(), "TESTER/ALEX M.MR"},
        {"first", GetFirstName(), "ALEX"},
        {"last", GetLastName(), "TESTER"},
        {"middle", GetMiddleName(), "M"},
        {"expiry", GetCardExpDate(), "2512"},
        {"exp year", GetExpDateYear(), "25"},
        {"exp month", GetExpDateMonth(), "12"},
        {"service code", GetCardServiceCode(), "101"},
        {"track 2 masked", GetTrack2Masked(), ";4111********1111=2512101*************?"},
        {"decode status", GetTrackDecodeStatus(), "000000"},
        {"encode type", GetEncodeType(), "0"},
        {"encryption status", GetEncryptionStatus(), "0101"},
        {"KSN", GetKSN(), "FFFF9876543210E00001"},
        {"fluxmark status", GetFluxmarkStatus(), "10002500"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.name;
    EXPECT_EQ(GetPANLength(), 16);
    EXPECT_EQ(GetFluxmarkLength(), 54);
    EXPECT_EQ(GetSwipeCount(), -1);
    std::string line = GetCardData();
    EXPECT_EQ(line.back(), '|');
    EXPECT_EQ(line.rfind("0000000000000019|B1111111111111AA|0|0|0|0|0|2424848|72|40|0|", 0), 0u)
        << "Fluxmark status as a number";
    EXPECT_EQ(line.find("4111111111111111"), std::string::npos);
    EXPECT_NE(line.find("|4111********1111|12|25|"), std::string::npos);
    // The callback's text is the engine's line: Fluxmark status as hex, no final delimiter.
    std::string cb = g.of("card")[0];
    EXPECT_NE(cb.find("|10002500|"), std::string::npos);
    EXPECT_EQ(cb.substr(cb.size() - 3), "|85");
    // LYNX forms: capacity respected.
    len = sizeof buf;
    ASSERT_EQ(LYNXGetTrack2Masked(buf, &len), 0);
    EXPECT_STREQ(buf, ";4111********1111=2512101*************?");
    EXPECT_EQ(len, 39);
    char small[10];
    len = sizeof small;
    EXPECT_EQ(LYNXGetTrack2Masked(small, &len), ERROR_BUFFER_INSUFFICIENT);
    EXPECT_EQ(len, 39);
    ASSERT_EQ(LYNXGetCardData(&rec), 0);
    EXPECT_STREQ(rec.m_szPAN, "4111********1111");
    char lineBuf[8192];
    char delim[] = ";";
    ASSERT_EQ(LYNXGetCardDataStr(lineBuf, delim), 0);
    EXPECT_EQ(std::string(lineBuf).back(), ';');

    ClearCardData();
    EXPECT_STREQ(GetCardData(), "");
    EXPECT_STREQ(GetPAN(), "");
    EXPECT_EQ(LYNXGetCardData(&rec), 1);
    long state = -1;
    LYNXGetCardDataState(&state);
    EXPECT_EQ(state, STRIX_DATA_NOTREADY);
}

TEST_F(SingleDeviceTest, AamvaLicenceFields) {
    OnDataReceived(&onCard);
    dev->swipe(sim::swipe::aamvaLicenceCard());
    ASSERT_TRUE(g.waitFor("card", 1));
    EXPECT_STREQ(GetEncodeType(), "1");
    EXPECT_STREQ(GetFirstName(), "ALEX");
    EXPECT_STREQ(GetLastName(), "TESTER");
    EXPECT_STREQ(GetCardExpDate(), "2809");
    EXPECT_STREQ(GetPAN(), "636035123456789012");
}

TEST_F(SingleDeviceTest, StartTransactionRecordBytes) {
    struct Case {
        const char* amount;
        const char* cashBack;
        const char* currency;
        bool sent;
        std::vector<uint8_t> amountBytes, cashBackBytes;
    };
    const std::vector<Case> cases = {
        {"1000", "0", "0840", true, {0, 0, 0, 0, 0x10, 0x00}, {0, 0, 0, 0, 0, 0}},
        {"999999999999",
         "2500",
         "0978",
         true,
         {0x99, 0x99, 0x99, 0x99, 0x99, 0x99},
         {0, 0, 0, 0, 0x25, 0x00}},
        {"", "", "0840", true, {0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}},
        {"1234567890123", "0", "0840", false, {}, {}},  // 13 digits do not fit
        {"12.50", "0", "0840", false, {}, {}},
        {"1000", "-5", "0840", false, {}, {}},
        {"1000", "0", "840", false, {}, {}},
        {"1000", "0", "08G0", false, {}, {}},
        {nullptr, nullptr, "0840", true, {0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        dev->core().clearCommands();
        EXPECT_STREQ(
            StartTransaction(0x3C, 0x02, 0x00, c.amount, 0x00, c.cashBack, c.currency, 0x01), "");
        auto log = dev->core().commands();
        std::string what = c.amount != nullptr ? c.amount : "(null)";
        if (!c.sent) {
            EXPECT_TRUE(log.empty()) << what;
            EXPECT_EQ(GetResultCode(), ERROR_INVALID_PARAMETERS) << what;
            continue;
        }
        ASSERT_FALSE(log.empty()) << what;
        const auto& r = log.front();
        ASSERT_TRUE(r.extended);
        EXPECT_EQ(r.extCode, 0x0300);
        std::vector<uint8_t> expect = {0x3C, 0x02, 0x00};
        expect.insert(expect.end(), c.amountBytes.begin(), c.amountBytes.end());
        expect.push_back(0x00);
        expect.insert(expect.end(), c.cashBackBytes.begin(), c.cashBackBytes.end());
        std::vector<uint8_t> cur = {
            static_cast<uint8_t>(std::stoi(std::string(c.currency).substr(0, 2), nullptr, 16)),
            static_cast<uint8_t>(std::stoi(std::string(c.currency).substr(2), nullptr, 16))};
        expect.insert(expect.end(), cur.begin(), cur.end());
        expect.push_back(0x01);
        EXPECT_EQ(r.data, expect) << what;
        CancelTransaction();  // ends the simulated transaction before the next case
        dev->core().drain();
    }
}

TEST_F(SingleDeviceTest, EmvNotificationsGoToTheirCallbacksAndTheQueue) {
    OnTransactionStatus(&onStatus);
    OnDisplayMessageRequest(&onDisplay);
    OnUserSelectionRequest(&onSelection);
    OnARQCReceived(&onArqc);
    OnTransactionResult(&onResult);
    OnDeviceExtendedResponse(&onExtended);
    OnNotification(&onNotif);
    StartTransaction(0x3C, 0x02, 0x00, "1", 0x00, "0", "0840", 0x01);  // empties the queue
    dev->core().drain();
    while (std::string(GetTransactionProgress(0)) != "") {
    }
    g.clear();
    struct Case {
        uint16_t id;
        std::vector<uint8_t> data;
        std::string channel, text;
    };
    const std::vector<Case> cases = {
        {0x0300, {0x01, 0x02}, "0300", "0102"},
        {0x0301, {'H', 'I'}, "0301", "4849"},
        {0x0302, {0x03}, "0302", "03"},
        {0x0303, std::vector<uint8_t>(120, 0xAB), "0303", std::string(240, 'A').replace(1, 1, "B")},
        {0x0304, {}, "0304", ""},
        {0x0400, {0x1A, 0x2B, 0x3C}, "extended", "040000031A2B3C"},
        {0x0123, {}, "extended", "01230000"},
    };
    for (const auto& c : cases) dev->notify(c.id, c.data);
    ASSERT_TRUE(g.waitFor("notif", cases.size()));
    for (const auto& c : cases) {
        std::string want = c.text;
        if (c.id == 0x0303) {
            want.clear();
            for (int i = 0; i < 120; ++i) want += "AB";
        }
        // Callbacks run on threads of their own: their order is not fixed.
        EXPECT_TRUE(g.waitForText(c.channel, want)) << std::hex << c.id;
    }
    auto general = g.of("notif");
    EXPECT_NE(std::find(general.begin(), general.end(), "1024:1A2B3C"), general.end());
    // The queue keeps every notification in arrival order.
    for (const auto& c : cases) {
        std::string entry = GetTransactionProgress(0);
        EXPECT_EQ(entry.rfind("code," + std::to_string(c.id) + ";data,", 0), 0u) << entry;
    }
    EXPECT_STREQ(GetTransactionProgress(0), "");
}

TEST_F(SingleDeviceTest, TransactionRunsToItsResult) {
    OnARQCReceived(&onArqc);
    OnTransactionResult(&onResult);
    StartTransaction(0x3C, 0x02, 0x00, "1999", 0x00, "0", "0840", 0x01);
    ASSERT_TRUE(g.waitFor("0303", 1));
    EXPECT_NE(g.of("0303")[0].find("9F0206000000001999"), std::string::npos);
    SetAcquirerResponse("8A023030");
    ASSERT_TRUE(g.waitFor("0304", 1));
    EXPECT_EQ(g.of("0304")[0].substr(0, 8), "DFDF1A01");
    EXPECT_EQ(g.of("0304")[0].substr(8, 2), "00") << "approved";
}

TEST_F(SingleDeviceTest, ExtendedCommandAnswersInChunksWithBusyPolls) {
    OnDeviceExtendedResponse(&onExtended);
    dev->core().setBusyPolls(3);
    EXPECT_EQ(SendExtendedCommand("030A0004"
                                  "01020300"),
              0);
    ASSERT_TRUE(g.waitFor("extended", 1));
    std::string answer = g.of("extended")[0];
    EXPECT_EQ(answer.substr(0, 8), "000000c4");  // result 0, 196 bytes of key record
    EXPECT_EQ(answer.size(), 8u + 2 * 0xC4);
    auto log = dev->core().commands();
    int nextRequests = 0;
    for (const auto& r : log) nextRequests += r.code == 0x4A;
    EXPECT_EQ(nextRequests, 3 + 3) << "one per busy answer and one per further chunk";
    for (const char* bad : {"0300", "03000013", "030000020102FF", "03000001GG", "0300000101AA"}) {
        dev->core().clearCommands();
        EXPECT_EQ(SendExtendedCommand(bad), ERROR_INVALID_PARAMETERS) << bad;
        EXPECT_TRUE(dev->core().commands().empty()) << bad;
    }
}

// Walks a BER-TLV hex text: tag -> value hex, with lengths checked against the text.
std::vector<std::pair<std::string, std::string>> walkTlv(const std::string& hex) {
    std::vector<std::pair<std::string, std::string>> out;
    size_t p = 0;
    auto byte = [&](size_t at) { return std::stoi(hex.substr(at, 2), nullptr, 16); };
    while (p + 4 <= hex.size()) {
        size_t tagStart = p;
        int first = byte(p);
        p += 2;
        if ((first & 0x1F) == 0x1F) {
            while (byte(p) & 0x80) p += 2;
            p += 2;
        }
        std::string tag = hex.substr(tagStart, p - tagStart);
        size_t len = static_cast<size_t>(byte(p));
        p += 2;
        if (len & 0x80) {
            size_t n = len & 0x7F;
            len = 0;
            for (size_t i = 0; i < n; ++i, p += 2) len = len * 256 + static_cast<size_t>(byte(p));
        }
        if (p + 2 * len > hex.size()) return {};
        out.push_back({tag, hex.substr(p, 2 * len)});
        p += 2 * len;
    }
    return p == hex.size() ? out : std::vector<std::pair<std::string, std::string>>{};
}

TEST_F(SingleDeviceTest, TlvPayloadWithAndWithoutCardData) {
    auto top = walkTlv(GetTLVPayload());
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(top[0].first, "FA");
    auto inner = walkTlv(top[0].second);
    ASSERT_EQ(inner.size(), 2u);
    EXPECT_EQ(inner[0].first, "DFDF25");
    EXPECT_EQ(inner[0].second, "");
    auto items = walkTlv(inner[1].second);
    ASSERT_EQ(items.size(), 6u);
    for (const auto& i : items) EXPECT_EQ(i.second, "") << i.first;

    OnDataReceived(&onCard);
    dev->swipe(sim::swipe::isoVisaCard());
    ASSERT_TRUE(g.waitFor("card", 1));
    top = walkTlv(GetTLVPayload());
    ASSERT_EQ(top.size(), 1u);
    inner = walkTlv(top[0].second);
    ASSERT_EQ(inner.size(), 2u);
    EXPECT_EQ(inner[0].second, hexOfText("B1111111111111AA"));
    EXPECT_EQ(inner[1].first, "F4");
    items = walkTlv(inner[1].second);
    ASSERT_EQ(items.size(), 6u);
    const std::vector<std::pair<std::string, std::string>> want = {
        {"DFDF37", GetTrack1()},   {"DFDF39", GetTrack2()}, {"DFDF3B", GetTrack3()},
        {"DFDF3C", GetFluxmark()}, {"DFDF3D", "10002500"},  {"DFDF50", "FFFF9876543210E00001"}};
    EXPECT_EQ(items, want);
}

TEST_F(SwipeApiTest, TlvPayloadOfAClearReaderCarriesTheTrackCharactersAsHex) {
    auto dev = attach(0x0001, "C0000000000000C1");
    ASSERT_EQ(OpenDevice(""), 0);
    OnDataReceived(&onCard);
    g.clear();
    dev->swipe(sim::swipe::isoMastercardCard());
    ASSERT_TRUE(g.waitFor("card", 1));
    auto top = walkTlv(GetTLVPayload());
    ASSERT_EQ(top.size(), 1u);
    auto items = walkTlv(walkTlv(top[0].second).at(1).second);
    ASSERT_EQ(items.size(), 6u);
    EXPECT_EQ(items[0].second, hexOfText(sim::swipe::isoMastercardCard().track1));
}

}  // namespace
