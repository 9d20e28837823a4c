#pragma once

// The screen depths a recording can carry, the bitmap format block that describes each, and the
// packing of 0xAARRGGBB pixels into them.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "common/bitmap_format.h"

namespace reelkit::recording {

enum class PixelLayout {
  Indexed8,        // 8 bits, 256-entry colour table
  Rgb555,          // 16 bits, compression 0
  Rgb565,          // 16 bits, bit fields F800/07E0/001F
  Rgb24,           // 24 bits, blue green red
  Rgb32,           // 32 bits, compression 0
  Rgb32BitFields,  // 32 bits, bit fields 00FF0000/0000FF00/000000FF
};

// "8", "16", "555", "565", "24", "32", "32bf"; nothing for any other text.
std::optional<PixelLayout> PixelLayoutFromText(std::string_view text);
std::string_view PixelLayoutName(PixelLayout layout);

unsigned BitsPerPixel(PixelLayout layout);
unsigned BytesPerPixel(PixelLayout layout);

// A bottom-up stream format block of the given size and layout. Indexed8 carries the palette of
// DefaultPaletteColor; bit-field layouts carry their three masks.
BitmapFormat MakeStreamFormat(int width, int height, PixelLayout layout);

// The layout a format block describes, when it is one of ours (masks decide between 555 and 565).
std::optional<PixelLayout> LayoutOfFormat(const BitmapFormat& format);

// The fixed palette of 8-bit recordings: a 6x6x6 colour cube (indices 0..215) followed by 40
// greys. Returned as 0x00RRGGBB.
std::uint32_t DefaultPaletteColor(unsigned index);
std::uint8_t DefaultPaletteIndex(std::uint32_t rgb);

// Packs count pixels of 0xAARRGGBB into native bytes (count x BytesPerPixel); alpha is ignored.
void PackPixels(std::span<const std::uint32_t> argb, PixelLayout layout, std::uint8_t* native);

// Packs a width x height picture of 0xAARRGGBB pixels, top row first, into the bottom-up image a
// recording carries: rows of DibStride bytes, padding zero. Throws std::invalid_argument when argb
// holds fewer than width x height pixels.
std::vector<std::uint8_t> PackPicture(std::span<const std::uint32_t> argb, int width, int height,
                                      PixelLayout layout);

// The bottom-up image of a picture painted by color(x, y), y counted from the top.
template <typename Color>
std::vector<std::uint8_t> PaintPicture(int width, int height, PixelLayout layout, Color color) {
  std::vector<std::uint32_t> argb;
  argb.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      argb.push_back(color(x, y));
    }
  }
  return PackPicture(argb, width, height, layout);
}

// One native pixel back to 0x00RRGGBB (8 bits through the default palette).
std::uint32_t UnpackPixel(const std::uint8_t* native, PixelLayout layout);

}  // namespace reelkit::recording
