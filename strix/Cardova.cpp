#include "Cardova.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "CardovaBootLoader.h"
#include "Chexon.h"
#include "ErrorCodes.h"
#include "Kestrel.h"
#include "KestrelBle.h"
#include "KestrelOEMGuardBootLoader.h"
#include "KestrelSerial.h"
#include "MsrDataParser.h"
#include "stdafx.h"
#include "tTorvo.h"
#include "tTorvoBle.h"

namespace {

// Copies text into a fixed-width field, always NUL-terminated, cut to the field's width.
template <size_t N>
void setText(char (&dst)[N], const std::string& src) {
    size_t n = std::min(src.size(), N - 1);
    std::memcpy(dst, src.data(), n);
    dst[n] = '\0';
}

// The NUL-terminated text of a field (never reads past its width).
template <size_t N>
std::string text(const char (&src)[N]) {
    return std::string(src, strnlen(src, N));
}

// Upper-case hex of n bytes, cut so that the text and its terminator fit the field.
template <size_t N>
void setHex(char (&dst)[N], const unsigned char* src, size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    n = std::min(n, (N - 1) / 2);
    for (size_t i = 0; i < n; ++i) {
        dst[2 * i] = digits[src[i] >> 4];
        dst[2 * i + 1] = digits[src[i] & 0x0F];
    }
    dst[2 * n] = '\0';
}

template <size_t N>
const unsigned char* bytes(const char (&src)[N]) {
    return reinterpret_cast<const unsigned char*>(src);
}

int hexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Offsets of the card-data report.
constexpr size_t kTrackOffsetsClear[3] = {8, 118, 228};
constexpr size_t kTrackOffsetsEncrypting[3] = {8, 120, 232};
constexpr int kPlainReportLength = 338;
constexpr size_t kFluxmarkStatusOffset = 345;
constexpr size_t kFluxmarkLengthOffset = 349;
constexpr size_t kFluxmarkOffset = 350;
constexpr size_t kFluxmarkSize = 128;
constexpr size_t kSerialOffset = 478;
constexpr size_t kSerialSize = 16;
constexpr size_t kEncryptionStatusOffset = 494;
constexpr size_t kKsnOffset = 496;
constexpr size_t kKsnSize = 10;
constexpr size_t kMaskedLengthOffset = 506;
constexpr size_t kMaskedTrackOffsets[3] = {509, 621, 733};
constexpr size_t kSessionIdOffset = 845;
constexpr size_t kSessionIdSize = 8;
constexpr size_t kBatteryOffset = 931;

}  // namespace

const char* const Cardova::card_encode_type_str[7] = {"ISO",   "AAMVA",        "CADL", "BLANK",
                                                      "OTHER", "UNDETERMINED", "NONE"};

Cardova::Cardova() {
    std::memset(&cardData, 0, sizeof cardData);
    std::memset(&rawData, 0, sizeof rawData);
    std::memset(&configTable, 0, sizeof configTable);
}

Cardova::~Cardova() {
    Cardova::close();
}

Cardova* Cardova::open(const char* path, CRConfigTable* config) {
    Cardova* engine = nullptr;
    long pid = config != nullptr ? config->dwPID : -1;
    // Variant engines of further models join this table as they are added.
    switch (pid) {
        case 0x0019:
        case 0x001A:
        case 0x001D:
        case 0x001E:
            engine = new Kestrel();
            break;
        case 0x001C:
        case 0x001F:
            engine = new tTorvo();
            break;
        case 0x011C:
            engine = new tTorvoBle();
            break;
        case 0x0119:
            engine = new KestrelBle();
            break;
        case 0x2251:
            engine = new Chexon();
            break;
        case 0x0012:
            engine = new CardovaBootLoader();
            break;
        case 0x5357:
            engine = new KestrelOEMGuardBootLoader();
            break;
        case 0x0011:
        case 0x0013:
        case 0x0001:
        case 0x0002:
        case 0x0003:
            engine = new Cardova();
            break;
        case 0x0018:
            return nullptr;  // this model has no engine
        default:
            if (path != nullptr && strncasecmp(path, "SERIAL://", 9) == 0)
                engine = new KestrelSerial();
            else
                engine = new Kestrel();
            break;
    }
    if (!engine->_open(path, config)) {
        delete engine;
        return nullptr;
    }
    {
        std::lock_guard<std::mutex> guard(engine->dataLock);
        engine->rawData.m_dwDevicePID = config != nullptr ? config->dwPID : 0;
    }
    engine->afterOpen();
    return engine;
}

