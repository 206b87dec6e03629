#include "IBaseDevice.h"

#include "FeatureStatusBuilder.h"

namespace TESSERA {

IBaseDevice::~IBaseDevice() = default;

void* IBaseDevice::getAttachedObject() {
    return attachedObject;
}

void IBaseDevice::setAttachedObject(void* object) {
    attachedObject = object;
}

void IBaseDevice::sendEvent(EventType, IData) {}

void IBaseDevice::sendFeatureStatusEvent(DeviceFeature feature, FeatureStatus status) {
    sendEvent(EVENT_TYPE_FeatureStatus, IData(FeatureStatusBuilder::GetFeatureString(feature) +
                                              "," + FeatureStatusBuilder::GetStatusString(status)));
}

}  // namespace TESSERA
