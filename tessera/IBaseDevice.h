#pragma once
#include "tessera/Enumerations.h"
#include "tessera/IData.h"
#include "tessera/IDevice.h"

namespace TESSERA {

// Common base of the device implementations of both families: keeps the application's
// attached object and adds two event operations after those of IDevice. The families append
// their own operations after these.
class IBaseDevice : public IDevice {
  public:
    ~IBaseDevice() override;

    void* getAttachedObject() override;
    void setAttachedObject(void* object) override;

    // Delivers one event to the device's subscriber. This version does nothing; a family
    // that routes its events through here overrides it.
    virtual void sendEvent(EventType evt, IData data);
    // Sends EVENT_TYPE_FeatureStatus with the feature string, "," and the status string.
    virtual void sendFeatureStatusEvent(DeviceFeature feature, FeatureStatus status);

  protected:
    void* attachedObject = nullptr;
};

}  // namespace TESSERA
