#pragma once
// The message-schema wire format as a reader writes and reads it: one-byte-tag elements with BER
// lengths, frames of numbered parameters, and the four message kinds (command, response,
// notification, file). Written for the simulated reader, independently of the host libraries,
// so that the two check each other.
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "sim/Types.h"

namespace sim::orb {

// BER length field: 0-127 one byte, then 81 xx, 82 xxxx, 83 xxxxxx, 84 xxxxxxxx.
Bytes berLength(std::size_t length);
// A TLV element; the tag is written in as many bytes as it has (0x9F02 -> 9F 02, 0x81 -> 81).
Bytes tlv(std::uint32_t tag, const Bytes& value);

struct Element {
    std::uint32_t tag;  // the tag bytes as a number (9F 02 -> 0x9F02)
    Bytes value;
};
// Reads a sequence of elements. With multiByteTags, a first tag byte with low bits 1F is followed
// by more tag bytes while bit 7 is set (BER); otherwise tags are one byte. A tag byte 00 ends the
// sequence; a truncated element ends it too (what was read before is kept).
std::vector<Element> parseElements(const Bytes& data, bool multiByteTags);
const Bytes* findElement(const std::vector<Element>& elements, std::uint32_t tag);

// Parameter number <-> tag: P0-P30 = 80-9E, P31-P61 = A0-BE.
int tagToParameter(std::uint8_t tag);
std::uint8_t parameterToTag(int parameter);

// A frame: identifier and parameters by number, written in ascending parameter order.
struct Frame {
    std::uint16_t id = 0;
    std::map<int, Bytes> params;

    Bytes encode() const;
    static std::optional<Frame> decode(const Bytes& data);  // none for fewer than 2 bytes
    const Bytes* param(int n) const;
    const Bytes* byTag(std::uint8_t tag) const { return param(tagToParameter(tag)); }
};

using Params = std::map<std::uint8_t, Bytes>;  // inner parameters by tag (0x81 ...)

enum class Kind : std::uint8_t { Command = 1, Response = 2, Notification = 3, File = 4 };

// A message read from the wire.
struct Message {
    Kind kind{};
    std::uint8_t number = 0;
    std::uint16_t id = 0;  // command identifier, or the notification's core identifier
    Frame outer;
    Frame inner;               // identifier `id` and no parameters when the message carries none
    std::uint32_t fileId = 0;  // file messages
    Bytes payload;             // file messages: the contents (P4)
    Bytes raw;
};
// Reads a message: the outer identifier must be AA00 or AAFF and P1 must hold a header long
// enough for the kind. Anything else gives none.
std::optional<Message> parseMessage(const Bytes& data);

constexpr std::uint16_t kFramework = 0xAA00;

Bytes buildCommand(std::uint16_t id, std::uint8_t number, const Params& params);
// status = operation status << 24 | 24-bit command status. Short form: P2 holds the four bytes;
// container form: A2 holds 81 (command status) and 82 (operation status).
Bytes buildResponse(std::uint16_t id, std::uint8_t number, std::uint32_t status,
                    const Params& params, bool containerStatus = false);
// code = Source << 24 | Section << 16 | Event << 8 | Reason. With a priority the five-byte event
// description travels in P3, otherwise the four code bytes in P2 (and additional data, if any,
// in P3).
Bytes buildNotification(std::uint16_t coreId, std::uint8_t number, std::uint32_t code,
                        const Params& params, std::optional<std::uint8_t> priority = {},
                        const Bytes& additionalData = {});
Bytes buildFile(std::uint16_t commandId, std::uint32_t fileId, const Bytes& contents,
                std::uint8_t number = 0);

}  // namespace sim::orb
