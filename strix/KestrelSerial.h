#pragma once
#include "Kestrel.h"

// Engine of readers on a serial line. Commands of up to 2049 bytes go out as one piece (the
// line format frames them); packets from the connection are routed by their first byte:
// 0/1 card-data report, 2/3 notification chunk (2-byte chunk length at offsets 1-2), 0xC0 card
// data of the line's card-data channel (hex characters of a card report or of track text).
class KestrelSerial : public Kestrel {
  public:
    static constexpr unsigned int kSerialCommandLimit = 2048;

    KestrelSerial();
    ~KestrelSerial() override;
    void afterOpen() override {}
    void onData(iConnection* connObject, unsigned char* pData, int dataLen) override;
    void addNotification(unsigned char* pData, int dataLen) override;

  protected:
    // Card data of the line's card-data channel, decoded from its hex characters.
    void serialCardData(const unsigned char* hex, int hexLen);
};
