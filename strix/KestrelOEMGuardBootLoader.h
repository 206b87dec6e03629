#pragma once
#include "Kestrel.h"

// An OEM reader in boot-loader mode (product ID 0x5357): no start-up exchange.
class KestrelOEMGuardBootLoader : public Kestrel {
  public:
    void afterOpen() override {}
    int waitForCommand() override { return 0; }
};
