#pragma once
// BER-TLV codec (ISO/IEC 8825-1 coding as used by EMV) with multi-byte tags. An element holds its
// tag and value as upper-case hex text (first, second) and the length its length field declared
// (len).
//
// Tags: a first byte whose low five bits are all set (0x1F) is followed by further bytes, each
// followed by another while its bit 7 is set; at most 50 bytes. Bit 5 (0x20) of the first byte
// marks a constructed element. Lengths: a byte below 0x80 is the length; 0x80 + n is followed by
// n bytes of big-endian length (0x80 alone is length 0).
//
// The readers take untrusted device bytes: they never read past their input and never allocate
// more than the input holds, whatever an element declares. Malformed input yields fewer elements,
// never an error.
#include <list>
#include <string>
#include <utility>
#include <vector>

class TLV : public std::pair<std::string, std::string> {
  public:
    // Declared length of the element. The nested reader keeps it even when the input ended before
    // the value did (the value is then cut); declared lengths above INT_MAX are stored as INT_MAX.
    int len;

    TLV();
    // A negative length is derived from the value: (hex digits + 1) / 2.
    TLV(std::string tag, std::string value, int length);

    // Nested reader: every element at every depth in document order. A constructed element is
    // listed with its whole value, then its children follow it (parent before children). A value
    // running past the end of the input is cut there (len keeps the declared length). A 00 byte
    // where a tag starts ends reading (zero padding); an element whose tag or length field is cut
    // by the end of the input is dropped and ends reading. An element inside more than 32
    // constructed ancestors also ends reading (no real data nests that deep, and the listing
    // copies each value once per level). Fewer than 2 bytes: empty list.
    static std::list<TLV> parseTLVData(const unsigned char* data, int length);
    static std::list<TLV> parseTLVData(const std::vector<unsigned char>& data);
    static std::list<TLV> parseTLVData(const std::string& hex);

    // Flat reader: the elements of the top level only. If any element runs past the end of the
    // input, the result is empty. A 00 byte where a tag starts ends reading.
    static std::list<TLV> parseTLVDataFlat(const unsigned char* data, int length);
    static std::list<TLV> parseTLVDataFlat(const std::vector<unsigned char>& data);
    static std::list<TLV> parseTLVDataFlat(const std::string& hex);

    // Value of the first element whose tag equals the given tag text (compared in upper case,
    // complete tags only: "9f02" finds 9F02, "9F2" finds nothing); "" when none matches.
    static std::string getTagValue(const std::list<TLV>& elements, std::string tag);

    // "[9F02] [6] 000000000100": tag, declared length in upper-case hex without padding, value.
    std::string getFormattedTagString() const;
    // The element re-encoded as hex text: tag, length field for the value's size (shortest
    // definite form, see I2TLVLength), value.
    std::string toString() const;

#ifdef SDK_TESSERA_VARIANT
    // Bit 5 of the first tag byte; false when the tag is empty or does not start with two hex
    // digits.
    bool isConstructed() const;
#endif
};
