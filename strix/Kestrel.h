#pragma once
#include <vector>

#include "Cardova.h"

// Engine of most current readers. Adds to Cardova:
//  - input reports routed by report ID (1 card data, 2 notification chunk);
//  - commands and responses on report ID 1, long command reports sent as 61-byte pieces;
//  - extended commands "CCCC:data..." sent as 0x49 chunks, and extended responses (status
//    0x0A) fetched chunk by chunk with command "4A", with busy answers (0x0B, 0x0C) retried
//    up to kMaxBusyAnswers times;
//  - notifications reassembled from chunks before OnNotification.
class Kestrel : public Cardova {
  public:
    static constexpr int kExtendedHeaderSize = 9;
    // Composed command reports (all chunks of an extended command) are built in this buffer.
    static constexpr int kExtendedCommandBufferSize = 65536;
    static constexpr int kResponseBufferSize = 32768;
    static constexpr int kMaxBusyAnswers = 30;
    static constexpr int kBusyWaitMs = 100;
    static constexpr unsigned char kStatusExtendedChunk = 0x0A;
    static constexpr unsigned char kStatusBusy = 0x0B;
    static constexpr unsigned char kStatusBusyOther = 0x0C;

    Kestrel();
    ~Kestrel() override;

    void afterOpen() override;
    int sendCommand(unsigned char* command, int commandLength) override;
    int waitForCommand() override { return 0; }
    int getResponse(unsigned char* buf, int BufferLength) override;
    int getResponse(unsigned char* buf, int* BufferLength) override;
    void onData(iConnection* connObject, unsigned char* pData, int dataLen) override;
    // For an extended response (chunks with status 0x0A) the hex of the reassembled data;
    // resultCode becomes the extended result code. 17 when chunks disagree on the total or do
    // not fit it.
    int MakeHexStringFromResponse(unsigned char* buf, int BufferLength, char* out,
                                  int* outLen) override;

    // "CCCC:hexdata" -> 0x49 chunks laid one after another; text without ":" -> a plain
    // command. *bufferLen: capacity in, composed length out (the size needed when too small).
    virtual bool composeExtendedCommand(unsigned char* hexCmd, int hexCmdLen, unsigned char* buffer,
                                        int* bufferLen);
    // Fetches a response: a plain report, or all chunks of an extended response one after
    // another. *bufferLen: capacity in, length out; 13 when the answer does not fit.
    virtual int receiveExtendedCommand(unsigned char* buffer, int* bufferLen);
    virtual int waitForMore();
    virtual void addNotification(unsigned char* pData, int dataLen);
    virtual void KestrelReceiveData(iConnection* connObject, unsigned char* pData, int dataLen);

    int getExtendedCommandLength() const { return 61; }

  protected:
    // Adds one chunk (9-byte header, then chunkDataLength data bytes) to the notification
    // being reassembled; delivers it when complete. Reports and drops malformed chunks.
    void addNotificationChunk(const unsigned char* pData, int dataLen, int chunkDataLength);
    void dropNotification(const char* message);
    int requestNextChunk();

    // Composed commands longer than this plus one byte are sent in several pieces; 0 disables
    // splitting and the extended form.
    unsigned int KESTREL_COMMAND_LENGTH_LIMITATION = 60;
    unsigned char notificationHeader[kExtendedHeaderSize];
    std::vector<unsigned char> notificationData;
    size_t notificationReceived = 0;
};
