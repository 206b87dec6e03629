#pragma once
// Connection to a reader reachable over IPv4 TCP.
//
// Connection strings, the scheme in any case:
//   tcp://<a.b.c.d>[:port][/... or ;...]   dotted address
//   tcp://<name>[:port][/... or ;...]      host name of letters, digits and '_', resolved to its
//                                          first IPv4 address
//   anything else                          the whole text as the address, port 8888
// A peer that closes the connection is reported once through onStatusChanged with -1; the
// connection then stays open (and silent) until Close.
#include <atomic>
#include <mutex>
#include <string>

#include "DescriptorReader.h"
#include "SerialComm.h"

class SocketConnection : public SerialComm {
  public:
    static constexpr int DEFAULT_PORT = 8888;
    static constexpr int LINK_LOST = -1;

    SocketConnection();
    explicit SocketConnection(std::string configuration);
    ~SocketConnection() override;

    int Open() override;
    int Close() override;
    bool IsOpen() override;
    // Writes all bytes; 0 on success, 255 when the connection is closed or the write fails.
    int Send(unsigned char* data, unsigned int length) override;

    // Connects and starts the reading thread; the descriptor, or -1.
    virtual int _open(const char* address, int port);

    std::atomic<int> s{-1};
    std::string strIpAddress;
    int portNumber = DEFAULT_PORT;

  private:
    std::mutex sendLock;   // one writer at a time; close waits for a write in progress
    std::mutex closeLock;  // open and close one at a time
    DescriptorReader reader;
};
