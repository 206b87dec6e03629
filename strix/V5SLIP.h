#pragma once
#include "FormatFilter.h"
#include "FrameFIFO.h"
#include "RLE.h"

// "SLIP": messages of type, 2-byte big-endian length and payload, framed by 0xC0 with 0xDB
// escapes. Notifications and card data may come run-length coded (the length is then the
// decoded length).
class V5SLIP : public FormatFilter {
  public:
    enum MessageType {
        CARD_DATA = 0,
        CARD_DATA_RLE = 1,
        NOTIFICATION = 2,
        NOTIFICATION_RLE = 3,
        RESPONSE = 4,
        COMMAND = 5
    };
    static constexpr size_t kRleBufferSize = 4096;

    V5SLIP() : FormatFilter("SLIP"), fifo("\xC0", "\xC0"), rle(kRleBufferSize) {}
    int FilterOutput(std::string HexMessage, std::string& channelName, int& channelId,
                     std::string& channelHexData) override;
    int FilterInput(std::string HexMessage, std::string& channelName, int& channelId,
                    std::string& channelHexData) override;

    static std::string escape(const std::string& message);
    static std::string unescape(const std::string& escaped);
    // The payload when the message is exactly its header's length plus 3 bytes, else "".
    static std::string ValidatePlainData(const std::string& message);
    // The decoded payload when it decodes to the header's length, else "" (bad coding too).
    std::string ValidateRLE(const std::string& message) const;

  private:
    FrameFIFO fifo;
    RLE rle;
};
