#include "PANData.h"

#include <utility>

namespace TESSERA {

PANData::PANData() : EncryptionType(0) {}

PANData::PANData(std::vector<unsigned char> data, std::vector<unsigned char> ksn,
                 unsigned char encryptionType, TESSERA::PINData pinData)
    : Data(std::move(data)),
      KSN(std::move(ksn)),
      EncryptionType(encryptionType),
      PINData(std::move(pinData)) {}

}  // namespace TESSERA
