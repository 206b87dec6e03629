#pragma once
// Packaging of messages for the message-schema reader's links: the fixed-size packet protocol
// (USB reports and TCP) and SLIP framing (serial lines).
//
// Packets (P = packet size, 64): 00 L data (single, L <= P-2); 01 total(4) data(P-5) (start);
// 02 seq(2) data(P-3) (continuation, seq from 1); 03 L data (end, 1 <= L <= P-3).
// SLIP: C0, escaped body, C0; C0 -> DB DC, DB -> DB DD; body = type, length(4), payload, with
// type 00 host to device, 02 device to host, 03 the device's buffer size (length = size).
#include <cstddef>
#include <optional>
#include <vector>

#include "sim/Types.h"

namespace sim::orb {

constexpr std::size_t kPacketSize = 64;

// Cuts a message into packets (single and end packets are not padded).
std::vector<Bytes> cutIntoPackets(const Bytes& message, std::size_t packetSize = kPacketSize);
// Pads a packet with zero bytes to the packet size.
Bytes padded(Bytes packet, std::size_t packetSize = kPacketSize);

// Reassembles packets into messages. A message whose pieces do not add up to the announced total
// (a lost, repeated or foreign packet) is dropped and counted; a start packet discards any
// message in progress. Packets are never read past their end.
class PacketAssembler {
  public:
    explicit PacketAssembler(std::size_t packetSize = kPacketSize) : size_(packetSize) {}
    std::optional<Bytes> feed(const Bytes& packet);
    std::size_t dropped() const { return dropped_; }

  private:
    std::size_t size_;
    bool inProgress_ = false;
    bool broken_ = false;
    std::size_t total_ = 0;
    std::uint16_t nextSeq_ = 1;
    Bytes buffer_;
    std::size_t dropped_ = 0;
};

// Cuts a TCP byte stream into packets: start and continuation packets are P bytes, single and
// end packets 2 + L bytes. Bytes that arrive in pieces are kept until the packet is complete.
// Zero padding between packets (00 00 ...) is skipped: no real packet begins with 00 00.
class PacketStreamSplitter {
  public:
    explicit PacketStreamSplitter(std::size_t packetSize = kPacketSize) : size_(packetSize) {}
    std::vector<Bytes> feed(const Bytes& bytes);

  private:
    std::size_t size_;
    Bytes pending_;
};

Bytes slipFrame(std::uint8_t type, const Bytes& payload);  // escaped and framed
Bytes slipEscape(const Bytes& body);                       // C0 + escaped body + C0

// Collects a serial byte stream and returns the unescaped bodies of complete frames; bytes
// before the first C0 are noise and dropped, an empty frame (C0 C0) is skipped.
class SlipDecoder {
  public:
    std::vector<Bytes> feed(const Bytes& bytes);

  private:
    bool inFrame_ = false;
    bool escape_ = false;
    Bytes body_;
};

}  // namespace sim::orb
