#include "DeviceCapability.h"

namespace TESSERA {

DeviceCapability::DeviceCapability(int PaymentMethod, bool Display, bool PinPad, bool Signature,
                                   bool SRED, bool MSRPowerSaver, bool BatteryBackedClock)
    : PaymentMethods(PaymentMethod),
      Display(Display),
      PINPad(PinPad),
      Signature(Signature),
      AutoSignatureCapture(false),
      SRED(SRED),
      MSRPowerSaver(MSRPowerSaver),
      BatteryBackedClock(BatteryBackedClock) {}

}  // namespace TESSERA
