// The process-wide settings of the swipe-reader C API.
#include "SdkExport.h"
#include "StrixTimeout.h"

extern "C" {
SDK_EXPORT int _TimeoutMs = 10000;
}
