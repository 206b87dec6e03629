#include "PANDataBuilder.h"

#include <utility>

#include "ORBAPI.h"

namespace TESSERA {

PANData PANDataBuilder::GetPANData(TSR_DEVICE_TYPE deviceType,
                                   std::vector<unsigned char> dataBytes) {
    if (deviceType == ORB) return ORBAPI::getPANData(std::move(dataBytes));
    return PANData();
}

}  // namespace TESSERA
