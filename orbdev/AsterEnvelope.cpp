#include "AsterEnvelope.h"

#include <stdexcept>

AsterAPIFrameWork ParseAsterEnvelope(const std::vector<unsigned char>& data) {
    AsterAPIFrameWork outer = AsterAPIFrameWork::Parse(data);
    if (!AsterAPIFrameWork::isCompatible(outer.ID()))
        throw std::runtime_error("Invalid frameword id");
    return outer;
}

void CheckAsterHeader(const std::vector<unsigned char>& header, unsigned char type) {
    if (header.empty() || (header[0] & 0x7F) != type)
        throw std::runtime_error("Invalid message type");
    if (header.size() < 4) throw std::runtime_error("Invalid message header");
}

unsigned short ReadAsterWord(const std::vector<unsigned char>& bytes, std::size_t offset) {
    return static_cast<unsigned short>(bytes.at(offset) << 8 | bytes.at(offset + 1));
}

AsterAPIFrameWork ParseAsterInnerFrame(const AsterAPIFrameWork& outer, unsigned short id) {
    const std::vector<unsigned char> payload = outer.GetParameter(4);
    if (payload.empty()) return AsterAPIFrameWork(id);
    return AsterAPIFrameWork::Parse(payload);
}
