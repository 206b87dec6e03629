#pragma once
#include "KestrelBle.h"

// tTorvo over Bluetooth (product ID 0x011C): the start-up of the Bluetooth engine.
class tTorvoBle : public KestrelBle {
  public:
    void afterOpen() override { KestrelBle::afterOpen(); }
};
