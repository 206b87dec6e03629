#include "PINRequest.h"

#include <utility>

namespace TESSERA {

PINRequest::PINRequest() : PINRequest(60, 0, 4, 12, 1, 1, "") {}

PINRequest::PINRequest(unsigned char timeout, unsigned char pinMode, unsigned char minLength,
                       unsigned char maxLength, unsigned char tone, unsigned char format,
                       std::string pan)
    : Timeout(timeout),
      PINMode(pinMode),
      MinLength(minLength),
      MaxLength(maxLength),
      Tone(tone),
      Format(format),
      PAN(std::move(pan)) {}

}  // namespace TESSERA
