// The stateless half of the C interface: building commands, formatted command texts, reading
// responses, notifications and file messages, and the result pools.
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "orbx.h"

namespace {

std::string text(const char* p) {
    return p == nullptr ? std::string("<null>") : std::string(p);
}

// The command message hex with its message number (header byte 1) replaced by "nn", so that
// expectations do not depend on how many commands were built before.
std::string withoutNumber(const char* hex) {
    std::string s = text(hex);
    if (s.size() >= 10 && s.compare(0, 8, "AA008104") == 0) s.replace(10, 2, "nn");
    return s;
}

// "AA00" + header + inner frame, for building the expected command hex.
std::string command(const std::string& id, const std::string& inner) {
    std::string body = id + inner;
    char length[8];
    std::snprintf(length, sizeof length, "%02X", static_cast<unsigned>(body.size() / 2));
    return "AA00810401nn" + id + "84" + length + body;
}

struct FormattedCase {
    const char* name;
    const char* input;
    const char* expected;  // null: the text is invalid
};

class FormattedText : public ::testing::TestWithParam<FormattedCase> {};

TEST_P(FormattedText, ConvertsOrRejects) {
    const FormattedCase& c = GetParam();
    const char* hex = ORBX_GetFormattedCommandBytesInHex(c.input);
    if (c.expected == nullptr) {
        EXPECT_EQ(hex, nullptr) << text(hex);
    } else {
        EXPECT_EQ(withoutNumber(hex), c.expected);
    }
}

const std::string kPlain = command("1F01", "");
const std::string kP81 = command("1F01", "810101");
const std::string kP81Empty = command("1F01", "8100");
const std::string kTwo = command("1F01", "8102010284020A0B");
const std::string kLast = command("1F01", "810103");

INSTANTIATE_TEST_SUITE_P(
    Cases, FormattedText,
    ::testing::Values(FormattedCase{"bare_identifier", "1F01", kPlain.c_str()},
                      FormattedCase{"lower_case_identifier", "1f01", kPlain.c_str()},
                      FormattedCase{"leading_zeros", "00001F01", kPlain.c_str()},
                      FormattedCase{"one_parameter", "1F01,81=01", kP81.c_str()},
                      FormattedCase{"blank_after_comma_dropped", "1F01, 81=01", kP81.c_str()},
                      FormattedCase{"tab_after_comma_dropped", "1F01,\t81=01", kP81.c_str()},
                      FormattedCase{"leading_blank_dropped", " 1F01", kPlain.c_str()},
                      FormattedCase{"empty_value", "1F01,81=", kP81Empty.c_str()},
                      FormattedCase{"two_parameters", "1F01,81=0102,84=0A0B", kTwo.c_str()},
                      FormattedCase{"repeated_tag_keeps_last", "1F01,81=01,81=03", kLast.c_str()},
                      FormattedCase{"key_low_byte_is_tag", "1F01,181=01", kP81.c_str()},
                      FormattedCase{"empty_piece", "1F01,,81=01", nullptr},
                      FormattedCase{"trailing_comma", "1F01,", nullptr},
                      FormattedCase{"no_equals_sign", "1F01,81", nullptr},
                      FormattedCase{"two_blanks", "1F01,  81=01", nullptr},
                      FormattedCase{"blank_before_equals", "1F01,81 =01", nullptr},
                      FormattedCase{"trailing_blank", "1F01,81=01 ", nullptr},
                      FormattedCase{"key_not_hex", "1F01,ZZ=01", nullptr},
                      FormattedCase{"identifier_not_hex", "GG01", nullptr},
                      FormattedCase{"identifier_with_prefix", "0x1F01", nullptr},
                      FormattedCase{"identifier_over_16_bits", "11F01", nullptr},
                      FormattedCase{"value_with_separator", "1F01,81=01-02", nullptr},
                      FormattedCase{"only_blank", " ", nullptr},
                      FormattedCase{"empty", "", nullptr}, FormattedCase{"null", nullptr, nullptr}),
    [](const ::testing::TestParamInfo<FormattedCase>& info) {
        return std::string(info.param.name);
    });

TEST(FormattedTextNumbers, EachConversionDrawsANewMessageNumber) {
    std::string first = text(ORBX_GetFormattedCommandBytesInHex("1F01"));
    std::string second = text(ORBX_GetFormattedCommandBytesInHex("1F01"));
    ASSERT_EQ(first.size(), 24u);
    ASSERT_EQ(second.size(), 24u);
    EXPECT_NE(first.substr(10, 2), second.substr(10, 2));
    EXPECT_EQ(first.substr(12), second.substr(12));
}

TEST(CommandHandle, BuildsSerialisesAndIgnoresNoHandle) {
    void* cmd = ORBX_CreateCommand(0x1010);
    ASSERT_NE(cmd, nullptr);
    ORBX_SetCommandParameter(cmd, 0x81, "02");
    ORBX_SetCommandParameter(cmd, 0x81, "01");  // replaces
    ORBX_SetCommandParameter(cmd, 0x83, "abcd");
    ORBX_SetCommandParameter(cmd, 0x82, nullptr);  // ignored
    std::string first = text(ORBX_GetCommandBytesInHex(cmd));
    std::string second = text(ORBX_GetCommandBytesInHex(cmd));
    EXPECT_EQ(withoutNumber(first.c_str()), command("1010", "8101018302ABCD"));
    EXPECT_NE(first.substr(10, 2), second.substr(10, 2))
        << "every serialisation takes a new number";
    ORBX_DeleteCommand(cmd);

    for (void* none : {static_cast<void*>(nullptr), reinterpret_cast<void*>(-1)}) {
        ORBX_SetCommandParameter(none, 0x81, "01");
        EXPECT_EQ(ORBX_GetCommandBytesInHex(none), nullptr);
        ORBX_DeleteCommand(none);
    }
}

// A response to command 1F01 with inner parameters 81 = 07 and A4 holding nested track data.
const char* const kResponse = "AA00810402051F01820400000000840B1F01810107A404A0028100";
const char* const kContainerResponse = "AA00810402051F01A20681010582010184051F01810107";

struct StatusCase {
    const char* name;
    const char* hex;
    unsigned statusCode;
    int commandStatus;
    int operationStatus;
    int commandId;
};

class ResponseStatus : public ::testing::TestWithParam<StatusCase> {};

TEST_P(ResponseStatus, ReadsEveryField) {
    const StatusCase& c = GetParam();
    EXPECT_EQ(ORBX_GetStatusCode(c.hex), c.statusCode);
    EXPECT_EQ(ORBX_GetCommandStatus(c.hex), c.commandStatus);
    EXPECT_EQ(ORBX_GetOperationStatus(c.hex), c.operationStatus);
    EXPECT_EQ(ORBX_GetResponseCommandID(c.hex), c.commandId);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResponseStatus,
    ::testing::Values(
        StatusCase{"short_form_zero", kResponse, 0, 0, 0, 0x1F01},
        StatusCase{"short_form_split", "AA00810402051F0182040100000584021F01", 0x01000005, 5, 1,
                   0x1F01},
        StatusCase{"warning_top_byte", "AA00810402051F0182044000000084021F01", 0x40000000, 0, 0x40,
                   0x1F01},
        StatusCase{"type_bit7_ignored", "AA00810482051F0182040000000084021F01", 0, 0, 0, 0x1F01},
        StatusCase{"other_framework_id", "AAFF810402051F0182040000000084021F01", 0, 0, 0, 0x1F01},
        StatusCase{"container_form", kContainerResponse, 0x01000005, 5, 1, 0x1F01},
        StatusCase{"no_status", "AA00810402051F0184021F01", 255, 255, 255, 0},
        StatusCase{"a_command", "AA00810401051F0184021F01", 255, 255, 255, 0},
        StatusCase{"a_notification", "AA0081040301010182041001020084020101", 255, 255, 255, 0},
        StatusCase{"not_hex", "hello", 255, 255, 255, 0}, StatusCase{"empty", "", 255, 255, 255, 0},
        StatusCase{"null", nullptr, 255, 255, 255, 0}),
    [](const ::testing::TestParamInfo<StatusCase>& info) { return std::string(info.param.name); });

TEST(ResponseParameter, FollowsTagPaths) {
    struct {
        const char* path;
        const char* expected;
    } cases[] = {
        {"81", "07"}, {"A4", "A0028100"}, {"A4.A0", "8100"}, {"A4.A0.81", ""},   {"C1", ""},
        {"9F", ""},   {"82", ""},         {"", ""},          {"not-a-path", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(text(ORBX_GetResponseParameter(kResponse, c.path)), c.expected) << c.path;
    EXPECT_EQ(text(ORBX_GetResponseParameter(kResponse, nullptr)), "");
    EXPECT_EQ(text(ORBX_GetResponseParameter(nullptr, "81")), "");
    EXPECT_EQ(text(ORBX_GetResponseParameter("AA0081040301010182041001020084020101", "81")), "")
        << "a notification is not a response";
}

// Notification 0x10010200 (card inserted) with identifier 0x0101 and inner parameter 84 = AB CD.
std::string cardInserted() {
    return std::string("AA00") + "810403010101" + "820410010200" + "8406" + "01018402ABCD";
}
// Notification with code 0 (all event fields zero), identifier 0x0105.
const char* const kZeroCode = "AA00810403020105820400000000";

TEST(Notification, ReadsCodeIdentifierAndParameters) {
    std::string n = cardInserted();
    EXPECT_EQ(ORBX_GetNotificationCode(n.c_str()), 0x10010200u);
    EXPECT_EQ(ORBX_GetNotificationId(n.c_str()), 0x0101);
    EXPECT_EQ(text(ORBX_GetNotificationParameter(n.c_str(), "84")), "ABCD");
    EXPECT_EQ(text(ORBX_GetNotificationParameter(n.c_str(), "85")), "");
    EXPECT_EQ(ORBX_GetNotificationCode(kResponse), 0u) << "a response is not a notification";
    EXPECT_EQ(ORBX_GetNotificationId(kResponse), 0);
    EXPECT_EQ(text(ORBX_GetNotificationParameter(kResponse, "81")), "");
    EXPECT_EQ(ORBX_GetNotificationCode(nullptr), 0u);
    EXPECT_EQ(text(ORBX_GetNotificationParameter(nullptr, "84")), "");
    // A five-byte header is not a notification header.
    EXPECT_EQ(ORBX_GetNotificationCode("AA008105030101010082041001020084020101"), 0u);
}

TEST(Notification, IsNotificationRules) {
    std::string n = cardInserted();
    struct {
        const char* data;
        unsigned code;
        unsigned short core;
        bool expected;
    } cases[] = {
        {n.c_str(), 0x10010200, 0, true},        // code matches, any identifier
        {n.c_str(), 0x10010200, 0x0101, true},   // code and identifier match
        {n.c_str(), 0x10010200, 0x0105, false},  // code matches, identifier does not
        {n.c_str(), 0, 0, true},                 // any notification
        {n.c_str(), 0, 5, true},                 // code 0 with another code: identifier not asked
        {n.c_str(), 0x10010300, 0, false},       // another code
        {n.c_str(), 0x10010300, 0x0101, false},
        {kZeroCode, 0, 0, true},  // code 0 matches exactly, identifier 0 = any
        {kZeroCode, 0, 0x0105, true},
        {kZeroCode, 0, 0x0101, false},  // code 0 matches exactly: identifier asked
        {kResponse, 0, 0, false},       // not a notification
        {"", 0, 0, false},
        {"zz", 0, 0, false},
        {nullptr, 0, 0, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ORBX_IsNotification(c.data, c.code, c.core), c.expected)
            << text(c.data) << " code " << std::hex << c.code << " core " << c.core;
    }
}

TEST(FileMessage, BuildsAndReadsBack) {
    std::string message = text(ORBX_GetFileMessage(0x01000000, "00112233", 0xD811));
    EXPECT_EQ(message,
              "AA00"
              "81080400D81101000000"
              "840400112233");
    EXPECT_TRUE(ORBX_IsFile(message.c_str()));
    EXPECT_EQ(ORBX_GetFileID(message.c_str()), 0x01000000ul);
    EXPECT_EQ(text(ORBX_GetFilePayload(message.c_str())), "00112233");
    // The file identifier is a 32-bit quantity.
    EXPECT_EQ(ORBX_GetFileID(ORBX_GetFileMessage(0x1FFFFFFFFul, "01", 1)), 0xFFFFFFFFul);

    const char* notFiles[] = {kResponse,
                              "AA00810604000D811010084040011",  // 6-byte header
                              "AA0081080400D81101000000",       // no contents
                              "",
                              "zz",
                              nullptr};
    for (const char* hex : notFiles) {
        EXPECT_FALSE(ORBX_IsFile(hex)) << text(hex);
        EXPECT_EQ(ORBX_GetFileID(hex), 0ul) << text(hex);
        EXPECT_EQ(text(ORBX_GetFilePayload(hex)), "") << text(hex);
    }
    EXPECT_EQ(text(ORBX_GetFileMessage(1, nullptr, 1)), "");
}

// A response whose parameter 81 holds `bytes` copies of `fill`.
std::string responseWith(int bytes, const char* fill) {
    std::string value;
    for (int i = 0; i < bytes; ++i) value += fill;
    char length[16];
    std::snprintf(length, sizeof length, "8182%04X", bytes);  // 81, long-form length
    std::string inner = std::string("1F01") + length + value;
    std::snprintf(length, sizeof length, "8482%04X", static_cast<unsigned>(inner.size() / 2));
    return std::string("AA00810402051F01820400000000") + length + inner;
}

TEST(ResultPools, AResultOutlivesResultsOfOtherPools) {
    const char* parameter = ORBX_GetResponseParameter(kResponse, "81");  // pool 0
    const char* list = ORBX_GetDeviceList(TCP);                          // pool 2
    ASSERT_STREQ(parameter, "07");
    ASSERT_STREQ(list, "[]");
    void* cmd = ORBX_CreateCommand(0x1F01);
    // More than a whole pool of command bytes (pool 1) ...
    for (int i = 0; i < 200000; ++i) ASSERT_NE(ORBX_GetCommandBytesInHex(cmd), nullptr);
    ORBX_DeleteCommand(cmd);
    EXPECT_STREQ(parameter, "07");
    EXPECT_STREQ(list, "[]");
    // ... and of ordinary results (pool 0) leave the device list alone.
    std::string big = responseWith(20000, "5A");
    for (int i = 0; i < 150; ++i)
        ASSERT_EQ(std::strlen(ORBX_GetResponseParameter(big.c_str(), "81")), 40000u);
    EXPECT_STREQ(list, "[]");
}

TEST(ResultPools, ConcurrentProducersNeverShareMemory) {
    // Two threads take results from pool 0 at once, less than a pool in all, and check each result
    // right away: with overlapping reservations one thread would see the other's bytes.
    std::string a = responseWith(1000, "AA"), b = responseWith(1000, "BB");
    std::string expectA(2000, 'A'), expectB(2000, 'B');
    int badA = 0, badB = 0;
    auto produce = [](const std::string& response, const std::string& expected, int& bad) {
        for (int i = 0; i < 800; ++i) {
            const char* p = ORBX_GetResponseParameter(response.c_str(), "81");
            if (expected != p) ++bad;
        }
    };
    std::thread t1(produce, std::cref(a), std::cref(expectA), std::ref(badA));
    std::thread t2(produce, std::cref(b), std::cref(expectB), std::ref(badB));
    t1.join();
    t2.join();
    EXPECT_EQ(badA, 0);
    EXPECT_EQ(badB, 0);
}

TEST(ResultPools, OversizedResultIsRefusedNotOverrun) {
    // 2.5 MiB of parameter bytes give a 5 MiB hex text, larger than a pool.
    std::string value(5 * 1024 * 1024, 'C');
    char length[16];
    std::snprintf(length, sizeof length, "8183%06X", static_cast<unsigned>(value.size() / 2));
    std::string inner = std::string("1F01") + length + value;
    std::snprintf(length, sizeof length, "8483%06X", static_cast<unsigned>(inner.size() / 2));
    std::string huge = std::string("AA00810402051F01820400000000") + length + inner;
    EXPECT_EQ(ORBX_GetStatusCode(huge.c_str()), 0u) << "the message itself is fine";
    EXPECT_STREQ(ORBX_GetResponseParameter(huge.c_str(), "81"), "");
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST(ResultPoolsDeathTest, PoolMemoryIsTakenOnFirstUseOnly) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process that never used the API
    EXPECT_EXIT(
        {
            size_t before = mallinfo2().hblkhd;
            if (before >= 4 * 1024 * 1024) std::exit(1);
            ORBX_GetFormattedCommandBytesInHex("1F01");  // pool 0 only
            size_t grown = mallinfo2().hblkhd - before;
            std::exit(grown >= 4 * 1024 * 1024 && grown < 8 * 1024 * 1024 ? 0 : 2);
        },
        ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
