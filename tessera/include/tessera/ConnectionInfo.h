#pragma once
#include <string>

#include "CertificateInfo.h"
#include "Enumerations.h"
#include "Export.h"

namespace TESSERA {

// How a device is reached. The owner assigns the family and connection type; they start as
// SWR and TSR_USB (value 0) so that a fresh record never holds an indeterminate value.
class SDK_EXPORT ConnectionInfo {
  public:
    TSR_DEVICE_TYPE DeviceType = SWR;
    TSR_DEVICE_CONNECTION_TYPE ConnectionType = TSR_USB;
    std::string Address;  // device path or connection string as the device library knows it
    TESSERA::CertificateInfo CertificateInfo;
};

}  // namespace TESSERA
