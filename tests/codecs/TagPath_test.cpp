// Tag-path resolution over a card-data parameter. Built against both library variants.
#include "TagPath.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "TLV.h"
#include "stdafx.h"

namespace {
using Bytes = std::vector<unsigned char>;

std::string tlv(const std::string& tag, const std::string& valueHex) {
    return TLV(tag, valueHex, -1).toString();
}

// Inner-frame parameters of a card-data message: parameter A4 holds a card container A4 with a
// card type (81) and one A0 block per track, each carrying the track text (81) and its status (82).
class TagPathTest : public ::testing::Test {
  protected:
    const std::string track1 = ASCII2H("%B5999000000000010^CARDHOLDER/TEST^2912101000000000?");
    const std::string track2 = ASCII2H(";5999000000000010=29121010000000000?");
    const std::string track3 = ASCII2H(";015999000000000010=000000000000?");

    std::map<unsigned char, Bytes> params;
    std::vector<int> asked;

    void SetUp() override {
        const std::string card = tlv("81", "02") + tlv("A0", tlv("81", track1) + tlv("82", "00")) +
                                 tlv("A0", tlv("81", track2) + tlv("82", "00")) +
                                 tlv("A0", tlv("81", track3) + tlv("82", "01"));
        params[0xA4] = H2BV(tlv("A4", card) + tlv("9F39", "90"));
        params[0x81] = {0x01, 0x02};
        // A container whose only element claims more bytes than it holds.
        params[0xA6] = H2BV("A4058110AA");
    }

    Bytes resolve(const char* path) {
        return ResolveTagPath(path, [this](unsigned char tag) {
            asked.push_back(tag);
            auto it = params.find(tag);
            return it == params.end() ? Bytes() : it->second;
        });
    }
};

TEST_F(TagPathTest, ResolvesStepsThroughNestedElements) {
    struct {
        const char* path;
        std::string want;
    } cases[] = {
        {"A4.A4.A0(0).81", track1},
        {"A4.A4.A0(1).81", track2},
        {"A4.A4.A0(2).81", track3},
        {"A4.A4.A0.81", track1},
        {"A4.A4.A0(2).82", "01"},
        {"A4.A4.81", "02"},
        {"A4.9F39", "90"},
        {"a4.A4.A0(1).81", track2},  // the first step is a number, any case
        {"81", "0102"},              // one step: the parameter unchanged
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(BV2H(resolve(c.path)), c.want);
    }
}

TEST_F(TagPathTest, AStepThatMatchesNothingEmptiesTheResult) {
    const char* cases[] = {
        "A4.A4.A0(3).81",     // the card reader asks for a track that is not there
        "A4.B0.A4.A0(0).81",  // a missing step must not fall through to later steps
        "A4.A4.a0(0).81",     // tags are compared as upper-case text
        "A4.A4.A0(0)x.81",    // not a step
        "A4.A4.A0().81",
        "A4..A4",
        "A4.A4.A0(18446744073709551616).81",
        "A4.A4.A0(0).99",
        "A5.81",  // parameter absent
        "A6.A4",  // element overruns its container
        "9F",     // first step outside the parameter range
        "C1",
        "7F",
        "BF.81",
        "FFFFFFFFFFFFFFFFFFFFFFFF.81",
        "",
    };
    for (const char* path : cases) {
        SCOPED_TRACE(path);
        EXPECT_TRUE(resolve(path).empty());
    }
    EXPECT_TRUE(resolve(nullptr).empty());
}

TEST_F(TagPathTest, OnlyTheFirstStepLooksUpAParameter) {
    resolve("A4.A4.A0(1).81");
    EXPECT_EQ(asked, std::vector<int>{0xA4});
    asked.clear();
    resolve("C1.81");
    EXPECT_TRUE(asked.empty());
}

TEST_F(TagPathTest, AFirstStepThatIsNotANumberFails) {
    for (const char* path : {"XYZ.81", "G1", ".81"}) {
        SCOPED_TRACE(path);
        EXPECT_THROW(resolve(path), std::invalid_argument);
    }
}

TEST(TagPathDescend, StepsApplyToAnyValue) {
    const Bytes value = H2BV(tlv("E1", tlv("9F02", "000000000100") + tlv("5F2A", "0978")));
    EXPECT_EQ(BV2H(DescendTagPath(value, {"E1", "5F2A"})), "0978");
    EXPECT_EQ(BV2H(DescendTagPath(value, {})), BV2H(value));
    EXPECT_TRUE(DescendTagPath(value, {"E1", "5F2A(1)"}).empty());
    EXPECT_TRUE(DescendTagPath({}, {"E1"}).empty());
}
}  // namespace
