#pragma once

#include <cstdint>
#include <span>

#include "decoder/decompression.h"
#include "decoder/native_format.h"

namespace reelkit {

// The buffers a MOVE works on, all in the native layout.
struct MovePlanes {
  std::span<std::uint8_t> current;
  std::span<std::uint8_t> previous;
  std::span<std::uint8_t> screen;
};

// Edges of a dirty rectangle beyond this are refused.
inline constexpr std::int16_t kMaxMoveEdge = 30000;

namespace move_kind {
inline constexpr std::uint16_t kCopy = 0;
inline constexpr std::uint16_t kFill = 1;
inline constexpr std::uint16_t kSave = 2;
}  // namespace move_kind

inline constexpr std::size_t kMoveRecordSize = 16;

// Applies a MOVE payload: block copies, fills and saves on the current plane, clipped to the
// native picture, then copies the rectangle they touched into the screen image. Compressed
// records are unpacked into scratch. Throws CAviException_ArrayBoundsExceeded when the touched
// rectangle reaches past 30000 and CAviException_InvalidData on an unknown record kind; records
// before the failing one stay applied.
void ApplyScreenMoves(std::span<const std::uint8_t> payload, const PlaneLayout& layout,
                      const MovePlanes& planes, std::span<std::uint8_t> scratch,
                      CInflater& inflater);

}  // namespace reelkit
