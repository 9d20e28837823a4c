#include "decoder/delta_codec.h"

#include <algorithm>
#include <cstring>

#include "decoder/avi_exception.h"

namespace reelkit {
namespace {

using namespace delta_opcode;

// Bytes one run writes per unit of its count.
std::int64_t UnitBytes(std::uint8_t opcode) {
  switch (opcode) {
    case kShowBytes:
    case kSwapBytes:
    case kLiteralBytes:
    case kFillByte:
      return 1;
    case kFill32:
    case kShowWords:
    case kSwapWords:
    case kLiteralWords:
      return 4;
    default:
      return 0;
  }
}

// Row progress a run adds on top of its count.
std::int64_t ExtraProgress(std::uint8_t opcode, std::int64_t count) {
  switch (opcode) {
    case kFill16:
      return count;
    case kFill24:
      return 2 * count;
    case kFill32:
    case kShowWords:
    case kSwapWords:
    case kLiteralWords:
      return 3 * count;
    default:
      return 0;
  }
}

std::size_t ValueBytes(std::uint8_t opcode) {
  switch (opcode) {
    case kFillByte:
      return 1;
    case kFill16:
      return 2;
    case kFill24:
      return 3;
    case kFill32:
      return 4;
    default:
      return 0;
  }
}

// Where one run writes, already cut to every buffer it touches.
struct RunTarget {
  std::uint8_t* screen;
  std::uint8_t* current;
  std::uint8_t* previous;
  std::size_t length;
};

void ApplyRun(std::uint8_t opcode, const RunTarget& target, const std::uint8_t* operand) {
  const std::size_t length = target.length;
  if (length == 0) {
    return;
  }
  switch (opcode) {
    case kShowBytes:
    case kShowWords:
      std::memcpy(target.screen, target.current, length);
      return;
    case kSwapBytes:
    case kSwapWords:
      std::swap_ranges(target.current, target.current + length, target.previous);
      std::memcpy(target.screen, target.current, length);
      return;
    case kLiteralBytes:
    case kLiteralWords:
      std::memcpy(target.previous, target.current, length);
      std::memcpy(target.current, operand, length);
      std::memcpy(target.screen, operand, length);
      return;
    case kFillByte:
      std::memcpy(target.previous, target.current, length);
      std::memset(target.current, operand[0], length);
      std::memset(target.screen, operand[0], length);
      return;
    case kFill32:
      std::memcpy(target.previous, target.current, length);
      for (std::size_t i = 0; i < length; ++i) {
        target.current[i] = operand[i % 4];
      }
      std::memcpy(target.screen, target.current, length);
      return;
    default:
      return;
  }
}

// Bytes from offset to the end of a buffer, 0 when the offset lies past it.
std::int64_t RoomFrom(std::span<std::uint8_t> buffer, std::int64_t offset) {
  const auto size = static_cast<std::int64_t>(buffer.size());
  return offset >= 0 && offset < size ? size - offset : 0;
}

class CDeltaRun {
 public:
  CDeltaRun(const DeltaPlanes& planes, std::span<const std::uint8_t> opcodes)
      : planes_(planes), opcodes_(opcodes) {}

  // Decodes one row starting at plane offset o and screen offset rowStart; false when the
  // rectangle ends inside it.
  bool DecodeRow(std::int64_t& o, std::int64_t rowStart, std::int64_t rowBytes) {
    std::int64_t column = 0;
    std::int64_t progress = 0;
    while (progress < rowBytes) {
      if (position_ + 2 > opcodes_.size()) {
        return false;
      }
      const std::uint8_t opcode = opcodes_[position_];
      const std::int64_t count = opcodes_[position_ + 1];
      position_ += 2;
      progress += count + ExtraProgress(opcode, count);
      if (!PlanesHoldOffset(o)) {
        return false;
      }
      const std::int64_t screenOffset = rowStart + column;
      if (screenOffset < 0 || screenOffset > static_cast<std::int64_t>(planes_.bufferSize)) {
        throw CAviException_AccessViolation();
      }
      const std::uint8_t* operand = TakeOperand(opcode, count);
      if (operand == nullptr) {
        return false;
      }
      const std::int64_t length = UnitBytes(opcode) * count;
      ApplyRun(opcode, CutRun(o, screenOffset, length), operand);
      o += length;
      column += length;
    }
    return true;
  }

