#pragma once

// Native test images built from a colour function, in the bottom-up DIB layout of recordings.

#include <cstdint>
#include <functional>
#include <vector>

#include "common/bitmap_format.h"
#include "tools/recording_writer/pixel_layout.h"

namespace reelkit::testing {

using ColorAt = std::function<std::uint32_t(int x, int y)>;

inline std::vector<std::uint8_t> MakeNativeImage(int width, int height,
                                                 recording::PixelLayout layout,
                                                 const ColorAt& color) {
  const std::size_t stride = static_cast<std::size_t>(
      DibStride(static_cast<std::uint64_t>(width), recording::BitsPerPixel(layout)));
  std::vector<std::uint8_t> image(stride * static_cast<std::size_t>(height), 0);
  std::vector<std::uint32_t> row(static_cast<std::size_t>(width));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      row[static_cast<std::size_t>(x)] = color(x, y);
    }
    recording::PackPixels(row, layout,
                          image.data() + static_cast<std::size_t>(height - 1 - y) * stride);
  }
  return image;
}

}  // namespace reelkit::testing
