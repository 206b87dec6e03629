#include "StrixSdk.h"

namespace TESSERA {

// Defined before strixSdk in this unit, so the loader exists when the binding is constructed.
SdkAccess StrixSdk::Sdk;

StrixSdk::StrixSdk() {
    if (!Sdk.IsInitialized()) Sdk.Initialize("./libstrix.so");
}

bool StrixSdk::IsSdkReady() {
    return Sdk.IsInitialized();
}

StrixSdk strixSdk;

}  // namespace TESSERA
