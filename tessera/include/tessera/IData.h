#pragma once
#include <string>
#include <vector>

#include "Export.h"

namespace TESSERA {

// One payload value held in two forms at once: as text and as bytes. Built from text, the
// bytes are the hex decoding of the text (empty for odd-length text; a plain word such as
// "connected" gives meaningless bytes, so consumers of text payloads read StringValue). Built
// from bytes, the text is their upper-case hex.
class SDK_EXPORT IData {
  public:
    IData();
    IData(std::string Value);
    IData(std::vector<unsigned char> Value);

    IData Clone() const;

    std::string StringValue;
    std::vector<unsigned char> ByteArray;
};

}  // namespace TESSERA
