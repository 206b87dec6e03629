#pragma once
// Basic types shared by the simulated readers and their transports.
#include <chrono>
#include <cstdint>
#include <vector>

namespace sim {

using Bytes = std::vector<std::uint8_t>;
using Millis = std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

}  // namespace sim
