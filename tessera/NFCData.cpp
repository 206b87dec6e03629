#include "NFCData.h"

#include <utility>

namespace TESSERA {

NFCData::NFCData(std::vector<unsigned char> data) : NFCData(std::move(data), false, 0, {}) {}

NFCData::NFCData(std::vector<unsigned char> data, bool encrypted, unsigned char encryptionType,
                 std::vector<unsigned char> ksn)
    : Data(std::move(data)),
      KSN(std::move(ksn)),
      Encrypted(encrypted),
      EncryptionType(encryptionType) {}

}  // namespace TESSERA
