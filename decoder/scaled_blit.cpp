#include "decoder/scaled_blit.h"

#include <algorithm>
#include <cstring>

namespace reelkit {
namespace {

// Rows of a buffer that a blit may touch, each stride bytes long.
std::uint32_t WholeRows(std::size_t bufferSize, std::uint64_t stride, std::uint32_t rows) {
  if (stride == 0) {
    return 0;
  }
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(rows, bufferSize / stride));
}

template <typename Pixel>
Pixel LoadPixel(const std::uint8_t* bytes) {
  Pixel value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

template <typename Pixel>
void StorePixel(std::uint8_t* bytes, Pixel value) {
  std::memcpy(bytes, &value, sizeof value);
}

struct BlitRows {
  const std::uint8_t* source;
  std::uint64_t sourceStride;
  std::uint32_t sourceRows;
  std::uint8_t* working;
  std::uint64_t workingStride;
  std::uint32_t workingRows;
};

// Same size: each native row lands whole on one working row, so rows are plain copies.
void CopyRows(const CPictureGeometry& geometry, const BlitRows& rows) {
  const PlaneLayout& native = geometry.Native();
  const auto rowBytes = static_cast<std::size_t>(ByteWidth(native.width, native.bitCount));
  const auto column = static_cast<std::size_t>(BytePosition(geometry.XOffset(), native.bitCount));
  if (column + rowBytes > rows.workingStride) {
    return;
  }
  for (std::uint32_t i = 0; i < rows.sourceRows; ++i) {
    const std::uint64_t target = std::uint64_t{i} + geometry.YOffset();
    if (target >= rows.workingRows) {
      break;
    }
    std::memcpy(rows.working + target * rows.workingStride + column,
                rows.source + i * rows.sourceStride, rowBytes);
  }
}

template <typename Pixel>
void BlitPixelsKeepingDetail(const CPictureGeometry& geometry, const BlitRows& rows) {
  constexpr std::size_t kSize = sizeof(Pixel);
  const std::uint32_t width = geometry.Native().width;
  const auto columns = geometry.ColumnMap();
  const auto rowMap = geometry.RowMap();
  const std::uint32_t xOffset = geometry.XOffset();
  for (std::uint32_t i = 0; i < rows.sourceRows; ++i) {
    const std::uint64_t target = std::uint64_t{rowMap[i]} + geometry.YOffset();
    if (target >= rows.workingRows) {
      continue;
    }
    const bool rowCollapsed = geometry.RowCollapsed(i);
    const std::uint8_t* sourceRow = rows.source + i * rows.sourceStride;
    const std::uint8_t* sourceBelow = rowCollapsed ? sourceRow - rows.sourceStride : sourceRow;
    std::uint8_t* workingRow = rows.working + target * rows.workingStride;
    const std::uint8_t* workingBelow = rowCollapsed ? workingRow - rows.workingStride : workingRow;
    for (std::uint32_t j = 0; j < width; ++j) {
      const std::size_t column = (std::size_t{columns[j]} + xOffset) * kSize;
      Pixel value = LoadPixel<Pixel>(sourceRow + j * kSize);
      if (rowCollapsed && value == LoadPixel<Pixel>(workingBelow + column)) {
        value = LoadPixel<Pixel>(sourceBelow + j * kSize);
      }
      if (geometry.ColumnCollapsed(j) && value == LoadPixel<Pixel>(workingRow + column - kSize)) {
        value = LoadPixel<Pixel>(sourceRow + (j - 1) * kSize);
      }
      StorePixel(workingRow + column, value);
    }
  }
}

void BlitPixels24(const CPictureGeometry& geometry, const BlitRows& rows) {
  const std::uint32_t width = geometry.Native().width;
  const auto columns = geometry.ColumnMap();
  const auto rowMap = geometry.RowMap();
  for (std::uint32_t i = 0; i < rows.sourceRows; ++i) {
    const std::uint64_t target = std::uint64_t{rowMap[i]} + geometry.YOffset();
    if (target >= rows.workingRows) {
      continue;
    }
    const std::uint8_t* sourceRow = rows.source + i * rows.sourceStride;
    std::uint8_t* workingRow = rows.working + target * rows.workingStride;
    for (std::uint32_t j = 0; j < width; ++j) {
      std::memcpy(workingRow + (std::size_t{columns[j]} + geometry.XOffset()) * 3,
                  sourceRow + std::size_t{j} * 3, 3);
    }
  }
}

// Whole source bytes move, two pixels at a time, to the byte of their even column.
void BlitBytes4(const CPictureGeometry& geometry, const BlitRows& rows) {
  const std::uint32_t width = geometry.Native().width;
  const std::uint32_t rowBytes = (width + 1) / 2;
  const auto columns = geometry.ColumnMap();
  const auto rowMap = geometry.RowMap();
  for (std::uint32_t i = 0; i < rows.sourceRows; ++i) {
    const std::uint64_t target = std::uint64_t{rowMap[i]} + geometry.YOffset();
    if (target >= rows.workingRows) {
      continue;
    }
    const std::uint8_t* sourceRow = rows.source + i * rows.sourceStride;
    std::uint8_t* workingRow = rows.working + target * rows.workingStride;
    for (std::uint32_t k = 0; k < rowBytes; ++k) {
      workingRow[geometry.XOffset() / 2 + columns[2 * k] / 2] = sourceRow[k];
    }
  }
}

// The largest working-frame byte any native pixel reaches within its row stays inside the row.
bool ColumnsFitRow(const CPictureGeometry& geometry) {
  const PlaneLayout& native = geometry.Native();
  const std::uint64_t lastColumn = std::uint64_t{geometry.ColumnMap().back()} + geometry.XOffset();
  if (native.bitCount < 8) {
    const std::uint64_t lastByte =
        geometry.XOffset() / 2 + geometry.ColumnMap()[(native.width - 1) & ~1U] / 2;
    return lastByte < geometry.WorkingStride();
  }
  return (lastColumn + 1) * (native.bitCount / 8) <= geometry.WorkingStride();
}

// Clears what the picture will not cover. When the picture covers the whole frame only the row
// padding needs it, which keeps the common same-size case near a plain copy.
void ClearBackground(const CPictureGeometry& geometry, const BlitRows& rows) {
  const PlaneLayout& native = geometry.Native();
  const bool coversFrame = geometry.Unscaled() && geometry.XOffset() == 0 &&
                           geometry.YOffset() == 0 && native.width == geometry.OutputWidth() &&
                           native.height == geometry.OutputHeight() &&
                           rows.sourceRows == rows.workingRows;
  if (!coversFrame) {
    std::memset(rows.working, 0, rows.workingRows * rows.workingStride);
    return;
  }
  const auto rowBytes = static_cast<std::uint64_t>(ByteWidth(native.width, native.bitCount));
  if (rowBytes >= rows.workingStride) {
    return;
  }
  for (std::uint32_t i = 0; i < rows.workingRows; ++i) {
    std::memset(rows.working + i * rows.workingStride + rowBytes, 0, rows.workingStride - rowBytes);
  }
}

}  // namespace

void BlitScaled(std::span<const std::uint8_t> screen, const CPictureGeometry& geometry,
                std::span<std::uint8_t> working) {
  const PlaneLayout& native = geometry.Native();
  const std::uint64_t workingStride = geometry.WorkingStride();
  BlitRows rows{screen.data(),
                native.Stride(),
                WholeRows(screen.size(), native.Stride(), native.height),
                working.data(),
                workingStride,
                WholeRows(working.size(), workingStride, geometry.OutputHeight())};
  if (geometry.Empty() || !ColumnsFitRow(geometry)) {
    rows.sourceRows = 0;
  }
  if (rows.workingRows > 0) {
    ClearBackground(geometry, rows);
  }
  if (rows.sourceRows == 0 || rows.workingRows == 0) {
    return;
  }
  if (geometry.Unscaled()) {
    CopyRows(geometry, rows);
    return;
  }
  switch (native.bitCount) {
    case 8:
      BlitPixelsKeepingDetail<std::uint8_t>(geometry, rows);
      break;
    case 16:
      BlitPixelsKeepingDetail<std::uint16_t>(geometry, rows);
      break;
    case 32:
      BlitPixelsKeepingDetail<std::uint32_t>(geometry, rows);
      break;
    case 24:
      BlitPixels24(geometry, rows);
      break;
    case 4:
      BlitBytes4(geometry, rows);
      break;
    default:
      break;
  }
}

}  // namespace reelkit
