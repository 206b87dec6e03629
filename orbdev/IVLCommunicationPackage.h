#pragma once
// Common interface of the packaging layers that cut outgoing messages into the pieces a link
// carries and rebuild incoming messages from the bytes a link delivers.
#include <functional>
#include <vector>

#include "GuardedHandler.h"

class IVLCommunicationPackage {
  public:
    // Receives every complete incoming message. Safe to replace while the reading thread
    // delivers (see GuardedHandler).
    GuardedHandler<void(std::vector<unsigned char>)> onPayloadReceived;

    virtual void SendReceived(unsigned char* ptr, int length);
    virtual void SendReceived(std::vector<unsigned char> data);
    virtual ~IVLCommunicationPackage();
    // Writes one message through fnSend (which receives each piece) and reports progress in
    // (0, 1] after each piece; either callable may be empty.
    virtual void SendPayload(std::vector<unsigned char> payload,
                             std::function<void(unsigned char*, unsigned int)> fnSend,
                             std::function<void(double)> progress) = 0;
    // Feeds bytes received from the link.
    virtual void ParseReport(std::vector<unsigned char> data) = 0;

    static std::vector<unsigned char> MAKE_DATA(unsigned char* data, int length);
};
