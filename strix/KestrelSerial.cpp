#include "KestrelSerial.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ErrorCodes.h"
#include "stdafx.h"

namespace {
char kSerialNotificationLength[] = "Invalid notification package data length!";
char kSerialException[] = "Exception!";
char kSerialInvalidInput[] = "invalid input data!";

// Offsets of the clear card-report layout.
constexpr size_t kTrackOffsets[3] = {8, 118, 228};
constexpr size_t kTrackRoom[3] = {110, 110, 110};
constexpr size_t kClearReportSize = 338;
}  // namespace

KestrelSerial::KestrelSerial() {
    KESTREL_COMMAND_LENGTH_LIMITATION = kSerialCommandLimit;
}

KestrelSerial::~KestrelSerial() {
    close();  // the reading thread stops before the notification state goes
}

void KestrelSerial::onData(iConnection*, unsigned char* pData, int dataLen) {
    if (pData == nullptr || dataLen < 1) return;
    try {
        switch (pData[0]) {
            case 0x00:
            case 0x01:
                getMSRResult(pData, dataLen);
                break;
            case 0x02:
            case 0x03:
                try {
                    addNotification(pData, dataLen);
                } catch (...) {
                    dropNotification(kSerialException);
                }
                break;
            case 0xC0:
                serialCardData(pData + 1, dataLen - 1);
                break;
            default:
                break;
        }
    } catch (...) {
        setError(ERROR_BAD_COMMUNICATION, kSerialInvalidInput, nullptr);
    }
}

void KestrelSerial::addNotification(unsigned char* pData, int dataLen) {
    if (pData == nullptr || dataLen < kExtendedHeaderSize) return;  // too short: ignored
    const int chunkLength = pData[1] << 8 | pData[2];
    const int total = pData[7] << 8 | pData[8];
    if (total != 0 && chunkLength == 0) {
        dropNotification(kSerialNotificationLength);
        return;
    }
    // A chunk shorter than its length says brings only the bytes it has.
    addNotificationChunk(pData, dataLen, std::min(chunkLength, dataLen - kExtendedHeaderSize));
}

void KestrelSerial::serialCardData(const unsigned char* hex, int hexLen) {
    if (hexLen <= 0) return;
    std::vector<unsigned char> bytes =
        H2BV(std::string(reinterpret_cast<const char*>(hex), static_cast<size_t>(hexLen)));
    if (bytes.empty()) return;
    if (bytes[0] == '%' || bytes[0] == ';') {
        // Track text ("%...?;...?;...?"): laid out as a clear card report.
        std::string text(bytes.begin(), bytes.end());
        std::vector<unsigned char> report(kClearReportSize, 0);
        size_t pos = 0;
        for (int t = 0; t < 3 && pos < text.size(); ++t) {
            size_t end = text.find('?', pos);
            end = end == std::string::npos ? text.size() : end + 1;
            std::string track = text.substr(pos, std::min(end - pos, kTrackRoom[t]));
            std::memcpy(&report[kTrackOffsets[t]], track.data(), track.size());
            report[4 + t] = static_cast<unsigned char>(track.size());
            pos = end;
        }
        report[7] = text.compare(0, 2, "%B") == 0 || text[0] == ';' ? 0 : 4;
        getMSRResult(report.data(), static_cast<int>(report.size()));
    } else {
        // A card report as the reader sends it over USB.
        getMSRResult(bytes.data(), static_cast<int>(bytes.size()));
    }
}
