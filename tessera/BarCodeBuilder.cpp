#include "BarCodeBuilder.h"

#include <utility>

#include "ORBAPI.h"

namespace TESSERA {

BarCodeData BarCodeBuilder::GetBarCodeData(TSR_DEVICE_TYPE deviceType,
                                           std::vector<unsigned char> dataBytes) {
    if (deviceType == ORB) return ORBAPI::getBarCodeData(std::move(dataBytes));
    return BarCodeData();
}

}  // namespace TESSERA
