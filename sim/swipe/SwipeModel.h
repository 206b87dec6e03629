#pragma once
// The swipe-reader models the simulator can play: their USB identity and the protocol traits
// that decide how their reports look on the wire.
#include <cstdint>
#include <string>
#include <vector>

namespace sim::swipe {

constexpr uint16_t kVendorId = 0x2F1A;

struct SwipeModel {
    uint16_t productId;
    const char* name;
    bool encrypting;  // tracks travel encrypted, masked copies and secure fields follow
    bool routed;      // reports carry report ID 1 for commands/card data and 2 for notifications
    bool emv;         // accepts extended commands and runs EMV transactions
    bool battery;     // answers the battery-level command
};

// The twelve models a USB enumeration can show, in product-ID order of the product list.
const std::vector<SwipeModel>& swipeModels();
// The model with that product ID; throws std::out_of_range for an unknown one.
const SwipeModel& swipeModel(uint16_t productId);

}  // namespace sim::swipe
