// C API of the swipe-reader library: enumeration, the single-device API and callback setters.
#include <strings.h>

#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "ErrorCodes.h"
#include "HIDConnection.h"
#include "SdkExport.h"
#include "StrixApi.h"
#include "StrixTimeout.h"
#include "stdafx.h"
#include "strix.h"

using namespace strixapi;

extern "C" {
SDK_EXPORT int _TimeoutMs = 10000;
SDK_EXPORT char g_deviceList[4096] = {0};
}

namespace {

std::mutex& listLock() {
    static std::mutex& m = *new std::mutex();
    return m;
}
// Names of the last enumeration with their model rows, in enumeration order.
std::vector<ListedDevice>& deviceMap() {
    static std::vector<ListedDevice>& m = *new std::vector<ListedDevice>();
    return m;
}

// Keeps the single-device busy flag for one command; `acquired` is false when another runs.
class BusyGuard {
  public:
    explicit BusyGuard(std::atomic<int>& flag) : flag(flag) {
        int expected = 0;
        acquired = flag.compare_exchange_strong(expected, 1);
    }
    ~BusyGuard() {
        if (acquired) flag.store(0);
    }
    bool acquired;

  private:
    std::atomic<int>& flag;
};

long sendCommandLocked(const std::string& command, char* lpResult, long capacity) {
    SingleDevice& s = single();
    BusyGuard busy(s.bInBusy);
    if (!busy.acquired) return ERROR_BUSY_IN_PRIOR_COMMAND;
    std::shared_lock<std::shared_mutex> g(s.lock);
    if (s.engine == nullptr) return ERROR_DEVICE_NOT_OPEN;
    Transaction t;
    {
        std::lock_guard<std::mutex> serial(s.engine->lock);
        t = runTransaction(
            s.engine, command, 8192,
            capacity > 2 ? static_cast<int>(std::min<long>(capacity, 65536) - 2) : 1);
    }
    if (t.result == 0 || !t.hex.empty()) {
        // Answer text followed by two NULs.
        if (lpResult == nullptr || static_cast<long>(t.hex.size()) + 2 > capacity) {
            if (t.result == 0) t.result = ERROR_BUFFER_INSUFFICIENT;
        } else {
            std::memcpy(lpResult, t.hex.data(), t.hex.size());
            lpResult[t.hex.size()] = '\0';
            lpResult[t.hex.size() + 1] = '\0';
        }
    }
    if (t.result != 0) s.engine->setResultCode(t.result);
    return t.result;
}

// The hex command text of length lpdwCmdLen (bounded by its terminator).
std::string commandText(const char* lpCmd, long lpdwCmdLen) {
    if (lpCmd == nullptr || lpdwCmdLen <= 0) return "";
    return std::string(lpCmd, strnlen(lpCmd, static_cast<size_t>(lpdwCmdLen)));
}

// Drops the length byte (characters 2-3) of a command written with one, unless it is in the
// extended form; "" when too short.
bool withoutLengthByte(const std::string& cmd, std::string& out) {
    if (cmd.find(':') != std::string::npos) {
        out = cmd;
        return true;
    }
    if (cmd.size() < 4) return false;
    out = cmd.substr(0, 2) + cmd.substr(4);
    return true;
}

}  // namespace

namespace strixapi {

std::vector<ListedDevice> refreshDeviceList() {
    std::vector<ListedDevice> found;
    HIDConnection::enumerate([&found](const char* pathScheme, DeviceExtraInfo* info) {
        if (info == nullptr || info->size != static_cast<int>(sizeof(DeviceExtraInfo)) ||
            info->InfoId == 0) {
            return true;
        }
        CRConfigTable* row = nullptr;
        for (CRConfigTable& r : CR_CfgTable) {
            if (r.dwPID == static_cast<long>(info->InfoId)) {
                row = &r;
                break;
            }
        }
        found.push_back({pathScheme, row});
        return true;
    });
    std::string list;
    for (const auto& d : found) {
        std::string next = list.empty() ? d.name : list + "," + d.name;
        if (next.size() >= sizeof g_deviceList) break;  // what does not fit is left out
        list = next;
    }
    std::lock_guard<std::mutex> g(listLock());
    std::memcpy(g_deviceList, list.c_str(), list.size() + 1);
    deviceMap() = found;
    return found;
}

}  // namespace strixapi

