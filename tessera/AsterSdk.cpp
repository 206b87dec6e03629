#include "AsterSdk.h"

namespace TESSERA {

// Defined before asterSdk in this unit, so the loader exists when the binding is constructed.
SdkAccess AsterSdk::Sdk;

AsterSdk::AsterSdk() {
    if (!Sdk.IsInitialized()) Sdk.Initialize("./liborbdev.so");
}

bool AsterSdk::IsSdkReady() {
    return Sdk.IsInitialized();
}

AsterSdk asterSdk;

}  // namespace TESSERA
