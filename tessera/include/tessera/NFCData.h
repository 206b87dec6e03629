#pragma once
#include <vector>

#include "Export.h"

namespace TESSERA {

// Data of an NFC tag operation.
class SDK_EXPORT NFCData {
  public:
    // Clear data: no KSN, not encrypted, type 0.
    NFCData(std::vector<unsigned char> data);
    NFCData(std::vector<unsigned char> data, bool encrypted, unsigned char encryptionType,
            std::vector<unsigned char> ksn);

    std::vector<unsigned char> Data;
    std::vector<unsigned char> KSN;
    bool Encrypted;
    unsigned char EncryptionType;
};

}  // namespace TESSERA
