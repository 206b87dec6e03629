#pragma once
// Packaging for serial lines: each message gets a type and length header and is framed with SLIP.
//
// Frame body: type (00 from the host, 02 from the device, 03 buffer-size announcement from the
// device), 4-byte big-endian length, payload. A payload larger than the device's buffer is sent
// as several independent frames.
#include <atomic>
#include <vector>

#include "IVLCommunicationPackage.h"
#include "SocketInSliper.h"

// END + escaped bytes + END; empty input gives empty output.
std::vector<unsigned char> generateDataWithSlipEscape(const std::vector<unsigned char>& bytes);

class SerialCommunicationPackage : public IVLCommunicationPackage {
  public:
    explicit SerialCommunicationPackage(int deviceBufferSize);

    void SendPayload(std::vector<unsigned char> payload,
                     std::function<void(unsigned char*, unsigned int)> fnSend,
                     std::function<void(double)> progress) override;
    void ParseReport(std::vector<unsigned char> data) override;

    // Largest payload piece per frame; written by the reading thread, read by senders.
    std::atomic<int> DeviceBufferSize;
    SocketInSliper sliper;

    static constexpr size_t WRITE_CHUNK = 1024;

  private:
    std::vector<unsigned char> addHeader(const std::vector<unsigned char>& payload) const;
    std::vector<unsigned char> removeHeader(const std::vector<unsigned char>& frame);
    std::vector<std::vector<unsigned char>> slice(const std::vector<unsigned char>& payload) const;
};
