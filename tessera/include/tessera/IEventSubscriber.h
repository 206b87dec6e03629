#pragma once
#include "Enumerations.h"
#include "Export.h"
#include "IData.h"

namespace TESSERA {

// Implemented by the application to receive the events of one device. OnEvent runs on a
// thread of the device library that delivered the data, not on the thread that subscribed.
class SDK_EXPORT IEventSubscriber {
  public:
    virtual void OnEvent(EventType eventType, IData data) = 0;

  protected:
    // Devices never own or delete their subscriber; the destructor slot follows OnEvent.
    virtual ~IEventSubscriber() = default;
};

}  // namespace TESSERA