bool Cardova::_open(const char* path, CRConfigTable* config) {
    if (config != nullptr)
        configTable = *config;
    else
        std::memset(&configTable, 0, sizeof configTable);
    iConnection* c = iConnection::open(path);
    if (c == nullptr) return false;
    adoptConnection(c);
    if (Cardova_Delegate* d = getDelegate()) d->OnDeviceChange(this, STRIX_STATE_CONNECTED);
    return true;
}

void Cardova::adoptConnection(iConnection* c) {
    c->registerOnDataEvent(&Cardova::_onData, this);
    c->registerConnectionChanged(&Cardova::_onChanged, this);
    c->setErrorHandler(this);
    delete connection.exchange(c);
}

void Cardova::_onData(iConnection* connObject, unsigned char* pData, int dataLen,
                      void* associateObject) {
    try {
        static_cast<Cardova*>(associateObject)->onData(connObject, pData, dataLen);
    } catch (...) {
    }
}

void Cardova::_onChanged(const char* pathScheme, int change, void* associateObject) {
    try {
        static_cast<Cardova*>(associateObject)->onChanged(pathScheme, change);
    } catch (...) {
    }
}

void Cardova::onData(iConnection*, unsigned char* pData, int dataLen) {
    getMSRResult(pData, dataLen);
}

void Cardova::onChanged(const char*, int) {
    if (Cardova_Delegate* d = getDelegate()) d->OnDeviceChange(this, STRIX_STATE_DISCONNECTED);
}

void Cardova::setError(int code, char* message, void*) {
    if (Cardova_Delegate* d = getDelegate()) d->OnError(this, code, message);
}

void Cardova::close() {
    // Deleting the connection stops and joins its reading thread: no callback follows.
    iConnection* c = connection.exchange(nullptr);
    if (c == nullptr) return;  // already closed: nothing more to report
    delete c;
    if (Cardova_Delegate* d = getDelegate()) d->OnDeviceChange(this, STRIX_STATE_DISCONNECTED);
}

void Cardova::clear() {
    std::lock_guard<std::mutex> guard(dataLock);
    std::memset(&cardData, 0, sizeof cardData);
}

bool Cardova::isConnected() {
    return connection.load() != nullptr;
}

VLMSRDATA Cardova::getCardData() {
    std::lock_guard<std::mutex> guard(dataLock);
    return cardData;
}

STRIXDATA Cardova::getStrixData() {
    std::lock_guard<std::mutex> guard(dataLock);
    return rawData;
}

void Cardova::setDelegate(Cardova_Delegate* d) {
    _delegate.store(d);
    if (d != nullptr && isConnected()) d->OnDeviceChange(this, STRIX_STATE_CONNECTED);
}

std::string Cardova::getMsrRawData() {
    return msrRawData.getAll();
}

std::string Cardova::getRawData() {
    iConnection* c = connection.load();
    return c != nullptr ? c->getAll() : "";
}

void Cardova::clearRawData() {
    if (iConnection* c = connection.load()) c->clear();
}

int Cardova::getResultCode() {
    return resultCode.load();
}

void Cardova::setResultCode(int code) {
    resultCode.store(code);
}

// ---- command transaction ----

