#pragma once
// Packaging that leaves messages unchanged: one write per message, every received piece is a
// message.
#include "IVLCommunicationPackage.h"

class PassThroughCommunication : public IVLCommunicationPackage {
  public:
    void SendPayload(std::vector<unsigned char> payload,
                     std::function<void(unsigned char*, unsigned int)> fnSend,
                     std::function<void(double)> progress) override;
    void ParseReport(std::vector<unsigned char> data) override;
};
