#pragma once
#include "SdkAccess.h"

namespace TESSERA {

// Run-time binding to the message-schema library. The one process-wide instance, asterSdk,
// opens "./liborbdev.so" (relative to the working directory) during libtessera's static
// initialisation; without the library the message-schema family has no devices. The exports'
// function pointers join this class with the message-schema adapter.
class AsterSdk {
  public:
    AsterSdk();

    // Whether the library was loaded (says nothing about individual exports).
    static bool IsSdkReady();

    static SdkAccess Sdk;
};

extern AsterSdk asterSdk;

}  // namespace TESSERA
