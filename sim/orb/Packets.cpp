#include "sim/orb/Packets.h"

namespace sim::orb {

namespace {
void append(Bytes& to, const Bytes& from, std::size_t offset, std::size_t count) {
    to.insert(to.end(), from.begin() + offset, from.begin() + offset + count);
}
}  // namespace

std::vector<Bytes> cutIntoPackets(const Bytes& message, std::size_t p) {
    std::vector<Bytes> out;
    std::size_t n = message.size();
    if (n <= p - 2) {
        Bytes single{0x00, static_cast<std::uint8_t>(n)};
        append(single, message, 0, n);
        out.push_back(std::move(single));
        return out;
    }
    Bytes start{0x01, static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16),
                static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
    append(start, message, 0, p - 5);
    out.push_back(std::move(start));
    std::size_t i = p - 5;
    std::uint16_t seq = 1;
    while (n - i > p - 3) {
        Bytes cont{0x02, static_cast<std::uint8_t>(seq >> 8), static_cast<std::uint8_t>(seq)};
        append(cont, message, i, p - 3);
        out.push_back(std::move(cont));
        i += p - 3;
        ++seq;
    }
    Bytes end{0x03, static_cast<std::uint8_t>(n - i)};
    append(end, message, i, n - i);
    out.push_back(std::move(end));
    return out;
}

Bytes padded(Bytes packet, std::size_t p) {
    if (packet.size() < p) packet.resize(p, 0);
    return packet;
}

std::optional<Bytes> PacketAssembler::feed(const Bytes& packet) {
    if (packet.empty()) return std::nullopt;
    // One broken message counts once, however many of its packets follow.
    auto fail = [&] {
        if (!broken_) ++dropped_;
        broken_ = true;
        inProgress_ = false;
        buffer_.clear();
        return std::nullopt;
    };
    switch (packet[0]) {
        case 0x00: {
            if (packet.size() < 2 || packet[1] == 0) return std::nullopt;  // padding / nothing
            std::size_t l = packet[1];
            if (l > packet.size() - 2 || l > size_ - 2) {
                ++dropped_;
                return std::nullopt;
            }
            return Bytes(packet.begin() + 2, packet.begin() + 2 + l);
        }
        case 0x01: {
            if (inProgress_) ++dropped_;  // the message in progress is abandoned
            inProgress_ = false;
            broken_ = false;
            buffer_.clear();
            if (packet.size() < size_) {
                ++dropped_;
                return std::nullopt;
            }
            total_ = static_cast<std::size_t>(packet[1]) << 24 | packet[2] << 16 | packet[3] << 8 |
                     packet[4];
            buffer_.assign(packet.begin() + 5, packet.begin() + size_);
            nextSeq_ = 1;
            inProgress_ = true;
            return std::nullopt;
        }
        case 0x02: {
            if (!inProgress_ || packet.size() < size_) return fail();
            std::uint16_t seq = static_cast<std::uint16_t>(packet[1] << 8 | packet[2]);
            if (seq != nextSeq_) return fail();  // lost, repeated or reordered piece
            ++nextSeq_;
            append(buffer_, packet, 3, size_ - 3);
            if (buffer_.size() > total_) return fail();
            return std::nullopt;
        }
        case 0x03: {
            if (!inProgress_ || packet.size() < 2) return fail();
            std::size_t l = packet[1];
            if (l == 0 || l > size_ - 3 || l > packet.size() - 2) return fail();
            append(buffer_, packet, 2, l);
            if (buffer_.size() != total_) return fail();
            inProgress_ = false;
            broken_ = false;
            Bytes message;
            message.swap(buffer_);
            return message;
        }
        default:
            return std::nullopt;  // not a packet of this protocol: ignored
    }
}

std::vector<Bytes> PacketStreamSplitter::feed(const Bytes& bytes) {
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    std::vector<Bytes> out;
    std::size_t i = 0;
    for (;;) {
        while (pending_.size() - i >= 2 && pending_[i] == 0 && pending_[i + 1] == 0) ++i;
        if (pending_.size() - i < 2) break;
        std::uint8_t type = pending_[i];
        std::size_t length;
        if (type == 0x00 || type == 0x03)
            length = 2 + pending_[i + 1];
        else if (type == 0x01 || type == 0x02)
            length = size_;
        else {
            ++i;  // not a packet start: noise
            continue;
        }
        if (pending_.size() - i < length) break;
        out.emplace_back(pending_.begin() + i, pending_.begin() + i + length);
        i += length;
    }
    pending_.erase(pending_.begin(), pending_.begin() + i);
    return out;
}

Bytes slipEscape(const Bytes& body) {
    Bytes out{0xC0};
    for (std::uint8_t b : body) {
        if (b == 0xC0) {
            out.push_back(0xDB);
            out.push_back(0xDC);
        } else if (b == 0xDB) {
            out.push_back(0xDB);
            out.push_back(0xDD);
        } else {
            out.push_back(b);
        }
    }
    out.push_back(0xC0);
    return out;
}

Bytes slipFrame(std::uint8_t type, const Bytes& payload) {
    std::size_t n = payload.size();
    Bytes body{type, static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16),
               static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
    body.insert(body.end(), payload.begin(), payload.end());
    return slipEscape(body);
}

std::vector<Bytes> SlipDecoder::feed(const Bytes& bytes) {
    std::vector<Bytes> out;
    for (std::uint8_t b : bytes) {
        if (b == 0xC0) {
            if (inFrame_ && !body_.empty()) out.push_back(body_);
            body_.clear();
            escape_ = false;
            inFrame_ = true;  // a closing END also opens the next frame
            continue;
        }
        if (!inFrame_) continue;
        if (escape_) {
            escape_ = false;
            switch (b) {
                case 0xDC:
                    body_.push_back(0xC0);
                    break;
                case 0xDD:
                    body_.push_back(0xDB);
                    break;
                case 0xDE:
                    body_.push_back(0x11);
                    break;
                case 0xDF:
                    body_.push_back(0x13);
                    break;
                default:
                    body_.push_back(b);
                    break;
            }
        } else if (b == 0xDB) {
            escape_ = true;
        } else {
            body_.push_back(b);
        }
    }
    return out;
}

}  // namespace sim::orb
