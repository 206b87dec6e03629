#include "VelnorUSBHIDPackage.h"

#include <algorithm>

VelnorUSBHIDPackage::VelnorUSBHIDPackage(unsigned char ReportID, int PackageSize)
    : VelnorCommunicationPackage(PackageSize), _ReportID(ReportID) {}

void VelnorUSBHIDPackage::SendPayload(std::vector<unsigned char> payload,
                                      std::function<void(unsigned char*, unsigned int)> fnSend,
                                      std::function<void(double)> progress) {
    std::function<void(unsigned char*, unsigned int)> withReportId;
    if (fnSend) {
        withReportId = [this, &fnSend](unsigned char* packet, unsigned int length) {
            std::vector<unsigned char> report;
            report.reserve(length + 1);
            report.push_back(_ReportID);
            report.insert(report.end(), packet, packet + length);
            fnSend(report.data(), static_cast<unsigned int>(report.size()));
        };
    }
    VelnorCommunicationPackage::SendPayload(std::move(payload), withReportId, std::move(progress));
}

void VelnorUSBHIDPackage::ParseReport(std::vector<unsigned char> data) {
    if (data.size() <= 1) return;
    // Each P-byte slot after the placeholder is one packet; a short last slot is checked
    // against its own length byte by ParseOneFrame.
    const size_t p = static_cast<size_t>(_packageSize);
    for (size_t pos = 1; pos < data.size(); pos += p) {
        const size_t end = std::min(data.size(), pos + p);
        ParseOneFrame(std::vector<unsigned char>(data.begin() + pos, data.begin() + end));
    }
}
