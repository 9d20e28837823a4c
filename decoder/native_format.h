#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "common/bitmap_format.h"
#include "common/picture_rules.h"

namespace reelkit {

// Largest native picture the decoder agrees to hold. Four buffers of 4 bytes per pixel are kept,
// so this caps the decoder near 1 GiB; real screens stay far below it.
inline constexpr std::uint64_t kMaxNativePixels = std::uint64_t{1} << 26;

// Byte of pixel column x within a row. Below 8 bits two pixels share a byte; negative columns
// round toward minus infinity so they never alias column 0.
constexpr std::int64_t BytePosition(std::int64_t x, std::uint32_t bitCount) {
  if (bitCount < 8) {
    return x >= 0 ? x / 2 : (x - 1) / 2;
  }
  return x * static_cast<std::int64_t>(bitCount) / 8;
}

// Bytes covered by w pixels starting on a byte boundary.
constexpr std::int64_t ByteWidth(std::int64_t w, std::uint32_t bitCount) {
  if (bitCount < 8) {
    return w + 1 >= 0 ? (w + 1) / 2 : w / 2;
  }
  return w * static_cast<std::int64_t>(bitCount) / 8;
}

// A native picture: rows bottom-up, each padded to the DIB stride.
struct PlaneLayout {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t bitCount = 0;

  std::uint64_t Stride() const { return DibStride(width, bitCount); }
  std::uint64_t FrameSize() const { return Stride() * height; }
  bool Empty() const { return width == 0 || height == 0; }

  friend bool operator==(const PlaneLayout&, const PlaneLayout&) = default;
};

// The masks pixels of this header use: the carried ones with bit fields, when there are any; else
// 5-5-5 for plain 16 bits, 5-6-5 for 16-bit bit fields, and the plain order at 32 bits.
ColorMasks NativeMasks(const BitmapInfoHeader& header, const std::optional<ColorMasks>& carried);

// Throws CAviException_InvalidData unless the header describes a bottom-up picture of 1 to
// kMaxPictureSide pixels each way, at a depth the decoder can draw, small enough to hold.
void CheckNativeFormat(const BitmapInfoHeader& header);

}  // namespace reelkit
