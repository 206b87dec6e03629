#include "SwipeModel.h"

#include <stdexcept>

namespace sim::swipe {

const std::vector<SwipeModel>& swipeModels() {
    static const std::vector<SwipeModel> models = {
        {0x0001, "Standard Swipe in Keyboard Mode", false, false, false, false},
        {0x0011, "Cardova V4/V5 Swipe", true, false, false, false},
        {0x0012, "Cardova Boot Loader Mode", true, false, false, false},
        {0x0013, "Cardova Insert", true, false, false, false},
        {0x0019, "eTorvo", true, true, true, true},
        {0x001A, "eTorvo OEM", true, true, true, true},
        {0x001C, "tTorvo", true, true, true, true},
        {0x001D, "kTorvo", true, true, true, false},
        {0x001E, "Brevo", true, true, true, true},
        {0x001F, "iTorvo 6", true, true, true, false},
        {0x0020, "iTorvo5 Gen 3", true, true, true, false},
        {0x0021, "iTorvo5 Gen 3 Keyboard Mode", true, true, true, false},
    };
    return models;
}

const SwipeModel& swipeModel(uint16_t productId) {
    for (const auto& m : swipeModels()) {
        if (m.productId == productId) return m;
    }
    throw std::out_of_range("unknown swipe reader product id");
}

}  // namespace sim::swipe
