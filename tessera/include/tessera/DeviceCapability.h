#pragma once
#include "Export.h"

namespace TESSERA {

// What a device can do.
class SDK_EXPORT DeviceCapability {
  public:
    // AutoSignatureCapture is always false: no device of either family captures on its own.
    DeviceCapability(int PaymentMethod, bool Display, bool PinPad, bool Signature, bool SRED,
                     bool MSRPowerSaver, bool BatteryBackedClock);

    int PaymentMethods;  // OR of PaymentMethods flags
    bool Display;
    bool PINPad;
    bool Signature;
    bool AutoSignatureCapture;
    bool SRED;
    bool MSRPowerSaver;
    bool BatteryBackedClock;
};

}  // namespace TESSERA
