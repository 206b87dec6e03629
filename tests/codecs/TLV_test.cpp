// BER-TLV readers and writer. Built against both library variants.
#include "TLV.h"

#include <gtest/gtest.h>

#include <climits>

#include "ASNOne.h"
#include "stdafx.h"

namespace {
using Bytes = std::vector<unsigned char>;

#ifdef SDK_TESSERA_VARIANT
constexpr bool kTessera = true;
#else
constexpr bool kTessera = false;
#endif

struct Elem {
    std::string tag;
    std::string value;
    int len;
};

std::vector<Elem> toElems(const std::list<TLV>& list) {
    std::vector<Elem> out;
    for (const TLV& t : list) out.push_back({t.first, t.second, t.len});
    return out;
}

void expectElems(const std::list<TLV>& got, const std::vector<Elem>& want) {
    std::vector<Elem> g = toElems(got);
    ASSERT_EQ(g.size(), want.size());
    for (size_t i = 0; i < g.size(); ++i) {
        SCOPED_TRACE("element " + std::to_string(i));
        EXPECT_EQ(g[i].tag, want[i].tag);
        EXPECT_EQ(g[i].value, want[i].value);
        EXPECT_EQ(g[i].len, want[i].len);
    }
}

struct ReadCase {
    const char* name;
    std::string hex;
    std::vector<Elem> nested;
    std::vector<Elem> flat;
};

TEST(TLVReaders, NestedAndFlatReadingOfWellFormedAndMalformedInput) {
    const std::string k128 = DUP("5A", 128);
    const ReadCase cases[] = {
        {"constructed parent then children",
         "E10681010582 0100",
         {{"E1", "810105820100", 6}, {"81", "05", 1}, {"82", "00", 1}},
         {{"E1", "810105820100", 6}}},
        {"two-byte tag",
         "9F0206000000000100",
         {{"9F02", "000000000100", 6}},
         {{"9F02", "000000000100", 6}}},
        {"three-byte tag: 0x80 continues, 0x01 ends",
         "5F800102ABCD",
         {{"5F8001", "ABCD", 2}},
         {{"5F8001", "ABCD", 2}}},
        {"81 80 long form", "8181 80" + k128, {{"81", k128, 128}}, {{"81", k128, 128}}},
        {"0x80 alone is length 0",
         "81809F0101AA",
         {{"81", "", 0}, {"9F01", "AA", 1}},
         {{"81", "", 0}, {"9F01", "AA", 1}}},
        {"trailing zero padding", "8101AA0000000000", {{"81", "AA", 1}}, {{"81", "AA", 1}}},
        {"primitive value cut by the end",
         "8101AA8205BBCC",
         {{"81", "AA", 1}, {"82", "BBCC", 5}},
         {}},
        {"absurd declared length does not allocate",
         "8184FFFFFFFFAABB",
         {{"81", "AABB", INT_MAX}},
         {}},
        {"length with more bytes than 64 bits",
         "818A01020304050607080910AA",
         {{"81", "AA", INT_MAX}},
         {}},
        {"length field cut by the end", "8101AA828201", {{"81", "AA", 1}}, {}},
        {"missing length byte", "8101AA82", {{"81", "AA", 1}}, {}},
        {"tag cut by the end", "8101AA9F", {{"81", "AA", 1}}, {}},
        {"child overruns its parent and the input",
         "E1058110AA",
         {{"E1", "8110AA", 5}, {"81", "AA", 16}},
         {}},
        {"two levels of nesting",
         "E107A0059F02021234",
         {{"E1", "A0059F02021234", 7}, {"A0", "9F02021234", 5}, {"9F02", "1234", 2}},
         {{"E1", "A0059F02021234", 7}}},
        {"00 as a later tag byte ends the tag",
         "9F0001AA5F800002BBCC",
         {{"9F00", "AA", 1}, {"5F8000", "BBCC", 2}},
         {{"9F00", "AA", 1}, {"5F8000", "BBCC", 2}}},
        {"longest tag (50 bytes)",
         "1F" + DUP("81", 48) + "0101EE",
         {{"1F" + DUP("81", 48) + "01", "EE", 1}},
         {{"1F" + DUP("81", 48) + "01", "EE", 1}}},
        {"tag of 51 bytes ends reading",
         "8101AA1F" + DUP("81", 49) + "0101EE",
         {{"81", "AA", 1}},
         {}},
        {"one byte", "81", {}, {}},
        {"empty", "", {}, {}},
        {"only padding", "0000", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string hex;
        for (char ch : c.hex)
            if (ch != ' ') hex += ch;
        const Bytes bytes = H2BV(hex);
        expectElems(TLV::parseTLVData(bytes), c.nested);
        expectElems(TLV::parseTLVDataFlat(bytes), c.flat);
        // The three input forms agree.
        expectElems(TLV::parseTLVData(hex), c.nested);
        expectElems(TLV::parseTLVDataFlat(hex), c.flat);
        expectElems(TLV::parseTLVData(bytes.data(), static_cast<int>(bytes.size())), c.nested);
        expectElems(TLV::parseTLVDataFlat(bytes.data(), static_cast<int>(bytes.size())), c.flat);
    }
}

TEST(TLVReaders, ReadingStopsAtTheGivenLengthNotAtTheBufferEnd) {
    // The buffer continues past the length handed in; nothing beyond it may be read.
    const Bytes buf = H2BV("8104AABBCCDD");
    expectElems(TLV::parseTLVData(buf.data(), 4), {{"81", "AABB", 4}});
    EXPECT_TRUE(TLV::parseTLVDataFlat(buf.data(), 4).empty());
    EXPECT_TRUE(TLV::parseTLVData(buf.data(), -3).empty());
    EXPECT_TRUE(TLV::parseTLVData(nullptr, 10).empty());
    EXPECT_TRUE(TLV::parseTLVDataFlat(nullptr, 10).empty());
}

TEST(TLVReaders, NestingDepthIsBounded) {
    // 33 levels of honest nesting (32 ancestors for the innermost element) are read whole.
    std::string nested = "8101AA";
    for (int i = 0; i < 32; ++i) nested = TLV("E1", nested, -1).toString();
    const auto honest = TLV::parseTLVData(nested);
    ASSERT_EQ(honest.size(), 33u);
    EXPECT_EQ(honest.back().second, "AA");

    // A chain of constructed elements that each claim the rest of a 60 KB input: without a bound
    // the listing would copy the remaining input once per element (hundreds of MB of text).
    std::string chain;
    for (int i = 0; i < 10000; ++i) chain += "A084FFFFFFFF";
    const auto list = TLV::parseTLVData(chain);
    EXPECT_EQ(list.size(), 33u);
    // Siblings after a deep branch are read again once it closes.
    std::string deep = "8101AA";
    for (int i = 0; i < 40; ++i) deep = TLV("E1", deep, -1).toString();
    const auto cut = TLV::parseTLVData(deep + "9F0101BB");
    EXPECT_EQ(cut.size(), 33u);
    const auto sibling = TLV::parseTLVData(nested + "9F0101BB");
    ASSERT_EQ(sibling.size(), 34u);
    EXPECT_EQ(sibling.back().first, "9F01");
}

TEST(TLVReaders, LongLengthFormsAreRead) {
    const Bytes value(65536, 0x11);
    Bytes in = H2BV("9F4183010000");
    in.insert(in.end(), value.begin(), value.end());
    const auto nested = TLV::parseTLVData(in);
    ASSERT_EQ(nested.size(), 1u);
    EXPECT_EQ(nested.front().first, "9F41");
    EXPECT_EQ(nested.front().len, 65536);
    EXPECT_EQ(nested.front().second, BV2H(value));
}

TEST(TLVReaders, HexInputFollowsTheVariantHexRules) {
    // An odd-length hex text converts its last digit alone in the device libraries and converts
    // to nothing in libtessera.
    const auto list = TLV::parseTLVData(std::string("8101A"));
    if (kTessera) {
        EXPECT_TRUE(list.empty());
    } else {
        expectElems(list, {{"81", "0A", 1}});
    }
    expectElems(TLV::parseTLVData(std::string("9f0101aa")), {{"9F01", "AA", 1}});
}

struct WriteCase {
    size_t valueBytes;
    std::string lengthField;
};

TEST(TLVWriter, ToStringUsesTheShortestLengthFormAndReadsBack) {
    const WriteCase cases[] = {
        {0, "00"},     {1, "01"},       {127, "7F"},       {128, "8180"},
        {255, "81FF"}, {256, "820100"}, {65535, "82FFFF"}, {65536, "83010000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.valueBytes);
        const std::string value = DUP("C3", static_cast<int>(c.valueBytes));
        TLV t("9F02", value, -1);
        EXPECT_EQ(t.len, static_cast<int>(c.valueBytes));
        const std::string hex = t.toString();
        EXPECT_EQ(hex, "9F02" + c.lengthField + value);
        expectElems(TLV::parseTLVData(hex), {{"9F02", value, static_cast<int>(c.valueBytes)}});
        expectElems(TLV::parseTLVDataFlat(hex), {{"9F02", value, static_cast<int>(c.valueBytes)}});
    }
}

TEST(TLVWriter, ToStringWritesTheValueActuallyHeld) {
    // An element read from cut input keeps its declared length, but re-encoding it must describe
    // the bytes it carries, or the text would claim bytes that are not there.
    const auto list = TLV::parseTLVData(std::string("8105AABB"));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.front().len, 5);
    EXPECT_EQ(list.front().toString(), "8102AABB");
}

TEST(TLVElement, ConstructorsAndFormatting) {
    TLV empty;
    EXPECT_EQ(empty.first, "");
    EXPECT_EQ(empty.second, "");
    EXPECT_EQ(empty.len, 0);

    EXPECT_EQ(TLV("9F02", "000000000100", 6).getFormattedTagString(), "[9F02] [6] 000000000100");
    EXPECT_EQ(TLV("81", DUP("00", 31), -1).getFormattedTagString(), "[81] [1F] " + DUP("00", 31));
    EXPECT_EQ(TLV("81", "ABC", -1).len, 2);
    // An explicit length is kept as given.
    EXPECT_EQ(TLV("81", "AB", 9).len, 9);
    EXPECT_EQ(TLV("DF01", "", -1).getFormattedTagString(), "[DF01] [0] ");
}

TEST(TLVLookup, GetTagValueIsCaseInsensitiveButNeedsTheWholeTag) {
    const auto list = TLV::parseTLVData(std::string("E1099F020200019F0201FF8100"));
    struct {
        const char* query;
        const char* value;
    } cases[] = {
        {"9f02", "0001"},  // first match wins
        {"9F02", "0001"}, {"9F2", ""}, {"E1", "9F020200019F0201FF"},
        {"81", ""},       {"82", ""},  {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query);
        EXPECT_EQ(TLV::getTagValue(list, c.query), c.value);
    }
    EXPECT_EQ(TLV::getTagValue({}, "81"), "");
}

#ifdef SDK_TESSERA_VARIANT
TEST(TLVElement, IsConstructedReadsBitFiveOfTheFirstTagByte) {
    struct {
        const char* tag;
        bool constructed;
    } cases[] = {
        {"E1", true},    {"A0", true},  {"70", true},    {"3F01", true},
        {"9F02", false}, {"81", false}, {"5F20", false}, {"", false},
        {"Z1", false},   {"e1", true},  {"1", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tag);
        EXPECT_EQ(TLV(c.tag, "", 0).isConstructed(), c.constructed);
    }
}
#endif
}  // namespace
