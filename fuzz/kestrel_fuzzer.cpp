// The extended-response formatting and the notification reassembly on arbitrary reader bytes.
// Input: selector byte, then the bytes. Even selectors format the bytes as a response buffer
// (output capacity from the selector): the result is a status code, and on success the hex text
// has exactly the length returned and fits the capacity. Odd selectors cut the bytes into
// notification chunks (each piece prefixed by its own length byte) and feed them as input
// reports: every delivered notification is at most as long as all the bytes that came in, and
// an empty notification comes with a null pointer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Kestrel.h"

namespace {

struct CheckingDelegate : Cardova_Delegate {
    size_t inputSize = 0;
    void OnError(Cardova*, int, char*) override {}
    void OnDeviceChange(Cardova*, EDeviceStateValues) override {}
    void OnCardUpdate(Cardova*, ECardDataStateValues) override {}
    void OnNotification(Cardova*, unsigned short, const unsigned char* data, int n) override {
        if (n < 0 || static_cast<size_t>(n) > inputSize) std::abort();
        if ((n == 0) != (data == nullptr)) std::abort();
        volatile unsigned char sum = 0;
        for (int i = 0; i < n; ++i) sum = static_cast<unsigned char>(sum + data[i]);
        (void)sum;
    }
};

void formatResponse(const uint8_t* data, size_t size, unsigned capacitySelector) {
    Kestrel engine;
    std::vector<unsigned char> buffer(data, data + size);
    const int capacity = static_cast<int>(capacitySelector * 16);
    std::vector<char> out(static_cast<size_t>(capacity) + 1, 'X');
    int outLen = capacity;
    const int rc =
        engine.MakeHexStringFromResponse(buffer.empty() ? nullptr : buffer.data(),
                                         static_cast<int>(buffer.size()), out.data(), &outLen);
    if (rc < 0) std::abort();
    if (rc == 0) {
        if (outLen < 0 || outLen >= capacity) std::abort();
        if (strnlen(out.data(), static_cast<size_t>(capacity)) != static_cast<size_t>(outLen))
            std::abort();
    }
}

void reassemble(const uint8_t* data, size_t size) {
    CheckingDelegate delegate;
    delegate.inputSize = size;
    Kestrel engine;
    engine.setDelegate(&delegate);
    size_t pos = 0;
    while (pos < size) {
        const size_t n = std::min<size_t>(data[pos], size - pos - 1);
        std::vector<unsigned char> chunk(data + pos + 1, data + pos + 1 + n);
        pos += 1 + n;
        if (chunk.empty()) continue;
        chunk[0] = 2;  // notification chunk
        engine.onData(nullptr, chunk.data(), static_cast<int>(chunk.size()));
    }
    engine.setDelegate(nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t selector = data[0];
    if (selector % 2 == 0)
        formatResponse(data + 1, size - 1, selector / 2);
    else
        reassemble(data + 1, size - 1);
    return 0;
}
