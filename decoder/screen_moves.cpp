#include "decoder/screen_moves.h"

#include <algorithm>
#include <cstring>

#include "common/endian.h"
#include "decoder/avi_exception.h"

namespace reelkit {
namespace {

constexpr std::size_t kMoveHeaderSize = 24;

// Screen coordinates, y from the top row; right and bottom exclusive.
struct PixelRect {
  std::int32_t left;
  std::int32_t top;
  std::int32_t right;
  std::int32_t bottom;

  bool Empty() const { return left >= right || top >= bottom; }
};

struct MoveRecord {
  std::uint16_t kind;
  PixelRect rect;
  std::int16_t sourceLeft;
  std::int16_t sourceTop;
  std::uint32_t color;
};

std::int16_t LoadI16LE(const std::uint8_t* bytes) {
  return static_cast<std::int16_t>(LoadU16LE(bytes));
}

MoveRecord ReadRecord(const std::uint8_t* bytes) {
  MoveRecord record{};
  record.kind = LoadU16LE(bytes);
  record.rect = {LoadI16LE(bytes + 2), LoadI16LE(bytes + 4), LoadI16LE(bytes + 6),
                 LoadI16LE(bytes + 8)};
  record.sourceLeft = LoadI16LE(bytes + 10);
  record.sourceTop = LoadI16LE(bytes + 12);
  record.color = LoadU32LE(bytes + 10);
  return record;
}

PixelRect ClipToPicture(const PixelRect& rect, const PlaneLayout& layout) {
  return {std::max(rect.left, 0), std::max(rect.top, 0),
          std::min(rect.right, static_cast<std::int32_t>(layout.width)),
          std::min(rect.bottom, static_cast<std::int32_t>(layout.height))};
}

// One row of a rectangle in a plane: byte offset and length, cut to the stride.
struct RowBytes {
  std::uint64_t offset;
  std::uint64_t length;
};

RowBytes RowOf(const PlaneLayout& layout, std::int32_t screenRow, std::int32_t left,
               std::int32_t width) {
  const std::uint64_t stride = layout.Stride();
  const auto start = static_cast<std::uint64_t>(BytePosition(left, layout.bitCount));
  const auto length = static_cast<std::uint64_t>(ByteWidth(width, layout.bitCount));
  const std::uint64_t storedRow = layout.height - 1 - static_cast<std::uint64_t>(screenRow);
  return {storedRow * stride + start, std::min(length, stride - std::min(start, stride))};
}

bool Fits(const RowBytes& row, std::span<const std::uint8_t> buffer) {
  return row.offset + row.length <= buffer.size();
}

// Copies a clipped rectangle between two distinct buffers of the native layout.
void CopyRectangle(const PixelRect& rect, const PlaneLayout& layout,
                   std::span<const std::uint8_t> from, std::span<std::uint8_t> to) {
  for (std::int32_t y = rect.top; y < rect.bottom; ++y) {
    const RowBytes row = RowOf(layout, y, rect.left, rect.right - rect.left);
    if (Fits(row, from) && Fits(row, to) && row.length > 0) {
      std::memcpy(to.data() + row.offset, from.data() + row.offset, row.length);
    }
  }
}

// A block copy within the current plane. Destination and source are clipped together so both
// stay inside the picture; rows are moved in the order that lets overlapping blocks come out as
// if the source had been copied aside first.
void MoveBlock(const MoveRecord& record, const PlaneLayout& layout, std::span<std::uint8_t> plane) {
  const std::int32_t dx = record.sourceLeft - record.rect.left;
  const std::int32_t dy = record.sourceTop - record.rect.top;
  PixelRect target = ClipToPicture(record.rect, layout);
  const PixelRect sourceRoom{-dx, -dy, static_cast<std::int32_t>(layout.width) - dx,
                             static_cast<std::int32_t>(layout.height) - dy};
  target = {std::max(target.left, sourceRoom.left), std::max(target.top, sourceRoom.top),
            std::min(target.right, sourceRoom.right), std::min(target.bottom, sourceRoom.bottom)};
  if (target.Empty()) {
    return;
  }
  const std::int32_t width = target.right - target.left;
  const auto moveRow = [&](std::int32_t y) {
    const RowBytes to = RowOf(layout, y, target.left, width);
    const RowBytes from = RowOf(layout, y + dy, target.left + dx, width);
    const std::uint64_t length = std::min(to.length, from.length);
    if (length > 0 && to.offset + length <= plane.size() && from.offset + length <= plane.size()) {
      std::memmove(plane.data() + to.offset, plane.data() + from.offset, length);
    }
  };
  // Screen rows run against storage order: a source below the target on screen sits at lower
  // addresses, so the target's top row, stored highest, must be written first.
  if (dy > 0) {
    for (std::int32_t y = target.top; y < target.bottom; ++y) {
      moveRow(y);
    }
  } else {
    for (std::int32_t y = target.bottom; y-- > target.top;) {
      moveRow(y);
    }
  }
}

void FillRectangle(const MoveRecord& record, const PlaneLayout& layout,
                   std::span<std::uint8_t> plane) {
  const PixelRect rect = ClipToPicture(record.rect, layout);
  const std::uint32_t bitCount = layout.bitCount;
  if (rect.Empty() ||
      (bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)) {
    return;
  }
  for (std::int32_t y = rect.top; y < rect.bottom; ++y) {
    const RowBytes row = RowOf(layout, y, rect.left, rect.right - rect.left);
    if (!Fits(row, plane)) {
      continue;
    }
    std::uint8_t* bytes = plane.data() + row.offset;
    if (bitCount == 32) {
      for (std::uint64_t k = 0; k + 4 <= row.length; k += 4) {
        StoreU32LE(bytes + k, record.color);
      }
    } else if (bitCount == 16) {
      for (std::uint64_t k = 0; k + 2 <= row.length; k += 2) {
        StoreU16LE(bytes + k, static_cast<std::uint16_t>(record.color));
      }
    } else {
      // Palette index 0 or black, whatever colour the record names.
      std::memset(bytes, 0, row.length);
    }
  }
}

void Widen(PixelRect& dirty, const PixelRect& rect) {
  dirty.left = std::min(dirty.left, rect.left);
  dirty.top = std::min(dirty.top, rect.top);
  dirty.right = std::max(dirty.right, rect.right);
  dirty.bottom = std::max(dirty.bottom, rect.bottom);
}

void ApplyRecord(const MoveRecord& record, const PlaneLayout& layout, const MovePlanes& planes) {
  switch (record.kind) {
    case move_kind::kCopy:
      MoveBlock(record, layout, planes.current);
      return;
    case move_kind::kFill:
      FillRectangle(record, layout, planes.current);
      return;
    case move_kind::kSave:
      if (!planes.previous.empty()) {
        CopyRectangle(ClipToPicture(record.rect, layout), layout, planes.current, planes.previous);
      }
      return;
    default:
      throw CAviException_InvalidData();
  }
}

// The record bytes: stored in the payload, or unpacked into scratch.
std::span<const std::uint8_t> FindRecords(std::span<const std::uint8_t> payload,
                                          std::span<std::uint8_t> scratch, CInflater& inflater) {
  const std::uint32_t compressedLength = LoadU32LE(payload.data() + 12);
  const auto method = static_cast<Compression>(LoadU32LE(payload.data() + 20));
  const auto data = payload.subspan(kMoveHeaderSize);
  switch (method) {
    case Compression::Stored:
      return data;
    case Compression::Zlib:
    case Compression::Lzf: {
      const auto compressed = data.first(std::min<std::size_t>(compressedLength, data.size()));
      return scratch.first(DecompressInto(method, compressed, scratch, inflater));
    }
  }
  return {};
}

}  // namespace

void ApplyScreenMoves(std::span<const std::uint8_t> payload, const PlaneLayout& layout,
                      const MovePlanes& planes, std::span<std::uint8_t> scratch,
                      CInflater& inflater) {
  if (payload.size() < kMoveHeaderSize) {
    return;
  }
  const std::uint32_t declaredCount = LoadU32LE(payload.data() + 8);
  const auto records = FindRecords(payload, scratch, inflater);
  const std::size_t count = std::min<std::size_t>(declaredCount, records.size() / kMoveRecordSize);
  PixelRect dirty{32767, 32767, -32767, -32767};
  for (std::size_t k = 0; k < count; ++k) {
    const MoveRecord record = ReadRecord(records.data() + k * kMoveRecordSize);
    Widen(dirty, record.rect);
    if (dirty.bottom > kMaxMoveEdge || dirty.right > kMaxMoveEdge) {
      throw CAviException_ArrayBoundsExceeded();
    }
    if (record.kind <= move_kind::kSave && planes.current.empty()) {
      continue;
    }
    ApplyRecord(record, layout, planes);
  }
  const PixelRect touched = ClipToPicture(dirty, layout);
  if (!dirty.Empty() && !touched.Empty() && !planes.current.empty()) {
    CopyRectangle(touched, layout, planes.current, planes.screen);
  }
}

}  // namespace reelkit
