#pragma once
// Device side of the USB HID gadget in the test guest (scripts/usbvm.sh): every read of the
// gadget's character device yields one output report sent by the host, every write queues one
// input report for the host. Reports carry no report number. Waits are poll() on the device and
// on an eventfd, so stop() wakes a waiting thread at once.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class HidGadgetPort {
  public:
    static constexpr std::size_t kReportSize = 64;

    explicit HidGadgetPort(std::string path = "/dev/hidg0");
    ~HidGadgetPort();
    HidGadgetPort(const HidGadgetPort&) = delete;
    HidGadgetPort& operator=(const HidGadgetPort&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }

    // Waits up to timeoutMs (negative: no limit) for one output report. Empty when the wait ran
    // out, stop() was called or the device failed (error() tells which).
    std::optional<std::vector<std::uint8_t>> readReport(int timeoutMs);
    // Queues one input report, padded with zeros to kReportSize bytes (longer data is refused).
    // Waits up to timeoutMs for the host to have taken the previous one.
    bool writeReport(const std::uint8_t* data, std::size_t length, int timeoutMs);
    bool writeReport(const std::vector<std::uint8_t>& report, int timeoutMs) {
        return writeReport(report.data(), report.size(), timeoutMs);
    }
    // Makes every waiting and later call return at once; callable from any thread.
    void stop();

  private:
    // 1: fd ready, 0: timed out, -1: stopped or failed.
    int waitFor(short events, int timeoutMs);

    int fd_ = -1;
    int wake_ = -1;
    std::string error_;
};
