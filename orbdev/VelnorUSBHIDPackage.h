#pragma once
// The packet protocol on USB HID: each packet is written as one output report preceded by the
// report number, and each input report read comes with one placeholder byte in front. Every
// report carries exactly one packet (the rest of the report is padding), so nothing is carried
// over from one report to the next.
#include "VelnorCommunicationPackage.h"

class VelnorUSBHIDPackage : public VelnorCommunicationPackage {
  public:
    VelnorUSBHIDPackage(unsigned char ReportID, int PackageSize);

    void SendPayload(std::vector<unsigned char> payload,
                     std::function<void(unsigned char*, unsigned int)> fnSend,
                     std::function<void(double)> progress) override;
    void ParseReport(std::vector<unsigned char> data) override;

    unsigned char _ReportID;
};
