#include "SocketInSliper.h"

#include <algorithm>

void SocketInSliper::add(unsigned char* data, int length) {
    if (data == nullptr || length <= 0) return;
    std::lock_guard<std::mutex> g(lock);
    if (_buffer.size() + static_cast<size_t>(length) > MAX_PENDING) _buffer.clear();
    _buffer.insert(_buffer.end(), data, data + length);
}

std::vector<unsigned char> SocketInSliper::getRaw() {
    std::lock_guard<std::mutex> g(lock);
    std::vector<unsigned char> out;
    out.swap(_buffer);
    return out;
}

std::vector<unsigned char> SocketInSliper::getChunk() {
    std::lock_guard<std::mutex> g(lock);
    return getChunkLocked();
}

std::vector<unsigned char> SocketInSliper::getChunkLocked() {
    auto first = std::find(_buffer.begin(), _buffer.end(), END);
    if (first == _buffer.end()) {
        _buffer.clear();  // no frame can start in these bytes
        return {};
    }
    // Garbage before the opening END can never become part of a frame.
    _buffer.erase(_buffer.begin(), first);
    auto second = std::find(_buffer.begin() + 1, _buffer.end(), END);
    if (second == _buffer.end()) return {};
    std::vector<unsigned char> chunk(_buffer.begin(), second);
    _buffer.erase(_buffer.begin(), second);
    return chunk;
}

std::vector<unsigned char> SocketInSliper::Sliper(const std::vector<unsigned char>& chunk) {
    std::vector<unsigned char> out;
    if (chunk.size() < 2 || chunk[0] != END) return out;
    out.reserve(chunk.size() - 1);
    for (size_t i = 1; i < chunk.size(); ++i) {
        unsigned char b = chunk[i];
        if (b != ESC) {
            out.push_back(b);
            continue;
        }
        if (i + 1 >= chunk.size()) break;  // a lone ESC at the end is dropped
        unsigned char e = chunk[++i];
        switch (e) {
            case 0xDC:
                out.push_back(0xC0);
                break;
            case 0xDD:
                out.push_back(0xDB);
                break;
            case 0xDE:
                out.push_back(0x11);
                break;
            case 0xDF:
                out.push_back(0x13);
                break;
            default:
                out.push_back(e);
                break;
        }
    }
    return out;
}

std::vector<unsigned char> SocketInSliper::get() {
    std::lock_guard<std::mutex> g(lock);
    for (;;) {
        std::vector<unsigned char> chunk = getChunkLocked();
        if (chunk.empty()) return {};
        std::vector<unsigned char> frame = Sliper(chunk);
        if (!frame.empty()) return frame;
    }
}
