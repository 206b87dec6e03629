#pragma once
#include "FormatFilter.h"
#include "FrameFIFO.h"

// "LEGACY": commands as hex text lines ending in CR. Each received line of upper-case hex digits
// is a response; any other line (track text) is card data.
class LegacySavant : public FormatFilter {
  public:
    LegacySavant() : FormatFilter("LEGACY"), fifo("\r", "") {}
    int FilterOutput(std::string HexMessage, std::string& channelName, int& channelId,
                     std::string& channelHexData) override;
    int FilterInput(std::string HexMessage, std::string& channelName, int& channelId,
                    std::string& channelHexData) override;

  private:
    FrameFIFO fifo;
};
