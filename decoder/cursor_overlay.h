#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "common/byte_block.h"
#include "decoder/decompression.h"
#include "decoder/picture_geometry.h"

namespace reelkit {

// How one cursor pixel is drawn.
enum class CursorPixel : std::uint8_t {
  Transparent,  // the picture shows through
  Black,        // every bit 0
  White,        // every bit 1
};

// The class of a cursor pixel stored as blue, green, red.
CursorPixel ClassifyCursorPixel(std::uint8_t blue, std::uint8_t green, std::uint8_t red);

// Largest cursor side accepted from a MOUS packet, and the largest raw image that allows.
inline constexpr std::int32_t kMaxCursorSide = 4096;
inline constexpr std::uint64_t kMaxCursorImageBytes =
    std::uint64_t{3} * kMaxCursorSide * kMaxCursorSide;

// The mouse cursor: its shape (MOUS), position (MPOS), and the picture bytes it covers while it
// is drawn. The screen image never holds the cursor; only the output picture does, between a
// Draw and the Restore that starts the next bundle.
class CCursorOverlay {
 public:
  // MOUS payload. A shape that does not inflate to width x height pixels keeps the previous one;
  // a size of 0 (or one too large to accept) leaves no cursor to draw.
  void SetShape(std::span<const std::uint8_t> payload, CInflater& inflater);
  // MPOS payload.
  void SetPosition(std::span<const std::uint8_t> payload);

  // Draws the cursor, clipped to the native picture, into the working frame the geometry
  // describes, remembering every byte it replaces.
  void Draw(std::span<std::uint8_t> picture, const CPictureGeometry& geometry);
  // Puts back the bytes of the last Draw, last drawn first, so pixels that several cursor pixels
  // reached after shrinking end up as they were before the cursor.
  void Restore(std::span<std::uint8_t> picture);

  // Forgets shape, position and saved bytes.
  void Reset();

  bool HasShape() const { return !shape_.empty(); }
  std::int32_t Width() const { return width_; }
  std::int32_t Height() const { return height_; }
  // Row 0 is the top row of the cursor.
  CursorPixel PixelAt(std::int32_t column, std::int32_t row) const {
    return shape_[static_cast<std::size_t>(row) * static_cast<std::size_t>(width_) +
                  static_cast<std::size_t>(column)];
  }

 private:
  bool InflateImage(std::span<const std::uint8_t> compressed, std::uint64_t imageBytes,
                    std::uint64_t rawLength, CInflater& inflater);
  void ClassifyImage(std::int32_t width, std::int32_t height);
  void DrawPixel(std::span<std::uint8_t> picture, const PixelPlace& place, CursorPixel pixel,
                 std::uint32_t bitCount);

  std::int32_t positionX_ = 0;
  std::int32_t positionY_ = 0;
  std::int32_t hotspotX_ = 0;
  std::int32_t hotspotY_ = 0;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  std::vector<CursorPixel> shape_;
  ByteBlock image_;
  // One entry per drawn pixel, in drawing order: where it was and the bytes it replaced (the
  // first savedBytesPerPixel_ of them).
  struct SavedPixel {
    std::uint64_t offset;
    std::array<std::uint8_t, 4> bytes;
  };
  std::vector<SavedPixel> saved_;
  std::size_t savedBytesPerPixel_ = 0;
};

}  // namespace reelkit
