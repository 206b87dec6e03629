#pragma once
#include "FormatFilter.h"
#include "FrameFIFO.h"

// "BREVO": binary lines ending in 0x0D. Commands are the command bytes and 0x0D; a received
// line starting with 0x04 is a response (status, length, data), one starting with 0x02 a
// notification chunk. The reader's headers give each line's length, so a 0x0D byte inside the
// data does not cut it short.
class BrevoFilter : public FormatFilter {
  public:
    BrevoFilter() : FormatFilter("Brevo") {}
    int FilterOutput(std::string HexMessage, std::string& channelName, int& channelId,
                     std::string& channelHexData) override;
    int FilterInput(std::string HexMessage, std::string& channelName, int& channelId,
                    std::string& channelHexData) override;

  private:
    bool nextLine(std::string& line);
    std::string queue;  // received bytes not yet delivered
};
