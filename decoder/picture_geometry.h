#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "decoder/native_format.h"

namespace reelkit {

struct FittedSize {
  std::uint32_t width = 0;
  std::uint32_t height = 0;

  friend bool operator==(const FittedSize&, const FittedSize&) = default;
};

// Shrinks width x height to fit maxWidth x maxHeight with the aspect ratio kept; never enlarges.
// The smaller excess in pixels decides which side is fitted (ties go to the height), and where
// that would overshoot the other side, the other side is fitted instead.
FittedSize FitPicture(std::uint32_t width, std::uint32_t height, std::uint32_t maxWidth,
                      std::uint32_t maxHeight);

// Bytes per row of the working frame at the native depth: 8-bit rows are not padded.
std::uint64_t WorkingFrameStride(std::uint32_t outputWidth, std::uint32_t bitCount);

// Where a byte of the working frame sits for one native pixel. At 4 bits the pixel is the nibble
// at nibbleShift (4 for the high nibble, 0 for the low one).
struct PixelPlace {
  std::uint64_t offset = 0;
  std::uint8_t nibbleShift = 0;
};

// How the native picture lands in the output picture: the fitted size, the centring offsets and
// the row and column maps. The maps are rebuilt only when the native or output size changes.
class CPictureGeometry {
 public:
  void Update(const PlaneLayout& native, std::uint32_t outputWidth, std::uint32_t outputHeight);

  const PlaneLayout& Native() const { return native_; }
  std::uint32_t OutputWidth() const { return outputWidth_; }
  std::uint32_t OutputHeight() const { return outputHeight_; }
  FittedSize Fitted() const { return fitted_; }
  std::uint32_t XOffset() const { return xOffset_; }
  std::uint32_t YOffset() const { return yOffset_; }
  std::uint64_t WorkingStride() const { return WorkingFrameStride(outputWidth_, native_.bitCount); }
  std::uint64_t WorkingFrameSize() const { return WorkingStride() * outputHeight_; }
  // Nothing to draw: an empty native or output picture.
  bool Empty() const { return native_.Empty() || outputWidth_ == 0 || outputHeight_ == 0; }
  // The maps are identities: every native pixel has a working-frame pixel of its own.
  bool Unscaled() const {
    return fitted_.width == native_.width && fitted_.height == native_.height;
  }

  // Fitted column of native column j (without the offset), W entries.
  std::span<const std::uint32_t> ColumnMap() const { return columnMap_; }
  // Fitted stored row of native stored row i (without the offset), H entries.
  std::span<const std::uint32_t> RowMap() const { return rowMap_; }
  // True where the map skipped a fitted line just before this native line.
  bool ColumnCollapsed(std::uint32_t j) const { return columnCollapsed_[j] != 0; }
  bool RowCollapsed(std::uint32_t i) const { return rowCollapsed_[i] != 0; }

  // The working-frame place of native column x in native stored row r; nothing when either lies
  // outside the native picture or the geometry is empty.
  std::optional<PixelPlace> Locate(std::uint32_t x, std::uint32_t storedRow) const;
  // The two halves of Locate for callers that walk rows: the offset of a stored row's working row
  // (nothing when it lies outside the working frame), and a column's place within its row. Both
  // expect coordinates inside a non-empty geometry.
  std::optional<std::uint64_t> RowOffset(std::uint32_t storedRow) const;
  PixelPlace ColumnPlace(std::uint32_t x) const;

 private:
  void BuildMaps();

  PlaneLayout native_;
  std::uint32_t outputWidth_ = 0;
  std::uint32_t outputHeight_ = 0;
  FittedSize fitted_;
  std::uint32_t xOffset_ = 0;
  std::uint32_t yOffset_ = 0;
  std::vector<std::uint32_t> columnMap_;
  std::vector<std::uint32_t> rowMap_;
  std::vector<std::uint8_t> columnCollapsed_;
  std::vector<std::uint8_t> rowCollapsed_;
};

}  // namespace reelkit
