#pragma once
#include <vector>

#include "Export.h"

namespace TESSERA {

// A PIN block produced by the device.
class SDK_EXPORT PINData {
  public:
    PINData();
    PINData(std::vector<unsigned char> pinBlock, std::vector<unsigned char> ksn,
            unsigned char format, unsigned char encryptionType);

    std::vector<unsigned char> PINBlock;
    std::vector<unsigned char> KSN;
    unsigned char Format;
    unsigned char EncryptionType;
};

}  // namespace TESSERA
