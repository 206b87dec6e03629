#include "ASNOne.h"

#include <stdexcept>

#include "stdafx.h"

std::string I2TLVLength(std::uint64_t length) {
    if (length > 0xFFFFFFFFull) throw std::length_error("length too large for a length field");
    int bytes = 0;
    if (length >= 0x1000000ull) {
        bytes = 4;
    } else if (length >= 0x10000ull) {
        bytes = 3;
    } else if (length >= 0x100ull) {
        bytes = 2;
    } else if (length >= 0x80ull) {
        bytes = 1;
    }
    std::vector<unsigned char> field;
    if (bytes == 0) {
        field.push_back(static_cast<unsigned char>(length));
    } else {
        field.push_back(static_cast<unsigned char>(0x80 + bytes));
        for (int i = bytes - 1; i >= 0; --i)
            field.push_back(static_cast<unsigned char>((length >> (8 * i)) & 0xFF));
    }
    return BV2H(field);
}

ASNOne::ASNOne() : std::pair<unsigned char, std::vector<unsigned char>>(0, {}) {}

ASNOne::ASNOne(unsigned char tag, std::string hexValue)
    : std::pair<unsigned char, std::vector<unsigned char>>(tag, H2BV(std::move(hexValue))) {}

ASNOne::ASNOne(unsigned char tag, std::vector<unsigned char> value)
    : std::pair<unsigned char, std::vector<unsigned char>>(tag, std::move(value)) {}

std::string ASNOne::HexValue() const {
    return BV2H(second);
}

std::list<ASNOne> ASNOne::ParseData(const unsigned char* data, std::size_t length) {
    std::list<ASNOne> out;
    if (data == nullptr || length < 2) return out;
    std::size_t p = 0;
    while (p < length) {
        const unsigned char tag = data[p++];
        if (tag == 0) break;  // zero padding
        if (p >= length) break;
        const unsigned char first = data[p++];
        std::size_t valueLength = first;
        if (first & 0x80) {
            const std::size_t count = first & 0x7F;
            if (count > length - p) break;  // length field cut by the end of the input
            valueLength = 0;
            bool tooLong = false;
            for (std::size_t i = 0; i < count; ++i) {
                // More than the input can hold is an overrun whatever the exact figure is.
                if (valueLength > (length >> 8)) tooLong = true;
                valueLength = (valueLength << 8) | data[p++];
            }
            if (tooLong) break;
        }
        if (valueLength > length - p) break;  // value cut by the end of the input
        out.emplace_back(tag, std::vector<unsigned char>(data + p, data + p + valueLength));
        p += valueLength;
    }
    return out;
}

std::list<ASNOne> ASNOne::ParseData(const std::vector<unsigned char>& data) {
    return ParseData(data.data(), data.size());
}

std::list<ASNOne> ASNOne::ParseData(const char* hex) {
    if (hex == nullptr) return {};
    return ParseData(H2BV(hex));
}

std::list<ASNOne> ASNOne::ParseData(const std::string& hex) {
    return ParseData(H2BV(hex));
}

std::list<ASNOne> ASNOne::ParseValue() const {
    if (!IsConstructed()) return {};
    return ParseData(second);
}

ASNOne ASNOne::GetTag(const std::list<ASNOne>& elements, unsigned char tag) {
    for (const ASNOne& e : elements)
        if (e.first == tag) return e;
    return ASNOne();
}

ASNOne ASNOne::GetTag(const std::list<ASNOne>& elements, const char* tag) {
    if (tag == nullptr) return ASNOne();
    std::vector<unsigned char> bytes = H2BV(tag);
    if (bytes.size() != 1) return ASNOne();
    return GetTag(elements, bytes[0]);
}

std::string ASNOne::GetTagValue(const std::list<ASNOne>& elements, unsigned char tag) {
    for (const ASNOne& e : elements)
        if (e.first == tag) return e.HexValue();
    return "";
}

std::string ASNOne::GetTagValue(const std::list<ASNOne>& elements, const char* tag) {
    if (tag == nullptr) return "";
    std::vector<unsigned char> bytes = H2BV(tag);
    if (bytes.size() != 1) return "";
    return GetTagValue(elements, bytes[0]);
}

ASNOne ASNOne::GetTag(unsigned char tag) const {
    return GetTag(ParseValue(), tag);
}

std::vector<unsigned char> ASNOne::toBytes() const {
    std::vector<unsigned char> out;
    std::vector<unsigned char> lengthField = H2BV(I2TLVLength(second.size()));
    out.reserve(1 + lengthField.size() + second.size());
    out.push_back(first);
    out.insert(out.end(), lengthField.begin(), lengthField.end());
    out.insert(out.end(), second.begin(), second.end());
    return out;
}

std::string ASNOne::toString() const {
    return BV2H(toBytes());
}

std::string ASNOne::getFormattedTagString() const {
    return "[" + BV2H({first}) + "] [" + I2TLVLength(second.size()) + "] " + HexValue();
}
