#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "common/bitmap_format.h"
#include "common/picture_rules.h"

// The raw video a decoded picture goes out as: the decoder's own layout where a raw format of the
// framework has it, else 32-bit pixels.
namespace reelkit::gst {

enum class RawFormat { Bgrx, Rgb16, Bgr16, Rgb15, Bgr15 };

struct PictureLayout {
  RawFormat format = RawFormat::Bgrx;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint16_t bitCount = 32;  // of the decoder's picture
  ColorMasks masks{};           // of its 16-bit pixels

  bool operator==(const PictureLayout&) const = default;
};

// The layout of the decoder's pictures in the output format it describes (32-bit plain pixels, or
// 16-bit ones by their masks); nothing for a format the decoder does not write.
std::optional<PictureLayout> LayoutOfPictures(const BitmapFormat& outputFormat);

// Bytes per pixel of the raw format.
std::size_t PixelBytes(RawFormat format);

// Copies the decoder's bottom-up picture (rows padded to four bytes) into rows from the top,
// destStride bytes apart. 16-bit pixels without a raw format of their own are widened to 32 bits,
// each channel's bits repeated so that full scale stays full scale. A picture shorter than its
// layout is left out.
void CopyPicture(std::span<const std::uint8_t> picture, const PictureLayout& layout,
                 std::uint8_t* dest, std::size_t destStride);

}  // namespace reelkit::gst
