#include "V5SLIP.h"

#include <exception>

namespace {
constexpr char kEnd = '\xC0', kEsc = '\xDB', kEscEnd = '\xDC', kEscEsc = '\xDD';

size_t headerLength(const std::string& m) {
    return static_cast<size_t>(static_cast<unsigned char>(m[1]) << 8 |
                               static_cast<unsigned char>(m[2]));
}
}  // namespace

std::string V5SLIP::escape(const std::string& message) {
    std::string out;
    for (char c : message) {
        if (c == kEnd) {
            out += kEsc;
            out += kEscEnd;
        } else if (c == kEsc) {
            out += kEsc;
            out += kEscEsc;
        } else {
            out += c;
        }
    }
    return out;
}

std::string V5SLIP::unescape(const std::string& escaped) {
    std::string out;
    for (size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == kEsc && i + 1 < escaped.size()) {
            char n = escaped[++i];
            out += n == kEscEnd ? kEnd : n == kEscEsc ? kEsc : n;
        } else {
            out += escaped[i];
        }
    }
    return out;
}

std::string V5SLIP::ValidatePlainData(const std::string& message) {
    if (message.size() < 3 || message.size() != headerLength(message) + 3) return "";
    return message.substr(3);
}

std::string V5SLIP::ValidateRLE(const std::string& message) const {
    // Decoded to the same shape as plain data (payload only), so a run-length coded message
    // reaches the engine exactly like its plain form.
    std::string decoded;
    if (message.size() < 3 || !rle.decode(message.substr(3), decoded)) return "";
    if (decoded.size() != headerLength(message)) return "";
    return decoded;
}

int V5SLIP::FilterOutput(std::string HexMessage, std::string& channelName, int& channelId,
                         std::string& channelHexData) {
    std::string payload = hexToRaw(HexMessage);
    if (payload.size() > 0xFFFF) return -1;
    std::string message;
    message += static_cast<char>(COMMAND);
    message += static_cast<char>(payload.size() >> 8);
    message += static_cast<char>(payload.size() & 0xFF);
    message += payload;
    std::string framed = std::string(1, kEnd) + escape(message) + std::string(1, kEnd);
    channelName = "COMMAND";
    channelId = 5;
    channelHexData = rawToHex(framed);
    return static_cast<int>(framed.size());
}

int V5SLIP::FilterInput(std::string HexMessage, std::string& channelName, int& channelId,
                        std::string& channelHexData) {
    try {
        fifo.add(hexToRaw(HexMessage));
        std::string frame;
        if (!fifo.nextFrame(frame)) return -1;
        std::string m = unescape(frame);
        if (m.size() < 4) return 0;
        std::string payload;
        switch (static_cast<unsigned char>(m[0])) {
            case NOTIFICATION:
                payload = ValidatePlainData(m);
                channelName = "NOTIFICATION";
                channelId = FormatFilter::NOTIFICATION;
                break;
            case NOTIFICATION_RLE:
                payload = ValidateRLE(m);
                channelName = "NOTIFICATION";
                channelId = FormatFilter::NOTIFICATION;
                break;
            case CARD_DATA:
                payload = ValidatePlainData(m);
                channelName = "CARD DATA";
                channelId = MSR_CARD_DATA;
                break;
            case CARD_DATA_RLE:
                payload = ValidateRLE(m);
                channelName = "CARD DATA";
                channelId = MSR_CARD_DATA;
                break;
            case RESPONSE:
                payload = m.substr(3);
                channelName = "RESPONSE";
                channelId = FormatFilter::RESPONSE;
                break;
            case COMMAND:
                payload = m.substr(3);
                channelName = "COMMAND";
                channelId = FormatFilter::COMMAND;
                break;
            default:
                return 0;
        }
        if (payload.empty()) return 0;  // malformed: length mismatch or bad coding
        channelHexData = rawToHex(payload);
        return static_cast<int>(payload.size());
    } catch (const std::exception&) {
        return -2;
    }
}