bool Cardova::hexToBytes(const unsigned char* hex, int hexLen, std::vector<unsigned char>& out) {
    out.clear();
    if (hex == nullptr || hexLen < 0) return false;
    for (int i = 0; i + 1 < hexLen; i += 2) {
        int hi = hexValue(hex[i]);
        int lo = hexValue(hex[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<unsigned char>(hi * 16 + lo));
    }
    return true;
}

bool Cardova::composeCommand(unsigned char* hexCmd, int hexCmdLen, unsigned char* buffer,
                             int* bufferLen) {
    std::vector<unsigned char> cmd;
    if (!hexToBytes(hexCmd, hexCmdLen, cmd) || cmd.empty()) return false;
    if (buffer == nullptr || bufferLen == nullptr) return false;
    const int count = static_cast<int>(cmd.size());
    // The length byte cannot describe more than 255 data bytes; longer commands use the
    // extended form.
    if (count + 1 >= *bufferLen || count - 1 > 255) return false;
    buffer[1] = cmd[0];
    buffer[2] = static_cast<unsigned char>(count - 1);
    std::copy(cmd.begin() + 1, cmd.end(), buffer + 3);
    *bufferLen = count + 2;
    return true;
}

int Cardova::sendCommand(unsigned char* command, int commandLength) {
    unsigned char buffer[kCommandBufferSize] = {0};
    int length = kCommandBufferSize;
    if (!composeCommand(command, commandLength, buffer, &length)) return ERROR_INVALID_PARAMETERS;
    iConnection* c = connection.load();
    if (c == nullptr) return ERROR_DEVICE_NOT_OPEN;
    return c->send(reinterpret_cast<char*>(buffer), length, 1);
}

int Cardova::getResponse(unsigned char* buf, int* BufferLength) {
    if (buf == nullptr || BufferLength == nullptr) return ERROR_INVALID_PARAMETERS;
    iConnection* c = connection.load();
    if (c == nullptr) return ERROR_DEVICE_NOT_OPEN;
    try {
        buf[0] = 0;
        return c->receive(buf, BufferLength);
    } catch (...) {
        return ERROR_UNKNOWN;
    }
}

int Cardova::getResponse(unsigned char* buf, int BufferLength) {
    int length = BufferLength;
    return getResponse(buf, &length);
}

int Cardova::formatPlainResponse(const unsigned char* buf, int BufferLength, char* out,
                                 int* outLen) {
    if (buf == nullptr || out == nullptr || outLen == nullptr) return ERROR_INVALID_PARAMETERS;
    const int capacity = *outLen;
    if (capacity > 0) out[0] = '\0';
    *outLen = 0;
    if (BufferLength < 3) return ERROR_BAD_COMMUNICATION;
    const int status = buf[1];
    const int length = buf[2];
    resultCode.store(status);
    if (3 + length > BufferLength) return ERROR_BAD_COMMUNICATION;
    if (2 * length + 1 > capacity) return ERROR_BUFFER_INSUFFICIENT;
    std::string hex = B2H(buf + 3, length);
    std::memcpy(out, hex.c_str(), hex.size() + 1);
    *outLen = 2 * length;
    return status;
}

int Cardova::MakeHexStringFromResponse(unsigned char* buf, int BufferLength, char* out,
                                       int* outLen) {
    return formatPlainResponse(buf, BufferLength, out, outLen);
}

// ---- card data ----

bool Cardova::parseCardReport(const unsigned char* data, int dataLen) {
    if (data == nullptr || dataLen < 8) return false;
    const size_t size = static_cast<size_t>(dataLen);
    auto fits = [size](size_t offset, size_t n) { return n == 0 || offset + n <= size; };
    STRIXDATA& r = rawData;

    r.m_dwTk1DcdStatus = data[1];
    r.m_dwTk2DcdStatus = data[2];
    r.m_dwTk3DcdStatus = data[3];
    r.m_dwCardEncodeType = data[7];
    const bool encrypting = configTable.dwEncryptionCapable == 1;
    const size_t* offsets = encrypting ? kTrackOffsetsEncrypting : kTrackOffsetsClear;
    char* rawTracks[3] = {r.m_szTk1DataRaw, r.m_szTk2DataRaw, r.m_szTk3DataRaw};
    long* lengths[3] = {&r.m_dwTk1Length, &r.m_dwTk2Length, &r.m_dwTk3Length};
    for (int k = 0; k < 3; ++k) {
        const size_t n = data[4 + k];
        if (!fits(offsets[k], n)) return false;
        std::memcpy(rawTracks[k], data + offsets[k], n);  // n <= 255 < field width
        rawTracks[k][n] = '\0';
        *lengths[k] = static_cast<long>(n);
    }

    char* masked[3] = {r.m_szTk1DataMasked, r.m_szTk2DataMasked, r.m_szTk3DataMasked};
    long* maskedLengths[3] = {&r.m_dwTk1LengthMasked, &r.m_dwTk2LengthMasked,
                              &r.m_dwTk3LengthMasked};
    if (dataLen <= kPlainReportLength) {
        for (int k = 0; k < 3; ++k) {
            std::memcpy(masked[k], rawTracks[k], static_cast<size_t>(*lengths[k]) + 1);
            *maskedLengths[k] = *lengths[k];
        }
        return true;
    }

    // Secure fields: each is read only when the report carries it completely.
    if (configTable.dwFluxmarkCapable == 1 && fits(kFluxmarkStatusOffset, 4 + 1 + kFluxmarkSize)) {
        const unsigned char* s = data + kFluxmarkStatusOffset;
        r.m_dwFluxmarkStatus = static_cast<long>(s[0] | (s[1] << 8) | (s[2] << 16) |
                                                 (static_cast<unsigned long>(s[3]) << 24));
        // The report holds 128 Fluxmark bytes; a larger announced length is cut to them.
        r.m_dwFluxmarkLength = std::min<long>(data[kFluxmarkLengthOffset], kFluxmarkSize);
        std::memcpy(r.m_szFluxmarkDataRaw, data + kFluxmarkOffset, kFluxmarkSize);
    }
    if (configTable.dwDeviceSerialNumberCapable == 1 && fits(kSerialOffset, kSerialSize)) {
        char serial[kSerialSize + 1] = {0};
        std::memcpy(serial, data + kSerialOffset, kSerialSize);
        setText(r.m_szDeviceSerialNumber, serial);
    }
    if (fits(kEncryptionStatusOffset, 2))
        r.m_dwEncryptionStatus =
            data[kEncryptionStatusOffset] | (data[kEncryptionStatusOffset + 1] << 8);
    if (configTable.dwDUKPTKSNCapable == 1 && fits(kKsnOffset, kKsnSize))
        std::memcpy(r.m_szDUKPTKSNRaw, data + kKsnOffset, kKsnSize);
    if (configTable.dwMaskingCapable == 1 && fits(kMaskedLengthOffset, 3)) {
        for (int k = 0; k < 3; ++k) {
            const size_t n = data[kMaskedLengthOffset + k];
            if (!fits(kMaskedTrackOffsets[k], n)) return false;
            std::memcpy(masked[k], data + kMaskedTrackOffsets[k], n);
            masked[k][n] = '\0';
            *maskedLengths[k] = static_cast<long>(n);
        }
    }
    if (configTable.dwSessionIDCapable == 1 && fits(kSessionIdOffset, kSessionIdSize))
        std::memcpy(r.m_szDUKPTSessionIDRaw, data + kSessionIdOffset, kSessionIdSize);
    r.m_dwBatteryLevel = fits(kBatteryOffset, 1) ? data[kBatteryOffset] : kBatteryUnknown;
    return true;
}

void Cardova::getMSRResult(const unsigned char* data, int dataLen) {
    bool ok = false;
    {
        std::lock_guard<std::mutex> guard(dataLock);
        msrRawData.clear();
        if (data != nullptr && dataLen > 0)
            msrRawData.addBinary(data, static_cast<unsigned int>(dataLen));
        const long pid = rawData.m_dwDevicePID;
        std::memset(&rawData, 0, sizeof rawData);
        rawData.m_dwDevicePID = pid;
        std::memset(&cardData, 0, sizeof cardData);
        try {
            ok = parseCardReport(data, dataLen);
            if (ok) {
                STRIXDATA& r = rawData;
                r.m_dwCardSwipeStatus =
                    ((r.m_dwTk1DcdStatus | r.m_dwTk2DcdStatus | r.m_dwTk3DcdStatus) & 1) ? 1 : 0;
                updateData();
                copyToMsr();
            }
        } catch (...) {
            ok = false;
        }
        if (!ok) {
            // A report that could not be decoded leaves no half-filled record behind.
            std::memset(&rawData, 0, sizeof rawData);
            rawData.m_dwDevicePID = pid;
            std::memset(&cardData, 0, sizeof cardData);
        }
    }
    // Last statement: the delegate may close and delete this engine.
    if (Cardova_Delegate* d = getDelegate())
        d->OnCardUpdate(this, ok ? STRIX_DATA_READY : STRIX_DATA_ERROR);
}

void Cardova::updateData() {
    STRIXDATA& r = rawData;
    const bool encrypting = configTable.dwEncryptionCapable == 1;
    struct Track {
        char* raw;
        char (*text)[512];
        long length;
    } tracks[3] = {{r.m_szTk1DataRaw, &r.m_szTk1Data, r.m_dwTk1Length},
                   {r.m_szTk2DataRaw, &r.m_szTk2Data, r.m_dwTk2Length},
                   {r.m_szTk3DataRaw, &r.m_szTk3Data, r.m_dwTk3Length}};
    for (Track& t : tracks) {
        if (encrypting) {
            if (t.length > 0 && t.length < 256)
                setHex(*t.text, reinterpret_cast<const unsigned char*>(t.raw),
                       static_cast<size_t>(t.length));
        } else {
            setText(*t.text, std::string(t.raw, strnlen(t.raw, 256)));
        }
    }
    setText(r.m_szCardData, text(r.m_szTk1Data) + text(r.m_szTk2Data) + text(r.m_szTk3Data));
    setText(r.m_szCardDataMasked,
            text(r.m_szTk1DataMasked) + text(r.m_szTk2DataMasked) + text(r.m_szTk3DataMasked));
    const long type = r.m_dwCardEncodeType;
    setText(r.m_szCardEncodeType, type >= 0 && type <= 6 ? card_encode_type_str[type] : "");
    setHex(r.m_szDUKPTSessionID, bytes(r.m_szDUKPTSessionIDRaw), kSessionIdSize);
    if (configTable.dwFluxmarkCapable == 1) {
        const unsigned long s = static_cast<unsigned long>(r.m_dwFluxmarkStatus);
        const unsigned char status[4] = {static_cast<unsigned char>(s & 0xFF),
                                         static_cast<unsigned char>((s >> 8) & 0xFF),
                                         static_cast<unsigned char>((s >> 16) & 0xFF),
                                         static_cast<unsigned char>((s >> 24) & 0xFF)};
        setHex(r.m_szFluxmarkStatus, status, 4);
        if (r.m_dwFluxmarkLength > 0)
            setHex(r.m_szFluxmarkData, bytes(r.m_szFluxmarkDataRaw),
                   static_cast<size_t>(r.m_dwFluxmarkLength));
    }
    setHex(r.m_szDUKPTKSN, bytes(r.m_szDUKPTKSNRaw), kKsnSize);
    extractData();
}

void Cardova::extractData() {
    STRIXDATA& r = rawData;
    const bool useMasked = configTable.dwFluxmarkCapable == 1;
    const std::string track1 = useMasked ? text(r.m_szTk1DataMasked) : text(r.m_szTk1Data);
    const std::string track2 = useMasked ? text(r.m_szTk2DataMasked) : text(r.m_szTk2Data);
    r.m_szFirstName[0] = r.m_szLastName[0] = r.m_szPAN[0] = '\0';
    r.m_szMonth[0] = r.m_szYear[0] = r.m_szExpDate[0] = '\0';

    if (track1.find('^') != std::string::npos) {
        if (r.m_dwCardEncodeType == 1)
            ExtractNameAAMVA(track1);
        else
            ExtractNameISO(track1);
    }

    // Track 2: ";" PAN "=" YYMM ...
    const size_t start = track2.find(';');
    const size_t separator =
        start == std::string::npos ? std::string::npos : track2.find('=', start + 1);
    if (separator != std::string::npos) {
        setText(r.m_szPAN, track2.substr(start + 1, separator - start - 1));
        if (track2.size() >= separator + 5) {
            const std::string expiry = track2.substr(separator + 1, 4);
            setText(r.m_szExpDate, expiry);
            setText(r.m_szYear, expiry.substr(0, 2));
            setText(r.m_szMonth, expiry.substr(2, 2));
        }
    }

    const std::string masked1 = text(r.m_szTk1DataMasked);
    MsrDataParser parser(masked1.c_str(), masked1.c_str(), masked1.c_str(), -1);
    const std::string account = parser.GetAttribute("AccountNumber");
    if (r.m_szPAN[0] == '\0' && !account.empty()) setText(r.m_szPAN, account);
    const std::string expiry = parser.GetAttribute("ExpirationDate");
    if (r.m_szExpDate[0] == '\0' && !expiry.empty()) {
        setText(r.m_szExpDate, expiry);
        setText(r.m_szYear, expiry.substr(0, 2));
        setText(r.m_szMonth, expiry.size() > 2 ? expiry.substr(2, 2) : "");
    }
}

void Cardova::ExtractNameISO(const std::string& track) {
    const size_t last = track.rfind('^');
    const std::string head = track.substr(0, last);
    size_t p = head.find('^');
    if (p == std::string::npos) p = head.find('?');
    if (p == std::string::npos) return;
    const std::string field = head.substr(p + 1);
    const size_t slash = field.find('/');
    if (slash == std::string::npos) return;
    setText(rawData.m_szFirstName, TRIM(field.substr(slash + 1)));
    setText(rawData.m_szLastName, TRIM(field.substr(0, slash)));
}

void Cardova::ExtractNameAAMVA(const std::string& track) {
    if (track.empty() || track[0] != '%') return;
    constexpr size_t kNameFrom = 16;
    constexpr size_t kNameWidth = 35;
    const size_t caret = track.find('^');
    const size_t start = (caret != std::string::npos && caret < kNameFrom) ? caret + 1 : kNameFrom;
    if (start >= track.size()) return;
    size_t end = track.find('^', start);
    if (end == std::string::npos) end = track.size();
    const std::string name = track.substr(start, std::min(end - start, kNameWidth));
    const size_t dollar = name.find('$');
    if (dollar == std::string::npos) {
        setText(rawData.m_szFirstName, name);
        return;
    }
    setText(rawData.m_szLastName, name.substr(0, dollar));
    const std::string rest = name.substr(dollar + 1);
    setText(rawData.m_szFirstName, rest.substr(0, rest.find('$')));
}

void Cardova::copyToMsr() {
    const STRIXDATA& r = rawData;
    VLMSRDATA& m = cardData;
    setText(m.m_szCardData, text(r.m_szCardData));
    setText(m.m_szCardDataMasked, text(r.m_szCardDataMasked));
    setText(m.m_szTrack1Data, text(r.m_szTk1Data));
    setText(m.m_szTrack2Data, text(r.m_szTk2Data));
    setText(m.m_szTrack3Data, text(r.m_szTk3Data));
    setText(m.m_szTrack1DataMasked, text(r.m_szTk1DataMasked));
    setText(m.m_szTrack2DataMasked, text(r.m_szTk2DataMasked));
    setText(m.m_szTrack3DataMasked, text(r.m_szTk3DataMasked));
    setText(m.m_szFluxmarkData, text(r.m_szFluxmarkData));
    setText(m.m_szCardEncodeType, text(r.m_szCardEncodeType));
    setText(m.m_szFluxmarkStatus, text(r.m_szFluxmarkStatus));
    setText(m.m_szDUKPTSessionID, text(r.m_szDUKPTSessionID));
    setText(m.m_szDeviceSerialNumber, text(r.m_szDeviceSerialNumber));
    setText(m.m_szDUKPTKSN, text(r.m_szDUKPTKSN));
    setText(m.m_szFirstName, text(r.m_szFirstName));
    setText(m.m_szLastName, text(r.m_szLastName));
    setText(m.m_szPAN, text(r.m_szPAN));
    setText(m.m_szMonth, text(r.m_szMonth));
    setText(m.m_szYear, text(r.m_szYear));
    m.m_dwReaderID = r.m_dwDevicePID;
    m.m_dwFluxmarkLength = r.m_dwFluxmarkLength;
    m.m_dwFluxmarkStatus = r.m_dwFluxmarkStatus;
    m.m_dwTrack1Length = r.m_dwTk1Length;
    m.m_dwTrack2Length = r.m_dwTk2Length;
    m.m_dwTrack3Length = r.m_dwTk3Length;
    m.m_dwTrack1LengthMasked = r.m_dwTk1LengthMasked;
    m.m_dwTrack2LengthMasked = r.m_dwTk2LengthMasked;
    m.m_dwTrack3LengthMasked = r.m_dwTk3LengthMasked;
    m.m_dwCardEncodeType = r.m_dwCardEncodeType;
    m.m_dwTrack1DcdStatus = r.m_dwTk1DcdStatus;
    m.m_dwTrack2DcdStatus = r.m_dwTk2DcdStatus;
    m.m_dwTrack3DcdStatus = r.m_dwTk3DcdStatus;
    m.m_dwCardSwipeStatus = r.m_dwCardSwipeStatus;
    m.m_dwBatteryLevel = r.m_dwBatteryLevel;
    m.m_dwEncryptionStatus = r.m_dwEncryptionStatus;
}

std::string Cardova::GetCardDataStr(const char* delimiter) {
    const std::string d = delimiter != nullptr ? delimiter : "";
    const VLMSRDATA m = getCardData();
    std::string s;
    auto num = [&](long v) { s += std::to_string(v) + d; };
    auto txt = [&](const std::string& v) { s += v + d; };
    txt(UL2HEX(static_cast<unsigned long>(m.m_dwReaderID)));
    txt(text(m.m_szDeviceSerialNumber));
    num(m.m_dwCardSwipeStatus);
    num(m.m_dwCardEncodeType);
    num(m.m_dwTrack1DcdStatus);
    num(m.m_dwTrack2DcdStatus);
    num(m.m_dwTrack3DcdStatus);
    txt(text(m.m_szFluxmarkStatus));
    num(m.m_dwTrack1Length);
    num(m.m_dwTrack2Length);
    num(m.m_dwTrack3Length);
    num(m.m_dwTrack1LengthMasked);
    num(m.m_dwTrack2LengthMasked);
    num(m.m_dwTrack3LengthMasked);
    num(m.m_dwFluxmarkLength);
    for (const char* field :
         {m.m_szCardData, m.m_szCardDataMasked, m.m_szDUKPTSessionID, m.m_szDUKPTKSN,
          m.m_szFirstName, m.m_szLastName, m.m_szPAN, m.m_szMonth, m.m_szYear, m.m_szTrack1Data,
          m.m_szTrack2Data, m.m_szTrack3Data, m.m_szTrack1DataMasked, m.m_szTrack2DataMasked,
          m.m_szTrack3DataMasked, m.m_szFluxmarkData})
        txt(field);  // every field of a record from getCardData() is terminated
    s += std::to_string(m.m_dwBatteryLevel);
    return s;
}
