#include "CoreAPI.h"

#include <stdexcept>

#include "DeviceFamily.h"
#include "stdafx.h"

namespace TESSERA {

namespace {

constexpr int kApiVersion = 125;

// The texts written for each connection type. Reading upper-cases first, so every written text
// (including the mixed-case WebSocket spellings) reads back to its value.
const char* const kConnectionTypeTexts[] = {
    "USB",        "BLE",    "BLEEMV",    "BLEEMVT",         "TCP",       "TLS12",
    "TLS12TRUST", "SERIAL", "WebSocket", "WebSocket_Trust", "Lightning",
};
constexpr int kConnectionTypeCount =
    static_cast<int>(sizeof(kConnectionTypeTexts) / sizeof(kConnectionTypeTexts[0]));

// One family's devices: for each supported connection type that can be listed, in order.
void appendFamilyList(TSR_DEVICE_TYPE type, std::vector<IDevice*>& out) {
    const DeviceFamily* family = DeviceFamily::find(type);
    if (family == nullptr) return;
    for (TSR_DEVICE_CONNECTION_TYPE connection : family->getSupportedConnectionTypes()) {
        if (!family->IsEnumable(connection)) continue;
        for (IDevice* device : family->enumDevices(connection)) out.push_back(device);
    }
}

}  // namespace

int CoreAPI::getAPIVersion() {
    return kApiVersion;
}

std::vector<IDevice*> CoreAPI::getDeviceList() {
    return getDeviceList({SWR, PPSWR, CMF, ORB});
}

std::vector<IDevice*> CoreAPI::getDeviceList(std::vector<TSR_DEVICE_TYPE> deviceType) {
    std::vector<IDevice*> devices;
    for (TSR_DEVICE_TYPE type : deviceType) appendFamilyList(type, devices);
    return devices;
}

std::vector<IDevice*> CoreAPI::getDeviceList(TSR_DEVICE_TYPE deviceType) {
    return getDeviceList(std::vector<TSR_DEVICE_TYPE>{deviceType});
}

std::vector<IDevice*> CoreAPI::getDeviceList(TSR_DEVICE_TYPE deviceType,
                                             TSR_DEVICE_CONNECTION_TYPE connectionType) {
    // The family decides what it lists for the type; IsEnumable is not consulted here.
    const DeviceFamily* family = DeviceFamily::find(deviceType);
    if (family == nullptr) return {};
    return family->enumDevices(connectionType);
}

std::vector<TSR_DEVICE_CONNECTION_TYPE_Tag> CoreAPI::getConnectionTypes(
    TSR_DEVICE_TYPE deviceType) {
    const DeviceFamily* family = DeviceFamily::find(deviceType);
    if (family == nullptr) return {};
    return family->getSupportedConnectionTypes();
}

bool CoreAPI::isEnumable(TSR_DEVICE_TYPE deviceType, TSR_DEVICE_CONNECTION_TYPE connectionType) {
    const DeviceFamily* family = DeviceFamily::find(deviceType);
    return family != nullptr && family->IsEnumable(connectionType);
}

IDevice* CoreAPI::getDevice(TSR_DEVICE_TYPE DeviceType, TSR_DEVICE_CONNECTION_TYPE ConnectionType,
                            std::string DeviceAddress) {
    const DeviceFamily* family = DeviceFamily::find(DeviceType);
    if (family == nullptr) return nullptr;
    return family->getDevice(ConnectionType, DeviceAddress, nullptr);
}

IDevice* CoreAPI::getDevice(TSR_DEVICE_TYPE DeviceType, TSR_DEVICE_CONNECTION_TYPE ConnectionType,
                            std::string DeviceAddress, CertificateInfo cert) {
    const DeviceFamily* family = DeviceFamily::find(DeviceType);
    if (family == nullptr) return nullptr;
    return family->getDevice(ConnectionType, DeviceAddress, &cert);
}

void CoreAPI::releaseDevice(IDevice* Device) {
    if (Device == nullptr) return;
    // A device whose dispose throws is left alive: its connection may still call into it.
    try {
        const TSR_DEVICE_TYPE type = Device->getConnectionInfo().DeviceType;
        Device->dispose();
        if (const DeviceFamily* family = DeviceFamily::find(type)) {
            family->releaseDevice(Device);
        } else {
            delete Device;
        }
    } catch (std::runtime_error* error) {
        // The adapters throw their binding errors as heap objects.
        delete error;
    } catch (...) {
    }
}

void CoreAPI::releaseDeviceList(std::vector<IDevice*>& devices) {
    for (IDevice* device : devices) releaseDevice(device);
    devices.clear();
}

std::string CoreAPI::getConnectionTypeString(TSR_DEVICE_CONNECTION_TYPE connectionType) {
    const int index = static_cast<int>(connectionType);
    if (index < 0 || index >= kConnectionTypeCount) return std::string();
    return kConnectionTypeTexts[index];
}

TSR_DEVICE_CONNECTION_TYPE CoreAPI::getConnectionTypeFromString(std::string connectionTypeString) {
    const std::string wanted = UPPER(connectionTypeString);
    for (int index = 0; index < kConnectionTypeCount; ++index) {
        if (UPPER(kConnectionTypeTexts[index]) == wanted) {
            return static_cast<TSR_DEVICE_CONNECTION_TYPE>(index);
        }
    }
    return TSR_USB;
}

}  // namespace TESSERA
