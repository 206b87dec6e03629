#include "HIDConnection.h"

#include <strings.h>

#include <cctype>
#include <cstring>
#include <string>

#include "ErrorCodes.h"
#include "stdafx.h"

namespace {
void ensureHidInit() {
    // hidapi initialises itself on first use, but not safely from two threads at once.
    static std::once_flag once;
    std::call_once(once, [] { hid_init(); });
}
}  // namespace

const product_item HIDConnection::productList[12] = {
    {0x2F1A, 0x0001}, {0x2F1A, 0x0011}, {0x2F1A, 0x0012}, {0x2F1A, 0x0013},
    {0x2F1A, 0x0019}, {0x2F1A, 0x001A}, {0x2F1A, 0x001C}, {0x2F1A, 0x001D},
    {0x2F1A, 0x001E}, {0x2F1A, 0x001F}, {0x2F1A, 0x0020}, {0x2F1A, 0x0021},
};

HIDConnection::HIDConnection() = default;

HIDConnection::~HIDConnection() {
    HIDConnection::close();
}

bool HIDConnection::_open(const char* path) {
    if (path == nullptr) return false;
    ensureHidInit();
    hid_device* device = hid_open_path(path);
    if (device == nullptr) return false;
    strDevicePath = path;
    featureReport.assign(kFeatureReportLength + 1, 0);
    {
        std::lock_guard<std::mutex> guard(accessLock);
        hHidDevice = device;
    }
    auto state = std::make_shared<ReaderState>();
    state->inputReport.assign(kInputReportLength + 1, 0);
    std::lock_guard<std::mutex> guard(lifecycleLock);
    readerState = state;
    readThread = std::thread(&HIDConnection::hidReadThread, this, state, device);
    return true;
}

void HIDConnection::hidReadThread(std::shared_ptr<ReaderState> state, hid_device* device) {
    std::vector<unsigned char> local(kInputReportLength);
    while (!state->stop.load()) {
        int n = hid_read_timeout(device, local.data(), local.size(), kReadWaitMs);
        if (state->stop.load() || referenceFlag.load() != 0) return;
        if (n < 0) {
            onHidReadingFailure(n);
            return;
        }
        if (n == 0) continue;
        std::memcpy(state->inputReport.data(), local.data(), static_cast<size_t>(n));
        addBinary(state->inputReport.data(), static_cast<unsigned int>(n));
        notifyData(state->inputReport.data(), n);
        // The callback may have closed (and deleted) this connection.
        if (state->stop.load()) return;
        clear();
    }
}

void HIDConnection::onHidReadingFailure(int) {
    notifyChanged(1);
}

void HIDConnection::close() {
    referenceFlag.store(1);
    std::thread thread;
    std::shared_ptr<ReaderState> state;
    {
        std::lock_guard<std::mutex> guard(lifecycleLock);
        thread = std::move(readThread);
        state = std::move(readerState);
    }
    if (state) state->stop.store(true);
    if (thread.joinable()) {
        // Closed from inside one of its own callbacks: the thread is not in hidapi now and
        // leaves its loop, touching nothing of this object, as soon as the callback returns.
        if (thread.get_id() == std::this_thread::get_id())
            thread.detach();
        else
            thread.join();
    }
    std::lock_guard<std::mutex> guard(accessLock);
    if (hHidDevice != nullptr) {
        try {
            hid_close(hHidDevice);
        } catch (...) {
        }
        hHidDevice = nullptr;
    }
    featureReport.clear();
}

int HIDConnection::send(char* pData, int dataLen, int type) {
    if (referenceFlag.load() != 0) return ERROR_DEVICE_NOT_OPEN;
    if (type != 1) return -1;
    return setFeatureReport(reinterpret_cast<unsigned char*>(pData), dataLen);
}

int HIDConnection::setFeatureReport(unsigned char* rpt, int rptLen) {
    if (rpt == nullptr || rptLen <= 0) return ERROR_INVALID_PARAMETERS;
    std::lock_guard<std::mutex> guard(accessLock);
    if (hHidDevice == nullptr) return ERROR_DEVICE_NOT_OPEN;
    int r = hid_send_feature_report(hHidDevice, rpt, static_cast<size_t>(rptLen));
    return r <= 0 ? ERROR_BAD_COMMUNICATION : ERROR_NO_ERR;
}

