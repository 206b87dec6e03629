#pragma once
#include <vector>

#include "BarCodeData.h"
#include "Export.h"
#include "NFCData.h"
#include "NFCRAPDUData.h"
#include "PANData.h"
#include "PINData.h"

namespace TESSERA {

// Decoders of the BER-TLV payloads that message-schema readers send with PIN, PAN, bar-code
// and NFC events. Missing tags leave their fields empty or zero; nothing throws.
class SDK_EXPORT ORBAPI {
  public:
    // The PIN elements inside a top-level F5 container.
    static PINData getPINData(std::vector<unsigned char> data);
    // The PAN elements, with a PIN block when an F5 container sits beside them.
    static PANData getPANData(std::vector<unsigned char> data);
    // Clear data (DF74) when present, else the encrypted form.
    static BarCodeData getBarCodeData(std::vector<unsigned char> data);
    // Clear data (DF7A) when present, else the encrypted form.
    static NFCData getNFCData(std::vector<unsigned char> data);
    // A two-byte length prefix followed by TLV data; Response holds the whole input.
    static NFCRAPDUData getNFCRAPDUData(std::vector<unsigned char> dataBytes);
};

}  // namespace TESSERA
