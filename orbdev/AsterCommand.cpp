#include "AsterCommand.h"

#include <stdexcept>

#include "AsterEnvelope.h"
#include "stdafx.h"

std::atomic<unsigned char> AsterCommand::GlobalMessageID{0};

AsterCommand::AsterCommand(unsigned short CommandID, unsigned char crc)
    : ID(CommandID), CrcType(crc), MessageID(GlobalMessageID++), Command(CommandID) {}

AsterCommand::AsterCommand(unsigned short CommandID, std::vector<unsigned char> p1,
                           unsigned char crc)
    : AsterCommand(CommandID, crc) {
    Command.SetParameterByTag(0x81, std::move(p1));
}

AsterCommand::AsterCommand(unsigned short CommandID, std::vector<unsigned char> p1,
                           std::vector<unsigned char> p2, unsigned char crc)
    : AsterCommand(CommandID, std::move(p1), crc) {
    Command.SetParameterByTag(0x82, std::move(p2));
}

AsterCommand::AsterCommand(unsigned short CommandID, std::vector<unsigned char> p1,
                           std::vector<unsigned char> p2, std::vector<unsigned char> p3,
                           unsigned char crc)
    : AsterCommand(CommandID, std::move(p1), std::move(p2), crc) {
    Command.SetParameterByTag(0x83, std::move(p3));
}

AsterCommand::AsterCommand(unsigned short CommandID, std::string p1, unsigned char crc)
    : AsterCommand(CommandID, H2BV(std::move(p1)), crc) {}

AsterCommand::AsterCommand(unsigned short CommandID, std::string p1, std::string p2,
                           unsigned char crc)
    : AsterCommand(CommandID, H2BV(std::move(p1)), H2BV(std::move(p2)), crc) {}

AsterCommand::AsterCommand(unsigned short CommandID, std::string p1, std::string p2, std::string p3,
                           unsigned char crc)
    : AsterCommand(CommandID, H2BV(std::move(p1)), H2BV(std::move(p2)), H2BV(std::move(p3)), crc) {}

void AsterCommand::SetCommandParameter(unsigned char tag, std::vector<unsigned char> value) {
    Command.SetParameterByTag(tag, std::move(value));
}

void AsterCommand::SetCommandParameter(unsigned char tag, std::string hex) {
    Command.SetParameterByTag(tag, std::move(hex));
}

std::vector<unsigned char> AsterCommand::ToBytes() const {
    AsterAPIFrameWork outer(0xAA00);
    std::vector<unsigned char> header = {0x01, GlobalMessageID++,
                                         static_cast<unsigned char>(ID >> 8),
                                         static_cast<unsigned char>(ID & 0xFF)};
    if (CrcType != 0) header.push_back(static_cast<unsigned char>(CrcType));
    outer.SetParameter(1, std::move(header));
    outer.SetParameter(4, Command.ToBytes());
    if (CrcType != 0) outer.SetParameter(30, Crc32());
    return outer.ToBytes();
}

AsterCommand AsterCommand::Parse(const std::vector<unsigned char>& data) {
    const AsterAPIFrameWork outer = ParseAsterEnvelope(data);
    const std::vector<unsigned char> header = outer.GetParameter(1);
    CheckAsterHeader(header, 0x01);
    AsterCommand command(ReadAsterWord(header, 2));
    command.MessageID = header[1];
    if (header.size() > 4) command.CrcType = header[4];
    command.Command = AsterAPIFrameWork::Parse(outer.GetParameter(4));
    return command;
}

AsterCommand AsterCommand::Parse(const std::string& hex) {
    return Parse(H2BV(hex));
}

std::vector<unsigned char> AsterCommand::Crc32() const {
    return {0x00, 0x00, 0x00, 0x00};
}
