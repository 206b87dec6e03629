#pragma once
// The device side of the swipe readers' serial line formats: cutting the incoming byte stream
// into commands and framing answers, notifications and card data for the line.
//   NONE    commands as ASCII hex text without framing; answers as raw bytes
//   LEGACY  commands and answers as lines of hex text ending in CR; card data as a track line
//   BREVO   binary lines ending in 0x0D: commands, 0x04 + answer, 0x02 + notification chunk
//   SLIP    0xC0-framed messages (type, 2-byte length, payload) with 0xDB escapes and an
//           optional run-length coding of notifications and card data
#include <cstdint>
#include <string>
#include <vector>

namespace sim::swipe {

using Bytes = std::vector<uint8_t>;

enum class LineFormat { None, Legacy, Brevo, Slip };
LineFormat lineFormatFromName(const std::string& name);  // "NONE", "LEGACY", "BREVO", "SLIP"
const char* lineFormatName(LineFormat format);

// Message types inside a SLIP frame.
enum SlipType : uint8_t {
    kSlipCardData = 0,
    kSlipCardDataRle = 1,
    kSlipNotification = 2,
    kSlipNotificationRle = 3,
    kSlipResponse = 4,
    kSlipCommand = 5,
};

Bytes slipFrame(const Bytes& message);  // 0xC0, escaped message, 0xC0
Bytes slipUnescape(const Bytes& escaped);
Bytes slipMessage(uint8_t type, uint16_t length, const Bytes& payload);
// Run-length coding: a run of two or more equal bytes is the byte twice and a count byte.
Bytes rleEncode(const Bytes& plain);

class LineCodec {
  public:
    explicit LineCodec(LineFormat format) : format_(format) {}
    LineFormat format() const { return format_; }
    void setRle(bool rle) { rle_ = rle; }

    // Feeds received bytes; returns the commands completed by them (command byte, length
    // byte, data; extended commands with all their chunks).
    std::vector<Bytes> feed(const uint8_t* data, size_t length);
    Bytes frameAnswer(const Bytes& answer) const;
    // chunk = 2-byte chunk length, offset, message ID, total length, data. Empty when the
    // format cannot carry notifications.
    Bytes frameNotification(const Bytes& chunk) const;
    // report = the card-data report as sent over USB; trackLine = the tracks' text. Empty when
    // the format cannot carry card data.
    Bytes frameCardData(const Bytes& report, const std::string& trackLine) const;

  private:
    bool takeBinaryCommand(Bytes& out);  // from binary_ by the command's own lengths

    LineFormat format_;
    bool rle_ = false;
    Bytes binary_;      // NONE (after hex decoding) and BREVO
    std::string text_;  // NONE hex digits not yet paired, LEGACY partial line
    Bytes slip_;        // SLIP bytes of the frame being collected
    bool inFrame_ = false;
};

}  // namespace sim::swipe
