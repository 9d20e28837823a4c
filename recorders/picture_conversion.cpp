#include "recorders/picture_conversion.h"

#include <algorithm>
#include <bit>
#include <cstdlib>

#include "common/endian.h"
#include "common/picture_rules.h"

namespace reelkit {

namespace {

using Channel = ColorChannel;

Channel ChannelOf(std::uint32_t mask) {
  Channel channel;
  channel.mask = mask;
  if (mask != 0) {
    channel.shift = std::countr_zero(mask);
    channel.bits = std::min(8, std::popcount(mask >> channel.shift));
  }
  return channel;
}

// Widens a channel to eight bits by repeating the high bits, so full scale stays full scale (31 ->
// 255).
std::uint32_t Expand(std::uint32_t value, const Channel& channel) {
  if (channel.bits == 0) {
    return 0;
  }
  std::uint32_t v = ((value & channel.mask) >> channel.shift) & ((1u << channel.bits) - 1);
  std::uint32_t out = 0;
  for (int filled = 0; filled < 8; filled += channel.bits) {
    out = (out << channel.bits) | v;
  }
  return (out >> (((8 + channel.bits - 1) / channel.bits) * channel.bits - 8)) & 0xFF;
}

std::uint32_t Narrow(std::uint32_t value8, const Channel& channel) {
  if (channel.bits == 0) {
    return 0;
  }
  return ((value8 >> (8 - channel.bits)) << channel.shift) & channel.mask;
}

std::array<std::uint32_t, 256> PaletteOf(const BitmapFormat& format) {
  std::array<std::uint32_t, 256> palette{};
  const auto table = format.ColorTable();
  for (std::size_t i = 0; i < palette.size(); ++i) {
    palette[i] = LoadU32LE(table.data() + 4 * i) & 0x00FFFFFF;
  }
  return palette;
}

}  // namespace

bool IsRecordablePicture(const BitmapInfoHeader& header) {
  return header.width > 0 && header.width <= kMaxPictureSide && header.height != 0 &&
         std::abs(header.height) <= kMaxPictureSide && IsBitmapDepth(header.bitCount);
}

ColorMasks MasksOf(const BitmapFormat& format) {
  return format.Header().compression == kCompressionBitFields ? format.Masks() : kMasks555;
}

void FitPixels(std::span<const std::uint32_t> source, int sourceWidth, int sourceHeight,
               std::span<std::uint32_t> target, int targetWidth, int targetHeight) {
  const int rows = std::min(sourceHeight, targetHeight);
  const int columns = std::min(sourceWidth, targetWidth);
  const auto width = static_cast<std::size_t>(targetWidth);
  const std::size_t marginRows = static_cast<std::size_t>(targetHeight - rows);
  std::fill_n(target.data(), marginRows * width, 0u);
  for (int k = 0; k < rows; ++k) {
    const std::uint32_t* from =
        source.data() + static_cast<std::size_t>(sourceHeight - 1 - k) * sourceWidth;
    std::uint32_t* to = target.data() + static_cast<std::size_t>(targetHeight - 1 - k) * width;
    std::copy_n(from, columns, to);
    std::fill(to + columns, to + width, 0u);
  }
}

CDibReader::CDibReader(const VideoMediaType& type) {
  const BitmapInfoHeader header = type.format.Header();
  width_ = std::abs(header.width);
  height_ = std::abs(header.height);
  topDown_ = header.height < 0;
  bitCount_ = header.bitCount;
  stride_ = DibStride(static_cast<std::uint64_t>(width_), bitCount_);
  if (bitCount_ <= 8) {
    palette_ = PaletteOf(type.format);
  } else if (bitCount_ == 16) {
    const Channel red = ChannelOf(type.masks[0]);
    const Channel green = ChannelOf(type.masks[1]);
    const Channel blue = ChannelOf(type.masks[2]);
    colorsOf16Bit_.resize(65536);
    for (std::uint32_t v = 0; v < 65536; ++v) {
      colorsOf16Bit_[v] = (Expand(v, red) << 16) | (Expand(v, green) << 8) | Expand(v, blue);
    }
  }
}

std::size_t CDibReader::PixelCount() const {
  return static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
}

void CDibReader::Read(std::span<const std::uint8_t> picture, std::span<std::uint32_t> out) const {
  const auto width = static_cast<std::size_t>(width_);
  for (int y = 0; y < height_; ++y) {
    std::uint32_t* target = out.data() + static_cast<std::size_t>(y) * width;
    const std::size_t sourceRow =
        topDown_ ? static_cast<std::size_t>(height_ - 1 - y) : static_cast<std::size_t>(y);
    const std::size_t offset = sourceRow * stride_;
    if (offset + stride_ > picture.size()) {
      std::fill_n(target, width, 0u);
    } else {
      ReadRow(picture.data() + offset, target);
    }
  }
}

void CDibReader::ReadRow(const std::uint8_t* row, std::uint32_t* out) const {
  switch (bitCount_) {
    case 32: {
      // Two pixels a step: this runs over every pixel of every picture a conversion records.
      constexpr std::uint64_t kTwoColours = 0x00FFFFFF00FFFFFFull;
      int x = 0;
      for (; x + 1 < width_; x += 2) {
        const std::uint64_t two = LoadU64LE(row + 4 * x) & kTwoColours;
        out[x] = static_cast<std::uint32_t>(two);
        out[x + 1] = static_cast<std::uint32_t>(two >> 32);
      }
      if (x < width_) {
        out[x] = LoadU32LE(row + 4 * x) & 0x00FFFFFF;
      }
      return;
    }
    case 24:
      for (int x = 0; x < width_; ++x) {
        const std::uint8_t* p = row + 3 * x;
        out[x] = (static_cast<std::uint32_t>(p[2]) << 16) |
                 (static_cast<std::uint32_t>(p[1]) << 8) | p[0];
      }
      return;
    case 16:
      for (int x = 0; x < width_; ++x) {
        out[x] = colorsOf16Bit_[LoadU16LE(row + 2 * x)];
      }
      return;
    case 1:
    case 4:
    case 8: {
      const int perByte = 8 / bitCount_;
      const unsigned indexMask = (1u << bitCount_) - 1;
      for (int x = 0; x < width_; ++x) {
        const int shift = 8 - bitCount_ * (x % perByte + 1);
        out[x] = palette_[(row[x / perByte] >> shift) & indexMask];
      }
      return;
    }
    default:
      std::fill_n(out, width_, 0u);
  }
}

CDibWriter::CDibWriter(const VideoMediaType& type) {
  const BitmapInfoHeader header = type.format.Header();
  width_ = std::abs(header.width);
  height_ = std::abs(header.height);
  topDown_ = header.height < 0;
  bitCount_ = header.bitCount;
  stride_ = DibStride(static_cast<std::uint64_t>(width_), bitCount_);
  for (std::size_t i = 0; i < channels_.size(); ++i) {
    channels_[i] = ChannelOf(type.masks[i]);
  }
  if (bitCount_ <= 8) {
    palette_ = PaletteOf(type.format);
    const std::size_t declared = header.clrUsed == 0 ? (1u << bitCount_) : header.clrUsed;
    paletteSize_ = std::min<std::size_t>({declared, std::size_t{1} << bitCount_, 256});
    nearestCache_.assign(32768, -1);
  }
}

std::uint8_t CDibWriter::NearestIndex(std::uint32_t color) {
  std::int16_t& cached = nearestCache_[ToRgb555(color)];
  if (cached < 0) {
    int best = 0;
    int bestDistance = 1 << 30;
    for (std::size_t i = 0; i < paletteSize_; ++i) {
      const int dr =
          static_cast<int>((palette_[i] >> 16) & 0xFF) - static_cast<int>((color >> 16) & 0xFF);
      const int dg =
          static_cast<int>((palette_[i] >> 8) & 0xFF) - static_cast<int>((color >> 8) & 0xFF);
      const int db = static_cast<int>(palette_[i] & 0xFF) - static_cast<int>(color & 0xFF);
      const int distance = dr * dr + dg * dg + db * db;
      if (distance < bestDistance) {
        bestDistance = distance;
        best = static_cast<int>(i);
      }
    }
    cached = static_cast<std::int16_t>(best);
  }
  return static_cast<std::uint8_t>(cached);
}

std::uint16_t CDibWriter::Pack16(std::uint32_t color) const {
  const std::uint32_t value = Narrow((color >> 16) & 0xFF, channels_[0]) |
                              Narrow((color >> 8) & 0xFF, channels_[1]) |
                              Narrow(color & 0xFF, channels_[2]);
  return static_cast<std::uint16_t>(value);
}

void CDibWriter::Write(std::span<const std::uint32_t> pixels, std::span<std::uint8_t> out) {
  // Palette indices are or-ed into their bytes; the other depths write every pixel byte and only
  // their rows' padding needs clearing.
  if (bitCount_ <= 8) {
    std::fill(out.begin(), out.end(), std::uint8_t{0});
  }
  const auto width = static_cast<std::size_t>(width_);
  const std::size_t pixelBytes = width * bitCount_ / 8;
  for (int y = 0; y < height_; ++y) {
    const std::size_t targetRow =
        topDown_ ? static_cast<std::size_t>(height_ - 1 - y) : static_cast<std::size_t>(y);
    std::uint8_t* row = out.data() + targetRow * stride_;
    WriteRow(pixels.data() + static_cast<std::size_t>(y) * width, row);
    if (bitCount_ > 8) {
      std::fill(row + pixelBytes, row + stride_, std::uint8_t{0});
    }
  }
}

void CDibWriter::WriteRow(const std::uint32_t* pixels, std::uint8_t* row) {
  switch (bitCount_) {
    case 32:
      for (int x = 0; x < width_; ++x) {
        StoreU32LE(row + 4 * x, pixels[x]);
      }
      return;
    case 24:
      for (int x = 0; x < width_; ++x) {
        row[3 * x] = static_cast<std::uint8_t>(pixels[x]);
        row[3 * x + 1] = static_cast<std::uint8_t>(pixels[x] >> 8);
        row[3 * x + 2] = static_cast<std::uint8_t>(pixels[x] >> 16);
      }
      return;
    case 16:
      for (int x = 0; x < width_; ++x) {
        StoreU16LE(row + 2 * x, Pack16(pixels[x]));
      }
      return;
    case 1:
    case 4:
    case 8: {
      const int perByte = 8 / bitCount_;
      for (int x = 0; x < width_; ++x) {
        const int shift = 8 - bitCount_ * (x % perByte + 1);
        row[x / perByte] =
            static_cast<std::uint8_t>(row[x / perByte] | (NearestIndex(pixels[x]) << shift));
      }
      return;
    }
    default:
      return;
  }
}

CPictureConverter::CPictureConverter(const VideoMediaType& target)
    : writer_(target),
      targetPixels_(static_cast<std::size_t>(writer_.Width()) *
                    static_cast<std::size_t>(writer_.Height())) {
  converted_.ResizeForOverwrite(writer_.ImageSize());
}

const CDibReader& CPictureConverter::ReaderFor(const VideoMediaType& source) {
  // A 16-bit reader builds a table of every value's colour: made once per source format.
  if (!reader_ || source.format != readerType_.format || source.masks != readerType_.masks) {
    reader_.emplace(source);
    readerType_ = source;
  }
  return *reader_;
}

std::span<const std::uint8_t> CPictureConverter::Convert(const VideoMediaType& source,
                                                         std::span<const std::uint8_t> picture) {
  const CDibReader& reader = ReaderFor(source);
  const bool sameSize = reader.Width() == writer_.Width() && reader.Height() == writer_.Height();
  if (sameSize) {
    reader.Read(picture, targetPixels_);
  } else {
    sourcePixels_.resize(reader.PixelCount());
    reader.Read(picture, sourcePixels_);
    FitPixels(sourcePixels_, reader.Width(), reader.Height(), targetPixels_, writer_.Width(),
              writer_.Height());
  }
  writer_.Write(targetPixels_, converted_.span());
  return converted_.span();
}

}  // namespace reelkit
