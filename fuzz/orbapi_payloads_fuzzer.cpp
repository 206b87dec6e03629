// The payload decoders of PIN, PAN, bar-code and NFC events on arbitrary reader bytes: nothing
// throws or reads past the payload, and every decoded field is no longer than the payload.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ORBAPI.h"

using TESSERA::ORBAPI;

namespace {
void within(const std::vector<unsigned char>& field, size_t limit) {
    if (field.size() > limit) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<unsigned char> payload(data, data + size);
    const TESSERA::PINData pin = ORBAPI::getPINData(payload);
    within(pin.PINBlock, size);
    within(pin.KSN, size);
    const TESSERA::PANData pan = ORBAPI::getPANData(payload);
    within(pan.Data, size);
    within(pan.KSN, size);
    within(pan.PINData.PINBlock, size);
    const TESSERA::BarCodeData bar = ORBAPI::getBarCodeData(payload);
    within(bar.Data, size);
    within(bar.KSN, size);
    const TESSERA::NFCData nfc = ORBAPI::getNFCData(payload);
    within(nfc.Data, size);
    within(nfc.KSN, size);
    const TESSERA::NFCRAPDUData rapdu = ORBAPI::getNFCRAPDUData(payload);
    if (size >= 2 && rapdu.Response.size() > size) std::abort();
    return 0;
}
