#pragma once
#include <memory>
#include <string>

// A serial line format: turns an outgoing command into the bytes to write and cuts the incoming
// byte stream into frames, each assigned to a channel. Bytes cross this interface as hex text.
// This base class is the "NONE" format: commands travel as ASCII hex text and whatever arrives
// is a response.
//
// Each serial connection decodes its own stream with its own filter object (GetFilter hands out
// a new one), so partial frames of two readers never mix.
class FormatFilter {
  public:
    enum ChannelID { COMMAND = 1, RESPONSE = 2, NOTIFICATION = 3, MSR_CARD_DATA = 17 };

    FormatFilter() : Name("NONE") {}
    virtual ~FormatFilter() = default;
    FormatFilter(const FormatFilter&) = delete;
    FormatFilter& operator=(const FormatFilter&) = delete;

    // The bytes to write for a command (hex in channelHexData); returns their count.
    virtual int FilterOutput(std::string HexMessage, std::string& channelName, int& channelId,
                             std::string& channelHexData);
    // Queues received bytes (hex) and delivers at most one frame: its channel and payload.
    // Returns the payload's byte count, 0 for a frame that delivers nothing, or a negative
    // value when no frame is available. Call again with "" until the result is negative.
    virtual int FilterInput(std::string HexMessage, std::string& channelName, int& channelId,
                            std::string& channelHexData);

    // A new filter of the registered format with exactly this name ("NONE", "LEGACY", "BREVO",
    // "SLIP"); throws std::invalid_argument for any other name.
    static std::unique_ptr<FormatFilter> GetFilter(const std::string& Name);

    std::string Name;

  protected:
    explicit FormatFilter(std::string name) : Name(std::move(name)) {}
    // Hex text <-> raw bytes held in a std::string.
    static std::string hexToRaw(const std::string& hex);
    static std::string rawToHex(const std::string& raw);
};
