#include "sim/orb/OrbLinks.h"

#include <cstdio>
#include <utility>

namespace sim::orb {

HidIdentity readerIdentity(std::uint16_t productId, std::string serial) {
    HidIdentity id;
    id.vendorId = kVendorId;
    id.productId = productId;
    id.serialNumber = std::move(serial);
    char name[48];
    std::snprintf(name, sizeof name, "Simulated Card Reader %04X", productId);
    id.product = name;
    id.manufacturer = "Tessera Bench";
    return id;
}

// --- USB ---

HidOrbReader::HidOrbReader(HidIdentity identity) : HidDevice(std::move(identity)) {
    reader_.setEmitter([this](Bytes message, Millis delay) {
        for (auto& packet : cutIntoPackets(message)) pushInput(padded(std::move(packet)), delay);
    });
}

void HidOrbReader::onHostOpened() {
    assembler_ = PacketAssembler();
}

void HidOrbReader::onOutputReport(const Bytes& report) {
    if (report.size() < 2) return;
    std::size_t before = assembler_.dropped();
    auto message = assembler_.feed(Bytes(report.begin() + 1, report.end()));
    dropped_ += assembler_.dropped() - before;
    if (!message) return;
    hostLog().add(HostLog::Kind::Message, *message);
    reader_.receive(*message);
}

// --- TCP ---

TcpOrbReader::TcpOrbReader() {
    reader_.setEmitter([this](Bytes message, Millis delay) {
        for (auto& packet : cutIntoPackets(message)) send(padded(std::move(packet)), delay);
    });
}

void TcpOrbReader::onHostConnected() {
    splitter_ = PacketStreamSplitter();
    assembler_ = PacketAssembler();
}

void TcpOrbReader::onHostBytes(const Bytes& data) {
    for (auto& packet : splitter_.feed(data)) {
        std::size_t before = assembler_.dropped();
        auto message = assembler_.feed(packet);
        dropped_ += assembler_.dropped() - before;
        if (!message) continue;
        hostLog().add(HostLog::Kind::Message, *message);
        reader_.receive(*message);
    }
}

// --- serial line ---

namespace {
Bytes announcement(std::uint32_t size) {
    return slipEscape({0x03, static_cast<std::uint8_t>(size >> 24),
                       static_cast<std::uint8_t>(size >> 16), static_cast<std::uint8_t>(size >> 8),
                       static_cast<std::uint8_t>(size)});
}

// True when the bytes are one complete outer frame that carries its payload parameter: the test
// that ends a message whose last piece happened to be exactly buffer-sized.
bool completeMessage(const Bytes& m) {
    if (m.size() < 2) return false;
    std::size_t i = 2;
    bool payload = false;
    while (i < m.size()) {
        std::uint8_t tag = m[i++];
        if (i >= m.size()) return false;
        std::size_t length = m[i++];
        if (length & 0x80) {
            std::size_t count = length & 0x7F;
            if (count > 4 || count > m.size() - i) return false;
            length = 0;
            for (std::size_t k = 0; k < count; ++k) length = length << 8 | m[i++];
        }
        if (length > m.size() - i) return false;
        i += length;
        payload = payload || tag == 0x84;
    }
    return payload;
}
}  // namespace

SerialOrbReader::SerialOrbReader() {
    reader_.setEmitter(
        [this](Bytes message, Millis delay) { send(slipFrame(0x02, message), delay); });
}

void SerialOrbReader::announceBufferSize(std::uint32_t size) {
    bufferSize_ = size;
    send(announcement(size));
}

void SerialOrbReader::announceOnFirstContact(std::uint32_t size) {
    announceOnContact_ = size;
}

void SerialOrbReader::onHostBytes(const Bytes& data) {
    for (auto& body : decoder_.feed(data)) {
        if (std::uint32_t size = announceOnContact_.exchange(0)) announceBufferSize(size);
        if (body.size() < 5 || body[0] != 0x00) {
            ++dropped_;
            continue;
        }
        std::size_t length =
            static_cast<std::size_t>(body[1]) << 24 | body[2] << 16 | body[3] << 8 | body[4];
        if (length != body.size() - 5) {
            ++dropped_;
            continue;
        }
        Bytes payload(body.begin() + 5, body.end());
        std::uint32_t size = bufferSize_;
        if (size && payload.size() == size) {
            // A full piece: more of the same message may follow.
            pieces_.insert(pieces_.end(), payload.begin(), payload.end());
            if (completeMessage(pieces_)) deliver(std::exchange(pieces_, {}));
            continue;
        }
        if (!pieces_.empty()) {
            pieces_.insert(pieces_.end(), payload.begin(), payload.end());
            payload = std::exchange(pieces_, {});
        }
        deliver(std::move(payload));
    }
}

void SerialOrbReader::deliver(Bytes message) {
    if (message.empty()) return;
    hostLog().add(HostLog::Kind::Message, message);
    reader_.receive(message);
}

}  // namespace sim::orb
