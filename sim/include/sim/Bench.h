#pragma once
// The test bench: one bench thread and the transports through which simulated readers are
// reached (HID through the hidapi stand-in, TCP on 127.0.0.1, pseudo-terminals).
//
//   sim::Bench bench;
//   bench.exportHidSocket();                       // TESSERA_SIM_HID for this process
//   auto reader = std::make_shared<MyHidDevice>(...);
//   std::string path = bench.attachHid(reader);    // hid_enumerate now lists it
//   ...
//   reader->unplug();                              // or bench.hid().detach(path)
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/EventLoop.h"
#include "sim/HidGadget.h"
#include "sim/HidServer.h"
#include "sim/StreamPorts.h"

namespace sim {

class Bench {
  public:
    // hidSocketPath: where the HID server listens (empty: a private temporary folder).
    explicit Bench(std::string hidSocketPath = {});
    ~Bench();  // unplugs every device, closes every port, stops the bench thread
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    EventLoop& loop() { return *loop_; }
    HidServer& hid();
    // Puts the device on the bench's HID bus (the stand-in's server) and returns its hidapi path.
    // Inside the USB test guest (SIM_HID_GADGET set, see HidGadget) the device is plugged into
    // the real USB stack through the gadget instead, and the path is the real hidapi path.
    std::string attachHid(std::shared_ptr<HidDevice> device);
    // The returned port lives as long as the bench.
    TcpPort& serveTcp(std::shared_ptr<StreamDevice> device, std::uint16_t port = 0);
    PtyPort& servePty(std::shared_ptr<StreamDevice> device);

    // Sets TESSERA_SIM_HID of this process to the HID server's socket, so that the stand-in
    // loaded into this process finds the bench (call it before other threads read the
    // environment). The bench removes the variable again when it goes, if it still points here.
    void exportHidSocket();

  private:
    std::unique_ptr<EventLoop> loop_;  // first member: destroyed last
    std::string hidSocketPath_;
    std::mutex lock_;
    std::unique_ptr<HidServer> hid_;
    std::unique_ptr<HidGadget> gadget_;
    std::vector<std::unique_ptr<TcpPort>> tcp_;
    std::vector<std::unique_ptr<PtyPort>> pty_;
    bool exported_ = false;
};

}  // namespace sim
