// The packet, USB-report and SLIP packaging on arbitrary bytes cut into arbitrary pieces:
// nothing is read past the input, every delivered message is no larger than what came in, and
// the input sent as a message through each packaging comes back whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "SerialCommunicationPackage.h"
#include "SocketInSliper.h"
#include "VelnorCommunicationPackage.h"
#include "VelnorUSBHIDPackage.h"

using Bytes = std::vector<unsigned char>;

namespace {

void feed(IVLCommunicationPackage& pkg, const Bytes& input, size_t piece) {
    for (size_t pos = 0; pos < input.size(); pos += piece) {
        const size_t n = input.size() - pos < piece ? input.size() - pos : piece;
        pkg.ParseReport(Bytes(input.begin() + pos, input.begin() + pos + n));
    }
}

Bytes written(IVLCommunicationPackage& pkg, const Bytes& payload, std::vector<Bytes>* pieces) {
    Bytes all;
    pkg.SendPayload(
        payload,
        [&](unsigned char* p, unsigned int n) {
            all.insert(all.end(), p, p + n);
            if (pieces) pieces->emplace_back(p, p + n);
        },
        nullptr);
    return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t piece = data[0] % 70 + 1;
    const Bytes input(data + 1, data + size);

    // Arbitrary bytes from a link.
    VelnorCommunicationPackage stream(64);
    VelnorUSBHIDPackage usb(0, 64);
    SerialCommunicationPackage slip(0x200000);
    for (IVLCommunicationPackage* pkg :
         std::vector<IVLCommunicationPackage*>{&stream, &usb, &slip}) {
        pkg->onPayloadReceived = [&](Bytes m) {
            if (m.empty() || m.size() > input.size()) std::abort();
        };
        feed(*pkg, input, piece);
    }
    if (input.empty()) return 0;

    // Round trips of the input as one message.
    std::vector<Bytes> got;
    VelnorCommunicationPackage sender(64), receiver(64);
    receiver.onPayloadReceived = [&](Bytes m) { got.push_back(std::move(m)); };
    feed(receiver, written(sender, input, nullptr), piece);
    if (got.size() != 1 || got[0] != input) std::abort();

    got.clear();
    VelnorUSBHIDPackage usbSender(0, 64), usbReceiver(0, 64);
    usbReceiver.onPayloadReceived = [&](Bytes m) { got.push_back(std::move(m)); };
    std::vector<Bytes> reports;
    written(usbSender, input, &reports);
    for (Bytes& r : reports) {
        r.resize(65, 0);             // padded as the link pads it; the report number 0 stands in
        usbReceiver.ParseReport(r);  // for the placeholder byte of a read
    }
    if (got.size() != 1 || got[0] != input) std::abort();

    SerialCommunicationPackage slipSender(static_cast<int>(piece) * 50);
    const Bytes line = written(slipSender, input, nullptr);
    SocketInSliper device;
    for (size_t pos = 0; pos < line.size(); pos += piece) {
        const size_t n = line.size() - pos < piece ? line.size() - pos : piece;
        device.add(const_cast<unsigned char*>(line.data()) + pos, static_cast<int>(n));
    }
    Bytes rebuilt;
    for (Bytes frame = device.get(); !frame.empty(); frame = device.get()) {
        if (frame.size() < 5 || frame[0] != 0x00) std::abort();
        rebuilt.insert(rebuilt.end(), frame.begin() + 5, frame.end());
    }
    if (rebuilt != input) std::abort();
    return 0;
}
