#include "SerialCommunicationPackage.h"

#include <algorithm>

std::vector<unsigned char> generateDataWithSlipEscape(const std::vector<unsigned char>& bytes) {
    std::vector<unsigned char> out;
    if (bytes.empty()) return out;
    out.reserve(bytes.size() + bytes.size() / 8 + 2);
    out.push_back(SocketInSliper::END);
    for (unsigned char b : bytes) {
        if (b == SocketInSliper::END) {
            out.push_back(SocketInSliper::ESC);
            out.push_back(0xDC);
        } else if (b == SocketInSliper::ESC) {
            out.push_back(SocketInSliper::ESC);
            out.push_back(0xDD);
        } else {
            out.push_back(b);
        }
    }
    out.push_back(SocketInSliper::END);
    return out;
}

SerialCommunicationPackage::SerialCommunicationPackage(int deviceBufferSize)
    : DeviceBufferSize(deviceBufferSize) {}

std::vector<unsigned char> SerialCommunicationPackage::addHeader(
    const std::vector<unsigned char>& payload) const {
    const size_t n = payload.size();
    std::vector<unsigned char> body(5 + n);
    body[0] = 0x00;
    body[1] = static_cast<unsigned char>(n >> 24);
    body[2] = static_cast<unsigned char>(n >> 16);
    body[3] = static_cast<unsigned char>(n >> 8);
    body[4] = static_cast<unsigned char>(n);
    std::copy(payload.begin(), payload.end(), body.begin() + 5);
    return body;
}

std::vector<unsigned char> SerialCommunicationPackage::removeHeader(
    const std::vector<unsigned char>& frame) {
    // A buffer-size announcement is exactly the 5-byte header; a message needs a payload too.
    if (frame.size() < 5) return {};
    const unsigned int length = (static_cast<unsigned int>(frame[1]) << 24) |
                                (static_cast<unsigned int>(frame[2]) << 16) |
                                (static_cast<unsigned int>(frame[3]) << 8) | frame[4];
    switch (frame[0]) {
        case 0x02:
            if (frame.size() == 5 || length != frame.size() - 5) return {};
            return std::vector<unsigned char>(frame.begin() + 5, frame.end());
        case 0x03:
            // A size of zero (or one beyond int) would make sending impossible; such an
            // announcement is ignored.
            if (length > 0 && length <= 0x7FFFFFFFu) DeviceBufferSize = static_cast<int>(length);
            return {};
        default:
            return {};
    }
}

std::vector<std::vector<unsigned char>> SerialCommunicationPackage::slice(
    const std::vector<unsigned char>& payload) const {
    std::vector<std::vector<unsigned char>> pieces;
    const size_t size = static_cast<size_t>(std::max(1, DeviceBufferSize.load()));
    for (size_t i = 0; i < payload.size(); i += size) {
        const size_t n = std::min(size, payload.size() - i);
        pieces.emplace_back(payload.begin() + i, payload.begin() + i + n);
    }
    return pieces;
}

void SerialCommunicationPackage::SendPayload(
    std::vector<unsigned char> payload, std::function<void(unsigned char*, unsigned int)> fnSend,
    std::function<void(double)> progress) {
    const auto pieces = slice(payload);
    const size_t m = pieces.size();
    for (size_t j = 0; j < m; ++j) {
        std::vector<unsigned char> frame = generateDataWithSlipEscape(addHeader(pieces[j]));
        const size_t c = (frame.size() + WRITE_CHUNK - 1) / WRITE_CHUNK;
        for (size_t k = 0; k < c; ++k) {
            const size_t offset = k * WRITE_CHUNK;
            const size_t n = std::min(WRITE_CHUNK, frame.size() - offset);
            if (fnSend) fnSend(frame.data() + offset, static_cast<unsigned int>(n));
            if (progress) {
                const bool last = j + 1 == m && k + 1 == c;
                progress(last ? 1.0
                              : static_cast<double>(j) / m + static_cast<double>(k + 1) / (c * m));
            }
        }
    }
}

void SerialCommunicationPackage::ParseReport(std::vector<unsigned char> data) {
    sliper.add(data.data(), static_cast<int>(data.size()));
    for (;;) {
        std::vector<unsigned char> frame = sliper.get();
        if (frame.empty()) break;
        std::vector<unsigned char> payload = removeHeader(frame);
        if (!payload.empty()) SendReceived(std::move(payload));
    }
}
