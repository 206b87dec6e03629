// Hex and string helper rules. The same file builds twice: against the device libraries'
// variant and against libtessera's (SDK_TESSERA_VARIANT), whose hex reader differs.
#include "stdafx.h"

#include <gtest/gtest.h>

#include <cctype>
#include <stdexcept>

namespace {
using Bytes = std::vector<unsigned char>;

#ifdef SDK_TESSERA_VARIANT
constexpr bool kTessera = true;
#else
constexpr bool kTessera = false;
#endif

struct H2BVCase {
    const char* hex;
    Bytes device;   // liborbdev / libstrix
    Bytes tessera;  // libtessera
};

TEST(HexHelpers, H2BVFollowsTheVariantRules) {
    const H2BVCase cases[] = {
        {"", {}, {}},
        {"00AB0F", {0x00, 0xAB, 0x0F}, {0x00, 0xAB, 0x0F}},
        {"0A1b", {0x0A, 0x1B}, {0x0A, 0x1B}},
        {"ABC", {0xAB, 0x0C}, {}},
        {"1G", {0x01}, {0x10}},
        {"G1", {0x00}, {0x01}},
        {"ZZ", {0x00}, {0x00}},
        {"F", {0x0F}, {}},
        {" 1", {0x01}, {0x01}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hex);
        EXPECT_EQ(H2BV(c.hex), kTessera ? c.tessera : c.device);
    }
}

TEST(HexHelpers, WritersProduceUpperCaseWithoutSeparators) {
    EXPECT_EQ(BV2H({0x00, 0xAB, 0x0F}), "00AB0F");
    EXPECT_EQ(BV2H({}), "");
    Bytes all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<unsigned char>(i);
    std::string hex = BV2H(all);
    ASSERT_EQ(hex.size(), 512u);
    EXPECT_TRUE(ALL(hex, [](int c) { return std::isdigit(c) || (c >= 'A' && c <= 'F'); }));
    EXPECT_EQ(H2BV(hex), all);
    EXPECT_EQ(H2BV(std::string("00abcdef")), (Bytes{0x00, 0xAB, 0xCD, 0xEF}));

    const unsigned char buf[] = {0xDE, 0xAD, 0x01};
    EXPECT_EQ(B2H(buf, 3), "DEAD01");
    EXPECT_EQ(B2H(buf, 0), "");
    EXPECT_EQ(B2H(buf, -1), "");
    EXPECT_EQ(B2H(nullptr, 3), "");
}

TEST(HexHelpers, H2BIsASizeQueryWithoutRoom) {
    int len = 0;
    H2B("A1B2C3", nullptr, &len);
    EXPECT_EQ(len, 3);

    unsigned char small[2] = {0x55, 0x55};
    len = 2;
    H2B("A1B2C3", small, &len);
    EXPECT_EQ(len, 3);
    EXPECT_EQ(small[0], 0x55) << "a buffer that is too small is left untouched";

    unsigned char big[4] = {0, 0, 0, 0x77};
    len = 4;
    H2B("A1B2C3", big, &len);
    EXPECT_EQ(len, 3);
    EXPECT_EQ(Bytes(big, big + 4), (Bytes{0xA1, 0xB2, 0xC3, 0x77}));
}

TEST(HexHelpers, IntegerFormatting) {
    const std::pair<int, const char*> i2hex[] = {
        {0, "00"},     {-5, "00"},       {-2147483647 - 1, "00"}, {1, "01"},
        {255, "FF"},   {256, "0100"},    {0x1234, "1234"},         {65536, "010000"},
        {0x7FFFFFFF, "7FFFFFFF"}};
    for (const auto& [v, hex] : i2hex) EXPECT_EQ(I2HEX(v), hex) << v;

    EXPECT_EQ(UL2HEX(0), "0000000000000000");
    EXPECT_EQ(UL2HEX(1), "0000000000000001");
    EXPECT_EQ(UL2HEX(0x0102030405060708ul), "0102030405060708");
    EXPECT_EQ(US2HEX4(0xAB), "00AB");
    EXPECT_EQ(US2HEX4(0xFFFF), "FFFF");
    EXPECT_EQ(UL2HEX8(0x1234), "00001234");
    EXPECT_EQ(UL2HEX8(0xFFFFFFFFul), "FFFFFFFF");
#ifdef SDK_TESSERA_VARIANT
    EXPECT_EQ(UC2HEX(0x0A), "0A");
    EXPECT_EQ(UC2HEX(0xFF), "FF");
#endif
}

TEST(HexHelpers, AsciiConversions) {
    EXPECT_EQ(ASCII2H(std::string("AB\0C", 4)), "41420043");
    EXPECT_EQ(H2ASCII("41420043"), kTessera ? std::string("AB\0C", 4) : std::string("AB"));
    EXPECT_EQ(H2ASCII(""), "");
    EXPECT_EQ(H2ASCII("00"), kTessera ? std::string("\0", 1) : std::string());
}

TEST(StringHelpers, Split) {
    using V = std::vector<std::string>;
    const std::tuple<const char*, const char*, V> cases[] = {
        {"a,b", ",", V{"a", "b"}},
        {"a,,b", ",", V{"a", "", "b"}},
        {",a", ",", V{"", "a"}},
        {"a,b,", ",", V{"a", "b"}},
        {"", ",", V{}},
        {"abc", "", V{"abc"}},
        {"", "", V{""}},
        {"a::b::c", "::", V{"a", "b", "c"}},
        {",", ",", V{""}},
        {"abc", ",", V{"abc"}},
    };
    for (const auto& [s, d, expected] : cases) EXPECT_EQ(SPLIT(s, d), expected) << s << " / " << d;
}

TEST(StringHelpers, TrimTouchesBlanksOnly) {
    EXPECT_EQ(TRIM("\t a b \t"), "a b");
    EXPECT_EQ(TRIM("x\r\n"), "x\r\n");
    EXPECT_EQ(TRIM(" \t "), "");
    EXPECT_EQ(TRIM(""), "");
    EXPECT_EQ(TRIMLEFT("  a  "), "a  ");
    EXPECT_EQ(TRIMRIGHT("  a  "), "  a");
    EXPECT_EQ(TRIMLEFT("\na"), "\na");
}

TEST(StringHelpers, EscapeForJson) {
    EXPECT_EQ(ESCAPE("a/b\"c"), "a\\/b\\\"c");
    EXPECT_EQ(ESCAPE("\b\t\n\f\r\\"), "\\b\\t\\n\\f\\r\\\\");
    EXPECT_EQ(ESCAPE(std::string("\x01\x7f", 2)), std::string("\x01\x7f", 2));
    EXPECT_EQ(ESCAPE(""), "");
}

TEST(StringHelpers, CaseRepeatAndPredicates) {
    EXPECT_EQ(DUP("ab", 3), "ababab");
    EXPECT_EQ(DUP("ab", 0), "");
    EXPECT_EQ(DUP("ab", -2), "");
    EXPECT_EQ(UPPER("aBc1\xe9"), "ABC1\xe9");
#ifndef SDK_TESSERA_VARIANT
    EXPECT_EQ(LOWER("AbC1"), "abc1");
#endif
    EXPECT_TRUE(ALL("", [](int) { return false; }));
    EXPECT_FALSE(ALL("12a", [](int c) { return std::isdigit(c) != 0; }));
}

TEST(StringHelpers, WideConversionRoundTripsAndRejectsMalformedUtf8) {
    std::string utf8 = "Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC";
    std::wstring wide = s2ws(utf8);
    EXPECT_EQ(wide, L"Gr\u00fc\u00df \u20ac");
    EXPECT_EQ(ws2s(wide), utf8);
    EXPECT_THROW(s2ws("a\xFF" "b"), std::range_error);
}
}  // namespace
