#include "thumbnailer/picture_scaling.h"

#include <algorithm>
#include <vector>

namespace reelkit {
namespace {

struct Span {
  std::uint32_t begin = 0;
  std::uint32_t end = 0;
};

// The source pixels each of count destination pixels covers along one side of length source.
std::vector<Span> Coverage(std::uint32_t source, std::uint32_t count) {
  std::vector<Span> spans(count);
  for (std::uint32_t k = 0; k < count; ++k) {
    const auto begin = static_cast<std::uint32_t>(std::uint64_t{k} * source / count);
    const auto end = static_cast<std::uint32_t>(std::uint64_t{k + 1} * source / count);
    spans[k] = {std::min(begin, source - 1), std::max(end, begin + 1)};
  }
  return spans;
}

}  // namespace

PictureSize FitInSquare(std::uint32_t width, std::uint32_t height, std::uint32_t size) {
  if (width >= height) {
    const auto shorter = static_cast<std::uint32_t>((std::uint64_t{height} * size + width / 2) /
                                                    std::max<std::uint32_t>(width, 1));
    return {size, std::max<std::uint32_t>(shorter, 1)};
  }
  const auto shorter =
      static_cast<std::uint32_t>((std::uint64_t{width} * size + height / 2) / height);
  return {std::max<std::uint32_t>(shorter, 1), size};
}

StillPicture ScalePicture(const StillPicture& source, PictureSize size) {
  StillPicture scaled;
  scaled.width = size.width;
  scaled.height = size.height;
  scaled.rgb.resize(std::size_t{size.width} * size.height * 3);
  const std::vector<Span> columns = Coverage(source.width, size.width);
  const std::vector<Span> rows = Coverage(source.height, size.height);
  const std::size_t sourceStride = std::size_t{source.width} * 3;
  std::vector<std::uint64_t> sums(std::size_t{size.width} * 3);
  std::uint8_t* out = scaled.rgb.data();
  for (const Span& row : rows) {
    std::fill(sums.begin(), sums.end(), 0);
    for (std::uint32_t y = row.begin; y < row.end; ++y) {
      const std::uint8_t* line = source.rgb.data() + y * sourceStride;
      for (std::uint32_t dx = 0; dx < size.width; ++dx) {
        for (std::uint32_t x = columns[dx].begin; x < columns[dx].end; ++x) {
          sums[3 * dx] += line[3 * x];
          sums[3 * dx + 1] += line[3 * x + 1];
          sums[3 * dx + 2] += line[3 * x + 2];
        }
      }
    }
    for (std::uint32_t dx = 0; dx < size.width; ++dx) {
      const std::uint64_t count =
          std::uint64_t{row.end - row.begin} * (columns[dx].end - columns[dx].begin);
      for (int c = 0; c < 3; ++c) {
        *out++ = static_cast<std::uint8_t>((sums[3 * dx + c] + count / 2) / count);
      }
    }
  }
  return scaled;
}

}  // namespace reelkit
