#pragma once
// The frame of message-schema reader messages: a 16-bit identifier followed by numbered
// parameters, each written as a one-byte-tag element (ASNOne):
//
//   identifier (2 bytes, big-endian) | tag length value | tag length value | ...
//
// Parameters are written in ascending number. Parameter number n has the tag 0x80 + n for
// n = 0..30 (0x80..0x9E, primitive) and 0x81 + n for n = 31..61 (0xA0..0xBE, constructed);
// 0x9F, 0xBF and bytes outside 0x80..0xBE have no parameter number. The same frame appears twice
// in a message: the outer frame (framework identifier 0xAA00 or 0xAAFF, header in parameter 1)
// carries the inner frame (command or notification identifier and its parameters) whole in its
// parameter 4.
//
// Errors are thrown as std::runtime_error carrying the message text ("invalid data").
// libtessera compiles this class too; its copy (SDK_TESSERA_VARIANT) also rejects a frame of
// exactly 2 bytes.
#include <map>
#include <string>
#include <vector>

class AsterAPIFrameWork {
  public:
    // Parameter values by parameter number; iteration order is the order on the wire.
    std::map<int, std::vector<unsigned char>> parameters;
    // The frame identifier.
    unsigned short identifer;

    explicit AsterAPIFrameWork(unsigned short id);
    virtual ~AsterAPIFrameWork() = default;
    AsterAPIFrameWork(const AsterAPIFrameWork&) = default;
    AsterAPIFrameWork& operator=(const AsterAPIFrameWork&) = default;

    unsigned short ID() const { return identifer; }

    // Parameter number -> tag byte; numbers without a tag give 0xFF (the -1 of the mapping).
    static unsigned char PN2Tag(int index);
    // Tag byte -> parameter number; -1 for bytes that name no parameter.
    static int Tag2PN(unsigned char tag);
    // True for the framework identifiers of message-schema messages, 0xAAFF and 0xAA00.
    static bool isCompatible(unsigned short fid);

    // Stores (replaces) a parameter. The hex form converts with H2BV. Throws
    // std::invalid_argument for a number (or tag) that has no tag (number), since such a
    // parameter could not be written or read back.
    void SetParameter(int index, std::vector<unsigned char> value);
    void SetParameter(int index, std::string hex);
    void SetParameterByTag(unsigned char tag, std::vector<unsigned char> value);
    void SetParameterByTag(unsigned char tag, std::string hex);

    // A copy of the parameter's value, or an empty vector when it is absent.
    std::vector<unsigned char> GetParameter(int index) const;
    std::vector<unsigned char> GetParameterByTag(unsigned char tag) const;
    // Tags of the stored parameters in ascending parameter number.
    std::vector<unsigned char> GetAllParameterTags() const;

    // The frame on the wire.
    virtual std::vector<unsigned char> ToBytes() const;

    // Reads a frame. Fewer than 2 bytes throw "invalid data". The elements after the identifier
    // are read with ASNOne::ParseData: a 00 tag ends them, and an element cut by the end of the
    // input is dropped together with anything after it. An element whose tag names no
    // parameter (0x9F, 0xBF, below 0x80, above 0xBE) is skipped; tag 0x80 is read as parameter 0,
    // so every frame ToBytes writes reads back whole. A later element with the same tag replaces
    // an earlier one. Constructed values are stored as they are, not descended into.
    static AsterAPIFrameWork Parse(const std::vector<unsigned char>& data);
    static AsterAPIFrameWork Parse(const std::string& hex);
};
