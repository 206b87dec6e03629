#pragma once
// Steps shared by the message readers (internal to the library).
#include <vector>

#include "AsterAPIFrameWork.h"

// Reads the outer frame of a message and checks its framework identifier; throws
// "Invalid frameword id" when it is neither 0xAA00 nor 0xAAFF ("invalid data" for fewer than
// 2 bytes).
AsterAPIFrameWork ParseAsterEnvelope(const std::vector<unsigned char>& data);

// Checks the header P1 of a command or response: its type (bit 7 ignored) must be `type`
// ("Invalid message type", also for an empty header) and it must hold at least 4 bytes
// ("Invalid message header").
void CheckAsterHeader(const std::vector<unsigned char>& header, unsigned char type);

// Big-endian 16-bit value at header[offset] (the caller has checked the size).
unsigned short ReadAsterWord(const std::vector<unsigned char>& bytes, std::size_t offset);

// The inner frame of a message: its P4 parsed when present and not empty, otherwise an empty
// frame with the given identifier.
AsterAPIFrameWork ParseAsterInnerFrame(const AsterAPIFrameWork& outer, unsigned short id);
