#pragma once
#include <string>

#include "Export.h"

namespace TESSERA {

// Parameters of a PIN entry.
class SDK_EXPORT PINRequest {
  public:
    PINRequest();
    PINRequest(unsigned char timeout, unsigned char pinMode, unsigned char minLength,
               unsigned char maxLength, unsigned char tone, unsigned char format, std::string pan);

    unsigned char Timeout;  // seconds
    unsigned char PINMode;
    unsigned char MinLength;
    unsigned char MaxLength;
    unsigned char Tone;
    unsigned char Format;
    std::string PAN;
};

}  // namespace TESSERA
