#pragma once
#include "Cardova.h"

// The check reader (product ID 0x2251): the base engine without a start-up exchange.
class Chexon : public Cardova {
  public:
    void afterOpen() override {}
};
