#pragma once
// Serves simulated HID devices to the hidapi stand-in over a Unix-domain socket. A process that
// sets TESSERA_SIM_HID to socketPath() and loads the stand-in sees the attached devices through
// hid_enumerate/hid_open_path as if they were on the USB bus.
#include <memory>
#include <string>
#include <vector>

#include "sim/EventLoop.h"
#include "sim/HidDevice.h"

namespace sim {

class HidServer {
  public:
    // Listens at socketPath, or in a fresh private temporary folder when it is empty. The loop
    // must outlive the server.
    explicit HidServer(EventLoop& loop, std::string socketPath = {});
    ~HidServer();  // unplugs every device and removes the socket
    HidServer(const HidServer&) = delete;
    HidServer& operator=(const HidServer&) = delete;

    const std::string& socketPath() const;
    // Puts the device on the bus and returns its path. Each attach gets a new device address, as
    // a real device does when plugged in again. A device is on one bus at a time.
    std::string attach(std::shared_ptr<HidDevice> device);
    // Unplugs the device at path; false when there is no such device. Called on the bench
    // thread (from a device handler) the unplug happens right after the handler returns.
    bool detach(const std::string& path);
    std::vector<std::shared_ptr<HidDevice>> devices() const;

  private:
    std::shared_ptr<HidServerCore> core_;
};

}  // namespace sim
