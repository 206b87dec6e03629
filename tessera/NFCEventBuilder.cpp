#include "NFCEventBuilder.h"

#include "NamedValues.h"

namespace TESSERA {

using B = NFCEventBuilder;
const std::string B::TESSERATS_NFC_TAG_REMOVED = "tag_removed";
const std::string B::TESSERATS_NFC_MIFARE_ULTRALIGHT = "nfc_mifare_ultralight";
const std::string B::TESSERATS_NFC_MIFARE_CLASSIC = "mifare_classic_1K";
const std::string B::TESSERATS_NFC_COMMAND_FAILED = "failed";
const std::string B::TESSERATS_NFC_IO_FAILED = "io_failed";
const std::string B::TESSERATS_NFC_MIFARE_CLASSIC_4K = "mifare_classic_4K";
const std::string B::TESSERATS_NFC_MIFARE_DESFIRE = "mifare_desfire";
const std::string B::TESSERATS_NFC_AUTHENTICATION_FAILED = "authentication_failed";

namespace {
const NamedValue<NFCEvent> kEvents[] = {
    {TESSERANFCE_TagRemoved, &B::TESSERATS_NFC_TAG_REMOVED},
    {TESSERANFCE_NFCMifareUltralight, &B::TESSERATS_NFC_MIFARE_ULTRALIGHT},
    {TESSERANFCE_MifareClassic, &B::TESSERATS_NFC_MIFARE_CLASSIC},
    {TESSERANFCE_CommandFailed, &B::TESSERATS_NFC_COMMAND_FAILED},
    {TESSERANFCE_IOFailed, &B::TESSERATS_NFC_IO_FAILED},
    {TESSERANFCE_MifareClassic4K, &B::TESSERATS_NFC_MIFARE_CLASSIC_4K},
    {TESSERANFCE_MifareDESFire, &B::TESSERATS_NFC_MIFARE_DESFIRE},
    {TESSERANFCE_AuthenticationFailed, &B::TESSERATS_NFC_AUTHENTICATION_FAILED},
};
}  // namespace

NFCEvent NFCEventBuilder::GetValue(std::string valueString) {
    return valueOf(kEvents, valueString, TESSERANFCE_None);
}

std::string NFCEventBuilder::GetString(NFCEvent value) {
    return stringOf(kEvents, value);
}

}  // namespace TESSERA
