#include "AsterFileMessage.h"

#include <stdexcept>

#include "AsterEnvelope.h"

AsterFileMessage::AsterFileMessage(unsigned long FileID, std::vector<unsigned char> Data,
                                   unsigned short ORBCmdID)
    : AsterAPIFrameWork(0xAA00),
      FileData(std::move(Data)),
      FileID(FileID & 0xFFFFFFFFul),
      MessageID(0),
      ORBCommandID(ORBCmdID) {
    SetParameter(1,
                 std::vector<unsigned char>{0x04, 0x00, static_cast<unsigned char>(ORBCmdID >> 8),
                                            static_cast<unsigned char>(ORBCmdID & 0xFF),
                                            static_cast<unsigned char>(this->FileID >> 24),
                                            static_cast<unsigned char>(this->FileID >> 16),
                                            static_cast<unsigned char>(this->FileID >> 8),
                                            static_cast<unsigned char>(this->FileID)});
    SetParameter(4, FileData);
}

AsterFileMessage AsterFileMessage::ParseFileMessage(const std::vector<unsigned char>& data) {
    const AsterAPIFrameWork outer = ParseAsterEnvelope(data);
    const std::vector<unsigned char> header = outer.GetParameter(1);
    if (header.size() != 8) throw std::runtime_error("File message need 6 bytes in P1");
    if ((header[0] & 0x7F) != 0x04) throw std::runtime_error("Message Type is not file");
    std::vector<unsigned char> payload = outer.GetParameter(4);
    if (payload.empty()) throw std::runtime_error("File message must have a payload - P4!");
    const unsigned long fileId = static_cast<unsigned long>(header[4]) << 24 |
                                 static_cast<unsigned long>(header[5]) << 16 |
                                 static_cast<unsigned long>(header[6]) << 8 | header[7];
    return AsterFileMessage(fileId, std::move(payload), ReadAsterWord(header, 2));
}
