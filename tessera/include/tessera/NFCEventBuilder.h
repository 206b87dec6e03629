#pragma once
#include <string>

#include "Enumerations.h"
#include "Export.h"

namespace TESSERA {

// NFC-event strings carried by EVENT_TYPE_NFCEvent events. MifareClassic/MifareClassic1K and
// CommandFailed/Failed share a value and therefore a string.
class SDK_EXPORT NFCEventBuilder {
  public:
    static const std::string TESSERATS_NFC_TAG_REMOVED;            // "tag_removed"
    static const std::string TESSERATS_NFC_MIFARE_ULTRALIGHT;      // "nfc_mifare_ultralight"
    static const std::string TESSERATS_NFC_MIFARE_CLASSIC;         // "mifare_classic_1K"
    static const std::string TESSERATS_NFC_COMMAND_FAILED;         // "failed"
    static const std::string TESSERATS_NFC_IO_FAILED;              // "io_failed"
    static const std::string TESSERATS_NFC_MIFARE_CLASSIC_4K;      // "mifare_classic_4K"
    static const std::string TESSERATS_NFC_MIFARE_DESFIRE;         // "mifare_desfire"
    static const std::string TESSERATS_NFC_AUTHENTICATION_FAILED;  // "authentication_failed"

    // Exact (case-sensitive) match; TESSERANFCE_None otherwise.
    static NFCEvent GetValue(std::string valueString);
    static std::string GetString(NFCEvent value);
};

}  // namespace TESSERA
