#pragma once
#include <string>

#include "Enumerations.h"
#include "Export.h"

namespace TESSERA {

// The two halves of an EVENT_TYPE_FeatureStatus text: feature string, ",", status string.
class SDK_EXPORT FeatureStatusBuilder {
  public:
    static const std::string FEATURE_PIN_ENTRY;          // "feature_pin_entry"
    static const std::string FEATURE_PAN_ENTRY;          // "feature_pan_entry"
    static const std::string FEATURE_SIGNATURE_CAPTURE;  // "feature_signature_capture"
    static const std::string FEATURE_SHOW_BAR_CODE;      // "feature_show_bar_code"
    static const std::string FEATURE_SCAN_BAR_CODE;      // "feature_scan_bar_code"
    static const std::string STATUS_SUCCESS;             // "status_success"
    static const std::string STATUS_FAILED;              // "status_failed"
    static const std::string STATUS_TIMED_OUT;           // "status_timed_out"
    static const std::string STATUS_CANCELLED;           // "status_cancelled"
    static const std::string STATUS_ERROR;               // "status_error"
    static const std::string STATUS_HARDWARE_NA;         // "status_hardware_na"

    static DeviceFeature GetDeviceFeature(std::string data);
    static FeatureStatus GetFeatureStatus(std::string data);
    // "" for TSR_DEVICE_FEATURE_None, TSR_DEVICE_FEATURE_DisplayMessage and unknown values.
    static std::string GetFeatureString(DeviceFeature value);
    static std::string GetStatusString(FeatureStatus value);
};

}  // namespace TESSERA
