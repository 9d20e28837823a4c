#include "gstreamer/picture_output.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "common/endian.h"

namespace reelkit::gst {
namespace {

struct MaskedFormat {
  ColorMasks masks;
  RawFormat format;
};

constexpr std::array<MaskedFormat, 4> k16BitFormats = {{
    {kMasks565, RawFormat::Rgb16},
    {{0x001F, 0x07E0, 0xF800}, RawFormat::Bgr16},
    {kMasks555, RawFormat::Rgb15},
    {{0x001F, 0x03E0, 0x7C00}, RawFormat::Bgr15},
}};

// A channel of a 16-bit pixel widened to eight bits by repeating its bits.
std::uint8_t Widen(std::uint32_t pixel, std::uint32_t mask) {
  if (mask == 0) {
    return 0;
  }
  const int shift = std::countr_zero(mask);
  const int bits = std::min(8, std::popcount(mask >> shift));
  const std::uint32_t value = (pixel & mask) >> shift >> (std::popcount(mask >> shift) - bits);
  std::uint32_t wide = 0;
  for (int filled = 0; filled < 8; filled += bits) {
    wide = (wide << bits) | value;
  }
  return static_cast<std::uint8_t>(wide >> (((8 + bits - 1) / bits) * bits - 8));
}

void WidenRow(const std::uint8_t* row, std::uint32_t width, const ColorMasks& masks,
              std::uint8_t* dest) {
  for (std::uint32_t x = 0; x < width; ++x, dest += 4) {
    const std::uint32_t pixel = LoadU16LE(row + 2 * std::size_t{x});
    dest[0] = Widen(pixel, masks[2]);
    dest[1] = Widen(pixel, masks[1]);
    dest[2] = Widen(pixel, masks[0]);
    dest[3] = 0;
  }
}

// The framework's 16-bit formats hold pixels in the machine's byte order.
void CopyRow16(const std::uint8_t* row, std::uint32_t width, std::uint8_t* dest) {
  for (std::uint32_t x = 0; x < width; ++x) {
    const std::uint16_t pixel = LoadU16LE(row + 2 * std::size_t{x});
    std::memcpy(dest + 2 * std::size_t{x}, &pixel, sizeof pixel);
  }
}

}  // namespace

std::optional<PictureLayout> LayoutOfPictures(const BitmapFormat& outputFormat) {
  const BitmapInfoHeader header = outputFormat.Header();
  if (header.width <= 0 || header.height <= 0) {
    return std::nullopt;
  }
  PictureLayout layout;
  layout.width = static_cast<std::uint32_t>(header.width);
  layout.height = static_cast<std::uint32_t>(header.height);
  layout.bitCount = header.bitCount;
  if (header.bitCount == 32) {
    return layout;
  }
  if (header.bitCount != 16) {
    return std::nullopt;
  }
  layout.masks = header.compression == kCompressionBitFields ? outputFormat.Masks() : kMasks555;
  for (const MaskedFormat& candidate : k16BitFormats) {
    if (candidate.masks == layout.masks) {
      layout.format = candidate.format;
    }
  }
  return layout;
}

std::size_t PixelBytes(RawFormat format) {
  return format == RawFormat::Bgrx ? 4 : 2;
}

void CopyPicture(std::span<const std::uint8_t> picture, const PictureLayout& layout,
                 std::uint8_t* dest, std::size_t destStride) {
  const std::uint64_t stride = DibStride(layout.width, layout.bitCount);
  if (picture.size() / stride < layout.height) {
    return;
  }
  for (std::uint64_t y = 0; y < layout.height; ++y) {
    const std::uint8_t* row = picture.data() + (layout.height - 1 - y) * stride;
    std::uint8_t* out = dest + y * destStride;
    if (layout.bitCount == 32) {
      std::memcpy(out, row, std::size_t{layout.width} * 4);
    } else if (layout.format == RawFormat::Bgrx) {
      WidenRow(row, layout.width, layout.masks, out);
    } else {
      CopyRow16(row, layout.width, out);
    }
  }
}

}  // namespace reelkit::gst
