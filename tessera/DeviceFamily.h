#pragma once
// What CoreAPI needs of a device family, and the registry through which each family makes
// itself known. A family class (swipe readers, message-schema readers) offers five static
// operations:
//
//   static std::vector<TSR_DEVICE_CONNECTION_TYPE> getSupportedConnectionTypes();
//   static bool IsEnumable(TSR_DEVICE_CONNECTION_TYPE type);
//   static std::vector<Device*> enumDevices(TSR_DEVICE_CONNECTION_TYPE type);
//   static Device* getDevice(TSR_DEVICE_CONNECTION_TYPE type, std::string path);
//   static void releaseDevice(Device* device);
//
// and optionally getDevice(type, path, CertificateInfo cert) for families with secured
// connections (the others ignore the certificate). Device is the family's device class, an
// IDevice. One line in the family's source file registers it:
//
//   static const DeviceFamilyRegistration<STRIXIDevice> registration(SWR);
//
// Registration happens during the library's static initialisation; afterwards the registry is
// only read. A family type nobody registered has no devices.
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "tessera/CertificateInfo.h"
#include "tessera/Enumerations.h"
#include "tessera/IDevice.h"

namespace TESSERA {

class DeviceFamily {
  public:
    virtual ~DeviceFamily() = default;

    virtual std::vector<TSR_DEVICE_CONNECTION_TYPE> getSupportedConnectionTypes() const = 0;
    virtual bool IsEnumable(TSR_DEVICE_CONNECTION_TYPE type) const = 0;
    virtual std::vector<IDevice*> enumDevices(TSR_DEVICE_CONNECTION_TYPE type) const = 0;
    virtual IDevice* getDevice(TSR_DEVICE_CONNECTION_TYPE type, const std::string& path,
                               const CertificateInfo* cert) const = 0;
    // Removes the device from the family's registry and destroys it.
    virtual void releaseDevice(IDevice* device) const = 0;

    // The family registered for type, or null.
    static const DeviceFamily* find(TSR_DEVICE_TYPE type);
    // Makes family serve type. The family object must outlive every CoreAPI call (a static
    // object); a second registration for the same type replaces the first.
    static void registerFamily(TSR_DEVICE_TYPE type, const DeviceFamily* family);
};

namespace detail {
template <typename T, typename = void>
struct HasCertificateLookup : std::false_type {};
template <typename T>
struct HasCertificateLookup<T, std::void_t<decltype(T::getDevice(
                                   std::declval<TSR_DEVICE_CONNECTION_TYPE>(),
                                   std::declval<std::string>(), std::declval<CertificateInfo>()))>>
    : std::true_type {};
}  // namespace detail

// Adapts the static operations of family class T to DeviceFamily and registers them.
template <typename T>
class DeviceFamilyRegistration final : public DeviceFamily {
  public:
    explicit DeviceFamilyRegistration(TSR_DEVICE_TYPE type) { registerFamily(type, this); }

    std::vector<TSR_DEVICE_CONNECTION_TYPE> getSupportedConnectionTypes() const override {
        return T::getSupportedConnectionTypes();
    }
    bool IsEnumable(TSR_DEVICE_CONNECTION_TYPE type) const override { return T::IsEnumable(type); }
    std::vector<IDevice*> enumDevices(TSR_DEVICE_CONNECTION_TYPE type) const override {
        std::vector<IDevice*> devices;
        for (auto* device : T::enumDevices(type)) devices.push_back(device);
        return devices;
    }
    IDevice* getDevice(TSR_DEVICE_CONNECTION_TYPE type, const std::string& path,
                       const CertificateInfo* cert) const override {
        if constexpr (detail::HasCertificateLookup<T>::value) {
            if (cert != nullptr) return T::getDevice(type, path, *cert);
        }
        return T::getDevice(type, path);
    }
    void releaseDevice(IDevice* device) const override {
        using Device = std::remove_pointer_t<decltype(T::getDevice(
            std::declval<TSR_DEVICE_CONNECTION_TYPE>(), std::declval<std::string>()))>;
        // A device that claims this family but is not one of its objects is destroyed
        // directly rather than handed to the family's registry as the wrong type.
        if (auto* own = dynamic_cast<Device*>(device)) {
            T::releaseDevice(own);
        } else {
            delete device;
        }
    }
};

}  // namespace TESSERA
