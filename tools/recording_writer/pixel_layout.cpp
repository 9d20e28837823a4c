#include "tools/recording_writer/pixel_layout.h"

#include <array>
#include <stdexcept>

#include "common/endian.h"

namespace reelkit::recording {
namespace {

constexpr unsigned kCubeSteps = 6;
constexpr unsigned kCubeSize = kCubeSteps * kCubeSteps * kCubeSteps;
constexpr unsigned kGreyCount = 256 - kCubeSize;

struct LayoutInfo {
  PixelLayout layout;
  std::string_view name;
  unsigned bits;
  std::uint32_t compression;
  std::array<std::uint32_t, 3> masks;
};

constexpr std::array<LayoutInfo, 6> kLayouts = {{
    {PixelLayout::Indexed8, "8", 8, kCompressionRgb, {0, 0, 0}},
    {PixelLayout::Rgb555, "555", 16, kCompressionRgb, {0, 0, 0}},
    {PixelLayout::Rgb565, "565", 16, kCompressionBitFields, {0xF800, 0x07E0, 0x001F}},
    {PixelLayout::Rgb24, "24", 24, kCompressionRgb, {0, 0, 0}},
    {PixelLayout::Rgb32, "32", 32, kCompressionRgb, {0, 0, 0}},
    {PixelLayout::Rgb32BitFields,
     "32bf",
     32,
     kCompressionBitFields,
     {0x00FF0000, 0x0000FF00, 0x000000FF}},
}};

const LayoutInfo& InfoOf(PixelLayout layout) {
  for (const LayoutInfo& info : kLayouts) {
    if (info.layout == layout) {
      return info;
    }
  }
  return kLayouts.back();
}

std::uint8_t CubeStep(std::uint32_t channel) {
  return static_cast<std::uint8_t>((channel * (kCubeSteps - 1) + 127) / 255);
}

std::uint32_t Red(std::uint32_t argb) {
  return (argb >> 16) & 0xFF;
}
std::uint32_t Green(std::uint32_t argb) {
  return (argb >> 8) & 0xFF;
}
std::uint32_t Blue(std::uint32_t argb) {
  return argb & 0xFF;
}

std::uint32_t Expand5(std::uint32_t v) {
  return (v << 3) | (v >> 2);
}
std::uint32_t Expand6(std::uint32_t v) {
  return (v << 2) | (v >> 4);
}

}  // namespace

std::optional<PixelLayout> PixelLayoutFromText(std::string_view text) {
  if (text == "16") {
    return PixelLayout::Rgb555;
  }
  for (const LayoutInfo& info : kLayouts) {
    if (info.name == text) {
      return info.layout;
    }
  }
  return std::nullopt;
}

std::string_view PixelLayoutName(PixelLayout layout) {
  return InfoOf(layout).name;
}

unsigned BitsPerPixel(PixelLayout layout) {
  return InfoOf(layout).bits;
}

unsigned BytesPerPixel(PixelLayout layout) {
  return InfoOf(layout).bits / 8;
}

BitmapFormat MakeStreamFormat(int width, int height, PixelLayout layout) {
  const LayoutInfo& info = InfoOf(layout);
  BitmapInfoHeader header;
  header.width = width;
  header.height = height;
  header.bitCount = static_cast<std::uint16_t>(info.bits);
  header.compression = info.compression;
  header.sizeImage = static_cast<std::uint32_t>(DibImageSize(width, height, info.bits));
  BitmapFormat format(header);
  if (info.compression == kCompressionBitFields) {
    format.SetMasks(info.masks);
  }
  if (layout == PixelLayout::Indexed8) {
    header.clrUsed = 256;
    format.SetHeader(header);
    auto table = format.ColorTable();
    for (unsigned i = 0; i < 256; ++i) {
      StoreU32LE(table.data() + 4 * i, DefaultPaletteColor(i));
    }
  }
  return format;
}

std::optional<PixelLayout> LayoutOfFormat(const BitmapFormat& format) {
  const BitmapInfoHeader header = format.Header();
  const bool bitFields = header.compression == kCompressionBitFields;
  switch (header.bitCount) {
    case 8:
      return PixelLayout::Indexed8;
    case 16:
      if (bitFields && format.Masks() == InfoOf(PixelLayout::Rgb565).masks) {
        return PixelLayout::Rgb565;
      }
      return PixelLayout::Rgb555;
    case 24:
      return PixelLayout::Rgb24;
    case 32:
      return bitFields ? PixelLayout::Rgb32BitFields : PixelLayout::Rgb32;
    default:
      return std::nullopt;
  }
}

std::uint32_t DefaultPaletteColor(unsigned index) {
  if (index < kCubeSize) {
    const std::uint32_t r = index / (kCubeSteps * kCubeSteps);
    const std::uint32_t g = (index / kCubeSteps) % kCubeSteps;
    const std::uint32_t b = index % kCubeSteps;
    return (r * 51) << 16 | (g * 51) << 8 | (b * 51);
  }
  const std::uint32_t grey = ((index - kCubeSize) * 255 + (kGreyCount - 1) / 2) / (kGreyCount - 1);
  return grey << 16 | grey << 8 | grey;
}

std::uint8_t DefaultPaletteIndex(std::uint32_t rgb) {
  const std::uint32_t r = Red(rgb);
  const std::uint32_t g = Green(rgb);
  const std::uint32_t b = Blue(rgb);
  if (r == g && g == b) {
    return static_cast<std::uint8_t>(kCubeSize + (r * (kGreyCount - 1) + 127) / 255);
  }
  return static_cast<std::uint8_t>(CubeStep(r) * kCubeSteps * kCubeSteps +
                                   CubeStep(g) * kCubeSteps + CubeStep(b));
}

void PackPixels(std::span<const std::uint32_t> argb, PixelLayout layout, std::uint8_t* native) {
  switch (layout) {
    case PixelLayout::Indexed8:
      for (std::uint32_t pixel : argb) {
        *native++ = DefaultPaletteIndex(pixel);
      }
      break;
    case PixelLayout::Rgb555:
      for (std::uint32_t pixel : argb) {
        StoreU16LE(native, static_cast<std::uint16_t>((Red(pixel) >> 3) << 10 |
                                                      (Green(pixel) >> 3) << 5 | Blue(pixel) >> 3));
        native += 2;
      }
      break;
    case PixelLayout::Rgb565:
      for (std::uint32_t pixel : argb) {
        StoreU16LE(native, static_cast<std::uint16_t>((Red(pixel) >> 3) << 11 |
                                                      (Green(pixel) >> 2) << 5 | Blue(pixel) >> 3));
        native += 2;
      }
      break;
    case PixelLayout::Rgb24:
      for (std::uint32_t pixel : argb) {
        native[0] = static_cast<std::uint8_t>(Blue(pixel));
        native[1] = static_cast<std::uint8_t>(Green(pixel));
        native[2] = static_cast<std::uint8_t>(Red(pixel));
        native += 3;
      }
      break;
    case PixelLayout::Rgb32:
    case PixelLayout::Rgb32BitFields:
      // The reserved byte is written as zero, as screen grabs deliver it.
      for (std::uint32_t pixel : argb) {
        StoreU32LE(native, pixel & 0x00FFFFFF);
        native += 4;
      }
      break;
  }
}

std::vector<std::uint8_t> PackPicture(std::span<const std::uint32_t> argb, int width, int height,
                                      PixelLayout layout) {
  const auto columns = static_cast<std::size_t>(width);
  const auto rows = static_cast<std::size_t>(height);
  if (argb.size() < columns * rows) {
    throw std::invalid_argument("a picture with fewer pixels than its size");
  }
  const auto stride = static_cast<std::size_t>(DibStride(columns, BitsPerPixel(layout)));
  std::vector<std::uint8_t> image(stride * rows, 0);
  for (std::size_t y = 0; y < rows; ++y) {
    PackPixels(argb.subspan(y * columns, columns), layout, image.data() + (rows - 1 - y) * stride);
  }
  return image;
}

std::uint32_t UnpackPixel(const std::uint8_t* native, PixelLayout layout) {
  switch (layout) {
    case PixelLayout::Indexed8:
      return DefaultPaletteColor(native[0]);
    case PixelLayout::Rgb555: {
      const std::uint32_t v = LoadU16LE(native);
      return Expand5((v >> 10) & 31) << 16 | Expand5((v >> 5) & 31) << 8 | Expand5(v & 31);
    }
    case PixelLayout::Rgb565: {
      const std::uint32_t v = LoadU16LE(native);
      return Expand5((v >> 11) & 31) << 16 | Expand6((v >> 5) & 63) << 8 | Expand5(v & 31);
    }
    case PixelLayout::Rgb24:
      return std::uint32_t{native[2]} << 16 | std::uint32_t{native[1]} << 8 | native[0];
    case PixelLayout::Rgb32:
    case PixelLayout::Rgb32BitFields:
      return LoadU32LE(native) & 0x00FFFFFF;
  }
  return 0;
}

}  // namespace reelkit::recording
