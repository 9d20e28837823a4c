#include "decoder/picture_geometry.h"

namespace reelkit {
namespace {

std::uint32_t Scale(std::uint64_t value, std::uint64_t numerator, std::uint64_t denominator) {
  return static_cast<std::uint32_t>(value * numerator / denominator);
}

FittedSize FitByWidth(std::uint32_t width, std::uint32_t height, std::uint32_t maxWidth) {
  return {maxWidth, Scale(maxWidth, height, width)};
}

FittedSize FitByHeight(std::uint32_t width, std::uint32_t height, std::uint32_t maxHeight) {
  return {Scale(width, maxHeight, height), maxHeight};
}

// Entry k is k while the fitted length covers the native one, else k shrunk proportionally.
void BuildMap(std::vector<std::uint32_t>& map, std::vector<std::uint8_t>& collapsed,
              std::uint32_t length, std::uint32_t fitted) {
  map.resize(length);
  collapsed.resize(length);
  for (std::uint32_t k = 0; k < length; ++k) {
    map[k] = fitted >= length ? k : Scale(k, fitted, length);
  }
  for (std::uint32_t k = 0; k < length; ++k) {
    collapsed[k] = k > 0 && map[k] > 0 && map[k - 1] != map[k] - 1;
  }
}

}  // namespace

FittedSize FitPicture(std::uint32_t width, std::uint32_t height, std::uint32_t maxWidth,
                      std::uint32_t maxHeight) {
  if (width == 0 || height == 0) {
    return {width, height};
  }
  FittedSize fitted{width, height};
  if (height > maxHeight) {
    const bool widthExcessLarger = width > maxWidth && height - maxHeight < width - maxWidth;
    fitted = widthExcessLarger ? FitByWidth(width, height, maxWidth)
                               : FitByHeight(width, height, maxHeight);
  } else if (width > maxWidth) {
    fitted = FitByWidth(width, height, maxWidth);
  }
  // Comparing excesses in pixels can pick the side that leaves the other one too large.
  if (fitted.width > maxWidth) {
    fitted = FitByWidth(width, height, maxWidth);
  } else if (fitted.height > maxHeight) {
    fitted = FitByHeight(width, height, maxHeight);
  }
  return fitted;
}

std::uint64_t WorkingFrameStride(std::uint32_t outputWidth, std::uint32_t bitCount) {
  return bitCount == 8 ? outputWidth : DibStride(outputWidth, bitCount);
}

void CPictureGeometry::Update(const PlaneLayout& native, std::uint32_t outputWidth,
                              std::uint32_t outputHeight) {
  if (native == native_ && outputWidth == outputWidth_ && outputHeight == outputHeight_ &&
      columnMap_.size() == native.width) {
    return;
  }
  native_ = native;
  outputWidth_ = outputWidth;
  outputHeight_ = outputHeight;
  fitted_ = FitPicture(native.width, native.height, outputWidth, outputHeight);
  xOffset_ = outputWidth > fitted_.width ? (outputWidth - fitted_.width) / 2 : 0;
  yOffset_ = outputHeight > fitted_.height ? (outputHeight - fitted_.height) / 2 : 0;
  BuildMaps();
}

void CPictureGeometry::BuildMaps() {
  if (Empty()) {
    columnMap_.clear();
    rowMap_.clear();
    columnCollapsed_.clear();
    rowCollapsed_.clear();
    return;
  }
  BuildMap(columnMap_, columnCollapsed_, native_.width, fitted_.width);
  BuildMap(rowMap_, rowCollapsed_, native_.height, fitted_.height);
}

std::optional<PixelPlace> CPictureGeometry::Locate(std::uint32_t x, std::uint32_t storedRow) const {
  if (Empty() || x >= native_.width || storedRow >= native_.height) {
    return std::nullopt;
  }
  const auto row = RowOffset(storedRow);
  if (!row) {
    return std::nullopt;
  }
  PixelPlace place = ColumnPlace(x);
  place.offset += *row;
  return place;
}

std::optional<std::uint64_t> CPictureGeometry::RowOffset(std::uint32_t storedRow) const {
  const std::uint64_t row = std::uint64_t{rowMap_[storedRow]} + yOffset_;
  if (row >= outputHeight_) {
    return std::nullopt;
  }
  return row * WorkingStride();
}

PixelPlace CPictureGeometry::ColumnPlace(std::uint32_t x) const {
  PixelPlace place;
  if (native_.bitCount < 8) {
    // Whole source bytes travel together, so a pixel keeps its nibble within its byte.
    place.offset = xOffset_ / 2 + columnMap_[x & ~1U] / 2;
    place.nibbleShift = (x & 1) == 0 ? 4 : 0;
  } else {
    place.offset = (std::uint64_t{columnMap_[x]} + xOffset_) * (native_.bitCount / 8);
  }
  return place;
}

}  // namespace reelkit
