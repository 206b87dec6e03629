#pragma once
// A file message (bulk data in either direction). It is itself the outer frame 0xAA00 with
//   P1 (0x81)  file header, exactly 8 bytes: 04, message number (00 when built here), command
//              identifier (2 bytes), file identifier (4 bytes), all big-endian
//   P4 (0x84)  the file contents (required)
// and serialises with the inherited ToBytes.
//
// Errors are thrown as std::runtime_error carrying the message text.
#include <vector>

#include "AsterAPIFrameWork.h"

class AsterFileMessage : public AsterAPIFrameWork {
  public:
    std::vector<unsigned char> FileData;
    // The 32-bit file identifier (wider values are cut to their low 32 bits).
    unsigned long FileID;
    unsigned char MessageID;
    // The command identifier of the header.
    unsigned short ORBCommandID;

    AsterFileMessage(unsigned long FileID, std::vector<unsigned char> Data,
                     unsigned short ORBCmdID);

    // Reads a file message. Checks in this order and throws: "Invalid frameword id" (outer
    // identifier not 0xAA00/0xAAFF), "File message need 6 bytes in P1" (P1 is not exactly
    // 8 bytes), "Message Type is not file" (type, bit 7 ignored, is not 4), "File message must
    // have a payload - P4!" (P4 empty or absent); "invalid data" for fewer than 2 bytes.
    static AsterFileMessage ParseFileMessage(const std::vector<unsigned char>& data);
};
