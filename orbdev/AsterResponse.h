#pragma once
// A response message (reader to host, one per command): outer frame 0xAA00 or 0xAAFF with
//   P1 (0x81)  header: 02 (response; bit 7 ignored), message number, command identifier
//   P2 (0x82)  short status: operation status (1 byte), command status (3 bytes, big-endian)
//   P33 (0xA2) status container, preferred over P2: BER-TLV with the command status in the first
//              element 81 and the operation status in the first element 82
//   P4 (0x84)  optional inner frame: command identifier and the response's parameters.
// Example: AA00 8104 02051F01 8204 00000000 8405 1F01 810107.
//
// Errors are thrown as std::runtime_error carrying the message text.
#include <string>
#include <vector>

#include "AsterAPIFrameWork.h"

class AsterResponse {
  public:
    // The command identifier echoed by the reader.
    unsigned short ID;
    unsigned int CmdStatus;
    unsigned int OpStatus;
    // The whole received message as hex text.
    std::string Raw;
    // The inner frame; identifier ID and no parameters when the message has no P4.
    AsterAPIFrameWork Response;
    // The header's message number.
    unsigned short MessageID;

    AsterResponse(unsigned short ID, unsigned int cmdstatus, unsigned int opstatus,
                  std::string RawHex);

    // Reads a response. Throws "Invalid frameword id" for an outer identifier other than
    // 0xAA00/0xAAFF, "Invalid message type" when the header is missing or its type is not 2,
    // "Invalid message header" for a header shorter than 4 bytes, "Cannot find response status"
    // when there is neither a status container nor a P2 of at least 4 bytes or the container
    // lacks 81 or 82, "Invalid response status" when a container status is empty or longer than
    // 4 bytes, and "invalid data" for a P4 of a single byte.
    static AsterResponse Parse(const std::vector<unsigned char>& data);
    static AsterResponse Parse(const std::string& hex);

    // Operation status in the top byte, the 24-bit command status below it. Callers classify a
    // response by its top byte.
    unsigned int GetStatus() const;

    // Inner-frame parameter by tag; empty when absent.
    std::vector<unsigned char> GetResponseParameter(unsigned char Tag) const;
    // Value addressed by a tag path such as "A4.A4.A0(2).81" (see TagPath.h). Throws
    // std::invalid_argument when the first step is not a hex number.
    std::vector<unsigned char> GetResponseParameter(const char* TagNode) const;
    // Tags of the inner frame's parameters, ascending.
    std::vector<unsigned char> GetAllResponseTags() const;
};
