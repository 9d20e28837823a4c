#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace reelkit {

// Three planes of one 4:2:0 picture: luma at full size, the blue and red differences at half size
// each way.
struct Yuv420Planes {
  std::array<std::uint8_t*, 3> data{};
  std::array<int, 3> stride{};
};

// Sizes are rounded up to even for 4:2:0: the added column and row are black.
constexpr int EvenSize(int size) {
  return size + (size & 1);
}

// Converts bottom-up 32-bit pictures of one size (blue, green, red and an unused byte per pixel,
// rows of width * 4 bytes) into limited-range BT.601 planes of EvenSize(width) x EvenSize(height),
// the picture top-left. Each chroma sample is the mean of the picture pixels it covers, so the
// margin does not darken the edge's colour. The arithmetic is integer only: the same picture gives
// the same planes on every machine. Rows that did not change are skipped (on a screen most of the
// picture stays as it was), against a copy of the last picture.
class CYuv420Converter {
 public:
  CYuv420Converter(int width, int height);

  // planesHoldLast: out still holds the planes of the last picture converted, so unchanged rows
  // may be left as they are.
  void Convert(std::span<const std::uint8_t> picture, const Yuv420Planes& out, bool planesHoldLast);

 private:
  int width_;
  int height_;
  std::vector<std::uint8_t> last_;  // the last picture, in its rows' order
  bool hasLast_ = false;
};

}  // namespace reelkit
