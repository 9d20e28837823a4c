#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "common/bitmap_format.h"

namespace reelkit {

struct TestPicture {
  BitmapFormat format;
  std::vector<std::uint8_t> bytes;  // DIB rows, bottom-up
};

BitmapFormat PictureFormat(int width, int height, std::uint16_t bitCount);

// A desktop-like sequence at 32 bits: a plain background, a window with a title bar and lines of
// "text", a second window that moves, and a cursor. Fewer than 256 colours in every picture.
std::vector<TestPicture> DesktopSequence(int width, int height, int count);

// One 16-bit bit-fields picture of a single pixel value.
TestPicture SolidPicture16(int width, int height, const std::array<std::uint32_t, 3>& masks,
                           std::uint16_t pixel);

// The picture as the ffmpeg tool gives it back: top row first, BGRA with opaque alpha.
// Only for 32-bit pictures.
std::vector<std::uint8_t> TopDownBgra(const TestPicture& picture);

}  // namespace reelkit