extern "C" {

SDK_EXPORT char* LYNXGetDeviceList(void) {
    try {
        refreshDeviceList();
    } catch (...) {
    }
    return g_deviceList;
}

SDK_EXPORT const char* GetDeviceList(void) {
    try {
        std::string list;
        for (const auto& d : refreshDeviceList()) {
            if (!list.empty()) list += ",";
            list += d.name;
        }
        std::string stored;
        {
            std::lock_guard<std::mutex> g(listLock());
            stored = g_deviceList;
        }
        return STATIC_STRING(stored);
    } catch (...) {
        return "";
    }
}

SDK_EXPORT long OpenDevice(const char* lpDeviceName) {
    try {
        SingleDevice& s = single();
        std::unique_lock<std::shared_mutex> g(s.lock);
        if (s.engine != nullptr) return 0;
        std::vector<ListedDevice> devices = refreshDeviceList();
        std::string name = lpDeviceName != nullptr ? lpDeviceName : "";
        CRConfigTable* row = nullptr;
        if (!name.empty() && name.compare(0, 6, "HID://") != 0) {
            for (const auto& d : devices) {
                if (d.name == name) row = d.row;
            }
        } else {
            bool found = false;
            for (const auto& d : devices) {
                if (strncasecmp(d.name.c_str(), "HID", 3) == 0) {
                    name = d.name;
                    row = d.row;
                    found = true;
                }
            }
            if (!found) return 1;
        }
        Cardova* engine = Cardova::open(name.c_str(), row);
        if (engine == nullptr) return 1;
        engine->clear();
        localDelegate().cardDataState.store(STRIX_DATA_NOTREADY);
        s.engine = engine;
        ++s.generation;
        engine->setDelegate(&localDelegate());
        localDelegate().OnDeviceChange(engine, STRIX_STATE_CONNECTED);
        return 0;
    } catch (...) {
        return 1;
    }
}

SDK_EXPORT long LYNXOpenDevice(char* lpDeviceName) {
    return OpenDevice(lpDeviceName);
}

SDK_EXPORT long CloseDevice(void) {
    SingleDevice& s = single();
    Cardova* engine = nullptr;
    {
        // Taking the lock exclusively waits for running commands (they hold it shared).
        std::unique_lock<std::shared_mutex> g(s.lock);
        engine = s.engine;
        s.engine = nullptr;
        ++s.generation;
    }
    if (engine != nullptr) {
        localDelegate().OnDeviceChange(engine, STRIX_STATE_DISCONNECTED);
        engine->setDelegate(nullptr);
        delete engine;
    }
    strixapi::clearCachedSerial();
    return 0;
}

SDK_EXPORT long LYNXCloseDevice(void) {
    return CloseDevice();
}

SDK_EXPORT int IsDeviceConnected(void) {
    SingleDevice& s = single();
    std::shared_lock<std::shared_mutex> g(s.lock);
    return s.engine != nullptr && localDelegate().deviceState.load() == STRIX_STATE_CONNECTED ? 1
                                                                                              : 0;
}

SDK_EXPORT int LYNXIsDeviceConnected(void) {
    return IsDeviceConnected();
}

SDK_EXPORT void LYNXGetDeviceState(long* lpdwDeviceState) {
    if (lpdwDeviceState != nullptr) *lpdwDeviceState = localDelegate().deviceState.load();
}

SDK_EXPORT void LYNXGetCardDataState(long* lpdwCardDataState) {
    if (lpdwCardDataState != nullptr) *lpdwCardDataState = localDelegate().cardDataState.load();
}

SDK_EXPORT void LYNXGetPID(long* lpdwPID) {
    if (lpdwPID == nullptr) return;
    long pid = openedConfig().dwPID;
    *lpdwPID = pid == 0x0119 ? 0x0019 : pid;
}

SDK_EXPORT long LYNXSendCommand(char* lpCmd, long lpdwCmdLen, char* lpResult, long lpdwResultLen) {
    try {
        std::string cmd = commandText(lpCmd, lpdwCmdLen);
        if (cmd.size() < 2) return ERROR_INVALID_PARAMETERS;
        return sendCommandLocked(cmd, lpResult, lpdwResultLen);
    } catch (...) {
        return ERROR_UNKNOWN;
    }
}

SDK_EXPORT long LYNXSendCommandWithLength(char* lpCmd, long lpdwCmdLen, char* lpResult,
                                          long lpdwResultLen) {
    try {
        std::string cmd;
        if (!withoutLengthByte(commandText(lpCmd, lpdwCmdLen), cmd)) return STRIX_ST_INVALID_PARAM;
        if (cmd.size() < 2) return ERROR_INVALID_PARAMETERS;
        return sendCommandLocked(cmd, lpResult, lpdwResultLen);
    } catch (...) {
        return ERROR_UNKNOWN;
    }
}

SDK_EXPORT const char* SendCommand(const char* lpCmd) {
    try {
        std::vector<char> result(26112, '\0');
        long rc =
            LYNXSendCommand(const_cast<char*>(lpCmd), lpCmd != nullptr ? std::strlen(lpCmd) : 0,
                            result.data(), static_cast<long>(result.size()));
        return STATIC_STRING(rc == 0 ? std::string(result.data()) : std::string());
    } catch (...) {
        return "";
    }
}

SDK_EXPORT const char* SendCommandWithLength(const char* lpCmd) {
    try {
        std::vector<char> result(26112, '\0');
        long rc = LYNXSendCommandWithLength(const_cast<char*>(lpCmd),
                                            lpCmd != nullptr ? std::strlen(lpCmd) : 0,
                                            result.data(), static_cast<long>(result.size()));
        return STATIC_STRING(rc == 0 ? std::string(result.data()) : std::string());
    } catch (...) {
        return "";
    }
}

SDK_EXPORT long SendData(const char* lpHexCommandString) {
    SingleDevice& s = single();
    unsigned long generation;
    {
        std::shared_lock<std::shared_mutex> g(s.lock);
        if (s.engine == nullptr) return 0;
        generation = s.generation;
    }
    std::string text = lpHexCommandString != nullptr ? lpHexCommandString : "";
    try {
        std::thread([text, generation] {
            SingleDevice& s = single();
            std::shared_lock<std::shared_mutex> g(s.lock);
            if (s.engine == nullptr || s.generation != generation) return;  // closed meanwhile
            std::string cmd = text.size() % 2 != 0 ? "0" + text : text;
            if (cmd.size() < 4) return;
            cmd = cmd.substr(0, 2) + cmd.substr(4);
            Transaction t;
            {
                std::lock_guard<std::mutex> serial(s.engine->lock);
                t = runTransaction(s.engine, cmd);
            }
            if (t.result != 0 || t.raw.size() < 3) return;
            size_t n = std::min<size_t>(t.raw[2], t.raw.size() - 3);
            std::string answer = LOWER(B2H(t.raw.data() + 1, static_cast<int>(n + 2)));
            if (!answer.empty()) localDelegate().OnDeviceResponse(answer.c_str());
        }).detach();
    } catch (const std::system_error&) {
        return ERROR_UNKNOWN;
    }
    return 0;
}

SDK_EXPORT int GetResultCode(void) {
    SingleDevice& s = single();
    std::shared_lock<std::shared_mutex> g(s.lock);
    return s.engine != nullptr ? s.engine->getResultCode() : ERROR_DEVICE_NOT_OPEN;
}

SDK_EXPORT void SetCommandTimeout(int timeoutms) {
    _TimeoutMs = timeoutms;
}

SDK_EXPORT long LYNXGetCardData(VLMSRDATA* lpVLMSRDATA) {
    if (lpVLMSRDATA == nullptr) return 1;
    VLMSRDATA record;
    if (!readyCardRecord(record)) return 1;
    std::memcpy(lpVLMSRDATA, &record, sizeof record);
    return 0;
}

}  // extern "C"

