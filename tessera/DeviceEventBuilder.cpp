#include "DeviceEventBuilder.h"

#include "NamedValues.h"
#include "stdafx.h"

namespace TESSERA {

using B = DeviceEventBuilder;
const std::string B::TESSERADE_DEVICE_RESET_OCCURRED = "device_reset_occurred";
const std::string B::TESSERADE_DEVICE_RESET_WILL_OCCUR = "device_reset_will_occur";
const std::string B::TESSERADE_DEVICE_BONDING_FAILURE = "device_bonding_failure";
const std::string B::TESSERADE_DEVICE_TEMPERATURE_LOW = "device_temperature_low";
const std::string B::TESSERADE_DEVICE_TEMPERATURE_HIGH = "device_temperature_high";

namespace {
const NamedValue<DeviceEvent> kEvents[] = {
    {TSR_DEVICE_EVENT_DeviceResetOccurred, &B::TESSERADE_DEVICE_RESET_OCCURRED},
    {TSR_DEVICE_EVENT_DeviceResetWillOccur, &B::TESSERADE_DEVICE_RESET_WILL_OCCUR},
    {TSR_DEVICE_EVENT_DeviceBondingFailure, &B::TESSERADE_DEVICE_BONDING_FAILURE},
    {TSR_DEVICE_EVENT_DeviceTemperatureLow, &B::TESSERADE_DEVICE_TEMPERATURE_LOW},
    {TSR_DEVICE_EVENT_DeviceTemperatureHigh, &B::TESSERADE_DEVICE_TEMPERATURE_HIGH},
};
}  // namespace

DeviceEvent DeviceEventBuilder::GetValue(std::string valueString) {
    // Detail may follow the name after a comma; the empty text splits into no parts.
    const std::vector<std::string> parts = SPLIT(valueString, ",");
    if (parts.empty()) return TSR_DEVICE_EVENT_None;
    return valueOf(kEvents, parts.front(), TSR_DEVICE_EVENT_None);
}

std::string DeviceEventBuilder::GetString(DeviceEvent value) {
    return stringOf(kEvents, value);
}

}  // namespace TESSERA
