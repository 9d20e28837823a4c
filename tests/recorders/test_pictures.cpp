#include "tests/recorders/test_pictures.h"

#include <algorithm>

#include "common/endian.h"

namespace reelkit {

namespace {

// Pixels by display position, top row 0, written into a bottom-up 32-bit DIB.
class CCanvas {
 public:
  CCanvas(int width, int height) : width_(width), height_(height), pixels_(width * height) {}

  void Fill(int left, int top, int right, int bottom, std::uint32_t color) {
    for (int y = std::max(0, top); y < std::min(bottom, height_); ++y) {
      for (int x = std::max(0, left); x < std::min(right, width_); ++x) {
        pixels_[static_cast<std::size_t>(y * width_ + x)] = color;
      }
    }
  }

  std::vector<std::uint8_t> DibBytes() const {
    std::vector<std::uint8_t> bytes(pixels_.size() * 4);
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        const std::size_t row = static_cast<std::size_t>(height_ - 1 - y);
        StoreU32LE(bytes.data() + (row * width_ + x) * 4,
                   pixels_[static_cast<std::size_t>(y * width_ + x)]);
      }
    }
    return bytes;
  }

 private:
  int width_;
  int height_;
  std::vector<std::uint32_t> pixels_;
};

void DrawWindow(CCanvas& canvas, int left, int top, int width, int height, std::uint32_t title,
                int textSeed) {
  canvas.Fill(left, top, left + width, top + height, 0xF0F0F0);
  canvas.Fill(left, top, left + width, top + 4, title);
  for (int line = 0; line * 3 + 6 < height; ++line) {
    for (int word = 0; word < width / 6; ++word) {
      if ((word * 7 + line * 3 + textSeed) % 5 != 0) {
        const int x = left + 2 + word * 6;
        canvas.Fill(x, top + 6 + line * 3, x + 4, top + 7 + line * 3, 0x202020 + 0x10 * (word % 4));
      }
    }
  }
}

}  // namespace

BitmapFormat PictureFormat(int width, int height, std::uint16_t bitCount) {
  BitmapInfoHeader header;
  header.width = width;
  header.height = height;
  BitmapFormat format(header);
  format.SetPictureFormat(bitCount, kCompressionRgb);
  return format;
}

std::vector<TestPicture> DesktopSequence(int width, int height, int count) {
  std::vector<TestPicture> pictures;
  for (int i = 0; i < count; ++i) {
    CCanvas canvas(width, height);
    canvas.Fill(0, 0, width, height, 0x3A6EA5);
    canvas.Fill(0, height - 6, width, height, 0xC0C0C0);
    DrawWindow(canvas, width / 8, height / 8, width / 2, height / 2, 0x000080, i / 10);
    const int moving = (i * 3) % std::max(1, width / 2);
    DrawWindow(canvas, moving, height / 3, width / 3, height / 2, 0x800000 + 0x10 * (i % 8), i);
    const int cursorX = (i * 5) % width;
    const int cursorY = (i * 2) % height;
    canvas.Fill(cursorX, cursorY, cursorX + 2, cursorY + 3, 0xFFFFFF);
    canvas.Fill(cursorX + 2, cursorY, cursorX + 3, cursorY + 3, 0x000000);
    pictures.push_back({PictureFormat(width, height, 32), canvas.DibBytes()});
  }
  return pictures;
}

TestPicture SolidPicture16(int width, int height, const std::array<std::uint32_t, 3>& masks,
                           std::uint16_t pixel) {
  TestPicture picture;
  picture.format = PictureFormat(width, height, 16);
  picture.format.SetPictureFormat(16, kCompressionBitFields);
  picture.format.SetMasks(masks);
  picture.bytes.resize(DibImageSize(picture.format.Header()));
  for (std::size_t i = 0; i + 1 < picture.bytes.size(); i += 2) {
    StoreU16LE(picture.bytes.data() + i, pixel);
  }
  return picture;
}

std::vector<std::uint8_t> TopDownBgra(const TestPicture& picture) {
  const BitmapInfoHeader header = picture.format.Header();
  const auto width = static_cast<std::size_t>(header.width);
  const auto height = static_cast<std::size_t>(header.height);
  std::vector<std::uint8_t> bgra(width * height * 4);
  for (std::size_t y = 0; y < height; ++y) {
    const std::uint8_t* row = picture.bytes.data() + (height - 1 - y) * width * 4;
    std::copy_n(row, width * 4, bgra.data() + y * width * 4);
    for (std::size_t x = 0; x < width; ++x) {
      bgra[(y * width + x) * 4 + 3] = 0xFF;
    }
  }
  return bgra;
}

}  // namespace reelkit
