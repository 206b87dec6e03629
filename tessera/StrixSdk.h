#pragma once
#include "SdkAccess.h"

namespace TESSERA {

// Run-time binding to the swipe-reader library. The one process-wide instance, strixSdk,
// opens "./libstrix.so" (relative to the working directory) during libtessera's static
// initialisation; without the library the swipe-reader family has no devices. The exports'
// function pointers join this class with the swipe-reader adapter.
class StrixSdk {
  public:
    StrixSdk();

    // Whether the library was loaded (says nothing about individual exports).
    static bool IsSdkReady();

    static SdkAccess Sdk;
};

extern StrixSdk strixSdk;

}  // namespace TESSERA
