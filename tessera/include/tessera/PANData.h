#pragma once
#include <vector>

#include "Export.h"
#include "PINData.h"

namespace TESSERA {

// PAN data produced by the device; PINData holds the PIN block of a combined PAN-and-PIN entry.
class SDK_EXPORT PANData {
  public:
    PANData();
    PANData(std::vector<unsigned char> data, std::vector<unsigned char> ksn,
            unsigned char encryptionType, TESSERA::PINData pinData);

    std::vector<unsigned char> Data;
    std::vector<unsigned char> KSN;
    unsigned char EncryptionType;
    TESSERA::PINData PINData;
};

}  // namespace TESSERA
