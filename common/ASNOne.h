#pragma once
// One-byte-tag ASN.1 element: the building block of the message frame. A frame parameter is
// written as tag byte, BER length field and value bytes. Unlike TLV, a tag here is always a single
// byte (0x9F or 0x5F do not start a longer tag).
//
// Every reader treats its input as untrusted device bytes: it never reads past the end of its
// input and never allocates more than the input holds, whatever length an element declares.
#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <utility>
#include <vector>

// BER length field as upper-case hex text, in the shortest of the definite forms:
//   0..127 -> one byte ("05"), 128..255 -> "81" + 1 byte, 256..65535 -> "82" + 2 bytes,
//   65536..16777215 -> "83" + 3 bytes, 16777216..0xFFFFFFFF -> "84" + 4 bytes.
// Throws std::length_error for lengths above 0xFFFFFFFF (they have no four-byte form).
std::string I2TLVLength(std::uint64_t length);

class ASNOne : public std::pair<unsigned char, std::vector<unsigned char>> {
  public:
    // The empty element (tag 0, no value); lookups return it when nothing is found.
    ASNOne();
    // Value given as hex text (converted with H2BV).
    ASNOne(unsigned char tag, std::string hexValue);
    ASNOne(unsigned char tag, std::vector<unsigned char> value);

    unsigned char Tag() const { return first; }
    std::vector<unsigned char> Value() const { return second; }
    // The value as upper-case hex text.
    std::string HexValue() const;
    // Bit 5 of the tag (0x20) marks a constructed element.
    bool IsConstructed() const { return (first & 0x20) != 0; }

    // Reads a sequence of elements. Input shorter than 2 bytes (or a null pointer) gives an empty
    // list. A tag byte 00 ends the sequence (zero padding). An element whose length field or value
    // runs past the end of the input is dropped and ends the sequence; the elements before it
    // are returned.
    static std::list<ASNOne> ParseData(const unsigned char* data, std::size_t length);
    static std::list<ASNOne> ParseData(const std::vector<unsigned char>& data);
    static std::list<ASNOne> ParseData(const char* hex);
    static std::list<ASNOne> ParseData(const std::string& hex);

    // The children of a constructed element; an empty list for a primitive one.
    std::list<ASNOne> ParseValue() const;

    // First element of the list with the tag, or the empty element.
    static ASNOne GetTag(const std::list<ASNOne>& elements, unsigned char tag);
    // The same with the tag as hex text, which must convert to exactly one byte (otherwise, or
    // for a null pointer, the empty element).
    static ASNOne GetTag(const std::list<ASNOne>& elements, const char* tag);
    // HexValue of the element GetTag finds; "" when there is none.
    static std::string GetTagValue(const std::list<ASNOne>& elements, unsigned char tag);
    static std::string GetTagValue(const std::list<ASNOne>& elements, const char* tag);
    // GetTag over this element's children (ParseValue).
    ASNOne GetTag(unsigned char tag) const;

    // Tag byte, length field (I2TLVLength of the value size) and value.
    std::vector<unsigned char> toBytes() const;
    // toBytes as hex text.
    std::string toString() const;
    // "[81] [04] 01021F01": tag, length field and value as hex text.
    std::string getFormattedTagString() const;
};
