#include "decoder/cursor_overlay.h"

#include <algorithm>
#include <cstring>

#include "common/byte_reader.h"

namespace reelkit {
namespace {

constexpr std::uint8_t kKeyBlue = 0xEA;
constexpr std::uint8_t kKeyGreen = 0xEF;
constexpr std::uint8_t kKeyRed = 0xBE;
constexpr std::uint8_t kPaleThreshold = 0xA0;

// MOUS payload fields after the 8 bytes nobody reads.
struct ShapeHeader {
  std::int32_t width;
  std::int32_t height;
  std::int32_t hotspotX;
  std::int32_t hotspotY;
  std::uint32_t compressedLength;
  std::uint32_t rawLength;
};

constexpr std::size_t kShapeHeaderSize = 32;
constexpr std::size_t kPositionSize = 16;

ShapeHeader ReadShapeHeader(std::span<const std::uint8_t> payload) {
  ByteReader reader(payload);
  reader.Skip(8);
  ShapeHeader header{};
  header.width = *reader.ReadI32();
  header.height = *reader.ReadI32();
  header.hotspotX = *reader.ReadI32();
  header.hotspotY = *reader.ReadI32();
  header.compressedLength = *reader.ReadU32();
  header.rawLength = *reader.ReadU32();
  return header;
}

// The visible part [first, last) of a cursor line that starts at origin on a picture line of
// length extent.
struct Span {
  std::int64_t first;
  std::int64_t last;
};

Span ClipLine(std::int64_t origin, std::int64_t length, std::int64_t extent) {
  return {std::clamp<std::int64_t>(-origin, 0, length),
          std::clamp<std::int64_t>(extent - origin, 0, length)};
}

}  // namespace

CursorPixel ClassifyCursorPixel(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
  if (blue == kKeyBlue && green == kKeyGreen && red == kKeyRed) {
    return CursorPixel::Transparent;
  }
  if (blue > kPaleThreshold && green > kPaleThreshold && red > kPaleThreshold) {
    return CursorPixel::White;
  }
  return CursorPixel::Black;
}

void CCursorOverlay::SetShape(std::span<const std::uint8_t> payload, CInflater& inflater) {
  if (payload.size() < kShapeHeaderSize) {
    return;
  }
  const ShapeHeader header = ReadShapeHeader(payload);
  hotspotX_ = header.hotspotX;
  hotspotY_ = header.hotspotY;
  if (header.width < 1 || header.height < 1 || header.width > kMaxCursorSide ||
      header.height > kMaxCursorSide) {
    // An empty shape is how a session hides the cursor; one the decoder refuses hides it too
    // rather than leave the last one drawn for the rest of the video.
    width_ = header.width;
    height_ = header.height;
    std::vector<CursorPixel>().swap(shape_);
    return;
  }
  const std::uint64_t imageBytes = std::uint64_t{3} * static_cast<std::uint64_t>(header.width) *
                                   static_cast<std::uint64_t>(header.height);
  const auto compressed = payload.subspan(
      kShapeHeaderSize,
      std::min<std::size_t>(header.compressedLength, payload.size() - kShapeHeaderSize));
  if (!InflateImage(compressed, imageBytes, header.rawLength, inflater)) {
    return;
  }
  ClassifyImage(header.width, header.height);
}

bool CCursorOverlay::InflateImage(std::span<const std::uint8_t> compressed,
                                  std::uint64_t imageBytes, std::uint64_t rawLength,
                                  CInflater& inflater) {
  if (rawLength < imageBytes) {
    return false;
  }
  image_.Resize(static_cast<std::size_t>(imageBytes));
  inflater.Begin(compressed);
  if (inflater.ReadInto(image_.span()) < imageBytes) {
    return false;
  }
  // The stream must end within the raw length, as a one-call inflate into a buffer of that size
  // would demand; but a raw length past the largest cursor image is a lie, and honouring it would
  // let a few kilobytes of input inflate gigabytes for nothing.
  return inflater.Ended() ||
         inflater.FinishWithin(std::min(rawLength, kMaxCursorImageBytes) - imageBytes);
}

void CCursorOverlay::ClassifyImage(std::int32_t width, std::int32_t height) {
  width_ = width;
  height_ = height;
  const auto columns = static_cast<std::size_t>(width);
  const auto rows = static_cast<std::size_t>(height);
  shape_.resize(columns * rows);
  // Image rows are stored bottom-up; the shape keeps them top to bottom.
  for (std::size_t k = 0; k < rows; ++k) {
    const std::uint8_t* raw = image_.data() + k * columns * 3;
    CursorPixel* row = shape_.data() + (rows - 1 - k) * columns;
    for (std::size_t j = 0; j < columns; ++j) {
      row[j] = ClassifyCursorPixel(raw[3 * j], raw[3 * j + 1], raw[3 * j + 2]);
    }
  }
}

void CCursorOverlay::SetPosition(std::span<const std::uint8_t> payload) {
  if (payload.size() < kPositionSize) {
    return;
  }
  positionX_ = LoadI32LE(payload.data() + 8);
  positionY_ = LoadI32LE(payload.data() + 12);
}

void CCursorOverlay::Draw(std::span<std::uint8_t> picture, const CPictureGeometry& geometry) {
  saved_.clear();
  const PlaneLayout& native = geometry.Native();
  if (shape_.empty() || geometry.Empty()) {
    return;
  }
  savedBytesPerPixel_ = native.bitCount >= 8 ? native.bitCount / 8 : 1;
  const std::int64_t left = std::int64_t{positionX_} - hotspotX_;
  const std::int64_t top = std::int64_t{positionY_} - hotspotY_;
  const Span columns = ClipLine(left, width_, native.width);
  const Span rows = ClipLine(top, height_, native.height);
  for (std::int64_t i = rows.first; i < rows.last; ++i) {
    const auto rowOffset =
        geometry.RowOffset(static_cast<std::uint32_t>(native.height - 1 - (top + i)));
    if (!rowOffset) {
      continue;
    }
    const CursorPixel* shapeRow = shape_.data() + i * width_;
    for (std::int64_t j = columns.first; j < columns.last; ++j) {
      if (shapeRow[j] == CursorPixel::Transparent) {
        continue;
      }
      PixelPlace place = geometry.ColumnPlace(static_cast<std::uint32_t>(left + j));
      place.offset += *rowOffset;
      if (place.offset + savedBytesPerPixel_ <= picture.size()) {
        DrawPixel(picture, place, shapeRow[j], native.bitCount);
      }
    }
  }
}

void CCursorOverlay::DrawPixel(std::span<std::uint8_t> picture, const PixelPlace& place,
                               CursorPixel pixel, std::uint32_t bitCount) {
  std::uint8_t* target = picture.data() + place.offset;
  SavedPixel& saved = saved_.emplace_back(SavedPixel{place.offset, {}});
  std::memcpy(saved.bytes.data(), target, savedBytesPerPixel_);
  const std::uint8_t ink = pixel == CursorPixel::White ? 0xFF : 0x00;
  if (bitCount < 8) {
    const auto nibbleMask = static_cast<std::uint8_t>(0x0F << place.nibbleShift);
    *target = static_cast<std::uint8_t>((*target & ~nibbleMask) | (ink & nibbleMask));
    return;
  }
  std::memset(target, ink, savedBytesPerPixel_);
}

void CCursorOverlay::Restore(std::span<std::uint8_t> picture) {
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
    if (it->offset + savedBytesPerPixel_ <= picture.size()) {
      std::memcpy(picture.data() + it->offset, it->bytes.data(), savedBytesPerPixel_);
    }
  }
  saved_.clear();
}

void CCursorOverlay::Reset() {
  positionX_ = positionY_ = 0;
  hotspotX_ = hotspotY_ = 0;
  width_ = height_ = 0;
  // Assigning an empty list would keep the storage; a reset gives it back.
  std::vector<CursorPixel>().swap(shape_);
  image_.Release();
  std::vector<SavedPixel>().swap(saved_);
  savedBytesPerPixel_ = 0;
}

}  // namespace reelkit
