#include "recorders/yuv420_conversion.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace reelkit {

namespace {

constexpr std::uint8_t kBlackLuma = 16;
constexpr std::size_t kBytesPerPixel = 4;

struct Rgb {
  int red;
  int green;
  int blue;
};

Rgb PixelAt(const std::uint8_t* row, int x) {
  const std::uint8_t* pixel = row + kBytesPerPixel * static_cast<std::size_t>(x);
  return {pixel[2], pixel[1], pixel[0]};
}

std::uint8_t Luma(Rgb c) {
  return static_cast<std::uint8_t>(((66 * c.red + 129 * c.green + 25 * c.blue + 128) >> 8) + 16);
}

// The sums of four pixels' channels.
std::uint8_t BlueDifference(Rgb sum) {
  return static_cast<std::uint8_t>(((-38 * sum.red - 74 * sum.green + 112 * sum.blue + 512) >> 10) +
                                   128);
}

std::uint8_t RedDifference(Rgb sum) {
  return static_cast<std::uint8_t>(((112 * sum.red - 94 * sum.green - 18 * sum.blue + 512) >> 10) +
                                   128);
}

Rgb SumOf(Rgb a, Rgb b, Rgb c, Rgb d) {
  return {a.red + b.red + c.red + d.red, a.green + b.green + c.green + d.green,
          a.blue + b.blue + c.blue + d.blue};
}

// Two picture rows (the second repeats the first below an odd height) into two luma rows and one
// row of each chroma plane. A lone last column counts twice for its chroma samples.
void ConvertRowPair(const std::uint8_t* top, const std::uint8_t* bottom, int width,
                    std::uint8_t* lumaTop, std::uint8_t* lumaBottom, std::uint8_t* blue,
                    std::uint8_t* red) {
  int x = 0;
  for (; x + 1 < width; x += 2) {
    const Rgb a = PixelAt(top, x);
    const Rgb b = PixelAt(top, x + 1);
    const Rgb c = PixelAt(bottom, x);
    const Rgb d = PixelAt(bottom, x + 1);
    lumaTop[x] = Luma(a);
    lumaTop[x + 1] = Luma(b);
    lumaBottom[x] = Luma(c);
    lumaBottom[x + 1] = Luma(d);
    const Rgb sum = SumOf(a, b, c, d);
    blue[x / 2] = BlueDifference(sum);
    red[x / 2] = RedDifference(sum);
  }
  if (x < width) {
    const Rgb a = PixelAt(top, x);
    const Rgb c = PixelAt(bottom, x);
    lumaTop[x] = Luma(a);
    lumaTop[x + 1] = kBlackLuma;
    lumaBottom[x] = Luma(c);
    lumaBottom[x + 1] = kBlackLuma;
    const Rgb sum = SumOf(a, a, c, c);
    blue[x / 2] = BlueDifference(sum);
    red[x / 2] = RedDifference(sum);
  }
}

// Converts the row pair from top-down row y (a lone last row with a black row below).
void ConvertRowPairAt(std::span<const std::uint8_t> picture, int width, int height, int y,
                      const Yuv420Planes& out) {
  const std::size_t stride = kBytesPerPixel * static_cast<std::size_t>(width);
  // Rows are stored bottom-up.
  const auto rowAt = [&](int row) {
    return picture.data() + stride * static_cast<std::size_t>(height - 1 - row);
  };
  const auto planeRow = [&](int plane, int row) {
    return out.data[plane] + static_cast<std::ptrdiff_t>(out.stride[plane]) * row;
  };
  const bool lastRowAlone = y + 1 == height;
  ConvertRowPair(rowAt(y), rowAt(lastRowAlone ? y : y + 1), width, planeRow(0, y),
                 planeRow(0, y + 1), planeRow(1, y / 2), planeRow(2, y / 2));
  if (lastRowAlone) {
    std::memset(planeRow(0, y + 1), kBlackLuma, static_cast<std::size_t>(EvenSize(width)));
  }
}

}  // namespace

CYuv420Converter::CYuv420Converter(int width, int height)
    : width_(width),
      height_(height),
      last_(kBytesPerPixel * static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {}

void CYuv420Converter::Convert(std::span<const std::uint8_t> picture, const Yuv420Planes& out,
                               bool planesHoldLast) {
  const std::size_t stride = kBytesPerPixel * static_cast<std::size_t>(width_);
  const bool mayKeepRows = planesHoldLast && hasLast_;
  for (int y = 0; y < height_; y += 2) {
    // The pair's two rows lie next to each other in memory, the lower one first.
    const int rows = std::min(2, height_ - y);
    const std::size_t offset = stride * static_cast<std::size_t>(height_ - y - rows);
    const std::size_t length = stride * static_cast<std::size_t>(rows);
    const std::uint8_t* now = picture.data() + offset;
    std::uint8_t* before = last_.data() + offset;
    if (mayKeepRows && std::memcmp(now, before, length) == 0) {
      continue;
    }
    ConvertRowPairAt(picture, width_, height_, y, out);
    std::memcpy(before, now, length);
  }
  hasLast_ = true;
}

}  // namespace reelkit
