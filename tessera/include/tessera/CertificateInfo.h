#pragma once
#include <string>
#include <vector>

#include "Export.h"

namespace TESSERA {

// A client certificate for secured connections.
class SDK_EXPORT CertificateInfo {
  public:
    std::string Format;
    std::vector<unsigned char> Data;
    std::string Password;
};

}  // namespace TESSERA
