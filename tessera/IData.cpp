#include "IData.h"

#include <utility>

#include "stdafx.h"

namespace TESSERA {

IData::IData() = default;

IData::IData(std::string Value) : StringValue(std::move(Value)), ByteArray(H2BV(StringValue)) {}

IData::IData(std::vector<unsigned char> Value)
    : StringValue(BV2H(Value)), ByteArray(std::move(Value)) {}

IData IData::Clone() const {
    return *this;
}

}  // namespace TESSERA
