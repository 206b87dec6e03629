#include "SwipeLine.h"

#include <cctype>
#include <stdexcept>

namespace sim::swipe {

namespace {
constexpr uint8_t kEnd = 0xC0, kEsc = 0xDB, kEscEnd = 0xDC, kEscEsc = 0xDD;

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string hexText(const Bytes& b) {
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    for (uint8_t v : b) {
        s += digits[v >> 4];
        s += digits[v & 15];
    }
    return s;
}
}  // namespace

LineFormat lineFormatFromName(const std::string& name) {
    if (name == "NONE") return LineFormat::None;
    if (name == "LEGACY") return LineFormat::Legacy;
    if (name == "BREVO") return LineFormat::Brevo;
    if (name == "SLIP") return LineFormat::Slip;
    throw std::invalid_argument("unknown line format " + name);
}

const char* lineFormatName(LineFormat format) {
    switch (format) {
        case LineFormat::None:
            return "NONE";
        case LineFormat::Legacy:
            return "LEGACY";
        case LineFormat::Brevo:
            return "BREVO";
        case LineFormat::Slip:
            return "SLIP";
    }
    return "";
}

Bytes slipFrame(const Bytes& message) {
    Bytes out{kEnd};
    for (uint8_t b : message) {
        if (b == kEnd) {
            out.push_back(kEsc);
            out.push_back(kEscEnd);
        } else if (b == kEsc) {
            out.push_back(kEsc);
            out.push_back(kEscEsc);
        } else {
            out.push_back(b);
        }
    }
    out.push_back(kEnd);
    return out;
}

Bytes slipUnescape(const Bytes& escaped) {
    Bytes out;
    for (size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == kEsc && i + 1 < escaped.size()) {
            ++i;
            out.push_back(escaped[i] == kEscEnd ? kEnd : escaped[i] == kEscEsc ? kEsc : escaped[i]);
        } else {
            out.push_back(escaped[i]);
        }
    }
    return out;
}

