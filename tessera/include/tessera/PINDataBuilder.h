#pragma once
#include <vector>

#include "Enumerations.h"
#include "Export.h"
#include "PINData.h"

namespace TESSERA {

// Turns the bytes of an EVENT_TYPE_PINData event into a record, given the family of the device
// that sent it. Only message-schema readers (ORB) send such data; other families give an
// empty record.
class SDK_EXPORT PINDataBuilder {
  public:
    static PINData GetPINData(TSR_DEVICE_TYPE deviceType, std::vector<unsigned char> dataBytes);
};

}  // namespace TESSERA
