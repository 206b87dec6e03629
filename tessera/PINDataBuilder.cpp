#include "PINDataBuilder.h"

#include <utility>

#include "ORBAPI.h"

namespace TESSERA {

PINData PINDataBuilder::GetPINData(TSR_DEVICE_TYPE deviceType,
                                   std::vector<unsigned char> dataBytes) {
    if (deviceType == ORB) return ORBAPI::getPINData(std::move(dataBytes));
    return PINData();
}

}  // namespace TESSERA
