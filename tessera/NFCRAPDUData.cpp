#include "NFCRAPDUData.h"

#include <utility>

namespace TESSERA {

NFCRAPDUData::NFCRAPDUData() : NFCData(std::vector<unsigned char>()) {}

NFCRAPDUData::NFCRAPDUData(std::vector<unsigned char> response, std::vector<unsigned char> data,
                           bool encrypted, unsigned char encryptionType,
                           std::vector<unsigned char> ksn)
    : NFCData(std::move(data), encrypted, encryptionType, std::move(ksn)),
      Response(std::move(response)) {}

}  // namespace TESSERA