namespace {
std::string cardDataLine(const VLMSRDATA& m, const std::string& d) {
    std::string s;
    auto num = [&](long v) { s += std::to_string(v) + d; };
    auto txt = [&](const char* v, size_t width) { s += std::string(v, strnlen(v, width)) + d; };
#define STRIX_TXT(field) txt(m.field, sizeof m.field)
    s += UL2HEX(static_cast<unsigned long>(m.m_dwReaderID)) + d;
    STRIX_TXT(m_szDeviceSerialNumber);
    for (long v :
         {m.m_dwCardSwipeStatus, m.m_dwCardEncodeType, m.m_dwTrack1DcdStatus, m.m_dwTrack2DcdStatus,
          m.m_dwTrack3DcdStatus, m.m_dwFluxmarkStatus, m.m_dwTrack1Length, m.m_dwTrack2Length,
          m.m_dwTrack3Length, m.m_dwTrack1LengthMasked, m.m_dwTrack2LengthMasked,
          m.m_dwTrack3LengthMasked, m.m_dwFluxmarkLength}) {
        num(v);
    }
    STRIX_TXT(m_szCardData);
    STRIX_TXT(m_szCardDataMasked);
    STRIX_TXT(m_szDUKPTSessionID);
    STRIX_TXT(m_szDUKPTKSN);
    STRIX_TXT(m_szFirstName);
    STRIX_TXT(m_szLastName);
    STRIX_TXT(m_szPAN);
    STRIX_TXT(m_szMonth);
    STRIX_TXT(m_szYear);
    STRIX_TXT(m_szTrack1Data);
    STRIX_TXT(m_szTrack2Data);
    STRIX_TXT(m_szTrack3Data);
    STRIX_TXT(m_szTrack1DataMasked);
    STRIX_TXT(m_szTrack2DataMasked);
    STRIX_TXT(m_szTrack3DataMasked);
    STRIX_TXT(m_szFluxmarkData);
#undef STRIX_TXT
    num(m.m_dwBatteryLevel);
    return s;
}
// The longest line LYNXGetCardDataStr writes, terminator included.
constexpr size_t kCardLineCapacity = 8192;
}  // namespace

