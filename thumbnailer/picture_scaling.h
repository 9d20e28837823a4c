#pragma once

#include <cstdint>

#include "engine/still_picture.h"

namespace reelkit {

struct PictureSize {
  std::uint32_t width = 0;
  std::uint32_t height = 0;

  friend bool operator==(const PictureSize&, const PictureSize&) = default;
};

// The size a picture takes scaled to fit a square of side size with its aspect ratio kept: the
// longer side becomes size, the shorter is rounded and at least 1 pixel.
PictureSize FitInSquare(std::uint32_t width, std::uint32_t height, std::uint32_t size);

// Each pixel of the result is the average of the block of source pixels it covers, at least one,
// so that small text shrinks to grey rather than to scattered dots.
StillPicture ScalePicture(const StillPicture& source, PictureSize size);

}  // namespace reelkit
