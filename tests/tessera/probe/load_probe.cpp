// Started by the device-library tests in a prepared working directory: reports which device
// libraries libtessera's start-up loading found there.
#include <cstdio>

#include "AsterSdk.h"
#include "StrixSdk.h"

int main() {
    std::printf("loaded: strix=%d orbdev=%d\n", TESSERA::StrixSdk::IsSdkReady() ? 1 : 0,
                TESSERA::AsterSdk::IsSdkReady() ? 1 : 0);
    return 0;
}
