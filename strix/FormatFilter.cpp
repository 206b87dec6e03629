#include "FormatFilter.h"

#include <functional>
#include <stdexcept>
#include <utility>

#include "BrevoFilter.h"
#include "LegacySavant.h"
#include "V5SLIP.h"

namespace {
int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

struct FormatFilterList_tag {
    const char* Name;
    std::function<std::unique_ptr<FormatFilter>()> filter;
};
}  // namespace

std::string FormatFilter::hexToRaw(const std::string& hex) {
    std::string raw;
    raw.reserve(hex.size() / 2);
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        int hi = hexDigit(hex[i]), lo = hexDigit(hex[i + 1]);
        if (hi < 0 || lo < 0) throw std::invalid_argument("invalid data");
        raw += static_cast<char>(hi * 16 + lo);
    }
    return raw;
}

std::string FormatFilter::rawToHex(const std::string& raw) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(raw.size() * 2);
    for (char c : raw) {
        auto b = static_cast<unsigned char>(c);
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

int FormatFilter::FilterOutput(std::string HexMessage, std::string& channelName, int& channelId,
                               std::string& channelHexData) {
    channelName = "COMMAND";
    channelId = COMMAND;
    channelHexData = rawToHex(HexMessage);  // the hex text itself travels as ASCII
    return static_cast<int>(HexMessage.size());
}

int FormatFilter::FilterInput(std::string HexMessage, std::string& channelName, int& channelId,
                              std::string& channelHexData) {
    if (HexMessage.empty()) return -1;
    channelName = "RESPONSE";
    channelId = RESPONSE;
    channelHexData = HexMessage;
    return static_cast<int>(HexMessage.size() / 2);
}

std::unique_ptr<FormatFilter> FormatFilter::GetFilter(const std::string& Name) {
    static const FormatFilterList_tag registry[] = {
        {"NONE", [] { return std::unique_ptr<FormatFilter>(new FormatFilter()); }},
        {"LEGACY", [] { return std::unique_ptr<FormatFilter>(new LegacySavant()); }},
        {"BREVO", [] { return std::unique_ptr<FormatFilter>(new BrevoFilter()); }},
        {"SLIP", [] { return std::unique_ptr<FormatFilter>(new V5SLIP()); }},
    };
    for (const auto& entry : registry) {
        if (Name == entry.Name) return entry.filter();
    }
    throw std::invalid_argument("unknown serial data format");
}
