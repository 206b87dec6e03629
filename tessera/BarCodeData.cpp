#include "BarCodeData.h"

#include <utility>

namespace TESSERA {

BarCodeData::BarCodeData() : Encrypted(false), EncryptionType(0) {}

BarCodeData::BarCodeData(std::vector<unsigned char> data, bool encrypted,
                         unsigned char encryptionType, std::vector<unsigned char> ksn)
    : Data(std::move(data)),
      Encrypted(encrypted),
      EncryptionType(encryptionType),
      KSN(std::move(ksn)) {}

}  // namespace TESSERA