int HIDConnection::readFeatureLocked(int featureId) {
    if (hHidDevice == nullptr || featureReport.size() < kFeatureReportLength)
        return ERROR_DEVICE_NOT_OPEN;
    std::memset(featureReport.data(), 0, featureReport.size());
    featureReport[0] = static_cast<unsigned char>(featureId);
    int r = hid_get_feature_report(hHidDevice, featureReport.data(), kFeatureReportLength);
    return r <= 0 ? ERROR_BAD_COMMUNICATION : ERROR_NO_ERR;
}

int HIDConnection::getFeatureReport(int featureId) {
    if (referenceFlag.load() != 0) return ERROR_DEVICE_NOT_OPEN;
    std::lock_guard<std::mutex> guard(accessLock);
    return readFeatureLocked(featureId);
}

int HIDConnection::receive(unsigned char* pData, int* dataLen) {
    if (referenceFlag.load() != 0) return ERROR_DEVICE_NOT_OPEN;
    if (pData == nullptr || dataLen == nullptr) return ERROR_INVALID_PARAMETERS;
    std::lock_guard<std::mutex> guard(accessLock);
    int rc = readFeatureLocked(pData[0]);
    if (rc != ERROR_NO_ERR) return rc;
    std::memcpy(pData, featureReport.data(), kFeatureReportLength);
    *dataLen = kFeatureReportLength;
    return ERROR_NO_ERR;
}

int HIDConnection::getDeviceInfoEx(void*) {
    return ERROR_UNKNOWN;
}

bool HIDConnection::IsDeviceConnected() {
    if (referenceFlag.load() != 0) return false;
    std::lock_guard<std::mutex> guard(accessLock);
    return hHidDevice != nullptr;
}

int HIDConnection::enumerate(const DeviceVisitor& visitor) {
    ensureHidInit();
    hid_device_info* list = hid_enumerate(0, 0);
    int reported = 0;
    bool goOn = true;
    for (hid_device_info* d = list; d != nullptr && goOn; d = d->next) {
        for (const product_item& item : productList) {
            if (item.vendorId != d->vendor_id || item.productId != d->product_id) continue;
            std::string serial;
            if (d->serial_number != nullptr) {
                try {
                    serial = ws2s(d->serial_number);
                } catch (...) {
                    serial.clear();  // not representable: listed by path instead
                }
            }
            const char* path = d->path != nullptr ? d->path : "";
            std::string pathScheme = "HID://" + (serial.empty() ? std::string(path) : serial);
            DeviceExtraInfo info{static_cast<int>(sizeof(DeviceExtraInfo)), d->product_id,
                                 serial.c_str(), "HID://", path};
            reported = 1;
            if (!visitor(pathScheme.c_str(), &info)) {
                goOn = false;
                break;
            }
        }
    }
    hid_free_enumeration(list);
    return reported;
}

int HIDConnection::enumDevices(iConnectionEnumDevice fnFoundDevice) {
    if (fnFoundDevice == nullptr) return 0;
    return enumerate([fnFoundDevice](const char* pathScheme, DeviceExtraInfo* info) {
        return fnFoundDevice(pathScheme, info);
    });
}

HIDConnection* HIDConnection::open(const char* pathScheme) {
    if (pathScheme == nullptr || strncasecmp(pathScheme, "HID://", 6) != 0) return nullptr;
    const char* rest = pathScheme + 6;
    if (*rest == '\0') return nullptr;

    std::string path;
    std::string scheme;
    if (!std::isalnum(static_cast<unsigned char>(*rest))) {
        path = rest;
        scheme = pathScheme;
    } else {
        const size_t restLen = std::strlen(rest);
        enumerate([&](const char*, DeviceExtraInfo* info) {
            bool serialMatch = std::strlen(info->SerialNumber) >= restLen &&
                               strncasecmp(info->SerialNumber, rest, restLen) == 0;
            if (serialMatch || std::strcmp(info->Path, rest) == 0) {
                path = info->Path;
                return false;
            }
            return true;
        });
        if (path.empty()) return nullptr;
        scheme = path;
    }
    auto* connection = new HIDConnection();
    connection->setScheme(scheme.c_str());
    if (!connection->_open(path.c_str())) {
        delete connection;
        return nullptr;
    }
    return connection;
}
