#pragma once
#include <condition_variable>
#include <mutex>

#include "Kestrel.h"

// Engine of Bluetooth readers (product ID 0x0119). The reader signals with a 2-byte packet
// (first byte 1) that an answer is ready; commands wait for that signal up to 5 seconds.
class KestrelBle : public Kestrel {
  public:
    static constexpr int kReadyWaitMs = 5000;
    static constexpr int kBufferSize = 65536;

    KestrelBle();
    ~KestrelBle() override;
    void afterOpen() override;
    int sendCommand(unsigned char* command, int commandLength) override;
    // 0 when the ready signal came, 1 after 5 seconds without it.
    int waitForCommand() override;
    void onData(iConnection* connObject, unsigned char* pData, int dataLen) override;
    int receiveExtendedCommand(unsigned char* buffer, int* bufferLen) override;
    void addNotification(unsigned char* pData, int dataLen) override;

  protected:
    void startupCommand(const char* text);

    std::mutex cmdDataMutex;
    std::condition_variable commandDataReady;
    bool dataReady = false;
};
