#include "USBConnection.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "ErrorCodes.h"
#include "stdafx.h"

const USBConnection::Product USBConnection::productList[3] = {
    {0x2F1A, 0x2020}, {0x2F1A, 0x2023}, {0x2F1A, 0x2024}};

namespace {

// Initialises hidapi once, when the library is loaded.
class usb_initializer {
  public:
    usb_initializer() { hid_init(); }
};
const usb_initializer usbInitializer;

bool recognised(unsigned short vendorId, unsigned short productId) {
    for (const auto& p : USBConnection::productList) {
        if (p.vendorId == vendorId && p.productId == productId) return true;
    }
    return false;
}

// A device string as UTF-8; empty when the device has none. Characters that are not valid
// code points are left out rather than failing the whole listing.
std::string utf8(const wchar_t* text) {
    if (text == nullptr) return std::string();
    std::wstring w(text);
    try {
        return ws2s(w);
    } catch (const std::exception&) {
        std::wstring valid;
        for (wchar_t c : w) {
            const unsigned long u = static_cast<unsigned long>(c);
            if (u <= 0x10FFFF && (u < 0xD800 || u > 0xDFFF)) valid.push_back(c);
        }
        try {
            return ws2s(valid);
        } catch (const std::exception&) {
            return std::string();
        }
    }
}

std::string hex4(unsigned short v) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", v);
    return text;
}

}  // namespace

USBConnection::USBConnection() = default;

USBConnection::USBConnection(std::string devicePath) : strDevicePath(std::move(devicePath)) {}

USBConnection::~USBConnection() {
    close();
}

std::string USBConnection::describe(const hid_device_info& info) {
    // Every value is escaped so that a device string with quotes or backslashes still gives
    // valid JSON.
    const std::string serial = ESCAPE(utf8(info.serial_number));
    return "{\"DSN\":\"" + serial + "\",\"Name\":\"" + serial + "\",\"Product\":\"" +
           ESCAPE(utf8(info.product_string)) + "\",\"PID\":\"" + hex4(info.product_id) +
           "\",\"VID\":\"" + hex4(info.vendor_id) + "\",\"Path\":\"" +
           ESCAPE(info.path ? info.path : "") + "\"}";
}

bool USBConnection::Enum(std::function<bool(std::string, std::string)> callback, std::string) {
    hid_device_info* devices = hid_enumerate(VENDOR_ID, 0);
    bool found = false;
    for (hid_device_info* d = devices; d != nullptr; d = d->next) {
        if (!recognised(d->vendor_id, d->product_id) || d->path == nullptr) continue;
        found = true;
        if (callback && !callback(d->path, describe(*d))) break;
    }
    hid_free_enumeration(devices);
    return found;
}

bool USBConnection::_open(std::string path) {
    if (path.empty()) {
        Enum(
            [&path](std::string p, std::string) {
                path = p;
                return false;
            },
            "");
        if (path.empty()) return false;
    }
    hid_device* device = hid_open_path(path.c_str());
    if (device == nullptr) return false;
    iFeatureReportBufferLength = 0;
    iOutputReportBufferLength = REPORT_LENGTH;
    iInputReportBufferLength = REPORT_LENGTH;
    hid_set_nonblocking(device, 1);  // reads below always give their own time limit
    closingFlag = false;
    hHidDevice = device;
    readThread = std::thread(usbReadThread, this, device);
    return true;
}

int USBConnection::Open() {
    std::lock_guard<std::mutex> g(closeLock);
    if (hHidDevice) return ERROR_NO_ERR;
    return _open(strDevicePath) ? ERROR_NO_ERR : ERROR_DEVICE_NOT_OPEN;
}

int USBConnection::Close() {
    close();
    return ERROR_NO_ERR;
}

bool USBConnection::IsOpen() {
    return hHidDevice != nullptr;
}

void USBConnection::close() {
    std::lock_guard<std::mutex> g(closeLock);
    closingFlag = true;
    if (readThread.joinable()) {
        if (readThread.get_id() == std::this_thread::get_id()) {
            readThread.detach();  // closed from its own handler: it ends when that returns
        } else {
            readThread.join();
        }
    }
    stopStatusThread();
    {
        std::lock_guard<std::mutex> w(accessLock);
        hid_device* device = hHidDevice.exchange(nullptr);
        if (device != nullptr) hid_close(device);
    }
    iFeatureReportBufferLength = 0;
    iOutputReportBufferLength = 0;
    iInputReportBufferLength = 0;
}

int USBConnection::Send(unsigned char* data, unsigned int length) {
    std::lock_guard<std::mutex> g(accessLock);
    if (!hHidDevice) return ERROR_IPAD_DEVICE_REMOVED;
    if (data == nullptr || length > static_cast<unsigned int>(REPORT_LENGTH)) return 1;
    return send(reinterpret_cast<char*>(data), static_cast<int>(length), REPORT_LENGTH);
}

int USBConnection::send(char* data, int length, int reportLength) {
    hid_device* device = hHidDevice;
    if (device == nullptr) return ERROR_IPAD_DEVICE_REMOVED;
    if (data == nullptr || length < 0 || length > reportLength) return 1;
    std::vector<unsigned char> report(static_cast<size_t>(reportLength), 0);
    std::memcpy(report.data(), data, static_cast<size_t>(length));
    return hid_write(device, report.data(), report.size()) > 0 ? 0 : 1;
}

void USBConnection::onUsbReadingFailure(int failure) {
    reportStatus(failure);
}

void USBConnection::usbReadThread(USBConnection* connection, hid_device* device) {
    connection->usbRead(device);
}

void USBConnection::usbRead(hid_device* device) {
    unsigned char buffer[512];
    buffer[0] = 0;  // placeholder in front of every report
    while (!closingFlag) {
        const int result = hid_read_timeout(device, buffer + 1, sizeof buffer - 1, READ_WAIT_MS);
        if (closingFlag) break;
        if (result < 0) {
            onUsbReadingFailure(result);
            break;
        }
        if (result > 0) AddToBuffer(buffer, static_cast<unsigned int>(result) + 1);
    }
}
