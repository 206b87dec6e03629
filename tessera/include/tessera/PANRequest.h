#pragma once
#include "Enumerations.h"
#include "Export.h"

namespace TESSERA {

// Parameters of a manual PAN entry.
class SDK_EXPORT PANRequest {
  public:
    PANRequest();
    PANRequest(unsigned char timeout, TESSERA::PaymentMethods paymentMethods);

    unsigned char Timeout;
    TESSERA::PaymentMethods PaymentMethods;
};

}  // namespace TESSERA
