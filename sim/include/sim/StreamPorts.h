#pragma once
// The two stream transports of the bench: a TCP listener on 127.0.0.1 and a pseudo-terminal.
// Each serves one StreamDevice; the loop must outlive the port.
#include <cstdint>
#include <memory>
#include <string>

#include "sim/EventLoop.h"
#include "sim/StreamDevice.h"

namespace sim {

// Listens on 127.0.0.1 (port 0 = an ephemeral port). One host connection is served at a time;
// a new connection replaces the previous one, which is closed.
class TcpPort {
  public:
    TcpPort(EventLoop& loop, std::shared_ptr<StreamDevice> device, std::uint16_t port = 0);
    ~TcpPort();
    TcpPort(const TcpPort&) = delete;
    TcpPort& operator=(const TcpPort&) = delete;
    std::uint16_t port() const { return port_; }
    // "tcp://127.0.0.1:PORT"
    std::string address() const;

  private:
    std::shared_ptr<StreamPortCore> core_;
    std::uint16_t port_ = 0;
};

// A pseudo-terminal in raw mode; the host opens slavePath() as its serial port. The bench keeps
// a descriptor of the slave side open itself, so the line stays up while the host closes and
// reopens the port. hangUp() closes the line for good.
class PtyPort {
  public:
    PtyPort(EventLoop& loop, std::shared_ptr<StreamDevice> device);
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;
    const std::string& slavePath() const { return slavePath_; }

  private:
    std::shared_ptr<StreamPortCore> core_;
    std::string slavePath_;
};

}  // namespace sim
