#include "iConnection.h"

#include <strings.h>

#include <cstring>

#include "ErrorCodes.h"
#include "HIDConnection.h"
#include "SerialConnection.h"

iConnection::iConnection() {
    setScheme("dummy");
}

iConnection::~iConnection() = default;

bool iConnection::isMe(const char* path) {
    return path != nullptr && strcasecmp(path, szScheme) == 0;
}

int iConnection::send(char*, int, int) {
    return 0;
}

int iConnection::receive(unsigned char*, int*) {
    return 0;
}

void iConnection::registerOnDataEvent(iConnectionOnData funcOnData, void* param) {
    std::lock_guard<std::mutex> guard(callbackLock);
    fnOnData = funcOnData;
    onDataParam = param;
}

int iConnection::getDeviceInfoEx(void*) {
    return ERROR_DEVICE_NOT_SUPPORT;
}

void iConnection::registerConnectionChanged(iConnectionChanged funcConnectionChanged, void* param) {
    std::lock_guard<std::mutex> guard(callbackLock);
    fnDeviceChanged = funcConnectionChanged;
    onDeviceChangedParam = param;
}

void iConnection::setErrorHandler(ErrorHandler* handler) {
    std::lock_guard<std::mutex> guard(callbackLock);
    errPipe = handler;
}

void iConnection::notifyData(unsigned char* data, int dataLen) {
    iConnectionOnData fn;
    void* param;
    {
        std::lock_guard<std::mutex> guard(callbackLock);
        fn = fnOnData;
        param = onDataParam;
    }
    if (fn != nullptr) fn(this, data, dataLen, param);
}

void iConnection::notifyChanged(int change) {
    iConnectionChanged fn;
    void* param;
    {
        std::lock_guard<std::mutex> guard(callbackLock);
        fn = fnDeviceChanged;
        param = onDeviceChangedParam;
    }
    if (fn != nullptr) fn(getScheme(), change, param);
}

void iConnection::reportError(int code, const char* message) {
    ErrorHandler* sink;
    {
        std::lock_guard<std::mutex> guard(callbackLock);
        sink = errPipe;
    }
    if (sink != nullptr) sink->setError(code, const_cast<char*>(message), this);
}

void iConnection::setScheme(const char* scheme) {
    std::strncpy(szScheme, scheme != nullptr ? scheme : "", sizeof szScheme - 1);
    szScheme[sizeof szScheme - 1] = '\0';
}

iConnection* iConnection::open(const char* pathScheme) {
    if (pathScheme == nullptr || *pathScheme == '\0') pathScheme = "HID://";
    if (iConnection* hid = HIDConnection::open(pathScheme)) return hid;
    return SerialConnection::open(pathScheme);
}

int iConnection::enumDevices(iConnectionEnumDevice funcFoundDevice) {
    return HIDConnection::enumDevices(funcFoundDevice);
}

bool iConnection::iConnectionDefEnumDevice(const char*, void*) {
    return false;
}
