#pragma once
#include <mutex>

#include "ErrorHandler.h"
#include "RawDataStore.h"
#include "iDecoder.h"

class iConnection;

// Data arrives on the connection's own reading thread.
typedef void (*iConnectionOnData)(iConnection* connection, unsigned char* data, int dataLen,
                                  void* param);
// change 1: the device went away.
typedef void (*iConnectionChanged)(const char* scheme, int change, void* param);
// extraInfo points to a DeviceExtraInfo valid only during the call; answer false to stop.
typedef bool (*iConnectionEnumDevice)(const char* pathScheme, void* extraInfo);

// What enumeration reports with each device.
typedef struct DeviceExtraInfo_tag {
    int size;                  // sizeof(DeviceExtraInfo); receivers check it
    unsigned int InfoId;       // USB product ID
    const char* SerialNumber;  // "" when the device has none
    const char* TypePrefix;    // "HID://"
    const char* Path;          // hidapi device path
} DeviceExtraInfo;
static_assert(sizeof(DeviceExtraInfo) == 32, "DeviceExtraInfo is a fixed-size record");

// Abstract transport to one reader. The RawDataStore base holds the hex text of the packet that
// is being delivered to the data callback.
class iConnection : public iDecoder, public RawDataStore {
  public:
    iConnection();
    ~iConnection() override;
    iConnection(const iConnection&) = delete;
    iConnection& operator=(const iConnection&) = delete;

    virtual void close() {}
    virtual const char* getScheme() { return szScheme; }
    // True when path equals the connection's name, ignoring case.
    virtual bool isMe(const char* path);
    virtual int send(char* pData, int dataLen, int type);
    virtual int receive(unsigned char* pData, int* dataLen);
    virtual void registerOnDataEvent(iConnectionOnData funcOnData, void* param);
    virtual int getDeviceInfoEx(void* info);
    virtual int getDefaultGuardingTime() { return 0; }

    void registerConnectionChanged(iConnectionChanged funcConnectionChanged, void* param);
    void setErrorHandler(ErrorHandler* handler);

    // Connection factory: "HID://..." (also null or "") or "SERIAL://..."; null when nothing
    // could be opened. The caller owns the result.
    static iConnection* open(const char* pathScheme);
    // Lists the attached HID readers (serial ports are never listed). 1 when at least one
    // device was reported, else 0.
    static int enumDevices(iConnectionEnumDevice funcFoundDevice);
    static bool iConnectionDefEnumDevice(const char* pathScheme, void* extraInfo);

  protected:
    // Hand a packet to the registered data callback (on the calling reading thread).
    void notifyData(unsigned char* data, int dataLen);
    // Report a connection change to the registered change callback.
    void notifyChanged(int change);
    void reportError(int code, const char* message);
    void setScheme(const char* scheme);

    // Callbacks are registered from the application's thread while the reading thread may be
    // delivering; callbackLock keeps each pointer consistent with its parameter.
    std::mutex callbackLock;
    iConnectionOnData fnOnData = nullptr;
    void* onDataParam = nullptr;
    iConnectionChanged fnDeviceChanged = nullptr;
    void* onDeviceChangedParam = nullptr;
    char szScheme[256];
    ErrorHandler* errPipe = nullptr;
};
