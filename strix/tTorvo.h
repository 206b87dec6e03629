#pragma once
#include "Kestrel.h"

// tTorvo and iTorvo 6 (product IDs 0x001C, 0x001F): the reader needs 300 ms after opening
// before it takes the start-up command.
class tTorvo : public Kestrel {
  public:
    static constexpr int kStartupDelayMs = 300;
    void afterOpen() override;
    int waitForCommand() override { return 0; }
};
