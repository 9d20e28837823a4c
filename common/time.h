#pragma once

#include <cstdint>

namespace reelkit {

// Signed count of 100-nanosecond units, the clock of recordings and of AVI sample times.
using Time = std::int64_t;

inline constexpr Time kTimeUnitsPerSecond = 10'000'000;

// Integer division on purpose: 30 frames per second gives 333,333 and the stream keeps that pace.
constexpr Time FrameDuration(int framesPerSecond) { return kTimeUnitsPerSecond / framesPerSecond; }

}  // namespace reelkit
