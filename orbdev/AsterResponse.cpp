#include "AsterResponse.h"

#include <cstdlib>
#include <stdexcept>

#include "AsterEnvelope.h"
#include "TLV.h"
#include "TagPath.h"
#include "stdafx.h"

namespace {
// A status from the container: hex text of 1 to 4 bytes.
unsigned int statusValue(const std::list<TLV>& elements, const char* tag) {
    for (const TLV& e : elements) {
        if (e.first != tag) continue;
        if (e.second.empty() || e.second.size() > 8)
            throw std::runtime_error("Invalid response status");
        return static_cast<unsigned int>(std::strtoul(e.second.c_str(), nullptr, 16));
    }
    throw std::runtime_error("Cannot find response status");
}
}  // namespace

AsterResponse::AsterResponse(unsigned short ID, unsigned int cmdstatus, unsigned int opstatus,
                             std::string RawHex)
    : ID(ID),
      CmdStatus(cmdstatus),
      OpStatus(opstatus),
      Raw(std::move(RawHex)),
      Response(ID),
      MessageID(0) {}

AsterResponse AsterResponse::Parse(const std::vector<unsigned char>& data) {
    const AsterAPIFrameWork outer = ParseAsterEnvelope(data);
    const std::vector<unsigned char> header = outer.GetParameter(1);
    CheckAsterHeader(header, 0x02);
    const unsigned short id = ReadAsterWord(header, 2);

    unsigned int cmdStatus = 0;
    unsigned int opStatus = 0;
    if (outer.parameters.count(33) != 0) {
        const std::list<TLV> container = TLV::parseTLVData(outer.GetParameter(33));
        cmdStatus = statusValue(container, "81");
        opStatus = statusValue(container, "82");
    } else {
        const std::vector<unsigned char> status = outer.GetParameter(2);
        if (status.size() < 4) throw std::runtime_error("Cannot find response status");
        opStatus = status[0];
        cmdStatus = static_cast<unsigned int>(status[1]) << 16 |
                    static_cast<unsigned int>(status[2]) << 8 | status[3];
    }

    AsterResponse response(id, cmdStatus, opStatus, BV2H(data));
    response.MessageID = header[1];
    response.Response = ParseAsterInnerFrame(outer, id);
    return response;
}

AsterResponse AsterResponse::Parse(const std::string& hex) {
    return Parse(H2BV(hex));
}

unsigned int AsterResponse::GetStatus() const {
    // A container may carry a command status wider than 24 bits; it must not overwrite the
    // operation status that callers read from the top byte.
    return (OpStatus << 24) | (CmdStatus & 0xFFFFFFu);
}

std::vector<unsigned char> AsterResponse::GetResponseParameter(unsigned char Tag) const {
    return Response.GetParameterByTag(Tag);
}

std::vector<unsigned char> AsterResponse::GetResponseParameter(const char* TagNode) const {
    return ResolveTagPath(TagNode,
                          [this](unsigned char tag) { return Response.GetParameterByTag(tag); });
}

std::vector<unsigned char> AsterResponse::GetAllResponseTags() const {
    return Response.GetAllParameterTags();
}
