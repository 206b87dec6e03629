#pragma once
// The simulated message-schema reader on its three links:
//   HidOrbReader     USB HID: 64-byte packets, one per report (output reports carry the report
//                    number 0 in front; input reports are the bare packet, zero-padded).
//   TcpOrbReader     TCP: the same packets without report number; the reader pads each packet it
//                    sends to 64 bytes and accepts the host's packets padded or not.
//   SerialOrbReader  serial line (pseudo-terminal): SLIP frames, type 00 from the host, 02 from
//                    the reader, 03 to announce the reader's buffer size.
// Each link records every whole message from the host in hostLog() (kind Message) and hands it
// to reader().
#include <atomic>
#include <string>

#include "sim/HidDevice.h"
#include "sim/StreamDevice.h"
#include "sim/orb/OrbReader.h"
#include "sim/orb/Packets.h"

namespace sim::orb {

constexpr std::uint16_t kVendorId = 0x2F1A;
// Product ids of the message-schema readers: 0x2020, 0x2023, 0x2024.
HidIdentity readerIdentity(std::uint16_t productId = 0x2020, std::string serial = "SIM2020000001");

class HidOrbReader : public HidDevice {
  public:
    explicit HidOrbReader(HidIdentity identity = readerIdentity());
    OrbReader& reader() { return reader_; }
    // Messages from the host that did not reassemble (lost or damaged packets).
    std::size_t droppedMessages() const { return dropped_; }

  protected:
    void onOutputReport(const Bytes& report) override;
    void onHostOpened() override;

  private:
    PacketAssembler assembler_;  // bench thread
    std::atomic<std::size_t> dropped_{0};
    OrbReader reader_;
};

class TcpOrbReader : public StreamDevice {
  public:
    TcpOrbReader();
    OrbReader& reader() { return reader_; }
    std::size_t droppedMessages() const { return dropped_; }

  protected:
    void onHostBytes(const Bytes& data) override;
    void onHostConnected() override;

  private:
    PacketStreamSplitter splitter_;  // bench thread
    PacketAssembler assembler_;
    std::atomic<std::size_t> dropped_{0};
    OrbReader reader_;
};

class SerialOrbReader : public StreamDevice {
  public:
    SerialOrbReader();
    OrbReader& reader() { return reader_; }
    // Sends a buffer-size announcement now; from then on the reader also joins host frames of
    // exactly that size with the frames that follow into one message.
    void announceBufferSize(std::uint32_t size);
    // Announces the size as soon as the host sends its first frame (0: never).
    void announceOnFirstContact(std::uint32_t size);
    // Host frames dropped for a wrong type or length field.
    std::size_t droppedFrames() const { return dropped_; }

  protected:
    void onHostBytes(const Bytes& data) override;

  private:
    void deliver(Bytes message);
    SlipDecoder decoder_;  // bench thread
    Bytes pieces_;         // bench thread: a message cut into buffer-sized frames
    std::atomic<std::uint32_t> bufferSize_{0};
    std::atomic<std::uint32_t> announceOnContact_{0};
    std::atomic<std::size_t> dropped_{0};
    OrbReader reader_;
};

}  // namespace sim::orb
