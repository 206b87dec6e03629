#include "VelnorCommunicationPackage.h"

#include <algorithm>
#include <stdexcept>

VelnorCommunicationPackage::VelnorCommunicationPackage(int packageSize) {
    if (packageSize <= 5 || packageSize > 257) {
        // A single or end packet counts its payload in one byte, so P - 2 must fit in it.
        throw std::invalid_argument("Invalid packageSize for packet");
    }
    _packageSize = packageSize;
    START_DATA_SIZE = packageSize - 5;
    PACKET_CONTINUE_DATA_SIZE = packageSize - 3;
    END_DATA_SIZE = packageSize - 3;
    SINGLE_DATA_SIZE = packageSize - 2;
}

void VelnorCommunicationPackage::PUSH_DATA(std::vector<unsigned char>& target,
                                           const std::vector<unsigned char>& source) {
    target.insert(target.end(), source.begin(), source.end());
}

void VelnorCommunicationPackage::PUSH_DATA(std::vector<unsigned char>& target,
                                           const std::vector<unsigned char>& source, size_t offset,
                                           size_t size) {
    if (offset >= source.size()) return;
    size = std::min(size, source.size() - offset);
    target.insert(target.end(), source.begin() + offset, source.begin() + offset + size);
}

std::vector<unsigned char> VelnorCommunicationPackage::buildSingleMessage(
    const std::vector<unsigned char>& payload) {
    std::vector<unsigned char> packet{0x00, static_cast<unsigned char>(payload.size())};
    PUSH_DATA(packet, payload);
    return packet;
}

std::vector<std::vector<unsigned char>> VelnorCommunicationPackage::buildBigBlocks(
    const std::vector<unsigned char>& payload) {
    std::vector<std::vector<unsigned char>> packets;
    const size_t n = payload.size();
    std::vector<unsigned char> start{
        0x01, static_cast<unsigned char>(n >> 24), static_cast<unsigned char>(n >> 16),
        static_cast<unsigned char>(n >> 8), static_cast<unsigned char>(n)};
    PUSH_DATA(start, payload, 0, START_DATA_SIZE);
    packets.push_back(std::move(start));

    size_t i = START_DATA_SIZE;
    unsigned short s = 1;
    // The remainder of exactly one continuation's size still travels in the end packet.
    while (i + PACKET_CONTINUE_DATA_SIZE < n) {
        std::vector<unsigned char> cont{0x02, static_cast<unsigned char>(s >> 8),
                                        static_cast<unsigned char>(s)};
        PUSH_DATA(cont, payload, i, PACKET_CONTINUE_DATA_SIZE);
        packets.push_back(std::move(cont));
        ++s;
        i += PACKET_CONTINUE_DATA_SIZE;
    }
    std::vector<unsigned char> end{0x03, static_cast<unsigned char>(n - i)};
    PUSH_DATA(end, payload, i, n - i);
    packets.push_back(std::move(end));
    return packets;
}

std::vector<std::vector<unsigned char>> VelnorCommunicationPackage::buildPacakges(
    const std::vector<unsigned char>& payload) {
    if (payload.size() <= static_cast<size_t>(SINGLE_DATA_SIZE)) {
        return {buildSingleMessage(payload)};
    }
    return buildBigBlocks(payload);
}

void VelnorCommunicationPackage::SendPayload(
    std::vector<unsigned char> payload, std::function<void(unsigned char*, unsigned int)> fnSend,
    std::function<void(double)> progress) {
    auto packets = buildPacakges(payload);
    const size_t n = packets.size();
    for (size_t k = 0; k < n; ++k) {
        if (!packets[k].empty() && fnSend) {
            fnSend(packets[k].data(), static_cast<unsigned int>(packets[k].size()));
        }
        if (progress) progress(k + 1 == n ? 1.0 : static_cast<double>(k + 1) / n);
    }
}

