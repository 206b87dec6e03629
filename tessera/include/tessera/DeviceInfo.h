#pragma once
#include <string>

#include "Export.h"

namespace TESSERA {

class SDK_EXPORT DeviceInfo {
  public:
    std::string Name;
    std::string Model;
    std::string Serial;
};

}  // namespace TESSERA
