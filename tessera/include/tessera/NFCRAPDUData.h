#pragma once
#include <vector>

#include "Export.h"
#include "NFCData.h"

namespace TESSERA {

// An NFC response: the R-APDU as received, with the tag data it carries.
class SDK_EXPORT NFCRAPDUData : public NFCData {
  public:
    NFCRAPDUData();
    NFCRAPDUData(std::vector<unsigned char> response, std::vector<unsigned char> data,
                 bool encrypted, unsigned char encryptionType, std::vector<unsigned char> ksn);

    std::vector<unsigned char> Response;
};

}  // namespace TESSERA
