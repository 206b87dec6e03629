#pragma once
// A simulated swipe reader on USB HID: commands arrive as feature reports, answers are fetched
// as feature reports (61 bytes: report ID, status, length, data), card data and notification
// chunks go to the host as input reports (report ID 1 and 2 on routed models).
#include <memory>
#include <string>

#include "SwipeReaderCore.h"
#include "sim/HidDevice.h"

namespace sim::swipe {

class SwipeHidDevice : public sim::HidDevice {
  public:
    // serial "" gives a device without a serial number (listed by its path).
    SwipeHidDevice(uint16_t productId, std::string serial);
    ~SwipeHidDevice() override;

    SwipeReaderCore& core() { return *core_; }
    void swipe(const SwipeCard& card) { core_->swipe(card); }
    void notify(uint16_t id, const Bytes& data) { core_->notify(id, data); }

    static constexpr size_t kFeatureReportLength = 61;

  protected:
    int onSetFeature(const sim::Bytes& report) override;
    int onGetFeature(std::uint8_t reportId, std::size_t maxLength, sim::Bytes& out) override;

  private:
    std::unique_ptr<SwipeReaderCore> core_;
};

}  // namespace sim::swipe
