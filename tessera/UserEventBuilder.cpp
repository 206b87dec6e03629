#include "UserEventBuilder.h"

#include "NamedValues.h"

namespace TESSERA {

using B = UserEventBuilder;
const std::string B::TESSERAUE_CONTACTLESS_CARD_PRESENTED = "contactless_card_presented";
const std::string B::TESSERAUE_CONTACTLESS_CARD_REMOVED = "contactless_card_removed";
const std::string B::TESSERAUE_CARD_SEATED = "card_seated";
const std::string B::TESSERAUE_CARD_UNSEATED = "card_unseated";
const std::string B::TESSERAUE_CARD_SWIPED = "card_swiped";
const std::string B::TESSERAUE_TOUCH_PRESENTED = "touch_presented";
const std::string B::TESSERAUE_TOUCH_REMOVED = "touch_removed";
const std::string B::TESSERAUE_BARCODE_READ = "barcode_read";
const std::string B::TESSERAUE_NFC_MIFARE_ULTRALIGHT_PRESENTED = "nfc_mifare_ultralight_presented";
const std::string B::TESSERAUE_MIFARE_CLASSIC_1K_PRESENTED = "mifare_classic_1k_presented";
const std::string B::TESSERAUE_MIFARE_CLASSIC_4K_PRESENTED = "mifare_classic_4k_presented";
// The DESFire events travel with the Classic wording; readers and applications expect it.
const std::string B::TESSERAUE_MIFARE_DESFIRE_PRESENTED = "mifare_classic_presented";
const std::string B::TESSERAUE_NFC_MIFARE_ULTRALIGHT_REMOVED = "nfc_mifare_ultralight_removed";
const std::string B::TESSERAUE_MIFARE_CLASSIC_1K_REMOVED = "mifare_classic_1k_removed";
const std::string B::TESSERAUE_MIFARE_CLASSIC_4K_REMOVED = "mifare_classic_4k_removed";
const std::string B::TESSERAUE_MIFARE_DESFIRE_REMOVED = "mifare_classic_removed";

namespace {
const NamedValue<UserEvent> kEvents[] = {
    {TSR_USER_EVENT_ContactlessCardPresented, &B::TESSERAUE_CONTACTLESS_CARD_PRESENTED},
    {TSR_USER_EVENT_ContactlessCardRemoved, &B::TESSERAUE_CONTACTLESS_CARD_REMOVED},
    {TSR_USER_EVENT_CardSeated, &B::TESSERAUE_CARD_SEATED},
    {TSR_USER_EVENT_CardUnseated, &B::TESSERAUE_CARD_UNSEATED},
    {TSR_USER_EVENT_CardSwiped, &B::TESSERAUE_CARD_SWIPED},
    {TSR_USER_EVENT_TouchPresented, &B::TESSERAUE_TOUCH_PRESENTED},
    {TSR_USER_EVENT_TouchRemoved, &B::TESSERAUE_TOUCH_REMOVED},
    {TSR_USER_EVENT_BarcodeRead, &B::TESSERAUE_BARCODE_READ},
    {TSR_USER_EVENT_NFCMifareUltralightPresented, &B::TESSERAUE_NFC_MIFARE_ULTRALIGHT_PRESENTED},
    {TSR_USER_EVENT_MifareClassic1KPresented, &B::TESSERAUE_MIFARE_CLASSIC_1K_PRESENTED},
    {TSR_USER_EVENT_MifareClassic4KPresented, &B::TESSERAUE_MIFARE_CLASSIC_4K_PRESENTED},
    {TSR_USER_EVENT_MifareDESFirePresented, &B::TESSERAUE_MIFARE_DESFIRE_PRESENTED},
    {TSR_USER_EVENT_NFCMifareUltralightRemoved, &B::TESSERAUE_NFC_MIFARE_ULTRALIGHT_REMOVED},
    {TSR_USER_EVENT_MifareClassic1KRemoved, &B::TESSERAUE_MIFARE_CLASSIC_1K_REMOVED},
    {TSR_USER_EVENT_MifareClassic4KRemoved, &B::TESSERAUE_MIFARE_CLASSIC_4K_REMOVED},
    {TSR_USER_EVENT_MifareDESFireRemoved, &B::TESSERAUE_MIFARE_DESFIRE_REMOVED},
};
}  // namespace

UserEvent UserEventBuilder::GetValue(std::string valueString) {
    return valueOf(kEvents, valueString, TSR_USER_EVENT_None);
}

std::string UserEventBuilder::GetString(UserEvent value) {
    return stringOf(kEvents, value);
}

}  // namespace TESSERA
