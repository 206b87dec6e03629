#include "ImageData.h"

#include <utility>

namespace TESSERA {

ImageData::ImageData(ImageType type, std::vector<unsigned char> data)
    : ImageData(type, std::move(data), {0xFF, 0xFF, 0xFF}) {}

ImageData::ImageData(ImageType type, std::vector<unsigned char> data,
                     std::vector<unsigned char> backgroundColor)
    : Type(type), Data(std::move(data)), BackgroundColor(std::move(backgroundColor)) {}

}  // namespace TESSERA
