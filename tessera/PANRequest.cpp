#include "PANRequest.h"

namespace TESSERA {

PANRequest::PANRequest() : PANRequest(0, PAYMENT_METHOD_MSR) {}

PANRequest::PANRequest(unsigned char timeout, TESSERA::PaymentMethods paymentMethods)
    : Timeout(timeout), PaymentMethods(paymentMethods) {}

}  // namespace TESSERA
