#pragma once
#include "Cardova.h"

// A reader in boot-loader mode (product ID 0x0012): the base engine with no start-up exchange.
class CardovaBootLoader : public Cardova {
  public:
    int waitForCommand() override { return 0; }
};
