#pragma once
#include <vector>

#include "Export.h"
#include "IResult.h"

namespace TESSERA {

// Implemented by the application to follow a long configuration operation (firmware, files,
// images, keys): progress, the final result, and MACs the operation needs computed.
class SDK_EXPORT IConfigurationCallback {
  public:
    virtual void OnProgress(int progress) = 0;
    // status is a StatusCode value.
    virtual void OnResult(int status, std::vector<unsigned char> data) = 0;
    // Returns the MAC over data, computed with the key the application holds for MACType, in
    // Data.ByteArray.
    virtual IResult OnCalculateMAC(unsigned char MACType, std::vector<unsigned char> data) = 0;

  protected:
    // The destructor slot follows the operations.
    virtual ~IConfigurationCallback() = default;
};

}  // namespace TESSERA