int VelnorCommunicationPackage::packetLength(const std::vector<unsigned char>& data) const {
    if (data.empty()) return 0;
    switch (data[0]) {
        case 0x01:
        case 0x02:
            return _packageSize;
        case 0x00:
        case 0x03: {
            if (data.size() < 2) return 0;
            const int l = data[1];
            if (data[0] == 0x00 ? l > SINGLE_DATA_SIZE : (l < 1 || l > END_DATA_SIZE)) return -1;
            return 2 + l;
        }
        default:
            return -1;
    }
}

void VelnorCommunicationPackage::ParseReport(std::vector<unsigned char> data) {
    PUSH_DATA(pending, data);
    const size_t p = static_cast<size_t>(_packageSize);
    size_t pos = 0;
    while (pos < pending.size()) {
        if (padToSkip > 0) {
            // Bytes up to the packet slot's end after a short packet: zero padding if they are
            // all zero, otherwise the next packet of a peer that does not pad.
            const size_t avail = std::min(padToSkip, pending.size() - pos);
            const bool zeros = std::all_of(pending.begin() + pos, pending.begin() + pos + avail,
                                           [](unsigned char b) { return b == 0; });
            if (!zeros) {
                peerPads = -1;
                padToSkip = 0;
            } else if (avail < padToSkip) {
                break;  // undecided until more bytes arrive
            } else {
                if (padToSkip >= 2) peerPads = 1;
                if (peerPads == 1) pos += padToSkip;
                padToSkip = 0;
                continue;
            }
        }
        std::vector<unsigned char> head(pending.begin() + pos,
                                        pending.begin() + std::min(pending.size(), pos + 2));
        int len = packetLength(head);
        if (len == 0) break;
        // A header no valid packet has: skip the slot it would occupy.
        const size_t take = len < 0 ? p : static_cast<size_t>(len);
        if (pending.size() - pos < take) break;
        if (len > 0) {
            ParseOneFrame(
                std::vector<unsigned char>(pending.begin() + pos, pending.begin() + pos + take));
        }
        pos += take;
        if (take < p) padToSkip = p - take;
    }
    pending.erase(pending.begin(), pending.begin() + pos);
}

void VelnorCommunicationPackage::ParseOneFrame(std::vector<unsigned char> frame) {
    const size_t size = frame.size();
    if (size == 0) return;
    switch (frame[0]) {
        case 0x00: {
            if (size < 2) return;
            const size_t l = frame[1];
            if (l == 0 || size < 2 + l) return;
            SendReceived(std::vector<unsigned char>(frame.begin() + 2, frame.begin() + 2 + l));
            break;
        }
        case 0x01: {
            if (size < static_cast<size_t>(_packageSize)) return;
            packs.clear();
            pack_total_size = (static_cast<unsigned int>(frame[1]) << 24) |
                              (static_cast<unsigned int>(frame[2]) << 16) |
                              (static_cast<unsigned int>(frame[3]) << 8) | frame[4];
            packs[0] =
                std::vector<unsigned char>(frame.begin() + 5, frame.begin() + 5 + START_DATA_SIZE);
            break;
        }
        case 0x02: {
            if (size < static_cast<size_t>(_packageSize)) return;
            const unsigned short s = static_cast<unsigned short>((frame[1] << 8) | frame[2]);
            packs[s] = std::vector<unsigned char>(frame.begin() + 3,
                                                  frame.begin() + 3 + PACKET_CONTINUE_DATA_SIZE);
            break;
        }
        case 0x03: {
            if (size < 2) return;
            const size_t l = frame[1];
            if (size < 2 + l) return;
            const unsigned short k = static_cast<unsigned short>(packs.size());
            packs[k] = std::vector<unsigned char>(frame.begin() + 2, frame.begin() + 2 + l);
            std::vector<unsigned char> message;
            for (const auto& piece : packs) PUSH_DATA(message, piece.second);
            const bool complete = message.size() == pack_total_size;
            packs.clear();
            pack_total_size = 0;
            if (complete && !message.empty()) SendReceived(std::move(message));
            break;
        }
        default:
            break;
    }
}
