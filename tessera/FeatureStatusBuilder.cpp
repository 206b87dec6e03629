#include "FeatureStatusBuilder.h"

#include "NamedValues.h"

namespace TESSERA {

using B = FeatureStatusBuilder;
const std::string B::FEATURE_PIN_ENTRY = "feature_pin_entry";
const std::string B::FEATURE_PAN_ENTRY = "feature_pan_entry";
const std::string B::FEATURE_SIGNATURE_CAPTURE = "feature_signature_capture";
const std::string B::FEATURE_SHOW_BAR_CODE = "feature_show_bar_code";
const std::string B::FEATURE_SCAN_BAR_CODE = "feature_scan_bar_code";
const std::string B::STATUS_SUCCESS = "status_success";
const std::string B::STATUS_FAILED = "status_failed";
const std::string B::STATUS_TIMED_OUT = "status_timed_out";
const std::string B::STATUS_CANCELLED = "status_cancelled";
const std::string B::STATUS_ERROR = "status_error";
const std::string B::STATUS_HARDWARE_NA = "status_hardware_na";

namespace {
// TSR_DEVICE_FEATURE_DisplayMessage has no string.
const NamedValue<DeviceFeature> kFeatures[] = {
    {TSR_DEVICE_FEATURE_SignatureCapture, &B::FEATURE_SIGNATURE_CAPTURE},
    {TSR_DEVICE_FEATURE_PINEntry, &B::FEATURE_PIN_ENTRY},
    {TSR_DEVICE_FEATURE_PANEntry, &B::FEATURE_PAN_ENTRY},
    {TSR_DEVICE_FEATURE_ShowBarCode, &B::FEATURE_SHOW_BAR_CODE},
    {TSR_DEVICE_FEATURE_ScanBarCode, &B::FEATURE_SCAN_BAR_CODE},
};
const NamedValue<FeatureStatus> kStatuses[] = {
    {TSR_FEATURE_STATUS_Success, &B::STATUS_SUCCESS},
    {TSR_FEATURE_STATUS_Failed, &B::STATUS_FAILED},
    {TSR_FEATURE_STATUS_TimedOut, &B::STATUS_TIMED_OUT},
    {TSR_FEATURE_STATUS_Cancelled, &B::STATUS_CANCELLED},
    {TSR_FEATURE_STATUS_Error, &B::STATUS_ERROR},
    {TSR_FEATURE_STATUS_HardwareNA, &B::STATUS_HARDWARE_NA},
};
}  // namespace

DeviceFeature FeatureStatusBuilder::GetDeviceFeature(std::string data) {
    return valueOf(kFeatures, data, TSR_DEVICE_FEATURE_None);
}

FeatureStatus FeatureStatusBuilder::GetFeatureStatus(std::string data) {
    return valueOf(kStatuses, data, TSR_FEATURE_STATUS_NoStatus);
}

std::string FeatureStatusBuilder::GetFeatureString(DeviceFeature value) {
    return stringOf(kFeatures, value);
}

std::string FeatureStatusBuilder::GetStatusString(FeatureStatus value) {
    return stringOf(kStatuses, value);
}

}  // namespace TESSERA
