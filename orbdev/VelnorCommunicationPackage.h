#pragma once
// The 64-byte packet protocol: a message travels as one single packet, or as a start packet,
// numbered continuation packets and an end packet.
//
//   00 L payload[L]                       single, L <= P - 2
//   01 N(4, big-endian) payload[P - 5]    start, N = whole message length
//   02 S(2, big-endian) payload[P - 3]    continuation, S = 1, 2, ...
//   03 L payload[L]                       end, 1 <= L <= P - 3
//
// ParseReport treats its input as a byte stream (as a TCP link delivers it): a packet split
// across calls is kept until the rest arrives, single and end packets may or may not be padded
// with zero bytes to P, and a packet whose header cannot be valid is skipped as one P-byte slot.
// Whether the peer pads is read from the bytes after a short packet: a non-zero byte before the
// slot's end means it does not, two or more zero bytes up to the slot's end mean it does (a
// non-padding peer would only send empty single packets there, which carry nothing anyway).
#include <map>
#include <vector>

#include "IVLCommunicationPackage.h"

class VelnorCommunicationPackage : public IVLCommunicationPackage {
  public:
    explicit VelnorCommunicationPackage(int packageSize);

    void SendPayload(std::vector<unsigned char> payload,
                     std::function<void(unsigned char*, unsigned int)> fnSend,
                     std::function<void(double)> progress) override;
    void ParseReport(std::vector<unsigned char> data) override;
    // Handles one packet; a packet shorter than its header says is dropped.
    virtual void ParseOneFrame(std::vector<unsigned char> frame);

    // The packets of one message, in sending order.
    std::vector<std::vector<unsigned char>> buildPacakges(
        const std::vector<unsigned char>& payload);

    int START_DATA_SIZE;
    int PACKET_CONTINUE_DATA_SIZE;
    int END_DATA_SIZE;
    int SINGLE_DATA_SIZE;

  protected:
    static void PUSH_DATA(std::vector<unsigned char>& target,
                          const std::vector<unsigned char>& source);
    static void PUSH_DATA(std::vector<unsigned char>& target,
                          const std::vector<unsigned char>& source, size_t offset, size_t size);
    std::vector<unsigned char> buildSingleMessage(const std::vector<unsigned char>& payload);
    std::vector<std::vector<unsigned char>> buildBigBlocks(
        const std::vector<unsigned char>& payload);

    // Length of the packet at the start of `data` (0 = the header is not complete yet), or -1 when
    // its header cannot belong to a valid packet.
    int packetLength(const std::vector<unsigned char>& data) const;

    int _packageSize;
    std::map<unsigned short, std::vector<unsigned char>> packs;
    unsigned int pack_total_size = 0;

  private:
    std::vector<unsigned char> pending;  // stream bytes not yet forming a whole packet
    size_t padToSkip = 0;                // bytes after a short packet that may be zero padding
    // Whether the peer pads short packets to P, once its stream has shown it (0 = not known).
    // Only a single zero byte after a short packet is ambiguous; it is read by this mode.
    int peerPads = 0;  // 1 pads, -1 does not
};
