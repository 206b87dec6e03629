#pragma once
#include <vector>

#include "Enumerations.h"
#include "Export.h"
#include "NFCData.h"

namespace TESSERA {

// Turns the bytes of an EVENT_TYPE_NFCData event into a record, given the family of the device
// that sent it. Only message-schema readers (ORB) send such data; other families give an
// empty record.
class SDK_EXPORT NFCDataBuilder {
  public:
    static NFCData GetNFCData(TSR_DEVICE_TYPE deviceType, std::vector<unsigned char> dataBytes);
};

}  // namespace TESSERA
