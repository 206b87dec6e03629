#include "NFCDataBuilder.h"

#include <utility>

#include "ORBAPI.h"

namespace TESSERA {

NFCData NFCDataBuilder::GetNFCData(TSR_DEVICE_TYPE deviceType,
                                   std::vector<unsigned char> dataBytes) {
    if (deviceType == ORB) return ORBAPI::getNFCData(std::move(dataBytes));
    return NFCData(std::vector<unsigned char>());
}

}  // namespace TESSERA
