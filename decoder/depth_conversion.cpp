#include "decoder/depth_conversion.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "common/endian.h"

namespace reelkit {
namespace {

using Palette = std::array<std::uint32_t, 256>;

// The mask that keeps the first three bytes of a word in memory order, whatever the host order.
constexpr std::array<std::uint8_t, 4> kLowThreeBytes{0xFF, 0xFF, 0xFF, 0x00};

// Entries are kept as raw 4-byte words so a store writes them back in stored order.
Palette LoadPalette(std::span<const std::uint8_t, 1024> colorTable) {
  Palette palette;
  std::memcpy(palette.data(), colorTable.data(), colorTable.size());
  return palette;
}

void StoreWord(std::uint8_t* bytes, std::uint32_t word) {
  std::memcpy(bytes, &word, 4);
}

void ConvertRow4(const std::uint8_t* source, std::uint8_t* target, std::uint32_t width,
                 const Palette& palette) {
  for (std::uint32_t x = 0; x < width; ++x) {
    const std::uint8_t byte = source[x / 2];
    const std::uint8_t index = (x & 1) == 0 ? byte >> 4 : byte & 0x0F;
    StoreWord(target + 4 * std::size_t{x}, palette[index]);
  }
}

void ConvertRow8(const std::uint8_t* source, std::uint8_t* target, std::uint32_t width,
                 const Palette& palette) {
  for (std::uint32_t x = 0; x < width; ++x) {
    StoreWord(target + 4 * std::size_t{x}, palette[source[x]]);
  }
}

void ConvertRow24(const std::uint8_t* source, std::uint8_t* target, std::uint32_t width) {
  if (width == 0) {
    return;
  }
  // Every pixel but the last can be read as a whole word: its fourth byte belongs to the next
  // pixel and is replaced by the zero.
  std::uint32_t mask;
  std::memcpy(&mask, kLowThreeBytes.data(), 4);
  for (std::uint32_t x = 0; x + 1 < width; ++x) {
    std::uint32_t word;
    std::memcpy(&word, source + 3 * std::size_t{x}, 4);
    word &= mask;
    std::memcpy(target + 4 * std::size_t{x}, &word, 4);
  }
  const std::uint8_t* last = source + 3 * std::size_t{width - 1};
  std::uint8_t* out = target + 4 * std::size_t{width - 1};
  out[0] = last[0];
  out[1] = last[1];
  out[2] = last[2];
  out[3] = 0;
}

// One colour channel of a masked pixel: where it lies and how many bits it has.
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  int bits = 0;

  explicit Channel(std::uint32_t channelMask) : mask(channelMask) {
    if (mask != 0) {
      shift = std::countr_zero(mask);
      bits = std::bit_width(mask >> shift);
    }
  }

  std::uint32_t Level(std::uint32_t pixel) const {
    const std::uint32_t value = (pixel & mask) >> shift;
    if (bits >= 8) {
      return value >> (bits - 8);
    }
    return bits == 0 ? 0 : value * 255 / ((1u << bits) - 1);
  }
};

void ConvertRowMasked(const std::uint8_t* source, std::uint8_t* target, std::uint32_t width,
                      const std::array<Channel, 3>& channels) {
  for (std::uint32_t x = 0; x < width; ++x) {
    const std::uint32_t pixel = LoadU32LE(source + 4 * std::size_t{x});
    StoreU32LE(target + 4 * std::size_t{x}, channels[0].Level(pixel) << 16 |
                                                channels[1].Level(pixel) << 8 |
                                                channels[2].Level(pixel));
  }
}

bool Converts(std::uint32_t nativeBitCount, std::uint32_t outputBitCount) {
  return nativeBitCount == 4 ||
         (nativeBitCount == 8 && (outputBitCount == 8 || outputBitCount == 32)) ||
         (nativeBitCount == 24 && outputBitCount == 32);
}

}  // namespace

bool ConversionApplies(std::uint32_t nativeBitCount, std::uint32_t outputBitCount) {
  if (nativeBitCount != outputBitCount && nativeBitCount != 16 && nativeBitCount != 32) {
    return true;
  }
  return Converts(nativeBitCount, outputBitCount);
}

void ConvertToRgb32(std::span<const std::uint8_t> working, const CPictureGeometry& geometry,
                    std::uint32_t outputBitCount, std::span<const std::uint8_t, 1024> colorTable,
                    std::span<std::uint8_t> frame) {
  const std::uint32_t bitCount = geometry.Native().bitCount;
  const std::uint32_t width = geometry.OutputWidth();
  const std::uint64_t sourceStride = geometry.WorkingStride();
  const std::uint64_t targetStride = 4 * std::uint64_t{width};
  if (!Converts(bitCount, outputBitCount) || sourceStride == 0 || targetStride == 0) {
    return;
  }
  const std::uint64_t rows = std::min<std::uint64_t>(
      {geometry.OutputHeight(), working.size() / sourceStride, frame.size() / targetStride});
  const Palette palette = LoadPalette(colorTable);
  for (std::uint64_t row = 0; row < rows; ++row) {
    const std::uint8_t* source = working.data() + row * sourceStride;
    std::uint8_t* target = frame.data() + row * targetStride;
    switch (bitCount) {
      case 4:
        ConvertRow4(source, target, width, palette);
        break;
      case 8:
        ConvertRow8(source, target, width, palette);
        break;
      default:
        ConvertRow24(source, target, width);
        break;
    }
  }
}

void ConvertMaskedRgb32(std::span<const std::uint8_t> working, const CPictureGeometry& geometry,
                        const ColorMasks& masks, std::span<std::uint8_t> frame) {
  const std::uint32_t width = geometry.OutputWidth();
  const std::uint64_t stride = 4 * std::uint64_t{width};
  if (geometry.Native().bitCount != 32 || stride == 0) {
    return;
  }
  const std::uint64_t rows = std::min<std::uint64_t>(
      {geometry.OutputHeight(), working.size() / stride, frame.size() / stride});
  const std::array<Channel, 3> channels{Channel(masks[0]), Channel(masks[1]), Channel(masks[2])};
  for (std::uint64_t row = 0; row < rows; ++row) {
    ConvertRowMasked(working.data() + row * stride, frame.data() + row * stride, width, channels);
  }
}

}  // namespace reelkit
