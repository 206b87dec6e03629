#pragma once
#include <vector>

#include "Enumerations.h"
#include "Export.h"

namespace TESSERA {

// A bar code to show on the device's display.
class SDK_EXPORT BarCodeRequest {
  public:
    // Black blocks on white, error correction 0, mask pattern 255, versions 1 to 40.
    BarCodeRequest(BarCodeType type, BarCodeFormat format, std::vector<unsigned char> data);
    BarCodeRequest(BarCodeType type, BarCodeFormat format, std::vector<unsigned char> data,
                   std::vector<unsigned char> blockColor,
                   std::vector<unsigned char> backgroundColor, unsigned char errorCorrection,
                   unsigned char maskPattern, unsigned char minVersion, unsigned char maxVersion);

    BarCodeType Type;
    BarCodeFormat Format;
    std::vector<unsigned char> Data;
    std::vector<unsigned char> BlockColor;       // R, G, B
    std::vector<unsigned char> BackgroundColor;  // R, G, B
    unsigned char ErrorCorrection;
    unsigned char MaskPattern;
    unsigned char MinVersion;
    unsigned char MaxVersion;
};

}  // namespace TESSERA
