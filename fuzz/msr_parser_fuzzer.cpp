// The magnetic-stripe field parser on arbitrary track text. Input: type byte, then the three
// tracks separated by 0x00 bytes. Parsing ends with a known format ("ISO", "AAMVA" or none) and
// every attribute is a piece of the tracks, never longer than they are.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "MsrDataParser.h"

namespace {
const char* const kAttributes[] = {"AccountNumber",
                                   "Address",
                                   "BirthDate",
                                   "City",
                                   "Class",
                                   "CountryCode",
                                   "Endorsements",
                                   "ExpirationDate",
                                   "EyeColor",
                                   "FirstName",
                                   "Gender",
                                   "HairColor",
                                   "Height",
                                   "IIN",
                                   "LicenseNumber",
                                   "MiddleInitial",
                                   "Name",
                                   "PostalCode",
                                   "Restrictions",
                                   "ServiceCode",
                                   "State",
                                   "Suffix",
                                   "Surname",
                                   "Title",
                                   "Track1DiscretionaryData",
                                   "Track2DiscretionaryData",
                                   "Weight"};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int type = data[0] % 3;
    std::string tracks[3];
    size_t k = 0;
    for (size_t i = 1; i < size; ++i) {
        if (data[i] == 0) {
            if (++k == 3) break;
        } else {
            tracks[k] += static_cast<char>(data[i]);
        }
    }
    MsrDataParser parser(tracks[0].c_str(), tracks[1].c_str(), tracks[2].c_str(), type);
    const std::string format = parser.GetFormat();
    if (!format.empty() && format != "ISO" && format != "AAMVA") std::abort();
    const size_t total = tracks[0].size() + tracks[1].size() + tracks[2].size();
    for (const char* a : kAttributes)
        if (parser.GetAttribute(a).size() > total) std::abort();
    if (!parser.GetAttribute(nullptr).empty()) std::abort();

    // The helpers on their own.
    MsrDataParser::splitString(tracks[0], tracks[1].substr(0, 2));
    MsrDataParser::trimString(tracks[0], tracks[2].substr(0, 3));
    MsrDataParser::removeSentinels(tracks[0], tracks[1].substr(0, 1), tracks[2].substr(0, 1));
    return 0;
}
