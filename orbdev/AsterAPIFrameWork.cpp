#include "AsterAPIFrameWork.h"

#include <stdexcept>

#include "ASNOne.h"
#include "stdafx.h"

namespace {
const unsigned short AsterCompatibleIds[] = {0xAAFF, 0xAA00};

#ifdef SDK_TESSERA_VARIANT
constexpr std::size_t kShortestFrame = 3;
#else
constexpr std::size_t kShortestFrame = 2;
#endif
}  // namespace

AsterAPIFrameWork::AsterAPIFrameWork(unsigned short id) : identifer(id) {}

unsigned char AsterAPIFrameWork::PN2Tag(int index) {
    if (index >= 0 && index <= 30) return static_cast<unsigned char>(0x80 + index);
    if (index >= 31 && index <= 61) return static_cast<unsigned char>(0x81 + index);
    return 0xFF;
}

int AsterAPIFrameWork::Tag2PN(unsigned char tag) {
    if (tag >= 0x80 && tag <= 0x9E) return tag - 0x80;
    if (tag >= 0xA0 && tag <= 0xBE) return tag - 0x81;
    return -1;
}

bool AsterAPIFrameWork::isCompatible(unsigned short fid) {
    for (unsigned short id : AsterCompatibleIds)
        if (id == fid) return true;
    return false;
}

void AsterAPIFrameWork::SetParameter(int index, std::vector<unsigned char> value) {
    if (index < 0 || index > 61) throw std::invalid_argument("Invalid parameter number");
    parameters[index] = std::move(value);
}

void AsterAPIFrameWork::SetParameter(int index, std::string hex) {
    SetParameter(index, H2BV(std::move(hex)));
}

void AsterAPIFrameWork::SetParameterByTag(unsigned char tag, std::vector<unsigned char> value) {
    SetParameter(Tag2PN(tag), std::move(value));
}

void AsterAPIFrameWork::SetParameterByTag(unsigned char tag, std::string hex) {
    SetParameter(Tag2PN(tag), H2BV(std::move(hex)));
}

std::vector<unsigned char> AsterAPIFrameWork::GetParameter(int index) const {
    auto it = parameters.find(index);
    return it == parameters.end() ? std::vector<unsigned char>() : it->second;
}

std::vector<unsigned char> AsterAPIFrameWork::GetParameterByTag(unsigned char tag) const {
    return GetParameter(Tag2PN(tag));
}

std::vector<unsigned char> AsterAPIFrameWork::GetAllParameterTags() const {
    std::vector<unsigned char> tags;
    tags.reserve(parameters.size());
    for (const auto& p : parameters) tags.push_back(PN2Tag(p.first));
    return tags;
}

std::vector<unsigned char> AsterAPIFrameWork::ToBytes() const {
    std::vector<unsigned char> out;
    out.push_back(static_cast<unsigned char>(identifer >> 8));
    out.push_back(static_cast<unsigned char>(identifer & 0xFF));
    for (const auto& p : parameters) {
        const std::vector<unsigned char> element = ASNOne(PN2Tag(p.first), p.second).toBytes();
        out.insert(out.end(), element.begin(), element.end());
    }
    return out;
}

AsterAPIFrameWork AsterAPIFrameWork::Parse(const std::vector<unsigned char>& data) {
    if (data.size() < kShortestFrame) throw std::runtime_error("invalid data");
    AsterAPIFrameWork frame(static_cast<unsigned short>(data[0] << 8 | data[1]));
    if (data.size() > 2) {
        for (const ASNOne& e : ASNOne::ParseData(data.data() + 2, data.size() - 2)) {
            // Parameter 0 (tag 0x80) is kept too, so that every frame written reads back whole.
            const int n = Tag2PN(e.Tag());
            if (n >= 0) frame.parameters[n] = e.second;
        }
    }
    return frame;
}

AsterAPIFrameWork AsterAPIFrameWork::Parse(const std::string& hex) {
    return Parse(H2BV(hex));
}
