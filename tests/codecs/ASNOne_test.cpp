// One-byte-tag elements and the length field. Built against both library variants.
#include "ASNOne.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "stdafx.h"

namespace {
using Bytes = std::vector<unsigned char>;

std::vector<std::pair<int, std::string>> summary(const std::list<ASNOne>& list) {
    std::vector<std::pair<int, std::string>> out;
    for (const ASNOne& e : list) out.emplace_back(e.Tag(), e.HexValue());
    return out;
}

TEST(ASNOneLength, I2TLVLengthWritesTheShortestForm) {
    struct {
        std::uint64_t length;
        const char* field;
    } cases[] = {
        {0, "00"},
        {5, "05"},
        {127, "7F"},
        {128, "8180"},
        {200, "81C8"},
        {255, "81FF"},
        {256, "820100"},
        {300, "82012C"},
        {65535, "82FFFF"},
        {65536, "83010000"},
        {16777215, "83FFFFFF"},
        {16777216, "8401000000"},
        {0x7FFFFFFF, "847FFFFFFF"},
        {0x80000000ull, "8480000000"},
        {0xFFFFFFFFull, "84FFFFFFFF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        EXPECT_EQ(I2TLVLength(c.length), c.field);
    }
    EXPECT_THROW(I2TLVLength(0x100000000ull), std::length_error);
}

struct ParseCase {
    const char* name;
    const char* hex;
    std::vector<std::pair<int, std::string>> elements;
};

TEST(ASNOneParse, ReadsOneByteTagSequencesAndStopsAtFaults) {
    const ParseCase cases[] = {
        {"two elements, second empty", "8102ABCD8200", {{0x81, "ABCD"}, {0x82, ""}}},
        {"zero padding ends the sequence", "8102ABCD0000", {{0x81, "ABCD"}}},
        {"9F is a one-byte tag here", "9F020105", {{0x9F, "0105"}}},
        {"0x80 alone is length 0", "81808201AA", {{0x81, ""}, {0x82, "AA"}}},
        {"long form with leading zero bytes",
         "8188000000000000000201AB8201CC",
         {{0x81, "01AB"}, {0x82, "CC"}}},
        {"constructed values are not descended into",
         "A2068101008201009E0100",
         {{0xA2, "810100820100"}, {0x9E, "00"}}},
        {"value cut by the end is dropped", "8101AA8205BBCC", {{0x81, "AA"}}},
        {"absurd declared length is dropped, not allocated",
         "8101AA8284FFFFFFFF00",
         {{0x81, "AA"}}},
        {"length field cut by the end", "8101AA828201", {{0x81, "AA"}}},
        {"127 length bytes announced, few present", "8101AA82FF0102", {{0x81, "AA"}}},
        {"tag without length byte", "8101AA82", {{0x81, "AA"}}},
        {"one byte", "81", {}},
        {"empty", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes bytes = H2BV(c.hex);
        EXPECT_EQ(summary(ASNOne::ParseData(bytes)), c.elements);
        EXPECT_EQ(summary(ASNOne::ParseData(c.hex)), c.elements);
        EXPECT_EQ(summary(ASNOne::ParseData(std::string(c.hex))), c.elements);
        EXPECT_EQ(summary(ASNOne::ParseData(bytes.data(), bytes.size())), c.elements);
    }
    EXPECT_TRUE(ASNOne::ParseData(static_cast<const unsigned char*>(nullptr), 8).empty());
    EXPECT_TRUE(ASNOne::ParseData(static_cast<const char*>(nullptr)).empty());

    // Only the given length is read, even when the buffer goes on.
    const Bytes buf = H2BV("8103AABBCC");
    EXPECT_TRUE(ASNOne::ParseData(buf.data(), 4).empty());
}

TEST(ASNOneWrite, ToBytesAtLengthFormBoundariesReadsBack) {
    struct {
        size_t size;
        const char* field;
    } cases[] = {{0, "00"},       {127, "7F"},     {128, "8180"},     {255, "81FF"},
                 {256, "820100"}, {300, "82012C"}, {65535, "82FFFF"}, {65536, "83010000"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        Bytes value(c.size);
        for (size_t i = 0; i < c.size; ++i) value[i] = static_cast<unsigned char>(i * 7);
        const ASNOne e(0x84, value);
        const Bytes wire = e.toBytes();
        const Bytes head = H2BV(std::string("84") + c.field);
        ASSERT_GE(wire.size(), head.size());
        EXPECT_EQ(Bytes(wire.begin(), wire.begin() + head.size()), head);
        EXPECT_EQ(wire.size(), head.size() + c.size);
        EXPECT_EQ(e.toString(), BV2H(wire));
        const auto back = ASNOne::ParseData(wire);
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(back.front().Tag(), 0x84);
        EXPECT_EQ(back.front().Value(), value);
    }
}

TEST(ASNOneElement, ConstructionFormattingAndLookups) {
    const ASNOne empty;
    EXPECT_EQ(empty.Tag(), 0);
    EXPECT_TRUE(empty.Value().empty());

    const ASNOne fromHex(0x81, std::string("01021f01"));
    EXPECT_EQ(fromHex.Value(), (Bytes{0x01, 0x02, 0x1F, 0x01}));
    EXPECT_EQ(fromHex.HexValue(), "01021F01");
    EXPECT_EQ(fromHex.getFormattedTagString(), "[81] [04] 01021F01");
    EXPECT_EQ(ASNOne(0x9E, Bytes(200, 0)).getFormattedTagString().substr(0, 12), "[9E] [81C8] ");
    EXPECT_FALSE(fromHex.IsConstructed());

    const auto list = ASNOne::ParseData("8101AA8201BB8101CC");
    struct {
        const char* tag;
        const char* value;
    } cases[] = {{"81", "AA"}, {"82", "BB"}, {"83", ""}, {"8101", ""}, {"", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tag);
        EXPECT_EQ(ASNOne::GetTagValue(list, c.tag), c.value);
        EXPECT_EQ(ASNOne::GetTag(list, c.tag).HexValue(), c.value);
    }
    EXPECT_EQ(ASNOne::GetTag(list, "8101").Tag(), 0);
    EXPECT_EQ(ASNOne::GetTag(list, static_cast<unsigned char>(0x82)).HexValue(), "BB");
    EXPECT_EQ(ASNOne::GetTagValue(list, static_cast<unsigned char>(0x81)), "AA");
    EXPECT_EQ(ASNOne::GetTagValue(list, static_cast<unsigned char>(0x99)), "");
    EXPECT_EQ(ASNOne::GetTag(list, static_cast<const char*>(nullptr)).Tag(), 0);
}

TEST(ASNOneElement, ConstructedElementsExposeTheirChildren) {
    const ASNOne container(0xA2, std::string("810100820105"));
    EXPECT_TRUE(container.IsConstructed());
    EXPECT_EQ(summary(container.ParseValue()),
              (std::vector<std::pair<int, std::string>>{{0x81, "00"}, {0x82, "05"}}));
    EXPECT_EQ(container.GetTag(0x82).HexValue(), "05");
    EXPECT_EQ(container.GetTag(0x83).Tag(), 0);

    // A primitive element has no children, even when its value looks like elements.
    const ASNOne primitive(0x82, std::string("810100"));
    EXPECT_TRUE(primitive.ParseValue().empty());
    EXPECT_EQ(primitive.GetTag(0x81).Tag(), 0);
}
}  // namespace
