// The serial line formats, the run-length decoder and the frame queue on arbitrary bytes from a
// line, cut into arbitrary pieces. Input: selector byte (format and piece size), then the bytes.
// Every frame a format delivers has a payload of exactly the count it returns, in valid hex;
// the run-length decoder never exceeds its buffer; frames from the queue never contain the stop
// marker; SLIP escaping round-trips; commands framed by each format are accepted.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FormatFilter.h"
#include "FrameFIFO.h"
#include "RLE.h"
#include "V5SLIP.h"

namespace {

const char* const kFormats[] = {"NONE", "LEGACY", "BREVO", "SLIP"};

std::string toHex(const std::string& raw) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (char c : raw) {
        const auto b = static_cast<unsigned char>(c);
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

bool isHex(const std::string& s) {
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    return s.size() % 2 == 0;
}

void drain(FormatFilter& filter, const std::string& piece, size_t inputSize) {
    std::string hex = toHex(piece);
    for (int guard = 0;; ++guard) {
        if (guard > 100000) std::abort();  // a filter that never runs dry
        std::string name, payload;
        int channel = 0;
        const int n = filter.FilterInput(hex, name, channel, payload);
        hex.clear();
        if (n < 0) return;
        if (n == 0) continue;
        if (!isHex(payload) || payload.size() != 2 * static_cast<size_t>(n)) std::abort();
        // Run-length coding may expand a message, but never past the decoder's buffer.
        if (static_cast<size_t>(n) > inputSize + V5SLIP::kRleBufferSize) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t selector = data[0];
    const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    const size_t piece = static_cast<size_t>(selector / 4) + 1;

    // A format reading the line in pieces.
    auto filter = FormatFilter::GetFilter(kFormats[selector % 4]);
    for (size_t pos = 0; pos < input.size(); pos += piece)
        drain(*filter, input.substr(pos, piece), input.size());

    // A command through each format's output side (hex text of the input bytes).
    std::string name, hex;
    int channel = 0;
    const int written = filter->FilterOutput(toHex(input), name, channel, hex);
    if (written >= 0 && !isHex(hex)) std::abort();

    // Run-length decoding is bounded by its buffer.
    const size_t capacity = static_cast<size_t>(selector) * 8;
    std::string decoded;
    if (RLE(capacity).decode(input, decoded) && decoded.size() > capacity) std::abort();

    // SLIP escaping round-trips and never leaves an end marker inside a frame.
    const std::string escaped = V5SLIP::escape(input);
    if (escaped.find('\xC0') != std::string::npos) std::abort();
    if (V5SLIP::unescape(escaped) != input) std::abort();

    // Frame queue: frames between markers, fed in pieces.
    FrameFIFO fifo(selector % 2 ? "\r" : "\xC0", selector % 2 ? "" : "\xC0");
    const char stop = selector % 2 ? '\r' : '\xC0';
    size_t frameBytes = 0;
    for (size_t pos = 0; pos < input.size(); pos += piece) {
        fifo.add(input.substr(pos, piece));
        std::string frame;
        while (fifo.nextFrame(frame)) {
            if (frame.find(stop) != std::string::npos) std::abort();
            frameBytes += frame.size();
        }
    }
    if (frameBytes > input.size()) std::abort();
    return 0;
}
