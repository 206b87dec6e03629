// Configuration identifiers from application text. Input: identifier text, a 0x00 byte, then
// the value bytes. Nothing throws; a valid item ends with the value itself inside its five
// nested elements, and the hex form of a dotted identifier addresses the same item.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ConfigurationInfo.h"

using TESSERA::ConfigurationInfo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* end = data + size;
    const uint8_t* sep = data;
    while (sep < end && *sep != 0) ++sep;
    const std::string oid(reinterpret_cast<const char*>(data), static_cast<size_t>(sep - data));
    const std::vector<unsigned char> value(sep < end ? sep + 1 : end, end);

    const ConfigurationInfo info = ConfigurationInfo::fromASN1Oid(oid, value);
    if (info.valid()) {
        // The value ends the item (numbers above 31 are cut into other tags, so the tags
        // themselves are not checked).
        if (info.OidAndValue.size() < value.size()) std::abort();
        if (!std::equal(value.rbegin(), value.rend(), info.OidAndValue.rbegin())) std::abort();

        if (oid.find('.') != std::string::npos) {
            // The same six numbers as twelve hex digits (a trailing dot adds no number).
            const std::string numbers = oid.back() == '.' ? oid.substr(0, oid.size() - 1) : oid;
            std::string hex;
            size_t pos = 0;
            while (pos <= numbers.size()) {
                size_t dot = numbers.find('.', pos);
                if (dot == std::string::npos) dot = numbers.size();
                char two[3];
                std::snprintf(two, sizeof two, "%02X",
                              std::stoi(numbers.substr(pos, dot - pos)) & 0xFF);
                hex += two;
                pos = dot + 1;
            }
            const ConfigurationInfo same = ConfigurationInfo::fromASN1Oid(hex, value);
            if (same.configType != info.configType || same.OidAndValue != info.OidAndValue)
                std::abort();
        }
    } else if (info.configType != 0 || !info.OidAndValue.empty()) {
        std::abort();
    }
    // The value as hex text, and without a value.
    ConfigurationInfo::fromASN1Oid(oid, std::string(value.begin(), value.end()));
    ConfigurationInfo::fromASN1Oid(oid);
    TESSERA::BuildTagData(oid, value);
    return 0;
}
