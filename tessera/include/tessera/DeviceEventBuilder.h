#pragma once
#include <string>

#include "Enumerations.h"
#include "Export.h"

namespace TESSERA {

// Device-event strings carried by EVENT_TYPE_DeviceEvent events. A device-event text may carry
// detail after a comma ("device_reset_occurred,..."); only the part before it names the event.
class SDK_EXPORT DeviceEventBuilder {
  public:
    static const std::string TESSERADE_DEVICE_RESET_OCCURRED;
    static const std::string TESSERADE_DEVICE_RESET_WILL_OCCUR;
    static const std::string TESSERADE_DEVICE_BONDING_FAILURE;
    static const std::string TESSERADE_DEVICE_TEMPERATURE_LOW;
    static const std::string TESSERADE_DEVICE_TEMPERATURE_HIGH;

    // The event named before the first comma; TSR_DEVICE_EVENT_None otherwise.
    static DeviceEvent GetValue(std::string valueString);
    static std::string GetString(DeviceEvent value);
};

}  // namespace TESSERA
