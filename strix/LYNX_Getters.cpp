// C API of the swipe-reader library: card-field getters, device information, EMV transaction
// and configuration commands, extended commands and the TLV rendering of the card record. All
// act on the single-device reader.
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "ErrorCodes.h"
#include "MsrDataParser.h"
#include "SdkExport.h"
#include "StrixApi.h"
#include "stdafx.h"
#include "strix.h"

using namespace strixapi;

extern "C" {
SDK_EXPORT int _VantorMode = 0;
}

namespace {

std::mutex& serialLock() {
    static std::mutex& m = *new std::mutex();
    return m;
}
std::string& DeviceSerialNumberBuffer() {
    static std::string& s = *new std::string();
    return s;
}

std::string field(const char* text, size_t width) {
    return std::string(text, strnlen(text, width));
}
#define STRIX_FIELD(record, name) field((record).name, sizeof((record).name))

// The text of one card field, "" when no card data is ready.
template <class F>
std::string cardField(F pick) {
    VLMSRDATA r;
    if (!readyCardRecord(r)) return "";
    return pick(r);
}

long copyField(char* Buffer, int* BufferLength, std::string (*pick)(const VLMSRDATA&)) {
    VLMSRDATA r;
    if (!readyCardRecord(r)) return 1;
    std::string text = pick(r);
    if (Buffer == nullptr || BufferLength == nullptr) return ERROR_INVALID_PARAMETERS;
    // *BufferLength is the buffer's capacity on entry: a text that does not fit is refused
    // rather than written past its end.
    if (*BufferLength <= static_cast<int>(text.size())) {
        *BufferLength = static_cast<int>(text.size());
        return ERROR_BUFFER_INSUFFICIENT;
    }
    std::memcpy(Buffer, text.c_str(), text.size() + 1);
    *BufferLength = static_cast<int>(text.size());
    return 0;
}

std::string parserAttribute(const char* name) {
    VLMSRDATA r;
    if (!readyCardRecord(r)) return "";
    std::string t1 = STRIX_FIELD(r, m_szTrack1DataMasked);
    std::string t2 = STRIX_FIELD(r, m_szTrack2DataMasked);
    std::string t3 = STRIX_FIELD(r, m_szTrack3DataMasked);
    MsrDataParser parser(t1.c_str(), t2.c_str(), t3.c_str(),
                         static_cast<int>(r.m_dwCardEncodeType));
    return parser.GetAttribute(name);
}

std::string command(const std::string& text, long* rc = nullptr) {
    std::vector<char> result(26112, '\0');
    long r = LYNXSendCommand(const_cast<char*>(text.c_str()), static_cast<long>(text.size()),
                             result.data(), static_cast<long>(result.size()));
    if (rc != nullptr) *rc = r;
    return r == 0 ? std::string(result.data()) : std::string();
}

std::string commandWithLength(const std::string& text) {
    std::vector<char> result(26112, '\0');
    long r =
        LYNXSendCommandWithLength(const_cast<char*>(text.c_str()), static_cast<long>(text.size()),
                                  result.data(), static_cast<long>(result.size()));
    return r == 0 ? std::string(result.data()) : std::string();
}

std::string hex2(unsigned v) {
    char b[8];
    std::snprintf(b, sizeof b, "%02x", v & 0xFF);
    return b;
}

// Decimal digits, at most 12, left-padded with zeros and packed two digits per byte.
bool bcdAmount(const char* text, std::string& hex) {
    std::string s = text != nullptr ? text : "";
    if (s.size() > 12) return false;
    for (char c : s) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    hex = std::string(12 - s.size(), '0') + s;  // BCD digits read as hex are the digits
    return true;
}

bool isHex(const std::string& s) {
    for (char c : s) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

std::string dsn(const char* deviceSerialNumber) {
    std::string s = deviceSerialNumber != nullptr ? deviceSerialNumber : "";
    s.resize(32, '0');
    return s;
}
std::string orEmpty(const char* s) {
    return s != nullptr ? s : "";
}

std::string setConfig(const char* code, unsigned char macType, unsigned char slotNumber,
                      unsigned char operation, unsigned char databaseSelector,
                      const char* deviceSerialNumber, const char* objectsToWrite,
                      const char* CMUT) {
    return std::string(code) + hex2(macType) + hex2(slotNumber) + hex2(operation) +
           hex2(databaseSelector) + dsn(deviceSerialNumber) + orEmpty(objectsToWrite) +
           orEmpty(CMUT);
}
std::string getConfig(const char* code, unsigned char slotNumber, unsigned char operation,
                      unsigned char databaseSelector, const char* tagsToRead) {
    return std::string(code) + hex2(slotNumber) + hex2(operation) + hex2(databaseSelector) +
           orEmpty(tagsToRead);
}

// BER length of n bytes.
std::string berLength(unsigned long n) {
    char b[16];
    if (n < 128) {
        std::snprintf(b, sizeof b, "%02lX", n);
    } else if (n < 0x100) {
        std::snprintf(b, sizeof b, "81%02lX", n);
    } else if (n < 0x10000) {
        std::snprintf(b, sizeof b, "82%04lX", n);
    } else if (n < 0x1000000) {
        std::snprintf(b, sizeof b, "83%06lX", n);
    } else {
        std::snprintf(b, sizeof b, "84%08lX", n & 0xFFFFFFFFul);
    }
    return b;
}
std::string tlv(const char* tag, unsigned long length, const std::string& valueHex) {
    return std::string(tag) + berLength(length) + valueHex;
}

std::mutex& responseLock() {
    static std::mutex& m = *new std::mutex();
    return m;
}
// The last extended answer, kept for the application.
std::string& extendedResponse() {
    static std::string& s = *new std::string();
    return s;
}

}  // namespace

namespace strixapi {
void clearCachedSerial() {
    std::lock_guard<std::mutex> g(serialLock());
    DeviceSerialNumberBuffer().clear();
}
}  // namespace strixapi

extern "C" {

// Card fields.
#define STRIX_LYNX_GETTER(lynxName, plainName, member)                               \
    SDK_EXPORT long lynxName(char* Buffer, int* BufferLength) {                      \
        return copyField(Buffer, BufferLength,                                       \
                         [](const VLMSRDATA& r) { return STRIX_FIELD(r, member); }); \
    }                                                                                \
    SDK_EXPORT const char* plainName(void) {                                         \
        return STATIC_STRING(                                                        \
            cardField([](const VLMSRDATA& r) { return STRIX_FIELD(r, member); }));   \
    }

STRIX_LYNX_GETTER(LYNXGetMaskedTracks, GetMaskedTracks, m_szCardDataMasked)
STRIX_LYNX_GETTER(LYNXGetTrack1Masked, GetTrack1Masked, m_szTrack1DataMasked)
STRIX_LYNX_GETTER(LYNXGetTrack2Masked, GetTrack2Masked, m_szTrack2DataMasked)
STRIX_LYNX_GETTER(LYNXGetTrack3Masked, GetTrack3Masked, m_szTrack3DataMasked)
STRIX_LYNX_GETTER(LYNXGetTrack1, GetTrack1, m_szTrack1Data)
STRIX_LYNX_GETTER(LYNXGetTrack2, GetTrack2, m_szTrack2Data)
STRIX_LYNX_GETTER(LYNXGetTrack3, GetTrack3, m_szTrack3Data)
STRIX_LYNX_GETTER(LYNXGetFluxmark, GetFluxmark, m_szFluxmarkData)
STRIX_LYNX_GETTER(LYNXGetFluxmarkStatus, GetFluxmarkStatus, m_szFluxmarkStatus)
STRIX_LYNX_GETTER(LYNXGetSessionID, GetSessionID, m_szDUKPTSessionID)
STRIX_LYNX_GETTER(LYNXGetKSN, GetKSN, m_szDUKPTKSN)
#undef STRIX_LYNX_GETTER

SDK_EXPORT long LYNXGetDeviceSerial(char* Buffer, int* BufferLength) {
    return copyField(Buffer, BufferLength,
                     [](const VLMSRDATA& r) { return STRIX_FIELD(r, m_szDeviceSerialNumber); });
}

SDK_EXPORT const char* GetPAN(void) {
    return STATIC_STRING(cardField([](const VLMSRDATA& r) { return STRIX_FIELD(r, m_szPAN); }));
}
SDK_EXPORT long GetPANLength(void) {
    return static_cast<long>(
        cardField([](const VLMSRDATA& r) { return STRIX_FIELD(r, m_szPAN); }).size());
}
SDK_EXPORT int GetCardPANLength(void) {
    return static_cast<int>(GetPANLength());
}
SDK_EXPORT const char* GetCardIIN(void) {
    std::string pan = cardField([](const VLMSRDATA& r) { return STRIX_FIELD(r, m_szPAN); });
    return STATIC_STRING(pan.size() > 5 ? pan.substr(0, 6) : "");
}
SDK_EXPORT const char* GetCardLast4(void) {
    std::string pan = cardField([](const VLMSRDATA& r) { return STRIX_FIELD(r, m_szPAN); });
    return STATIC_STRING(pan.size() > 3 ? pan.substr(pan.size() - 4) : "");
}
SDK_EXPORT const char* GetCardName(void) {
    return STATIC_STRING(parserAttribute("Name"));
}
SDK_EXPORT const char* GetFirstName(void) {
    return STATIC_STRING(parserAttribute("FirstName"));
}
SDK_EXPORT const char* GetLastName(void) {
    return STATIC_STRING(parserAttribute("Surname"));
}
SDK_EXPORT const char* GetMiddleName(void) {
    std::string middle = parserAttribute("MiddleInitial");
    std::string suffix = parserAttribute("Suffix");
    return STATIC_STRING(!middle.empty() && !suffix.empty() ? middle + " " + suffix
                                                            : middle + suffix);
}
SDK_EXPORT const char* GetCardExpDate(void) {
    return STATIC_STRING(parserAttribute("ExpirationDate"));
}
SDK_EXPORT const char* GetExpDate(void) {
    return GetCardExpDate();
}
SDK_EXPORT const char* GetExpDateYear(void) {
    std::string e = parserAttribute("ExpirationDate");
    return STATIC_STRING(e.substr(0, 2));
}
SDK_EXPORT const char* GetExpDateMonth(void) {
    std::string e = parserAttribute("ExpirationDate");
    return STATIC_STRING(e.size() > 2 ? e.substr(2, 2) : "");
}
SDK_EXPORT const char* GetCardServiceCode(void) {
    return STATIC_STRING(parserAttribute("ServiceCode"));
}
SDK_EXPORT const char* GetTrackDecodeStatus(void) {
    return STATIC_STRING(cardField([](const VLMSRDATA& r) {
        char b[16];
        std::snprintf(b, sizeof b, "%02lx%02lx%02lx", r.m_dwTrack1DcdStatus & 0xFF,
                      r.m_dwTrack2DcdStatus & 0xFF, r.m_dwTrack3DcdStatus & 0xFF);
        return std::string(b);
    }));
}
SDK_EXPORT const char* GetTrack1DecodeStatus(void) {
    return STATIC_STRING(
        cardField([](const VLMSRDATA& r) { return std::to_string(r.m_dwTrack1DcdStatus); }));
}
SDK_EXPORT const char* GetTrack2DecodeStatus(void) {
    return STATIC_STRING(
        cardField([](const VLMSRDATA& r) { return std::to_string(r.m_dwTrack2DcdStatus); }));
}
SDK_EXPORT const char* GetTrack3DecodeStatus(void) {
    return STATIC_STRING(
        cardField([](const VLMSRDATA& r) { return std::to_string(r.m_dwTrack3DcdStatus); }));
}
SDK_EXPORT const char* GetEncodeType(void) {
    return STATIC_STRING(
        cardField([](const VLMSRDATA& r) { return std::to_string(r.m_dwCardEncodeType); }));
}
SDK_EXPORT const char* GetEncryptionStatus(void) {
    return STATIC_STRING(cardField([](const VLMSRDATA& r) {
        char b[24];
        std::snprintf(b, sizeof b, "%04lx", r.m_dwEncryptionStatus);
        return std::string(b);
    }));
}
SDK_EXPORT long GetFluxmarkLength(void) {
    VLMSRDATA r;
    return readyCardRecord(r) ? r.m_dwFluxmarkLength : 0;
}

// Device information.
SDK_EXPORT const char* GetFirmware(void) {
    return STATIC_STRING(command("0000"));
}
SDK_EXPORT const char* GetDevicePartNumber(void) {
    std::string r = command("0000");
    return STATIC_STRING(r.size() >= 16 ? r.substr(0, 16) : "");
}
SDK_EXPORT const char* GetDeviceSerial(void) {
    {
        std::lock_guard<std::mutex> g(serialLock());
        if (!DeviceSerialNumberBuffer().empty()) return STATIC_STRING(DeviceSerialNumberBuffer());
    }
    std::string text = H2ASCII(command("0003"));
    text = text.substr(0, 127);
    std::lock_guard<std::mutex> g(serialLock());
    DeviceSerialNumberBuffer() = text;
    return STATIC_STRING(text);
}
SDK_EXPORT const char* GetCapTracks(void) {
    return STATIC_STRING(command("0005"));
}
SDK_EXPORT const char* GetCapCardova20Encryption(void) {
    std::string r = command("0036");
    return STATIC_STRING(std::atol(r.c_str()) > 0 ? "1" : "0");
}
SDK_EXPORT const char* GetCapMagStripeEncryption(void) {
    std::string r = command("15");
    return STATIC_STRING(std::atol(r.c_str()) > 1 ? "1" : "0");
}
SDK_EXPORT long GetBatteryLevel(void) {
    try {
        long rc = 0;
        std::string r = command("45", &rc);
        if (rc == 0 && !r.empty() && isHex(r)) return std::stol(r, nullptr, 16);
        r = command("4601000005");
        if (r.size() > 6 && r.compare(0, 6, "010100") == 0 && isHex(r.substr(6))) {
            return std::stol(r.substr(6), nullptr, 16);
        }
    } catch (...) {
    }
    return 100;
}
SDK_EXPORT int TerminateBLEConnection(void) {
    char result[128] = {0};
    char cmd[] = "4601000B";
    long rc = LYNXSendCommand(cmd, 8, result, sizeof result);
    if (rc == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    return static_cast<int>(rc);
}
SDK_EXPORT const char* GetDeviceName(void) {
    CRConfigTable c = openedConfig();
    return STATIC_STRING(field(c.strDesc, sizeof c.strDesc));
}
SDK_EXPORT const char* GetProductID(void) {
    long pid = 0;
    LYNXGetPID(&pid);
    char b[24];
    std::snprintf(b, sizeof b, "%04lx", pid);
    return STATIC_STRING(b);
}
SDK_EXPORT int GetVANTORMode(void) {
    return _VantorMode;
}
SDK_EXPORT void SetVANTORMode(int mode) {
    _VantorMode = mode;
}
SDK_EXPORT bool IsDeviceEMV(void) {
    if (!IsDeviceConnected()) return false;
    std::string pid = GetProductID();
    static const char* const emv[] = {"0019", "0119", "001a", "001A", "001c",
                                      "001C", "011c", "011C", "001d", "001D",
                                      "001e", "001E", "001f", "001F", "0000"};
    if (pid.empty()) return true;
    for (const char* p : emv) {
        if (pid == p) return true;
    }
    return false;
}

// Extended commands.
SDK_EXPORT int SendExtendedCommand(const char* lpCmd) {
    try {
        std::string cmd = lpCmd != nullptr ? lpCmd : "";
        if (cmd.size() <= 7 || !isHex(cmd)) return ERROR_INVALID_PARAMETERS;
        unsigned long length = std::stoul(cmd.substr(4, 4), nullptr, 16);
        std::string data = cmd.substr(8);
        if (data.size() != 2 * length) return ERROR_INVALID_PARAMETERS;
        std::string text = cmd.substr(0, 4) + ":" + data;
        std::vector<char> result(26112, '\0');
        long rc = LYNXSendCommand(const_cast<char*>(text.c_str()), static_cast<long>(text.size()),
                                  result.data(), static_cast<long>(result.size()));
        if (rc == 0) {
            std::string hex = result.data();
            char head[16];
            std::snprintf(head, sizeof head, "%04x%04x", GetResultCode() & 0xFFFF,
                          static_cast<unsigned>(hex.size() / 2) & 0xFFFF);
            std::string answer = head + hex;
            {
                std::lock_guard<std::mutex> g(responseLock());
                extendedResponse() = answer;
            }
            localDelegate().OnExtendedResponse(answer);
        }
        return static_cast<int>(rc);
    } catch (...) {
        return ERROR_UNKNOWN;
    }
}

// EMV transaction.
SDK_EXPORT const char* StartTransaction(unsigned char timeLimit, unsigned char cardType,
                                        unsigned char option, const char* amount,
                                        unsigned char transactionType, const char* cashBack,
                                        const char* currencyCode, unsigned char mode) {
    localDelegate().clearNotify();
    std::string amountHex, cashBackHex;
    std::string currency = currencyCode != nullptr ? currencyCode : "";
    if (!bcdAmount(amount, amountHex) || !bcdAmount(cashBack, cashBackHex) ||
        currency.size() != 4 || !isHex(currency)) {
        // A text the record cannot hold is refused: sending a cut amount would charge a
        // different sum.
        SingleDevice& s = single();
        std::shared_lock<std::shared_mutex> g(s.lock);
        if (s.engine != nullptr) s.engine->setResultCode(ERROR_INVALID_PARAMETERS);
        return STATIC_STRING("");
    }
    std::string record = hex2(timeLimit) + hex2(cardType) + hex2(option) + amountHex +
                         hex2(transactionType) + cashBackHex + currency + hex2(mode);
    SendExtendedCommand(("03000013" + record).c_str());
    return STATIC_STRING("");
}
SDK_EXPORT const char* GetTransactionProgress(int) {
    return STATIC_STRING(localDelegate().waitForNotify());
}
SDK_EXPORT const char* CancelTransaction(void) {
    return STATIC_STRING(commandWithLength("4906000003040000"));
}
SDK_EXPORT const char* SetUserSelectionResult(unsigned char status, unsigned char selection) {
    return STATIC_STRING(commandWithLength("4908000003020002" + hex2(status) + hex2(selection)));
}
SDK_EXPORT const char* SetAcquirerResponse(const char* response) {
    return STATIC_STRING(command("0303:" + orEmpty(response)));
}

// EMV configuration.
SDK_EXPORT const char* SetTerminalConfiguration(unsigned char macType, unsigned char slotNumber,
                                                unsigned char operation,
                                                unsigned char databaseSelector,
                                                const char* deviceSerialNumber,
                                                const char* objectsToWrite, const char* CMUT) {
    return STATIC_STRING(
        command(setConfig("0305:", macType, slotNumber, operation, databaseSelector,
                          deviceSerialNumber, objectsToWrite, CMUT)));
}
SDK_EXPORT const char* GetTerminalConfiguration(unsigned char slotNumber, unsigned char operation,
                                                unsigned char databaseSelector,
                                                const char* tagsToRead) {
    return STATIC_STRING(
        command(getConfig("0306:", slotNumber, operation, databaseSelector, tagsToRead)));
}
SDK_EXPORT const char* SetApplicationConfiguration(unsigned char macType, unsigned char slotNumber,
                                                   unsigned char operation,
                                                   unsigned char databaseSelector,
                                                   const char* deviceSerialNumber,
                                                   const char* objectsToWrite, const char* CMUT) {
    return STATIC_STRING(
        command(setConfig("0307:", macType, slotNumber, operation, databaseSelector,
                          deviceSerialNumber, objectsToWrite, CMUT)));
}
SDK_EXPORT const char* GetApplicationConfiguration(unsigned char slotNumber,
                                                   unsigned char operation,
                                                   unsigned char databaseSelector,
                                                   const char* tagsToRead) {
    return STATIC_STRING(
        command(getConfig("0308:", slotNumber, operation, databaseSelector, tagsToRead)));
}
SDK_EXPORT const char* SetAcquirerCAPublicKey(unsigned char macType, unsigned char slotNumber,
                                              unsigned char operation,
                                              unsigned char databaseSelector,
                                              const char* deviceSerialNumber,
                                              const char* objectsToWrite, const char* CMUT) {
    return STATIC_STRING(
        command(setConfig("0309:", macType, slotNumber, operation, databaseSelector,
                          deviceSerialNumber, objectsToWrite, CMUT)));
}
SDK_EXPORT const char* GetAcquirerCAPublicKey(unsigned char slotNumber, unsigned char operation,
                                              unsigned char databaseSelector,
                                              const char* tagsToRead) {
    return STATIC_STRING(
        command(getConfig("030a:", slotNumber, operation, databaseSelector, tagsToRead)));
}
SDK_EXPORT const char* GetKernelInformation(unsigned char Mode) {
    return STATIC_STRING(command("030b:" + hex2(Mode)));
}
SDK_EXPORT const char* SetDateTime(unsigned char macType, const char* deviceSerialNumber,
                                   unsigned char byteMonth, unsigned char byteDay,
                                   unsigned char byteHour, unsigned char byteMinute,
                                   unsigned char byteSecond, unsigned char byteWeekDay,
                                   unsigned char byteYear, const char* CMUT) {
    return STATIC_STRING(command("030C:" + hex2(macType) + orEmpty(deviceSerialNumber) +
                                 hex2(byteMonth) + hex2(byteDay) + hex2(byteHour) +
                                 hex2(byteMinute) + hex2(byteSecond) + hex2(byteWeekDay) +
                                 hex2(byteYear) + orEmpty(CMUT)));
}
SDK_EXPORT const char* GetDateTime(void) {
    return STATIC_STRING(commandWithLength("49060000030D0000"));
}
SDK_EXPORT const char* CommitConfiguration(unsigned char database) {
    return STATIC_STRING(commandWithLength("49070000030E0001" + hex2(database)));
}
SDK_EXPORT void SetLEDState(unsigned char state) {
    commandWithLength("4D01" + hex2(state));
}

// The card record as BER-TLV.
SDK_EXPORT const char* GetTLVPayload(void) {
    SingleDevice& s = single();
    VLMSRDATA r;
    bool encrypting;
    {
        std::shared_lock<std::shared_mutex> g(s.lock);
        if (s.engine == nullptr) return STATIC_STRING("");
        r = s.engine->getCardData();
        encrypting = s.engine->getConfigTable().dwEncryptionCapable == 1;
    }
    // Tracks of encrypting readers are hex already; plain track characters are turned into hex
    // so that each value has the length its item announces.
    auto track = [&](const std::string& t) { return encrypting ? t : ASCII2H(t); };
    std::string fluxStatus = STRIX_FIELD(r, m_szFluxmarkStatus);
    std::string ksn = STRIX_FIELD(r, m_szDUKPTKSN);
    std::string items = tlv("DFDF37", r.m_dwTrack1Length, track(STRIX_FIELD(r, m_szTrack1Data))) +
                        tlv("DFDF39", r.m_dwTrack2Length, track(STRIX_FIELD(r, m_szTrack2Data))) +
                        tlv("DFDF3B", r.m_dwTrack3Length, track(STRIX_FIELD(r, m_szTrack3Data))) +
                        tlv("DFDF3C", r.m_dwFluxmarkLength, STRIX_FIELD(r, m_szFluxmarkData)) +
                        tlv("DFDF3D", fluxStatus.size() / 2, fluxStatus) +
                        tlv("DFDF50", ksn.size() / 2, ksn);
    std::string f4 = tlv("F4", items.size() / 2, items);
    std::string serial = STRIX_FIELD(r, m_szDeviceSerialNumber);
    std::string content = tlv("DFDF25", serial.size(), ASCII2H(serial)) + f4;
    return STATIC_STRING(tlv("FA", content.size() / 2, content));
}

}  // extern "C"
