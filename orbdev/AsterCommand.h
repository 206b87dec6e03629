#pragma once
// A command message (host to reader). On the wire it is an outer frame 0xAA00 with
//   P1 (0x81)  header: 01 (command), message number, command identifier (2 bytes, big-endian)
//              [, CRC type when it is not 0]
//   P4 (0x84)  the inner frame: command identifier and the command's own parameters
//   P30 (0x9E) 00 00 00 00, only when the CRC type is not 0.
// Example: the command 0x1F01 without parameters is AA00 8104 01nn1F01 8402 1F01.
//
// Errors are thrown as std::runtime_error carrying the message text.
#include <atomic>
#include <string>
#include <vector>

#include "AsterAPIFrameWork.h"

class AsterCommand {
  public:
    // The command identifier.
    unsigned short ID;
    // Process-wide message counter: drawn at every construction and every serialisation, wraps
    // from 255 to 0. Atomic, so commands may be built and serialised on several threads at once.
    static std::atomic<unsigned char> GlobalMessageID;
    // 0 means no CRC parameter.
    int CrcType;
    // The counter value drawn at construction, or the header's message number when parsed.
    unsigned char MessageID;
    // The inner frame (identifier = ID).
    AsterAPIFrameWork Command;

    // The optional initial parameters p1, p2, p3 become the inner-frame parameters with the
    // tags 0x81, 0x82, 0x83, given as bytes or as hex text.
    explicit AsterCommand(unsigned short CommandID, unsigned char crc = 0);
    AsterCommand(unsigned short CommandID, std::vector<unsigned char> p1, unsigned char crc = 0);
    AsterCommand(unsigned short CommandID, std::vector<unsigned char> p1,
                 std::vector<unsigned char> p2, unsigned char crc = 0);
    AsterCommand(unsigned short CommandID, std::vector<unsigned char> p1,
                 std::vector<unsigned char> p2, std::vector<unsigned char> p3,
                 unsigned char crc = 0);
    AsterCommand(unsigned short CommandID, std::string p1, unsigned char crc = 0);
    AsterCommand(unsigned short CommandID, std::string p1, std::string p2, unsigned char crc = 0);
    AsterCommand(unsigned short CommandID, std::string p1, std::string p2, std::string p3,
                 unsigned char crc = 0);
    virtual ~AsterCommand() = default;
    AsterCommand(const AsterCommand&) = default;
    AsterCommand& operator=(const AsterCommand&) = default;

    // Sets (replaces) the inner-frame parameter with this tag (0x81 = first parameter, ...).
    // Throws std::invalid_argument for a tag that names no parameter.
    void SetCommandParameter(unsigned char tag, std::vector<unsigned char> value);
    void SetCommandParameter(unsigned char tag, std::string hex);

    // The complete message. Every call draws a fresh message number from GlobalMessageID (the
    // stored MessageID is not used), so two serialisations differ in their header.
    virtual std::vector<unsigned char> ToBytes() const;

    // Reads a command message. Throws "Invalid frameword id" for an outer identifier other than
    // 0xAA00/0xAAFF, "Invalid message type" when the header is missing or its type (bit 7
    // ignored) is not 1, "Invalid message header" for a header shorter than 4 bytes and
    // "invalid data" when the inner frame (P4) is missing or shorter than 2 bytes. A fifth
    // header byte is read as the CRC type.
    static AsterCommand Parse(const std::vector<unsigned char>& data);
    static AsterCommand Parse(const std::string& hex);

    // The CRC placeholder: always 00 00 00 00.
    std::vector<unsigned char> Crc32() const;
};
