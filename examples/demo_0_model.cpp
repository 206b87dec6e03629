// A first look at libtessera's object model, using nothing but the public headers and the
// shared library: the API version, the connection types in both directions, and how the
// texts that arrive with events are read back into enumerators with the builders.
#include <cstdio>
#include <string>

#include "tessera/Tessera.h"

using namespace TESSERA;

namespace {

void printConnectionTypes() {
    std::printf("\nConnection types (value, text written, read back from the lower-case text):\n");
    for (int value = TSR_USB; value <= TSR_LIGHTNING; ++value) {
        const auto type = static_cast<TSR_DEVICE_CONNECTION_TYPE>(value);
        const std::string text = CoreAPI::getConnectionTypeString(type);
        std::string lower;
        for (char c : text) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        std::printf("  %2d  %-16s %-16s -> %d\n", value, text.c_str(), lower.c_str(),
                    CoreAPI::getConnectionTypeFromString(lower));
    }
    std::printf("  An unknown text such as \"FireWire\" reads as %d (USB).\n",
                CoreAPI::getConnectionTypeFromString("FireWire"));
}

void printFamilies() {
    std::printf("\nDevice families:\n");
    const struct {
        TSR_DEVICE_TYPE type;
        const char* name;
    } families[] = {{SWR, "SWR (swipe readers)"},
                    {PPSWR, "PPSWR"},
                    {CMF, "CMF"},
                    {ORB, "ORB (message-schema readers)"}};
    for (const auto& family : families) {
        std::string types;
        for (auto t : CoreAPI::getConnectionTypes(family.type)) {
            types += (types.empty() ? "" : ", ") + CoreAPI::getConnectionTypeString(t);
        }
        std::printf("  %-30s connection types: %s\n", family.name,
                    types.empty() ? "(none served)" : types.c_str());
    }
}

// What a subscriber does with the text of an event: pick the builder by the event type.
void explain(EventType type, const std::string& text) {
    std::printf("  %-2d \"%s\"\n", type, text.c_str());
    switch (type) {
        case EVENT_TYPE_ConnectionState:
            std::printf("       connection state %d\n", ConnectionStateBuilder::GetValue(text));
            break;
        case EVENT_TYPE_TransactionStatus:
            std::printf("       transaction status %d, detail \"%s\"\n",
                        TransactionStatusBuilder::GetStatusCode(text),
                        TransactionStatusBuilder::GetDetailData(text).c_str());
            break;
        case EVENT_TYPE_UserEvent:
            std::printf("       user event %d\n", UserEventBuilder::GetValue(text));
            break;
        case EVENT_TYPE_DeviceEvent:
            std::printf("       device event %d\n", DeviceEventBuilder::GetValue(text));
            break;
        case EVENT_TYPE_NFCEvent:
            std::printf("       NFC event %d\n", NFCEventBuilder::GetValue(text));
            break;
        case EVENT_TYPE_FeatureStatus: {
            const auto comma = text.find(',');
            std::printf("       feature %d, status %d\n",
                        FeatureStatusBuilder::GetDeviceFeature(text.substr(0, comma)),
                        FeatureStatusBuilder::GetFeatureStatus(
                            comma == std::string::npos ? "" : text.substr(comma + 1)));
            break;
        }
        default:
            break;
    }
}

void printEvents() {
    std::printf("\nEvent texts and what the builders read from them (event type, text):\n");
    explain(EVENT_TYPE_ConnectionState, ConnectionStateBuilder::TESSERACS_CONNECTED);
    explain(EVENT_TYPE_TransactionStatus,
            TransactionStatusBuilder::GetString(TransactionApproved, "0300130000"));
    explain(EVENT_TYPE_TransactionStatus, "card_inserted, 01 ");
    explain(EVENT_TYPE_UserEvent, UserEventBuilder::TESSERAUE_CARD_SWIPED);
    explain(EVENT_TYPE_TransactionStatus, TransactionStatusBuilder::TESSERATS_CARD_SWIPED);
    explain(EVENT_TYPE_UserEvent,
            UserEventBuilder::GetString(TSR_USER_EVENT_MifareDESFirePresented));
    explain(EVENT_TYPE_DeviceEvent, "device_temperature_high,52C");
    explain(EVENT_TYPE_NFCEvent, NFCEventBuilder::GetString(TESSERANFCE_MifareClassic1K));
    explain(EVENT_TYPE_FeatureStatus,
            FeatureStatusBuilder::FEATURE_PIN_ENTRY + "," + FeatureStatusBuilder::STATUS_TIMED_OUT);
}

}  // namespace

int main() {
    std::printf("libtessera API version %d\n", CoreAPI::getAPIVersion());
    printConnectionTypes();
    printFamilies();
    printEvents();
    return 0;
}
