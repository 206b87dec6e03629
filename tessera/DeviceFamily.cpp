#include "DeviceFamily.h"

#include <map>

namespace TESSERA {

namespace {
// Created on first use so that families registering from other translation units during
// static initialisation always find it constructed.
std::map<TSR_DEVICE_TYPE, const DeviceFamily*>& families() {
    static std::map<TSR_DEVICE_TYPE, const DeviceFamily*> registry;
    return registry;
}
}  // namespace

const DeviceFamily* DeviceFamily::find(TSR_DEVICE_TYPE type) {
    const auto& registry = families();
    const auto it = registry.find(type);
    return it == registry.end() ? nullptr : it->second;
}

void DeviceFamily::registerFamily(TSR_DEVICE_TYPE type, const DeviceFamily* family) {
    families()[type] = family;
}

}  // namespace TESSERA
