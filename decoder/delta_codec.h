#pragma once

#include <cstdint>
#include <span>

#include "decoder/native_format.h"

namespace reelkit {

// The rectangle a DLTA rewrites, in native pixels; top counts from the top screen row.
struct DeltaRectangle {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
};

// The three buffers a delta rewrites, all in the native layout. bufferSize is the size the
// decoder last gave its buffers: a run may start at most there.
struct DeltaPlanes {
  std::span<std::uint8_t> screen;
  std::span<std::uint8_t> current;
  std::span<std::uint8_t> previous;
  std::uint64_t bufferSize = 0;
};

// The run opcodes of a delta stream.
namespace delta_opcode {
inline constexpr std::uint8_t kShowBytes = 1;
inline constexpr std::uint8_t kSwapBytes = 2;
inline constexpr std::uint8_t kLiteralBytes = 3;
inline constexpr std::uint8_t kFillByte = 4;
inline constexpr std::uint8_t kFill16 = 5;
inline constexpr std::uint8_t kFill24 = 6;
inline constexpr std::uint8_t kFill32 = 7;
inline constexpr std::uint8_t kShowWords = 10;
inline constexpr std::uint8_t kSwapWords = 12;
inline constexpr std::uint8_t kLiteralWords = 13;
}  // namespace delta_opcode

// The longest opcode stream a whole-picture rectangle needs: every byte literal, in runs of at
// most 255 bytes behind their 2-byte head. Slightly longer than the picture itself.
std::uint64_t LongestWholePictureDelta(const PlaneLayout& layout);

// Applies the opcode stream to the rectangle, bottom row first, and returns the rows completed.
// A truncated stream or a run starting outside a plane ends the rectangle quietly; a run whose
// end passes a buffer is cut at that end. Throws CAviException_AccessViolation when a run would
// start outside the screen image.
std::uint32_t DecodeDeltaRectangle(const DeltaPlanes& planes, std::span<const std::uint8_t> opcodes,
                                   const DeltaRectangle& rectangle, const PlaneLayout& layout);

}  // namespace reelkit
