#pragma once

#include <cstdint>

namespace reelkit {

// Signed count of 100-nanosecond units, the clock of recordings and of AVI sample times.
using Time = std::int64_t;

inline constexpr Time kTimeUnitsPerSecond = 10'000'000;

// Rounded down on purpose: 30 frames per second gives 333,333 and the stream keeps that pace. No
// rate, no duration.
constexpr Time FrameDuration(double framesPerSecond) {
  return framesPerSecond > 0
             ? static_cast<Time>(static_cast<double>(kTimeUnitsPerSecond) / framesPerSecond)
             : 0;
}

}  // namespace reelkit
