#pragma once
// Serves a simulated HID device through a USB HID gadget of the Linux USB gadget framework: the
// device's input reports are written to the gadget's character device and the host's output
// reports are read from it, so that a host reaches the device through the real kernel USB stack,
// libusb and hidapi. This is the transport of the test guest started by scripts/usbvm.sh, whose
// gadget (64-byte reports, no report number) sits on the dummy host controller.
//
// Plugging in and out is binding the gadget to its controller and unbinding it; every attach
// first writes the device's identity (vendor and product ID, release, strings) into the gadget, so
// the host enumerates the device as the model describes it. The host's opening and closing of the
// device cannot be seen from the gadget side: while attached, the device counts as open, and
// reports it sends before the host reads wait in the gadget as on a real device.
#include <memory>
#include <string>
#include <vector>

#include "sim/EventLoop.h"
#include "sim/HidDevice.h"

namespace sim {

// One gadget: its configfs folder and the controller it plugs into. The character device is found
// from the gadget's HID function.
struct GadgetConfig {
    std::string gadgetDir;   // e.g. /sys/kernel/config/usb_gadget/usbvm
    std::string controller;  // e.g. dummy_udc.0
};

class HidGadgetCore;

class HidGadget {
  public:
    // Serves the given gadgets, or when none are given those of the test guest (usbvm on
    // dummy_udc.0, usbvm1 on dummy_udc.1, ...). Takes them off the bus until devices are attached.
    // The loop must outlive the gadget.
    explicit HidGadget(EventLoop& loop, std::vector<GadgetConfig> gadgets = {});
    ~HidGadget();  // unplugs every attached device
    HidGadget(const HidGadget&) = delete;
    HidGadget& operator=(const HidGadget&) = delete;

    // Plugs the device in and waits until the host has enumerated it; returns its hidapi path
    // (libusb back end: "bus-ports:configuration.interface"). One device per gadget; throws
    // std::runtime_error when every gadget is taken, a gadget cannot be configured or the host
    // does not see it.
    std::string attach(std::shared_ptr<HidDevice> device);
    // Unplugs the device at path; false when it is not attached here.
    bool detach(const std::string& path);

    // True when the SIM_HID_GADGET environment variable asks for this transport (set inside the
    // test guest) and the guest's first gadget exists.
    static bool requested();

  private:
    std::shared_ptr<HidGadgetCore> core_;
};

}  // namespace sim
