#pragma once

#include <cstdint>
#include <span>

#include "decoder/picture_geometry.h"

namespace reelkit {

// Draws the screen image (native layout) fitted and centred into the working frame (output size,
// native depth) and clears the border around it. Rows that do not fit wholly inside either buffer
// are left out. Where shrinking merges lines at 8, 16 and 32 bits, a pixel that would vanish into
// its already-drawn neighbour is kept in favour of the one it would cover.
void BlitScaled(std::span<const std::uint8_t> screen, const CPictureGeometry& geometry,
                std::span<std::uint8_t> working);

}  // namespace reelkit
