#include "AsterNotification.h"

#include <stdexcept>

#include "AsterEnvelope.h"
#include "TagPath.h"
#include "stdafx.h"

AsterNotification::AsterNotification(unsigned short RequestID, std::string RawHex)
    : MessageID(0),
      NotificationID(0),
      Priority(0),
      Source(0),
      Section(0),
      Event(0),
      Reason(0),
      Raw(std::move(RawHex)),
      Notification(RequestID) {}

AsterNotification AsterNotification::Parse(const std::vector<unsigned char>& data) {
    const AsterAPIFrameWork outer = ParseAsterEnvelope(data);
    const std::vector<unsigned char> header = outer.GetParameter(1);
    if (header.size() != 4 || (header[0] & 0x7F) != 0x03)
        throw std::runtime_error("Invalid message type");
    const unsigned short id = ReadAsterWord(header, 2);

    AsterNotification n(id, BV2H(data));
    n.NotificationID = id;
    n.MessageID = header[1];
    n.Notification = ParseAsterInnerFrame(outer, id);

    // Fields the message does not carry stay 0.
    const std::vector<unsigned char> p2 = outer.GetParameter(2);
    const std::vector<unsigned char> p3 = outer.GetParameter(3);
    const std::vector<unsigned char>& event = p2.empty() ? p3 : p2;
    unsigned char* fields[] = {&n.Priority, &n.Source, &n.Section, &n.Event, &n.Reason};
    const std::size_t first = p2.empty() ? 0 : 1;  // P2 carries no priority
    for (std::size_t i = first; i < 5 && i - first < event.size(); ++i)
        *fields[i] = event[i - first];
    if (!p2.empty()) n.AddtionalData = p3;
    return n;
}

AsterNotification AsterNotification::Parse(const std::string& hex) {
    return Parse(H2BV(hex));
}

unsigned int AsterNotification::GetNotificationNode() const {
    return static_cast<unsigned int>(Source) << 24 | static_cast<unsigned int>(Section) << 16 |
           static_cast<unsigned int>(Event) << 8 | Reason;
}

std::vector<unsigned char> AsterNotification::GetNotificationParameter(unsigned char Tag) const {
    return Notification.GetParameterByTag(Tag);
}

std::vector<unsigned char> AsterNotification::GetNotificationParameter(const char* TagNode) const {
    return ResolveTagPath(
        TagNode, [this](unsigned char tag) { return Notification.GetParameterByTag(tag); });
}
