#pragma once
#include <vector>

#include "Export.h"

namespace TESSERA {

// Bar-code data read by the device.
class SDK_EXPORT BarCodeData {
  public:
    BarCodeData();
    BarCodeData(std::vector<unsigned char> data, bool encrypted, unsigned char encryptionType,
                std::vector<unsigned char> ksn);

    std::vector<unsigned char> Data;
    bool Encrypted;
    unsigned char EncryptionType;
    std::vector<unsigned char> KSN;  // key serial number
};

}  // namespace TESSERA
