// Track-text parsing into ISO/IEC 7813 and AAMVA fields.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "MsrDataParser.h"

namespace {

struct ParseCase {
    const char* what;
    const char* track1;
    const char* track2;
    const char* track3;
    int type;
    const char* format;
    std::vector<std::pair<const char*, const char*>> expected;
    std::vector<const char*> absent;
};

// AAMVA track 3: 2 characters before the postal code, then the fixed-width fields.
const std::string kAamvaTrack3 = std::string("%!!") + "95814      " + "C " + "B         " + "NONE" +
                                 "M" + "507" + "150" + "BRN" + "BLU" + "?";

TEST(MsrDataParser, ParsesIsoAndAamvaTracks) {
    const ParseCase cases[] = {
        {"ISO, both tracks, name with initial and title",
         "%B4111111111111111^DOE/JOHN Q.MR^2512101123456789?",
         ";4111111111111111=25121011234567?",
         "",
         -1,
         "ISO",
         {{"AccountNumber", "4111111111111111"},
          {"ExpirationDate", "2512"},
          {"ServiceCode", "101"},
          {"Track1DiscretionaryData", "123456789"},
          {"Name", "DOE/JOHN Q.MR"},
          {"Surname", "DOE"},
          {"FirstName", "JOHN"},
          {"MiddleInitial", "Q"},
          {"Title", "MR"},
          {"Track2DiscretionaryData", "1234567"}},
         {"CountryCode", "Suffix", "State"}},
        {"ISO, name without slash, three words",
         "%B5500000000000004^JOHN Q PUBLIC^2605201?",
         "",
         "",
         0,
         "ISO",
         {{"AccountNumber", "5500000000000004"},
          {"ExpirationDate", "2605"},
          {"ServiceCode", "201"},
          {"FirstName", "JOHN"},
          {"MiddleInitial", "Q"},
          {"Surname", "PUBLIC"}},
         {"Track1DiscretionaryData", "Suffix", "Track2DiscretionaryData"}},
        {"ISO, five words give a two-word suffix",
         "%B5500000000000004^JOHN Q PUBLIC JR III^2605?",
         "",
         "",
         0,
         "ISO",
         {{"FirstName", "JOHN"},
          {"MiddleInitial", "Q"},
          {"Surname", "PUBLIC"},
          {"Suffix", "JR III"}},
         {"ServiceCode"}},
        {"ISO, two words without slash",
         "%B5500000000000004^JOHN PUBLIC^2605?",
         "",
         "",
         0,
         "ISO",
         {{"FirstName", "JOHN"}, {"Surname", "PUBLIC"}},
         {"MiddleInitial"}},
        {"ISO, account 59... carries a country code in the surname part",
         "%B5912345678901234^DEUSMITH/ANNA^2701?",
         "",
         "",
         0,
         "ISO",
         {{"CountryCode", "DEU"}, {"Surname", "SMITH"}, {"FirstName", "ANNA"}},
         {}},
        {"ISO, track 2 account replaces track 1's, track 1 expiry is kept",
         "%B4000000000000002^DOE/JANE^2412101?",
         ";4000000000000010=2901?",
         "",
         -1,
         "ISO",
         {{"AccountNumber", "4000000000000010"},
          {"ExpirationDate", "2412"},
          {"ServiceCode", "101"}},
         {"Track2DiscretionaryData"}},
        {"ISO, name ends with slash",
         "%B4111111111111111^SMITH/^2512?",
         "",
         "",
         0,
         "ISO",
         {{"Surname", "SMITH"}},
         {"FirstName"}},
        {"ISO, name begins with slash",
         "%B4111111111111111^/JOHN Q^2512?",
         "",
         "",
         0,
         "ISO",
         {{"FirstName", "JOHN"}, {"MiddleInitial", "Q"}},
         {"Surname"}},
        {"ISO, empty field in track 1, track 2 alone makes it ISO",
         "%B4111111111111111^^2512101?",
         ";4111111111111111=2512101?",
         "",
         0,
         "ISO",
         {{"AccountNumber", "4111111111111111"},
          {"ExpirationDate", "2512"},
          {"ServiceCode", "101"}},
         {"Name", "Surname"}},
        {"ISO, empty field in track 1 and no track 2 is not ISO",
         "%B4111111111111111^^2512101?",
         "",
         "",
         0,
         "",
         {},
         {"AccountNumber", "Name"}},
        {"AAMVA, all three tracks",
         "%CAANYTOWN^DOE$JOHN$JR^123 MAIN ST^?",
         ";6360140401234567=251219900101=?",
         kAamvaTrack3.c_str(),
         1,
         "AAMVA",
         {{"State", "CA"},
          {"City", "ANYTOWN"},
          {"Name", "DOE$JOHN$JR"},
          {"Surname", "DOE"},
          {"FirstName", "JOHN"},
          {"Suffix", "JR"},
          {"Address", "123 MAIN ST"},
          {"IIN", "636014"},
          {"AccountNumber", "6360140401234567"},
          {"LicenseNumber", "0401234567"},
          {"ExpirationDate", "2512"},
          {"BirthDate", "19900101"},
          {"PostalCode", "95814      "},
          {"Class", "C "},
          {"Restrictions", "B         "},
          {"Endorsements", "NONE"},
          {"Gender", "M"},
          {"Height", "507"},
          {"Weight", "150"},
          {"HairColor", "BRN"},
          {"EyeColor", "BLU"}},
         {}},
        {"AAMVA, long licence number overflows behind the dates",
         "%CAANYTOWN^DOE$JOHN^1 ELM ST^?",
         ";6360141234567890123=2512199001014567=?",
         "",
         1,
         "AAMVA",
         {{"LicenseNumber", "12345678901234567"},
          {"ExpirationDate", "2512"},
          {"BirthDate", "19900101"}},
         {"PostalCode"}},
        {"AAMVA, no caret after the state: fixed-width city",
         "%CASACRAMENTO   DOE$JANE^1 ELM ST^?",
         ";636014999=2512199001019?",
         "",
         1,
         "AAMVA",
         {{"City", "SACRAMENTO   "},
          {"Surname", "DOE"},
          {"FirstName", "JANE"},
          {"Address", "1 ELM ST"},
          {"LicenseNumber", "9999"}},
         {}},
        {"AAMVA with a five-character track 2 fails, both attempts fail with -1",
         "%CAANYTOWN^DOE$JOHN^?",
         ";12345?",
         "",
         -1,
         "",
         {{"State", "CA"}, {"City", "ANYTOWN"}, {"Surname", "DOE"}},
         {"IIN"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MsrDataParser parser(c.track1, c.track2, c.track3, c.type);
        EXPECT_EQ(parser.GetFormat(), c.format);
        for (const auto& kv : c.expected)
            EXPECT_EQ(parser.GetAttribute(kv.first), kv.second) << kv.first;
        for (const char* name : c.absent) EXPECT_EQ(parser.GetAttribute(name), "") << name;
    }
}

TEST(MsrDataParser, TextOperations) {
    const struct {
        const char* source;
        const char* expected;
    } sentinels[] = {{"%ABC?", "ABC"}, {"%ABC", "%ABC"}, {"ABC?", "ABC"}, {"?", ""}, {"", ""}};
    for (const auto& s : sentinels) {
        SCOPED_TRACE(s.source);
        EXPECT_EQ(MsrDataParser::removeSentinels(s.source, "%", "?"), s.expected);
    }
    EXPECT_EQ(MsrDataParser::trimString("^^x^y^", "^"), "x^y");
    EXPECT_EQ(MsrDataParser::trimString("^^^", "^"), "");
    EXPECT_EQ(MsrDataParser::splitString("^A^^ B \t^", "^"), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(MsrDataParser::splitString("A^B^C", "^"), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_TRUE(MsrDataParser::splitString("", "^").empty());
}

TEST(MsrDataParser, AamvaOnlyDoesNotTryIso) {
    MsrDataParser parser("%B4111111111111111^DOE/JOHN^2512101?", ";4111111111111111=2512?", "", 1);
    // Read as AAMVA: the first two characters are the state.
    EXPECT_EQ(parser.GetFormat(), "AAMVA");
    EXPECT_EQ(parser.GetAttribute("State"), "B4");
    EXPECT_EQ(parser.GetAttribute("FirstName"), "");
}

}  // namespace
