// A first look at libtessera's object model, using nothing but the public headers and the
// shared library: the API version, the connection types in both directions, how the texts
// that arrive with events are read back into enumerators with the builders, and how the byte
// payloads of message-schema readers decode into records.
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
    std::printf(
        "\nEvent texts and what the builders read from them (event type, text; the\n"
        "numbers are enumerator values, see tessera/Enumerations.h):\n");
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

std::string hexOf(const std::vector<unsigned char>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 0x0F];
    }
    return text;
}

void printPayloads() {
    std::printf(
        "\nPayload bytes of message-schema (ORB) readers, decoded with the data builders:\n");
    // A PIN block in an F5 container: format (DFDF71), block (99), KSN (DFDF41), type (DFDF42).
    const std::vector<unsigned char> pinEvent = {0xF5, 0x1D, 0xDF, 0xDF, 0x71, 0x01, 0x00, 0x99,
                                                 0x08, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE,
                                                 0xF0, 0xDF, 0xDF, 0x41, 0x05, 0xFF, 0xFF, 0x01,
                                                 0x02, 0x03, 0xDF, 0xDF, 0x42, 0x01, 0x01};
    const PINData pin = PINDataBuilder::GetPINData(ORB, pinEvent);
    std::printf("  PIN data      block %s, KSN %s, format %d, encryption %d\n",
                hexOf(pin.PINBlock).c_str(), hexOf(pin.KSN).c_str(), pin.Format,
                pin.EncryptionType);
    // Clear bar-code data (DF74) "QR-42".
    const std::vector<unsigned char> barCodeEvent = {0xDF, 0x74, 0x05, 'Q', 'R', '-', '4', '2'};
    const BarCodeData barCode = BarCodeBuilder::GetBarCodeData(ORB, barCodeEvent);
    std::printf("  bar code      \"%s\" (encrypted: %s)\n",
                std::string(barCode.Data.begin(), barCode.Data.end()).c_str(),
                barCode.Encrypted ? "yes" : "no");
    std::printf("  the same bytes from a swipe reader (SWR) decode to nothing: %zu bytes\n",
                BarCodeBuilder::GetBarCodeData(SWR, barCodeEvent).Data.size());
    // An NFC response: two-byte length, then the tag's answer in DF7A.
    const std::vector<unsigned char> nfcResponse = {0x00, 0x06, 0xDF, 0x7A, 0x03, 0x04, 0x90, 0x00};
    const NFCRAPDUData response = ORBAPI::getNFCRAPDUData(nfcResponse);
    std::printf("  NFC response  %s carries data %s\n", hexOf(response.Response).c_str(),
                hexOf(response.Data).c_str());
    // Configuration items are addressed by six numbers; the reader wants them as nested TLV.
    const ConfigurationInfo item = ConfigurationInfo::fromASN1Oid("2.2.1.1.1.4");
    std::printf("  configuration 2.2.1.1.1.4  type %d, request %s\n", item.configType,
                hexOf(item.OidAndValue).c_str());
}

}  // namespace

int main() {
    std::printf("libtessera API version %d\n", CoreAPI::getAPIVersion());
    printConnectionTypes();
    printFamilies();
    printEvents();
    printPayloads();
    return 0;
}
