#pragma once
#include <memory>
#include <mutex>
#include <unordered_map>

class AsterDevice;

// The devices opened through the C interface, by handle. Every call that takes a device handle
// looks it up here and holds a reference for its duration, so a handle that was never opened or
// is already closed is answered as "no handle", and a close from another thread never frees a
// device under a call that is still using it.
class DeviceRegistry {
  public:
    DeviceRegistry() = default;
    // Closes what the application left open (without reporting to it) and stops its threads.
    ~DeviceRegistry();
    DeviceRegistry(const DeviceRegistry&) = delete;
    DeviceRegistry& operator=(const DeviceRegistry&) = delete;

    void* add(std::shared_ptr<AsterDevice> device);
    // The device for a handle, or null for no handle (null, all ones, unknown or closed).
    std::shared_ptr<AsterDevice> find(void* handle);
    // Removes the handle and returns its device (null when unknown).
    std::shared_ptr<AsterDevice> remove(void* handle);

    static bool isNoHandle(void* handle) {
        return handle == nullptr || handle == reinterpret_cast<void*>(-1);
    }

  private:
    std::mutex lock;
    std::unordered_map<void*, std::shared_ptr<AsterDevice>> devices;
};
