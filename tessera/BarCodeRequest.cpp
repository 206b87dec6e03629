#include "BarCodeRequest.h"

#include <utility>

namespace TESSERA {

BarCodeRequest::BarCodeRequest(BarCodeType type, BarCodeFormat format,
                               std::vector<unsigned char> data)
    : BarCodeRequest(type, format, std::move(data), {0x00, 0x00, 0x00}, {0xFF, 0xFF, 0xFF}, 0, 255,
                     1, 40) {}

BarCodeRequest::BarCodeRequest(BarCodeType type, BarCodeFormat format,
                               std::vector<unsigned char> data,
                               std::vector<unsigned char> blockColor,
                               std::vector<unsigned char> backgroundColor,
                               unsigned char errorCorrection, unsigned char maskPattern,
                               unsigned char minVersion, unsigned char maxVersion)
    : Type(type),
      Format(format),
      Data(std::move(data)),
      BlockColor(std::move(blockColor)),
      BackgroundColor(std::move(backgroundColor)),
      ErrorCorrection(errorCorrection),
      MaskPattern(maskPattern),
      MinVersion(minVersion),
      MaxVersion(maxVersion) {}

}  // namespace TESSERA
