#pragma once
#include <string>
#include <vector>

#include "CertificateInfo.h"
#include "Enumerations.h"
#include "Export.h"
#include "IDevice.h"

namespace TESSERA {

// Entry point of the library: lists the readers of every family, hands out devices by
// address, releases them, and converts connection types to and from text. Device pointers
// stay valid until releaseDevice; listing twice returns the same objects for the same readers,
// so release each device once. Call from one application thread at a time.
class SDK_EXPORT CoreAPI {
  public:
    static int getAPIVersion();

    // All swipe readers, then all message-schema readers.
    static std::vector<IDevice*> getDeviceList();
    // The families in the given order (a family given twice is listed twice).
    static std::vector<IDevice*> getDeviceList(std::vector<TSR_DEVICE_TYPE> deviceType);
    static std::vector<IDevice*> getDeviceList(TSR_DEVICE_TYPE deviceType);
    static std::vector<IDevice*> getDeviceList(TSR_DEVICE_TYPE deviceType,
                                               TSR_DEVICE_CONNECTION_TYPE connectionType);

    static std::vector<TSR_DEVICE_CONNECTION_TYPE_Tag> getConnectionTypes(
        TSR_DEVICE_TYPE deviceType);
    // Whether devices of this connection type are found by listing (others need an address).
    static bool isEnumable(TSR_DEVICE_TYPE deviceType, TSR_DEVICE_CONNECTION_TYPE connectionType);

    // Null for a family without devices.
    static IDevice* getDevice(TSR_DEVICE_TYPE DeviceType, TSR_DEVICE_CONNECTION_TYPE ConnectionType,
                              std::string DeviceAddress);
    static IDevice* getDevice(TSR_DEVICE_TYPE DeviceType, TSR_DEVICE_CONNECTION_TYPE ConnectionType,
                              std::string DeviceAddress, CertificateInfo cert);

    // Closes and destroys the device; null does nothing; never throws.
    static void releaseDevice(IDevice* Device);
    // Releases every element in order, then clears the vector.
    static void releaseDeviceList(std::vector<IDevice*>& devices);

    // "USB", "BLE", "BLEEMV", "BLEEMVT", "TCP", "TLS12", "TLS12TRUST", "SERIAL", "WebSocket",
    // "WebSocket_Trust", "Lightning"; "" for values outside the enumeration.
    static std::string getConnectionTypeString(TSR_DEVICE_CONNECTION_TYPE connectionType);
    // Case-insensitive inverse of getConnectionTypeString; unknown text gives TSR_USB.
    static TSR_DEVICE_CONNECTION_TYPE getConnectionTypeFromString(std::string connectionTypeString);
};

}  // namespace TESSERA
