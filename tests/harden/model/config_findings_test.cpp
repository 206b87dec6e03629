// Configuration identifiers found malformed by fuzzing: a dotted identifier with an empty
// number anywhere (the last one included) addresses nothing.
#include <gtest/gtest.h>

#include <string>

#include "tessera/ConfigurationInfo.h"

namespace {

TEST(ConfigurationIdentifier, EmptyNumbersAreMalformedWherever) {
    const char* malformed[] = {"1.1.1.1.1.1.", ".1.1.1.1.1.1",  "1..1.1.1.1",
                               "1.1.1.1.1.",   "1.1.1.1.1.1..", "."};
    for (const char* oid : malformed) {
        SCOPED_TRACE(oid);
        const auto info = TESSERA::ConfigurationInfo::fromASN1Oid(oid, std::string("01"));
        EXPECT_FALSE(info.valid());
        EXPECT_EQ(info.configType, 0);
    }
    const auto good = TESSERA::ConfigurationInfo::fromASN1Oid("2.2.1.1.1.4", std::string("01"));
    ASSERT_TRUE(good.valid());
    EXPECT_EQ(good.configType, 2);
    const std::vector<unsigned char> expected{0xE2, 0x09, 0xE1, 0x07, 0xE1, 0x05,
                                              0xE1, 0x03, 0xC4, 0x01, 0x01};
    EXPECT_EQ(good.OidAndValue, expected);
}

}  // namespace