Bytes slipMessage(uint8_t type, uint16_t length, const Bytes& payload) {
    Bytes m{type, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    m.insert(m.end(), payload.begin(), payload.end());
    return m;
}

Bytes rleEncode(const Bytes& plain) {
    Bytes out;
    size_t i = 0;
    while (i < plain.size()) {
        size_t run = 1;
        while (i + run < plain.size() && plain[i + run] == plain[i] && run < 255) ++run;
        if (run >= 2) {
            out.push_back(plain[i]);
            out.push_back(plain[i]);
            out.push_back(static_cast<uint8_t>(run));
        } else {
            out.push_back(plain[i]);
        }
        i += run;
    }
    return out;
}

bool LineCodec::takeBinaryCommand(Bytes& out) {
    // A plain command is complete after its length byte says so; an extended command after
    // the chunk whose data reaches the announced total (later chunks carry report ID 0x01).
    size_t pos = 0;
    for (;;) {
        if (binary_.size() < pos + 2) return false;
        uint8_t code = binary_[pos];
        size_t len = binary_[pos + 1];
        if (binary_.size() < pos + 2 + len) return false;
        if (code != 0x49 || len < 6) {
            pos += 2 + len;
            break;
        }
        size_t off = binary_[pos + 2] << 8 | binary_[pos + 3];
        size_t total = binary_[pos + 6] << 8 | binary_[pos + 7];
        pos += 2 + len;
        if (off + (len - 6) >= total) break;
        if (binary_.size() < pos + 1) return false;
        ++pos;  // report ID of the next chunk
    }
    out.assign(binary_.begin(), binary_.begin() + pos);
    binary_.erase(binary_.begin(), binary_.begin() + pos);
    return true;
}

std::vector<Bytes> LineCodec::feed(const uint8_t* data, size_t length) {
    std::vector<Bytes> commands;
    Bytes cmd;
    switch (format_) {
        case LineFormat::None:
            for (size_t i = 0; i < length; ++i) {
                if (hexValue(static_cast<char>(data[i])) < 0) continue;
                text_ += static_cast<char>(data[i]);
                if (text_.size() == 2) {
                    binary_.push_back(
                        static_cast<uint8_t>(hexValue(text_[0]) * 16 + hexValue(text_[1])));
                    text_.clear();
                }
            }
            while (takeBinaryCommand(cmd)) commands.push_back(cmd);
            break;
        case LineFormat::Legacy:
            for (size_t i = 0; i < length; ++i) {
                char c = static_cast<char>(data[i]);
                if (c == '\r' || c == '\n') {
                    Bytes b;
                    for (size_t k = 0; k + 1 < text_.size(); k += 2) {
                        int hi = hexValue(text_[k]), lo = hexValue(text_[k + 1]);
                        if (hi < 0 || lo < 0) {
                            b.clear();
                            break;
                        }
                        b.push_back(static_cast<uint8_t>(hi * 16 + lo));
                    }
                    if (!b.empty()) commands.push_back(b);
                    text_.clear();
                } else {
                    text_ += c;
                }
            }
            break;
        case LineFormat::Brevo:
            binary_.insert(binary_.end(), data, data + length);
            for (;;) {
                while (!binary_.empty() && (binary_[0] == 0x0D || binary_[0] == 0x0A)) {
                    binary_.erase(binary_.begin());
                }
                if (!takeBinaryCommand(cmd)) break;
                commands.push_back(cmd);
            }
            break;
        case LineFormat::Slip:
            for (size_t i = 0; i < length; ++i) {
                uint8_t b = data[i];
                if (b == kEnd) {
                    if (inFrame_ && !slip_.empty()) {
                        Bytes m = slipUnescape(slip_);
                        if (m.size() >= 3 && m[0] == kSlipCommand &&
                            m.size() == 3u + (m[1] << 8 | m[2])) {
                            commands.emplace_back(m.begin() + 3, m.end());
                        }
                    }
                    slip_.clear();
                    inFrame_ = true;  // an end marker also starts the next frame
                } else if (inFrame_) {
                    slip_.push_back(b);
                }
            }
            break;
    }
    return commands;
}

Bytes LineCodec::frameAnswer(const Bytes& answer) const {
    switch (format_) {
        case LineFormat::None:
            return answer;
        case LineFormat::Legacy: {
            std::string line = hexText(answer) + "\r";
            return Bytes(line.begin(), line.end());
        }
        case LineFormat::Brevo: {
            Bytes out{0x04};
            out.insert(out.end(), answer.begin(), answer.end());
            out.push_back(0x0D);
            return out;
        }
        case LineFormat::Slip:
            return slipFrame(
                slipMessage(kSlipResponse, static_cast<uint16_t>(answer.size()), answer));
    }
    return {};
}

Bytes LineCodec::frameNotification(const Bytes& chunk) const {
    switch (format_) {
        case LineFormat::Brevo: {
            Bytes out{0x02};
            out.insert(out.end(), chunk.begin(), chunk.end());
            out.push_back(0x0D);
            return out;
        }
        case LineFormat::Slip:
            if (rle_) {
                return slipFrame(slipMessage(
                    kSlipNotificationRle, static_cast<uint16_t>(chunk.size()), rleEncode(chunk)));
            }
            return slipFrame(
                slipMessage(kSlipNotification, static_cast<uint16_t>(chunk.size()), chunk));
        default:
            return {};
    }
}

Bytes LineCodec::frameCardData(const Bytes& report, const std::string& trackLine) const {
    switch (format_) {
        case LineFormat::Legacy: {
            std::string line = trackLine + "\r";
            return Bytes(line.begin(), line.end());
        }
        case LineFormat::Slip:
            if (rle_) {
                return slipFrame(slipMessage(kSlipCardDataRle, static_cast<uint16_t>(report.size()),
                                             rleEncode(report)));
            }
            return slipFrame(
                slipMessage(kSlipCardData, static_cast<uint16_t>(report.size()), report));
        default:
            return {};
    }
}

}  // namespace sim::swipe
