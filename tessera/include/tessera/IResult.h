#pragma once
#include "Enumerations.h"
#include "Export.h"
#include "IData.h"

namespace TESSERA {

// Result of a synchronous operation. The producer assigns Status; it starts as
// STATUS_CODE_ERROR so that a result nobody filled in never reads as a success.
class SDK_EXPORT IResult {
  public:
    StatusCode Status = STATUS_CODE_ERROR;
    IData Data;
};

}  // namespace TESSERA
