#include "PINData.h"

#include <utility>

namespace TESSERA {

PINData::PINData() : Format(0), EncryptionType(0) {}

PINData::PINData(std::vector<unsigned char> pinBlock, std::vector<unsigned char> ksn,
                 unsigned char format, unsigned char encryptionType)
    : PINBlock(std::move(pinBlock)),
      KSN(std::move(ksn)),
      Format(format),
      EncryptionType(encryptionType) {}

}  // namespace TESSERA