extern "C" {

SDK_EXPORT long LYNXGetCardDataStr(char* lpStrData, char* lpStrFieldDelimiter) {
    if (lpStrData == nullptr) return 1;
    VLMSRDATA record;
    if (!readyCardRecord(record)) return 1;
    std::string line =
        cardDataLine(record, lpStrFieldDelimiter != nullptr ? lpStrFieldDelimiter : "");
    // The caller's buffer has no stated size: the line is cut to the documented maximum.
    size_t n = std::min(line.size(), kCardLineCapacity - 1);
    std::memcpy(lpStrData, line.data(), n);
    lpStrData[n] = '\0';
    return 0;
}

SDK_EXPORT const char* GetCardData(void) {
    VLMSRDATA record;
    if (!readyCardRecord(record)) return STATIC_STRING("");
    return STATIC_STRING(cardDataLine(record, "|"));
}

SDK_EXPORT void ClearCardData(void) {
    SingleDevice& s = single();
    std::shared_lock<std::shared_mutex> g(s.lock);
    if (s.engine != nullptr) localDelegate().OnCardUpdate(s.engine, STRIX_DATA_NOTREADY);
}

SDK_EXPORT void LYNXClearBuffer(void) {
    ClearCardData();
}

SDK_EXPORT int GetSwipeCount(void) {
    return -1;
}

// Callback registration of the single-device API.
SDK_EXPORT void LYNXCardDataStateChangedNotify(CallBackCardDataStateChanged callback) {
    localDelegate().fnCardChanged.store(callback);
}
SDK_EXPORT void LYNXDeviceStateChangedNotify(CallBackDeviceStateChanged callback) {
    localDelegate().fnDeviceChanged.store(callback);
}
SDK_EXPORT void OnDataReceived(CallBackOnCardDataReceived callback) {
    localDelegate().fnCardDataReceived.store(callback);
}
SDK_EXPORT void OnDeviceConnectionStateChanged(CallBackDeviceStateChanged callback) {
    localDelegate().fnOnDeviceConnectionChanged.store(callback);
}
SDK_EXPORT void OnError(CallBackOnDeviceResponse OnErrorProc) {
    localDelegate().fnOnError.store(OnErrorProc);
}
SDK_EXPORT void OnNotification(CallBackOnNotification callback) {
    localDelegate().fnOnNotification.store(callback);
}
SDK_EXPORT void OnTransactionStatus(CallBackOnDeviceResponse callback) {
    localDelegate().fnOnTransactionStatus.store(callback);
}
SDK_EXPORT void OnDisplayMessageRequest(CallBackOnDeviceResponse callback) {
    localDelegate().fnOnDisplayMessageRequest.store(callback);
}
SDK_EXPORT void OnUserSelectionRequest(CallBackOnDeviceResponse callback) {
    localDelegate().fnOnUserSelectionRequest.store(callback);
}
SDK_EXPORT void OnARQCReceived(CallBackOnDeviceResponse callback) {
    localDelegate().fnOnARQCReceived.store(callback);
}
SDK_EXPORT void OnTransactionResult(CallBackOnDeviceResponse callback) {
    localDelegate().fnOnTransactionResult.store(callback);
}
SDK_EXPORT void OnDeviceResponse(CallBackOnDeviceResponse callback) {
    localDelegate().fnOnDeviceResponse.store(callback);
}
SDK_EXPORT void OnDeviceExtendedResponse(CallBackOnDeviceExtendedResponse callback) {
    localDelegate().fnOnDeviceExtendedResponse.store(callback);
}

}  // extern "C"
