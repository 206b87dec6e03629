#pragma once
// Connection to a reader on a serial device.
//
// Settings string: comma-separated KEY=VALUE items; keys (any case, blanks trimmed) PORT,
// BAUDRATE, PARITY (NONE/N, ODD/O, EVEN/E, MARK/M, SPACE/S), DATABITS, STOPBITS (1, 1.5, 2).
// Example: PORT=/dev/ttyACM0,BAUDRATE=115200,PARITY=N,STOPBITS=1. The line runs in raw mode;
// supported speeds are 57600, 115200, 230400, 460800, 500000, 576000 and 921600 baud.
// A line that hangs up (the adapter unplugged) is reported once through onStatusChanged with -1.
#include <atomic>
#include <mutex>
#include <string>

#include "DescriptorReader.h"
#include "SerialComm.h"

class CommPort : public SerialComm {
  public:
    static constexpr int LINK_LOST = -1;

    explicit CommPort(std::string configuration);
    ~CommPort() override;

    bool Enum(std::function<bool(std::string, std::string)> callback, std::string filter) override;
    // 0; 255 when the device cannot be opened or its attributes read; 6 for an unsupported baud
    // rate; 17 when the attributes cannot be set.
    int Open() override;
    int Close() override;
    bool IsOpen() override;
    // Writes all bytes; 0 on success, 255 otherwise.
    int Send(unsigned char* data, unsigned int length) override;
    // One read of up to *length bytes straight from the line: 0 with *length set, 1 when nothing
    // came, 6 for a null length, 255 when closed.
    int Receive(unsigned char* data, unsigned int* length) override;

    std::atomic<int> hComm{-1};
    std::string portName;
    int baudRate = 115200;
    int parity = 0;  // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int dataBits = 8;
    int stopBits = 0;  // 0 one, 1 one and a half, 2 two

  private:
    // Starts the reading thread; false if it cannot be started.
    bool ReceivingThread();
    int configure(int fd);

    std::mutex sendLock;
    std::mutex receiveLock;
    std::mutex closeLock;
    DescriptorReader reader;
};
