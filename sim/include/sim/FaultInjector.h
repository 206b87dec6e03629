#pragma once
// Faults applied to what a simulated device sends to the host. A "packet" is the unit the device
// emits: one input report on USB, one 64-byte packet on TCP, one framed message on a serial line.
// One-shot faults are armed in order and each applies to the next packet that has none yet, so
// dropNext() followed by corruptNext() drops the first packet and corrupts the second. All
// operations are thread-safe: tests arm faults while the bench thread sends.
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

#include "sim/Types.h"

namespace sim {

class FaultInjector {
  public:
    void dropNext(unsigned count = 1);
    void duplicateNext(unsigned count = 1);
    // Holds the next packet back and sends it right after the next packet that is sent.
    void swapNextTwo();
    // XORs the byte at offset (ignored when the packet is shorter) with mask.
    void corruptNext(std::size_t offset, std::uint8_t mask = 0xFF);
    // Sends the next packet late; later packets wait behind it, so order is kept.
    void delayNext(Millis delay, unsigned count = 1);
    // Sends garbage as a packet of its own right before the next packet.
    void garbageBeforeNext(Bytes garbage);
    // The device is unplugged right after the next `count` packets have been sent.
    void unplugAfter(unsigned count);
    // While silent, nothing is sent at all (a reader that never answers).
    void setSilent(bool silent);
    bool silent() const;
    // Forgets every armed fault, held packets included.
    void clear();

    // What to send for one packet the device emits (used by the transports).
    struct Emission {
        Bytes data;
        Millis delay{0};
        bool unplugAfterThis = false;
    };
    std::deque<Emission> process(Bytes packet);

  private:
    enum class Kind { Drop, Duplicate, Swap, Corrupt, Delay, Garbage };
    struct Rule {
        explicit Rule(Kind k) : kind(k) {}
        Kind kind;
        std::size_t offset = 0;
        std::uint8_t mask = 0;
        Millis delay{0};
        Bytes garbage;
    };
    mutable std::mutex lock_;
    std::deque<Rule> rules_;
    std::optional<Emission> held_;
    std::optional<unsigned> unplugCountdown_;
    bool silent_ = false;
};

}  // namespace sim
