#include "ConfigurationInfo.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "TLV.h"
#include "stdafx.h"

namespace TESSERA {

namespace {

constexpr std::size_t kIdentifierBytes = 6;

bool isHexText(const std::string& text) {
    return ALL(text, [](int c) { return std::isxdigit(c) != 0; });
}

// The six bytes of a configuration identifier; any other count means it is malformed.
std::vector<unsigned char> identifierBytes(const std::string& oid) {
    if (oid.find('.') == std::string::npos) {
        // Twelve hex digits.
        if (oid.size() != 2 * kIdentifierBytes || !isHexText(oid)) return {};
        return H2BV(oid);
    }
    // Six decimal numbers made of the digits 1-9 (a 0 anywhere rejects the identifier).
    if (!ALL(oid, [](int c) { return c == '.' || (c >= '1' && c <= '9'); })) return {};
    // A trailing dot is an empty seventh number (the split below would not show it).
    if (oid.back() == '.') return {};
    const std::vector<std::string> parts = SPLIT(oid, ".");
    if (parts.size() != kIdentifierBytes) return {};
    std::vector<unsigned char> bytes;
    for (const std::string& part : parts) {
        try {
            bytes.push_back(static_cast<unsigned char>(std::stoi(part)));
        } catch (const std::exception&) {
            return {};  // an empty part or a number too large to read
        }
    }
    return bytes;
}

}  // namespace

ConfigurationInfo ConfigurationInfo::fromASN1Oid(std::string OidPath) {
    return fromASN1Oid(std::move(OidPath), std::vector<unsigned char>());
}

ConfigurationInfo ConfigurationInfo::fromASN1Oid(std::string OidPath, std::string Value) {
    return fromASN1Oid(std::move(OidPath), H2BV(std::move(Value)));
}

ConfigurationInfo ConfigurationInfo::fromASN1Oid(std::string OidPath,
                                                 std::vector<unsigned char> Value) {
    ConfigurationInfo info;
    const std::vector<unsigned char> bytes = identifierBytes(OidPath);
    if (bytes.size() != kIdentifierBytes) return info;
    // Byte 0 is the configuration type; bytes 1-4 name the tree levels (constructed tags
    // E0 + n), byte 5 the leaf (tag C0 + n).
    std::string path;
    for (std::size_t i = 1; i < kIdentifierBytes; ++i) {
        const unsigned base = i < kIdentifierBytes - 1 ? 0xE0 : 0xC0;
        if (!path.empty()) path += ".";
        path += UC2HEX(static_cast<unsigned char>(bytes[i] + base));
    }
    info.configType = bytes[0];
    info.OidAndValue = BuildTagData(path, std::move(Value));
    return info;
}

bool ConfigurationInfo::valid() const {
    return !OidAndValue.empty();
}

std::vector<unsigned char> BuildTagData(std::string tagNode, std::vector<unsigned char> data) {
    std::vector<std::string> tags = SPLIT(tagNode, ".");
    // A tag that is not whole bytes of hex would corrupt the encoding: nothing is built.
    for (const std::string& tag : tags) {
        if (tag.empty() || tag.size() % 2 != 0 || !isHexText(tag)) return {};
    }
    // Innermost first: each element wraps the text built so far.
    std::reverse(tags.begin(), tags.end());
    std::string text = BV2H(std::move(data));
    for (const std::string& tag : tags) text = TLV(tag, text, -1).toString();
    return H2BV(text);
}

}  // namespace TESSERA
