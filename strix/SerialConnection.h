#pragma once
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "FormatFilter.h"
#include "iConnection.h"

// A reader on a serial line ("SERIAL://PORT=/dev/ttyUSB0,BAUDRATE=115200,FORMAT=SLIP").
// Commands are written on the caller's thread through the connection's line format, which
// also cuts the incoming stream into responses (handed to the waiting command), notifications
// and card data (handed to the data callback on the reading thread).
//
// Threads: one reading thread per open connection waits in poll() on the port and a wake-up
// descriptor; close() wakes it and joins it before the port is closed. When close() runs on the
// reading thread itself (from inside a callback) the thread is left to end on its own and never
// touches the connection again.
class SerialConnection : public iConnection {
  public:
    SerialConnection();
    ~SerialConnection() override;

    void close() override;
    // pData[0] is a report ID and is not sent; the rest goes through the line format.
    int send(char* pData, int dataLen, int type) override;
    // Waits up to _TimeoutMs for the response to the last command; pData receives 0x73 and the
    // response bytes (pData[1] is the reader's status). *dataLen is the capacity on entry.
    int receive(unsigned char* pData, int* dataLen) override;

    // Parses the settings and opens the port; null for strings that are not "SERIAL://"
    // strings, for invalid settings and for ports that cannot be opened.
    static SerialConnection* open(const char* pathScheme);
    static int enumDevices(iConnectionEnumDevice) { return 0; }

    // Settings parsing without opening; false (error 6) for an invalid value or format.
    bool parseSettings(const std::string& settings);

    // What parseSettings stored (for inspection).
    const std::string& port() const { return portName; }
    int baud() const { return baudRate; }
    const std::string& formatName() const { return dataFormat->Name; }

  protected:
    // 0, or 255 (cannot open / read settings), 6 (unsupported speed), 17 (settings refused).
    int _open();
    // Feeds received bytes through the line format and delivers what it cuts out. Answers
    // false when the connection was closed from inside a callback.
    struct ReaderState;
    bool OnData(const std::shared_ptr<ReaderState>& state, const unsigned char* buffer,
                int dataLen);

  private:
    void ReceivingThread(std::shared_ptr<ReaderState> state);

    int hComm = -1;
    std::string portName;
    int baudRate = 115200;
    int parity = 0;
    int dataBits = 8;
    int stopBits = 0;
    std::string startingByte;
    std::string endingByte = "0D";
    unsigned char ustx = 0;
    unsigned char uetx = 0x0D;
    int crcMode = 0;
    std::unique_ptr<FormatFilter> dataFormat;

    // The response a command waits for: set by send, filled by the reading thread.
    std::mutex responseLock;
    std::condition_variable responseReady;
    bool awaitingResponse = false;
    std::optional<std::string> pendingResponse;  // payload hex

    std::mutex lifecycleLock;
    std::shared_ptr<ReaderState> readerState;
    std::thread readThread;
};
