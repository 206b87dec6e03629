#pragma once
// A simulated USB HID device as the hidapi stand-in shows it to a host. Subclasses model a reader:
// they receive output reports and feature-report calls (on the bench thread) and push input
// reports. The base keeps the record of everything the host sent and the faults to apply to what
// the device sends.
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "sim/FaultInjector.h"
#include "sim/HostLog.h"
#include "sim/Types.h"

namespace sim {

class HidDevice;

// What carries a device's reports to a host: the stand-in's HID server, or the USB gadget of the
// test guest (HidGadget). A device is on one bus at a time; the bus holds it while attached.
class HidBus {
  public:
    virtual ~HidBus() = default;
    // Any thread: send an input report to the host after `delay`, through the device's faults.
    virtual void queueInput(HidDevice* device, Bytes report, Millis delay) = 0;
    // Any thread: pull the device at path off the bus; false when there is no such device.
    virtual bool detach(const std::string& path) = 0;

  protected:
    // The device's side of the bus, for buses other than the stand-in's server.
    static void bindDevice(HidDevice& device, std::weak_ptr<HidBus> bus, std::string path);
    static void unbindDevice(HidDevice& device);
    static void setDeviceOpen(HidDevice& device, bool open);
    static void hostOpened(HidDevice& device);
    static void hostClosed(HidDevice& device);
    // Records the report in the device's host log and hands it to the device.
    static void outputReport(HidDevice& device, const Bytes& report);
};

class HidServerCore;

struct HidIdentity {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string serialNumber;  // UTF-8; shown to the host as a wide string
    std::string product;
    std::string manufacturer;
    std::uint16_t releaseNumber = 0x0100;
    std::uint16_t usagePage = 0xFF00;
    std::uint16_t usage = 0x0001;
    int interfaceNumber = 0;
};

class HidDevice : public std::enable_shared_from_this<HidDevice> {
  public:
    explicit HidDevice(HidIdentity identity);
    virtual ~HidDevice();
    HidDevice(const HidDevice&) = delete;
    HidDevice& operator=(const HidDevice&) = delete;

    const HidIdentity& identity() const { return identity_; }
    // The hidapi path while attached ("bus:address:interface" in hex), else "".
    std::string path() const;
    bool attached() const;
    bool openByHost() const;
    // Wait until a host has opened / no host has the device open; false on timeout.
    bool waitOpened(Millis timeout) const;
    bool waitClosed(Millis timeout) const;

    // Any thread: queue an input report (what hid_read returns: no report number unless the
    // device uses numbered reports, then byte 0 is the number) to be sent after `delay`, through
    // the fault injector. Returns false, and the report is lost as on a real bus, when no host
    // has the device open.
    bool pushInput(Bytes report, Millis delay = Millis(0));
    // Any thread: pull the device off the bus; the host's reads and writes then fail.
    void unplug();

    FaultInjector& faults() { return faults_; }
    HostLog& hostLog() { return log_; }

  protected:
    // Called on the bench thread. Reports include the report number/id in byte 0.
    virtual void onOutputReport(const Bytes& report);
    // Returns the count hid_send_feature_report reports (the full length) or -1 to fail it.
    virtual int onSetFeature(const Bytes& report);
    // Fills `out` with the report (report id in byte 0) and returns its length, or -1 to fail.
    virtual int onGetFeature(std::uint8_t reportId, std::size_t maxLength, Bytes& out);
    virtual int onGetInputReport(std::uint8_t reportId, std::size_t maxLength, Bytes& out);
    virtual void onHostOpened();
    virtual void onHostClosed();

  private:
    friend class HidBus;
    friend class HidServerCore;
    void bind(std::weak_ptr<HidBus> bus, std::string path);
    void unbind();
    void setOpen(bool open);

    const HidIdentity identity_;
    FaultInjector faults_;
    HostLog log_;
    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    std::weak_ptr<HidBus> bus_;
    std::string path_;
    bool open_ = false;
};

}  // namespace sim
