#include "ORBAPI.h"

#include <list>
#include <string>

#include "TLV.h"
#include "stdafx.h"

namespace TESSERA {

namespace {

using Bytes = std::vector<unsigned char>;

// The bytes of a tag's value (empty when the tag is absent).
Bytes bytesOf(const std::list<TLV>& elements, const char* tag) {
    return H2BV(TLV::getTagValue(elements, tag));
}

// The first byte of a tag's value, 0 when the tag is absent or empty.
unsigned char firstByteOf(const std::list<TLV>& elements, const char* tag) {
    const Bytes value = bytesOf(elements, tag);
    return value.empty() ? 0 : value.front();
}

}  // namespace

PINData ORBAPI::getPINData(std::vector<unsigned char> data) {
    if (data.empty()) return PINData();
    // The PIN elements sit in an F5 container at the top level only.
    const std::string container = TLV::getTagValue(TLV::parseTLVDataFlat(data), "F5");
    if (container.empty()) return PINData();
    const std::list<TLV> elements = TLV::parseTLVData(container);
    return PINData(bytesOf(elements, "99"), bytesOf(elements, "DFDF41"),
                   firstByteOf(elements, "DFDF71"), firstByteOf(elements, "DFDF42"));
}

PANData ORBAPI::getPANData(std::vector<unsigned char> data) {
    if (data.empty()) return PANData();
    const std::list<TLV> elements = TLV::parseTLVData(data);
    // A combined PAN-and-PIN entry carries the PIN block in an F5 container beside the PAN.
    return PANData(bytesOf(elements, "DFDF59"), bytesOf(elements, "DFDF56"),
                   firstByteOf(elements, "DFDF57"), getPINData(data));
}

BarCodeData ORBAPI::getBarCodeData(std::vector<unsigned char> data) {
    if (data.empty()) return BarCodeData();
    const std::list<TLV> elements = TLV::parseTLVData(data);
    Bytes clear = bytesOf(elements, "DF74");
    if (!clear.empty()) return BarCodeData(std::move(clear), false, 0, {});
    return BarCodeData(bytesOf(elements, "DFDF59"), true, firstByteOf(elements, "DFDF51"),
                       bytesOf(elements, "DFDF50"));
}

NFCData ORBAPI::getNFCData(std::vector<unsigned char> data) {
    if (data.empty()) return NFCData(Bytes());
    const std::list<TLV> elements = TLV::parseTLVData(data);
    if (elements.empty()) return NFCData(Bytes());
    Bytes clear = bytesOf(elements, "DF7A");
    if (!clear.empty()) return NFCData(std::move(clear));
    return NFCData(bytesOf(elements, "DFDF59"), true, firstByteOf(elements, "DFDF51"),
                   bytesOf(elements, "DFDF50"));
}

NFCRAPDUData ORBAPI::getNFCRAPDUData(std::vector<unsigned char> dataBytes) {
    // A two-byte length prefix (not checked against the data) followed by TLV data.
    if (dataBytes.size() < 2) return NFCRAPDUData();
    if (dataBytes.size() == 2) return NFCRAPDUData(dataBytes, {}, false, 0, {});
    const std::list<TLV> elements =
        TLV::parseTLVData(dataBytes.data() + 2, static_cast<int>(dataBytes.size() - 2));
    if (elements.empty()) return NFCRAPDUData();
    Bytes clear = bytesOf(elements, "DF7A");
    if (!clear.empty()) return NFCRAPDUData(dataBytes, std::move(clear), false, 0, {});
    return NFCRAPDUData(dataBytes, bytesOf(elements, "DFDF59"), true,
                        firstByteOf(elements, "DFDF51"), bytesOf(elements, "DFDF50"));
}

}  // namespace TESSERA
