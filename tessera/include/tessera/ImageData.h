#pragma once
#include <vector>

#include "Enumerations.h"
#include "Export.h"

namespace TESSERA {

// An image to show on the device's display.
class SDK_EXPORT ImageData {
  public:
    // Background white (FF FF FF).
    ImageData(ImageType type, std::vector<unsigned char> data);
    ImageData(ImageType type, std::vector<unsigned char> data,
              std::vector<unsigned char> backgroundColor);

    ImageType Type;
    std::vector<unsigned char> Data;
    std::vector<unsigned char> BackgroundColor;  // R, G, B
};

}  // namespace TESSERA
