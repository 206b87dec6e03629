#include "TLV.h"

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>

#include "ASNOne.h"
#include "stdafx.h"

namespace {
constexpr std::size_t kMaxTagBytes = 50;
// Deepest nesting the nested reader descends into (constructed ancestors of an element).
constexpr std::size_t kMaxDepth = 32;

// Tag and length of one element, read from p. The reader stops (returns false) at zero padding,
// and when the tag or the length field is cut by the end of the input or the tag is longer than
// kMaxTagBytes.
struct Header {
    std::string tag;
    bool constructed = false;
    // Declared length, saturated at UINT64_MAX for absurd length fields.
    std::uint64_t length = 0;
};

bool readHeader(const unsigned char* data, std::size_t size, std::size_t& p, Header& h) {
    h = Header();
    std::size_t tagBytes = 0;
    bool more = true;
    while (more) {
        if (p >= size) return false;
        const unsigned char b = data[p++];
        // A 00 byte where a tag starts is zero padding after the last element. Later in a tag it
        // is an ordinary last byte (bit 7 clear).
        if (b == 0 && tagBytes == 0) return false;
        if (++tagBytes > kMaxTagBytes) return false;
        h.tag += BV2H({b});
        if (tagBytes == 1) {
            h.constructed = (b & 0x20) != 0;
            more = (b & 0x1F) == 0x1F;
        } else {
            more = (b & 0x80) != 0;
        }
    }
    if (p >= size) return false;
    const unsigned char first = data[p++];
    if (!(first & 0x80)) {
        h.length = first;
        return true;
    }
    const std::size_t count = first & 0x7F;
    if (count > size - p) return false;
    for (std::size_t i = 0; i < count; ++i) {
        if (h.length > (UINT64_MAX >> 8))
            h.length = UINT64_MAX;
        else
            h.length = (h.length << 8) | data[p];
        ++p;
    }
    return true;
}

std::string hexOf(const unsigned char* data, std::size_t size) {
    return BV2H(std::vector<unsigned char>(data, data + size));
}

int clampLength(std::uint64_t length) {
    return length > static_cast<std::uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(length);
}

std::list<TLV> readNested(const unsigned char* data, std::size_t size) {
    std::list<TLV> out;
    if (data == nullptr || size < 2) return out;
    // Where each enclosing constructed element ends. Every element is listed once per level
    // with its whole value, so the depth is bounded to keep the output linear in the input: a
    // malformed chain of constructed elements that all run to the end of the input would
    // otherwise copy the rest of the input once per element.
    std::vector<std::size_t> ends;
    std::size_t p = 0;
    Header h;
    while (p < size) {
        while (!ends.empty() && p >= ends.back()) ends.pop_back();
        if (ends.size() > kMaxDepth) break;
        if (!readHeader(data, size, p, h)) break;
        const std::size_t available = size - p;
        const std::size_t take =
            h.length < available ? static_cast<std::size_t>(h.length) : available;
        out.emplace_back(std::move(h.tag), hexOf(data + p, take), clampLength(h.length));
        // The children of a constructed element are read next, right after its length field.
        if (h.constructed)
            ends.push_back(p + take);
        else
            p += take;
    }
    return out;
}

std::list<TLV> readFlat(const unsigned char* data, std::size_t size) {
    std::list<TLV> out;
    if (data == nullptr || size < 2) return out;
    std::size_t p = 0;
    while (p < size) {
        Header h;
        const std::size_t start = p;
        if (!readHeader(data, size, p, h)) {
            // Zero padding ends the level; an element cut inside its header is an overrun.
            if (data[start] == 0) break;
            return {};
        }
        if (h.length > size - p) return {};
        const std::size_t take = static_cast<std::size_t>(h.length);
        out.emplace_back(std::move(h.tag), hexOf(data + p, take), clampLength(h.length));
        p += take;
    }
    return out;
}

std::size_t sizeOf(int length) {
    return length > 0 ? static_cast<std::size_t>(length) : 0;
}
}  // namespace

TLV::TLV() : len(0) {}

TLV::TLV(std::string tag, std::string value, int length)
    : std::pair<std::string, std::string>(std::move(tag), std::move(value)), len(length) {
    if (len < 0) len = static_cast<int>((second.size() + 1) / 2);
}

std::list<TLV> TLV::parseTLVData(const unsigned char* data, int length) {
    return readNested(data, sizeOf(length));
}

std::list<TLV> TLV::parseTLVData(const std::vector<unsigned char>& data) {
    return readNested(data.data(), data.size());
}

std::list<TLV> TLV::parseTLVData(const std::string& hex) {
    return parseTLVData(H2BV(hex));
}

std::list<TLV> TLV::parseTLVDataFlat(const unsigned char* data, int length) {
    return readFlat(data, sizeOf(length));
}

std::list<TLV> TLV::parseTLVDataFlat(const std::vector<unsigned char>& data) {
    return readFlat(data.data(), data.size());
}

std::list<TLV> TLV::parseTLVDataFlat(const std::string& hex) {
    return parseTLVDataFlat(H2BV(hex));
}

std::string TLV::getTagValue(const std::list<TLV>& elements, std::string tag) {
    const std::string wanted = UPPER(std::move(tag));
    for (const TLV& e : elements)
        if (e.first == wanted) return e.second;
    return "";
}

std::string TLV::getFormattedTagString() const {
    char length[16];
    std::snprintf(length, sizeof length, "%X", static_cast<unsigned>(len));
    return "[" + first + "] [" + length + "] " + second;
}

std::string TLV::toString() const {
    return first + I2TLVLength((second.size() + 1) / 2) + second;
}

#ifdef SDK_TESSERA_VARIANT
bool TLV::isConstructed() const {
    if (first.size() < 2 || !std::isxdigit(static_cast<unsigned char>(first[0])) ||
        !std::isxdigit(static_cast<unsigned char>(first[1])))
        return false;
    return (H2BV(first.substr(0, 2))[0] & 0x20) != 0;
}
#endif