 private:
  bool PlanesHoldOffset(std::int64_t o) const {
    const auto previousSize = static_cast<std::int64_t>(planes_.previous.size());
    const auto currentSize = static_cast<std::int64_t>(planes_.current.size());
    const auto limit = static_cast<std::int64_t>(planes_.bufferSize);
    return o >= 0 && o < previousSize && o < currentSize && previousSize <= limit &&
           currentSize <= limit;
  }

  // The run's literal or value bytes, or nullptr when the stream ends before them. Runs without
  // operands get a pointer they never read.
  const std::uint8_t* TakeOperand(std::uint8_t opcode, std::int64_t count) {
    std::size_t needed = ValueBytes(opcode);
    if (opcode == kLiteralBytes) {
      needed = static_cast<std::size_t>(count);
    } else if (opcode == kLiteralWords) {
      needed = static_cast<std::size_t>(4 * count);
    }
    if (needed > opcodes_.size() - position_) {
      return nullptr;
    }
    const std::uint8_t* operand = opcodes_.data() + position_;
    position_ += needed;
    return operand;
  }

  RunTarget CutRun(std::int64_t o, std::int64_t screenOffset, std::int64_t length) const {
    std::int64_t cut =
        std::min({length, RoomFrom(planes_.current, o), RoomFrom(planes_.previous, o),
                  RoomFrom(planes_.screen, screenOffset)});
    cut = std::max<std::int64_t>(cut, 0);
    if (cut == 0) {
      return {nullptr, nullptr, nullptr, 0};
    }
    return {planes_.screen.data() + screenOffset, planes_.current.data() + o,
            planes_.previous.data() + o, static_cast<std::size_t>(cut)};
  }

  const DeltaPlanes& planes_;
  std::span<const std::uint8_t> opcodes_;
  std::size_t position_ = 0;
};

}  // namespace

std::uint64_t LongestWholePictureDelta(const PlaneLayout& layout) {
  constexpr std::uint64_t kLongestRun = 255;
  constexpr std::uint64_t kRunHead = 2;
  const auto rowBytes = static_cast<std::uint64_t>(ByteWidth(layout.width, layout.bitCount));
  const std::uint64_t runsPerRow = (rowBytes + kLongestRun - 1) / kLongestRun;
  return std::uint64_t{layout.height} * (rowBytes + kRunHead * runsPerRow);
}

std::uint32_t DecodeDeltaRectangle(const DeltaPlanes& planes, std::span<const std::uint8_t> opcodes,
                                   const DeltaRectangle& rectangle, const PlaneLayout& layout) {
  if (rectangle.height <= 0) {
    return 0;
  }
  const auto rows = static_cast<std::uint32_t>(rectangle.height);
  const std::int64_t rowBytes = ByteWidth(rectangle.width, layout.bitCount);
  if (rowBytes <= 0) {
    // No run is ever read for an empty row, so every row completes untouched.
    return rows;
  }
  const auto stride = static_cast<std::int64_t>(layout.Stride());
  std::int64_t o =
      (static_cast<std::int64_t>(layout.height) - rectangle.top - rectangle.height) * stride +
      BytePosition(rectangle.left, layout.bitCount);
  std::int64_t rowStart = o;
  CDeltaRun run(planes, opcodes);
  for (std::uint32_t row = 0; row < rows; ++row) {
    if (!run.DecodeRow(o, rowStart, rowBytes)) {
      return row;
    }
    o += stride - rowBytes;
    rowStart += stride;
  }
  return rows;
}

}  // namespace reelkit
