#include "DeviceRegistry.h"

#include "AsterDevice.h"

DeviceRegistry::~DeviceRegistry() {
    std::unordered_map<void*, std::shared_ptr<AsterDevice>> left;
    {
        std::lock_guard<std::mutex> guard(lock);
        left.swap(devices);
    }
    for (auto& entry : left) {
        AsterDevice& device = *entry.second;
        device.onStatusChanged = nullptr;
        device.onData = nullptr;
        device.StopDelivery();
        device.release();
    }
}

void* DeviceRegistry::add(std::shared_ptr<AsterDevice> device) {
    void* handle = device.get();
    std::lock_guard<std::mutex> guard(lock);
    devices[handle] = std::move(device);
    return handle;
}

std::shared_ptr<AsterDevice> DeviceRegistry::find(void* handle) {
    if (isNoHandle(handle)) return nullptr;
    std::lock_guard<std::mutex> guard(lock);
    auto it = devices.find(handle);
    return it == devices.end() ? nullptr : it->second;
}

std::shared_ptr<AsterDevice> DeviceRegistry::remove(void* handle) {
    if (isNoHandle(handle)) return nullptr;
    std::lock_guard<std::mutex> guard(lock);
    auto it = devices.find(handle);
    if (it == devices.end()) return nullptr;
    std::shared_ptr<AsterDevice> device = std::move(it->second);
    devices.erase(it);
    return device;
}
