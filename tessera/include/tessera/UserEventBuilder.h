#pragma once
#include <string>

#include "Enumerations.h"
#include "Export.h"

namespace TESSERA {

// User-event strings carried by EVENT_TYPE_UserEvent events. The two DESFire events use the
// Classic wording ("mifare_classic_presented", "mifare_classic_removed"); "card_swiped" and
// "barcode_read" are also transaction-status strings, the event type tells them apart.
class SDK_EXPORT UserEventBuilder {
  public:
    static const std::string TESSERAUE_CONTACTLESS_CARD_PRESENTED;
    static const std::string TESSERAUE_CONTACTLESS_CARD_REMOVED;
    static const std::string TESSERAUE_CARD_SEATED;
    static const std::string TESSERAUE_CARD_UNSEATED;
    static const std::string TESSERAUE_CARD_SWIPED;
    static const std::string TESSERAUE_TOUCH_PRESENTED;
    static const std::string TESSERAUE_TOUCH_REMOVED;
    static const std::string TESSERAUE_BARCODE_READ;
    static const std::string TESSERAUE_NFC_MIFARE_ULTRALIGHT_PRESENTED;
    static const std::string TESSERAUE_MIFARE_CLASSIC_1K_PRESENTED;
    static const std::string TESSERAUE_MIFARE_CLASSIC_4K_PRESENTED;
    static const std::string TESSERAUE_MIFARE_DESFIRE_PRESENTED;
    static const std::string TESSERAUE_NFC_MIFARE_ULTRALIGHT_REMOVED;
    static const std::string TESSERAUE_MIFARE_CLASSIC_1K_REMOVED;
    static const std::string TESSERAUE_MIFARE_CLASSIC_4K_REMOVED;
    static const std::string TESSERAUE_MIFARE_DESFIRE_REMOVED;

    // Exact match; TSR_USER_EVENT_None otherwise. The shared DESFire/Classic wording reads
    // back as the DESFire event.
    static UserEvent GetValue(std::string valueString);
    static std::string GetString(UserEvent value);
};

}  // namespace TESSERA
