#pragma once
#include <vector>

#include "BarCodeData.h"
#include "Enumerations.h"
#include "Export.h"

namespace TESSERA {

// Turns the bytes of an EVENT_TYPE_BarCodeData event into a record, given the family of the device
// that sent it. Only message-schema readers (ORB) send such data; other families give an
// empty record.
class SDK_EXPORT BarCodeBuilder {
  public:
    static BarCodeData GetBarCodeData(TSR_DEVICE_TYPE deviceType,
                                      std::vector<unsigned char> dataBytes);
};

}  // namespace TESSERA
