// Card-data reports: decoding of clear and encrypting readers' reports into the card records,
// name/PAN/expiry extraction, the delimited card-data line, and reports that are short,
// oversized or garbled.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ErrorCodes.h"
#include "engine_fixture.h"

namespace {

const char kTrack1[] = "%B4111111111111111^DOE/JOHN^25121010000000000000?";
const char kTrack2[] = ";4111111111111111=25121010000000000?";
const char kMasked1[] = "%B4111********1111^PUBLIC/JANE Q^2612000000000000?";
const char kMasked2[] = ";4111********1111=26120000000000000?";

// Writes a field; a report too short for it simply ends before it.
void put(Bytes& r, size_t offset, const void* data, size_t n) {
    if (offset + n <= r.size()) std::memcpy(r.data() + offset, data, n);
}

void putByte(Bytes& r, size_t offset, unsigned char b) {
    if (offset < r.size()) r[offset] = b;
}

// A report of a reader that does not encrypt: tracks at 8, 118, 228.
Bytes clearReport(const std::string& t1, const std::string& t2, const std::string& t3,
                  size_t size = 338, unsigned char encode = 0) {
    Bytes r(size, 0);
    r[0] = 1;
    r[4] = static_cast<unsigned char>(t1.size());
    r[5] = static_cast<unsigned char>(t2.size());
    r[6] = static_cast<unsigned char>(t3.size());
    r[7] = encode;
    put(r, 8, t1.data(), t1.size());
    put(r, 118, t2.data(), t2.size());
    put(r, 228, t3.data(), t3.size());
    return r;
}

// A full report of an encrypting reader with every secure field.
Bytes encryptingReport(size_t size = 932) {
    Bytes r(size, 0);
    r[0] = 1;
    r[1] = 0x00;
    r[2] = 0x00;
    r[3] = 0x00;
    r[4] = 32;  // encrypted track 1: 32 bytes
    r[5] = 16;  // encrypted track 2: 16 bytes
    r[6] = 0;
    r[7] = 0;  // ISO
    for (int i = 0; i < 32; ++i) r[8 + i] = static_cast<unsigned char>(0x10 + i);
    for (int i = 0; i < 16; ++i) r[120 + i] = static_cast<unsigned char>(0xA0 + i);
    const unsigned char fluxStatus[4] = {0x01, 0x02, 0x03, 0x04};
    put(r, 345, fluxStatus, 4);
    putByte(r, 349, 100);
    for (int i = 0; i < 128; ++i) putByte(r, 350 + i, static_cast<unsigned char>(i));
    put(r, 478, "B123456789ABCDEF", 16);
    putByte(r, 494, 0x34);
    putByte(r, 495, 0x12);
    const unsigned char ksn[10] = {0xFF, 0xFF, 0x98, 0x76, 0x54, 0x32, 0x10, 0xE0, 0x00, 0x01};
    put(r, 496, ksn, 10);
    putByte(r, 506, static_cast<unsigned char>(std::strlen(kMasked1)));
    putByte(r, 507, static_cast<unsigned char>(std::strlen(kMasked2)));
    putByte(r, 508, 0);
    put(r, 509, kMasked1, std::strlen(kMasked1));
    put(r, 621, kMasked2, std::strlen(kMasked2));
    const unsigned char session[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    put(r, 845, session, 8);
    if (size > 931) r[931] = 87;
    return r;
}

std::string hexOf(const Bytes& b, size_t from, size_t n) {
    static const char d[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += d[b[from + i] >> 4];
        s += d[b[from + i] & 15];
    }
    return s;
}

struct Reader {
    RecordingDelegate delegate;  // outlives the engine
    TestEngine<Cardova> engine;
    explicit Reader(long pid) {
        engine.configure(modelRow(pid));
        engine.setDelegate(&delegate);
    }
    ECardDataStateValues feed(Bytes report) {
        engine.getMSRResult(report.data(), static_cast<int>(report.size()));
        return delegate.cardStates.empty() ? STRIX_DATA_NOTREADY : delegate.cardStates.back();
    }
};

TEST(CardReport, ClearReaderReportOf338Bytes) {
    Reader reader(0x0001);
    Bytes report = clearReport(kTrack1, kTrack2, "");
    ASSERT_EQ(reader.feed(report), STRIX_DATA_READY);
    VLMSRDATA m = reader.engine.getCardData();
    EXPECT_STREQ(m.m_szTrack1Data, kTrack1);
    EXPECT_STREQ(m.m_szTrack2Data, kTrack2);
    EXPECT_STREQ(m.m_szTrack3Data, "");
    EXPECT_STREQ(m.m_szTrack1DataMasked, kTrack1);
    EXPECT_STREQ(m.m_szTrack2DataMasked, kTrack2);
    EXPECT_EQ(m.m_dwTrack1Length, static_cast<long>(std::strlen(kTrack1)));
    EXPECT_EQ(m.m_dwTrack1LengthMasked, m.m_dwTrack1Length);
    EXPECT_EQ(m.m_dwTrack2LengthMasked, m.m_dwTrack2Length);
    EXPECT_EQ(std::string(m.m_szCardData), std::string(kTrack1) + kTrack2);
    EXPECT_EQ(std::string(m.m_szCardDataMasked), std::string(kTrack1) + kTrack2);
    EXPECT_EQ(m.m_dwBatteryLevel, 0);
    EXPECT_STREQ(m.m_szDUKPTKSN, "00000000000000000000");
    EXPECT_STREQ(m.m_szDUKPTSessionID, "0000000000000000");
    EXPECT_STREQ(m.m_szDeviceSerialNumber, "");
    EXPECT_STREQ(m.m_szFluxmarkStatus, "");
    EXPECT_STREQ(m.m_szCardEncodeType, "ISO");
    EXPECT_EQ(m.m_dwReaderID, 0x0001);
    EXPECT_STREQ(m.m_szFirstName, "JOHN");
    EXPECT_STREQ(m.m_szLastName, "DOE");
    EXPECT_STREQ(m.m_szPAN, "4111111111111111");
    EXPECT_STREQ(m.m_szYear, "25");
    EXPECT_STREQ(m.m_szMonth, "12");
    EXPECT_STREQ(reader.engine.getStrixData().m_szExpDate, "2512");
    // The raw store holds the report as lower-case hex.
    EXPECT_EQ(reader.engine.getMsrRawData().substr(0, 8), "01000000");
    EXPECT_EQ(reader.engine.getMsrRawData().size(), 2u * 338);
}

TEST(CardReport, EncryptingReaderFullReport) {
    Reader reader(0x0019);
    Bytes report = encryptingReport();
    ASSERT_EQ(reader.feed(report), STRIX_DATA_READY);
    VLMSRDATA m = reader.engine.getCardData();
    EXPECT_EQ(std::string(m.m_szTrack1Data), hexOf(report, 8, 32));
    EXPECT_EQ(std::string(m.m_szTrack2Data), hexOf(report, 120, 16));
    EXPECT_EQ(m.m_dwTrack1Length, 32);  // bytes, not characters of the text
    EXPECT_EQ(m.m_dwTrack2Length, 16);
    EXPECT_EQ(std::string(m.m_szCardData), hexOf(report, 8, 32) + hexOf(report, 120, 16));
    EXPECT_STREQ(m.m_szTrack1DataMasked, kMasked1);
    EXPECT_STREQ(m.m_szTrack2DataMasked, kMasked2);
    EXPECT_EQ(m.m_dwTrack1LengthMasked, static_cast<long>(std::strlen(kMasked1)));
    EXPECT_EQ(std::string(m.m_szCardDataMasked), std::string(kMasked1) + kMasked2);
    EXPECT_STREQ(m.m_szFluxmarkStatus, "01020304");
    EXPECT_EQ(m.m_dwFluxmarkStatus, 0x04030201);
    EXPECT_EQ(m.m_dwFluxmarkLength, 100);
    EXPECT_EQ(std::string(m.m_szFluxmarkData), hexOf(report, 350, 100));
    EXPECT_STREQ(m.m_szDeviceSerialNumber, "B123456789ABCDEF");
    EXPECT_EQ(m.m_dwEncryptionStatus, 0x1234);
    EXPECT_STREQ(m.m_szDUKPTKSN, "FFFF9876543210E00001");
    EXPECT_STREQ(m.m_szDUKPTSessionID, "1122334455667788");
    EXPECT_EQ(m.m_dwBatteryLevel, 87);
    EXPECT_EQ(m.m_dwReaderID, 0x0019);
    // Names, PAN and expiry come from the masked tracks.
    EXPECT_STREQ(m.m_szFirstName, "JANE Q");
    EXPECT_STREQ(m.m_szLastName, "PUBLIC");
    EXPECT_STREQ(m.m_szPAN, "4111********1111");
    EXPECT_STREQ(m.m_szYear, "26");
    EXPECT_STREQ(m.m_szMonth, "12");
}

TEST(CardReport, CardDataLineListsEveryFieldInOrder) {
    Reader reader(0x0019);
    ASSERT_EQ(reader.feed(encryptingReport()), STRIX_DATA_READY);
    const std::string line = reader.engine.GetCardDataStr("|");
    std::vector<std::string> f;
    size_t start = 0;
    for (size_t p; (p = line.find('|', start)) != std::string::npos; start = p + 1)
        f.push_back(line.substr(start, p - start));
    f.push_back(line.substr(start));
    ASSERT_EQ(f.size(), 32u);
    EXPECT_EQ(f[0], "0000000000000019");
    EXPECT_EQ(f[1], "B123456789ABCDEF");
    EXPECT_EQ(f[2], "0");  // swipe status
    EXPECT_EQ(f[3], "0");  // encode type
    EXPECT_EQ(f[7], "01020304");
    EXPECT_EQ(f[8], "32");  // track 1 length
    EXPECT_EQ(f[11], std::to_string(std::strlen(kMasked1)));
    EXPECT_EQ(f[14], "100");  // Fluxmark length
    EXPECT_EQ(f[17], "1122334455667788");
    EXPECT_EQ(f[18], "FFFF9876543210E00001");
    EXPECT_EQ(f[19], "JANE Q");
    EXPECT_EQ(f[20], "PUBLIC");
    EXPECT_EQ(f[21], "4111********1111");
    EXPECT_EQ(f[22], "12");
    EXPECT_EQ(f[23], "26");
    EXPECT_EQ(f[27], kMasked1);
    EXPECT_EQ(f[15], hexOf(encryptingReport(), 8, 32) + hexOf(encryptingReport(), 120, 16));
    EXPECT_EQ(f[30], hexOf(encryptingReport(), 350, 100));
    EXPECT_EQ(f[31], "87");
    EXPECT_EQ(line.back(), '7');
}

TEST(CardReport, ShortLongAndGarbledReports) {
    struct Case {
        const char* what;
        long pid;
        Bytes report;
        ECardDataStateValues state;
        long battery;
    };
    Bytes trackPastEnd = clearReport(kTrack1, "", "", 150);
    trackPastEnd[4] = 200;  // track 1 would run past the end of the report
    Bytes maskedPastEnd = encryptingReport(800);
    maskedPastEnd[508] = 100;  // masked track 3 at 733 would end at 833
    Bytes allOnes(932, 0xFF);  // every length 255; masked track 3 would end at 988
    Bytes allOnesLong(2048, 0xFF);
    Bytes noBattery = encryptingReport(887);
    Bytes oversized = encryptingReport(4000);
    const Case cases[] = {
        {"empty report", 0x0019, Bytes{}, STRIX_DATA_ERROR, 0},
        {"header only, 5 bytes", 0x0019, Bytes{1, 0, 0, 0, 5}, STRIX_DATA_ERROR, 0},
        {"8-byte header without tracks", 0x0001, Bytes{1, 0, 0, 0, 0, 0, 0, 0}, STRIX_DATA_READY,
         0},
        {"track 1 past the end", 0x0001, trackPastEnd, STRIX_DATA_ERROR, 0},
        {"masked track past the end", 0x0019, maskedPastEnd, STRIX_DATA_ERROR, 0},
        {"all 0xFF, 932 bytes", 0x0019, allOnes, STRIX_DATA_ERROR, 0},
        {"all 0xFF, 2048 bytes", 0x0019, allOnesLong, STRIX_DATA_READY, 255},
        {"887 bytes: no battery byte", 0x0019, noBattery, STRIX_DATA_READY, 100},
        {"4000 bytes", 0x0019, oversized, STRIX_DATA_READY, 87},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Reader reader(c.pid);
        ASSERT_EQ(reader.feed(c.report), c.state);
        VLMSRDATA m = reader.engine.getCardData();
        EXPECT_EQ(m.m_dwBatteryLevel, c.battery);
        // Every text of the record is terminated within its field.
        EXPECT_LT(strnlen(m.m_szCardData, sizeof m.m_szCardData), sizeof m.m_szCardData);
        EXPECT_LT(strnlen(m.m_szTrack1Data, sizeof m.m_szTrack1Data), sizeof m.m_szTrack1Data);
        EXPECT_LT(strnlen(m.m_szFluxmarkData, 256), 256u);
        if (c.state == STRIX_DATA_ERROR) {
            EXPECT_STREQ(m.m_szCardData, "");
        }
    }
}

TEST(CardReport, OverlongFieldsAreCutToTheirRecords) {
    Reader reader(0x0019);
    Bytes allOnes(2048, 0xFF);
    ASSERT_EQ(reader.feed(allOnes), STRIX_DATA_READY);
    STRIXDATA r = reader.engine.getStrixData();
    EXPECT_EQ(std::strlen(r.m_szTk1Data), 510u);  // 255 bytes as hex
    EXPECT_EQ(std::strlen(r.m_szCardData), 1530u);
    EXPECT_EQ(r.m_dwFluxmarkLength, 128);  // the report holds 128 Fluxmark bytes
    VLMSRDATA m = reader.engine.getCardData();
    EXPECT_EQ(std::strlen(m.m_szTrack1Data), 255u);
    EXPECT_EQ(std::strlen(m.m_szCardData), 767u);
    EXPECT_EQ(std::strlen(m.m_szFluxmarkData), 254u);
    EXPECT_EQ(std::strlen(m.m_szDeviceSerialNumber), 16u);
    EXPECT_EQ(m.m_dwCardSwipeStatus, 1);
}

TEST(CardReport, SwipeStatusAndEncodeType) {
    const struct {
        unsigned char dcd[3];
        unsigned char encode;
        long swipe;
        const char* encodeName;
    } cases[] = {
        {{0x00, 0x00, 0x00}, 0, 0, "ISO"},          {{0x01, 0x00, 0x00}, 1, 1, "AAMVA"},
        {{0x00, 0x00, 0x01}, 2, 1, "CADL"},         {{0x02, 0x04, 0x00}, 6, 0, "NONE"},
        {{0x00, 0x03, 0x00}, 5, 1, "UNDETERMINED"}, {{0x00, 0x00, 0x00}, 9, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encodeName);
        Reader reader(0x0001);
        Bytes report = clearReport(kTrack1, kTrack2, "", 338, c.encode);
        std::memcpy(report.data() + 1, c.dcd, 3);
        ASSERT_EQ(reader.feed(report), STRIX_DATA_READY);
        VLMSRDATA m = reader.engine.getCardData();
        EXPECT_EQ(m.m_dwCardSwipeStatus, c.swipe);
        EXPECT_EQ(m.m_dwCardEncodeType, c.encode);
        EXPECT_STREQ(m.m_szCardEncodeType, c.encodeName);
        EXPECT_EQ(m.m_dwTrack1DcdStatus, c.dcd[0]);
    }
}

TEST(CardReport, NameExtraction) {
    const struct {
        const char* what;
        const char* track1;
        unsigned char encode;
        const char* first;
        const char* last;
    } cases[] = {
        {"ISO surname/given name", "%B4111111111111111^DOE/JOHN^2512101?", 0, "JOHN", "DOE"},
        {"ISO padded name field", "%B4111111111111111^ DOE   /JOHN  ^2512101?", 0, "JOHN", "DOE"},
        {"ISO name without slash", "%B4111111111111111^JOHN DOE^2512101?", 0, "", ""},
        {"ISO single caret", "%B4111111111111111^DOE/JOHN", 0, "", ""},
        {"AAMVA caret within 16 characters", "%CAANYTOWN^DOE$JOHN$JR^123 MAIN ST^?", 1, "JOHN",
         "DOE"},
        {"AAMVA first caret beyond 16 characters", "%CASACRAMENTO   DOE$JANE^1 ELM ST^?", 1, "JANE",
         "DOE"},
        {"AAMVA name without dollar", "%CAANYTOWN^MADONNA^1 ELM ST^?", 1, "MADONNA", ""},
        {"AAMVA without start sentinel", "CAANYTOWN^DOE$JOHN^1 ELM ST^?", 1, "", ""},
        {"AAMVA name longer than 35", "%CAX^ABCDEFGHIJKLMNOPQRSTUVWXYZ$0123456789XYZ^?", 1,
         "01234567", "ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Reader reader(0x0001);
        ASSERT_EQ(reader.feed(clearReport(c.track1, "", "", 338, c.encode)), STRIX_DATA_READY);
        VLMSRDATA m = reader.engine.getCardData();
        EXPECT_STREQ(m.m_szFirstName, c.first);
        EXPECT_STREQ(m.m_szLastName, c.last);
    }
}

TEST(CardReport, PanAndExpiryFromTrack2OrFromTrack1) {
    const struct {
        const char* what;
        const char* track1;
        const char* track2;
        const char* pan;
        const char* year;
        const char* month;
    } cases[] = {
        {"track 2", "", ";5500000000000004=2512101?", "5500000000000004", "25", "12"},
        {"track 2 wins over track 1", "%B4111111111111111^DOE/JOHN^2712101?",
         ";5500000000000004=2512101?", "5500000000000004", "25", "12"},
        {"track 1 through the parser", "%B4111111111111111^DOE/JOHN^2712101?", "",
         "4111111111111111", "27", "12"},
        {"track 2 without separator", "", ";5500000000000004?", "", "", ""},
        {"track 2 with short expiry", "", ";5500000000000004=25", "5500000000000004", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Reader reader(0x0001);
        ASSERT_EQ(reader.feed(clearReport(c.track1, c.track2, "")), STRIX_DATA_READY);
        VLMSRDATA m = reader.engine.getCardData();
        EXPECT_STREQ(m.m_szPAN, c.pan);
        EXPECT_STREQ(m.m_szYear, c.year);
        EXPECT_STREQ(m.m_szMonth, c.month);
    }
}

TEST(CardReport, EachReportReplacesThePreviousOne) {
    Reader reader(0x0019);
    ASSERT_EQ(reader.feed(encryptingReport()), STRIX_DATA_READY);
    ASSERT_EQ(reader.feed(Bytes{1, 0, 0}), STRIX_DATA_ERROR);
    VLMSRDATA m = reader.engine.getCardData();
    EXPECT_STREQ(m.m_szPAN, "");
    EXPECT_STREQ(m.m_szDUKPTKSN, "");
    EXPECT_EQ(m.m_dwBatteryLevel, 0);
    EXPECT_EQ(reader.engine.getStrixData().m_dwDevicePID, 0x0019);  // kept across reads
    reader.engine.clear();
    EXPECT_EQ(reader.engine.getCardData().m_dwReaderID, 0);
}

TEST(CommandReport, ComposesPlainCommands) {
    const struct {
        const char* hex;
        int capacity;
        bool ok;
        Bytes report;  // bytes 1.. of the composed report
    } cases[] = {
        {"4800", 64, true, {0x48, 0x01, 0x00}},
        {"48", 64, true, {0x48, 0x00}},
        {"0a1B2c", 64, true, {0x0A, 0x02, 0x1B, 0x2C}},
        {"480", 64, true, {0x48, 0x00}},  // a trailing odd character is ignored
        {"", 64, false, {}},
        {"4", 64, false, {}},
        {"4G00", 64, false, {}},
        {"480001", 4, false, {}},  // 3 bytes + 1 is not below the capacity
        {"480001", 5, true, {0x48, 0x02, 0x00, 0x01}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hex);
        Cardova engine;
        Bytes buffer(70, 0xEE);
        int length = c.capacity;
        bool ok =
            engine.composeCommand(reinterpret_cast<unsigned char*>(const_cast<char*>(c.hex)),
                                  static_cast<int>(std::strlen(c.hex)), buffer.data(), &length);
        ASSERT_EQ(ok, c.ok);
        if (!ok) continue;
        EXPECT_EQ(length, static_cast<int>(c.report.size()) + 1);
        EXPECT_EQ(Bytes(buffer.begin() + 1, buffer.begin() + length), c.report);
        EXPECT_EQ(buffer[0], 0xEE);  // the report ID is the caller's
    }
    // More than 255 data bytes cannot be described by the length byte.
    Cardova engine;
    std::string big = "48" + std::string(2 * 256, '0');
    Bytes buffer(4096);
    int length = 4096;
    EXPECT_FALSE(engine.composeCommand(reinterpret_cast<unsigned char*>(&big[0]),
                                       static_cast<int>(big.size()), buffer.data(), &length));
}

TEST(CommandReport, FormatsPlainResponses) {
    const struct {
        const char* what;
        Bytes response;
        int capacity;
        int rc;
        const char* hex;
        int resultCode;
    } cases[] = {
        {"accepted with data", {0, 0x00, 2, 0x01, 0xAB}, 64, 0, "01AB", 0},
        {"accepted without data", {0, 0x00, 0}, 64, 0, "", 0},
        {"status 1, no data", {0, 0x01, 0}, 64, 1, "", 1},
        {"rejected with data", {0, 0x80, 1, 0x5A}, 64, 0x80, "5A", 0x80},
        {"length past the report", {0, 0x00, 9, 0x01}, 64, 17, "", 0},
        {"result text does not fit", {0, 0x00, 2, 0x01, 0xAB}, 4, 13, "", 0},
        {"too short for a status", {0, 0x00}, 64, 17, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Cardova engine;
        Bytes response = c.response;
        char out[64];
        std::memset(out, 'x', sizeof out);
        int outLen = c.capacity;
        EXPECT_EQ(engine.MakeHexStringFromResponse(response.data(),
                                                   static_cast<int>(response.size()), out, &outLen),
                  c.rc);
        EXPECT_STREQ(out, c.hex);
        EXPECT_EQ(outLen, static_cast<int>(std::strlen(c.hex)));
        if (response.size() >= 3) {
            EXPECT_EQ(engine.getResultCode(), response[1]);
        }
    }
}

TEST(EngineFactory, ModelWithoutEngineAndMissingDeviceFailCleanly) {
    CRConfigTable row = modelRow(0x0018);
    EXPECT_EQ(Cardova::open("HID://", &row), nullptr);
    CRConfigTable eTorvo = modelRow(0x0019);
    EXPECT_EQ(Cardova::open("HID://", &eTorvo), nullptr);
    EXPECT_EQ(Cardova::open("COM7", nullptr), nullptr);
    EXPECT_EQ(CR_CfgTable[STRIX_MODEL_COUNT - 1].dwPID, 0);
    EXPECT_STREQ(CR_CfgTable[0].strDesc, "Cardova V4/V5 Swipe");
}

}  // namespace
