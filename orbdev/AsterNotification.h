#pragma once
// A notification message (unsolicited reader event): outer frame 0xAA00 or 0xAAFF with
//   P1 (0x81)  header, exactly 4 bytes: 03 (notification; bit 7 ignored), message number,
//              notification identifier (2 bytes, big-endian)
//   P2 (0x82)  optional event description: Source, Section, Event, Reason
//   P3 (0x83)  without P2: the event description Priority, Source, Section, Event, Reason;
//              with P2: additional data
//   P4 (0x84)  optional inner frame: notification identifier and parameters.
// Event fields that the message does not carry (a P2 shorter than 4 bytes or, without P2, a P3
// shorter than 5 bytes) read as 0.
//
// Errors are thrown as std::runtime_error carrying the message text.
#include <string>
#include <vector>

#include "AsterAPIFrameWork.h"

class AsterNotification {
  public:
    unsigned short MessageID;
    // Header bytes 2-3; 0 until parsed.
    unsigned short NotificationID;
    unsigned char Priority;
    unsigned char Source;
    unsigned char Section;
    unsigned char Event;
    unsigned char Reason;
    std::vector<unsigned char> AddtionalData;
    // The whole message as hex text.
    std::string Raw;
    // The inner frame.
    AsterAPIFrameWork Notification;

    AsterNotification(unsigned short RequestID, std::string RawHex);
    virtual ~AsterNotification() = default;
    AsterNotification(const AsterNotification&) = default;
    AsterNotification& operator=(const AsterNotification&) = default;

    // Reads a notification. Throws "Invalid frameword id" for an outer identifier other than
    // 0xAA00/0xAAFF, "Invalid message type" unless the header is exactly 4 bytes of type 3, and
    // "invalid data" for a P4 of a single byte.
    static AsterNotification Parse(const std::vector<unsigned char>& data);
    static AsterNotification Parse(const std::string& hex);

    // Source << 24 | Section << 16 | Event << 8 | Reason.
    unsigned int GetNotificationNode() const;

    // Inner-frame parameter by tag; empty when absent.
    std::vector<unsigned char> GetNotificationParameter(unsigned char Tag) const;
    // Value addressed by a tag path (see TagPath.h). Throws std::invalid_argument when the first
    // step is not a hex number.
    std::vector<unsigned char> GetNotificationParameter(const char* TagNode) const;
};
