#include "tools/recording_writer/screen_model.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "tools/recording_writer/pixel_layout.h"

namespace reelkit::recording {
namespace {

struct RunBytes {
  std::size_t valueBytes = 0;  // value bytes after the header (fills)
  std::size_t unit = 1;        // bytes written per counted unit
  std::size_t progressPerUnit = 1;
};

RunBytes ShapeOfRun(std::uint8_t opcode) {
  switch (opcode) {
    case 4:
      return {1, 1, 1};
    case 5:
      return {2, 0, 2};
    case 6:
      return {3, 0, 3};
    case 7:
      return {4, 4, 4};
    case 10:
    case 12:
    case 13:
      return {0, 4, 4};
    case 1:
    case 2:
    case 3:
      return {0, 1, 1};
    default:
      return {0, 0, 1};
  }
}

// Literal runs carry their bytes behind the run header.
bool IsLiteralRun(std::uint8_t opcode) {
  return opcode == 3 || opcode == 13;
}

// Clamps a span of count bytes at offset to a buffer of the given size.
std::size_t Fitting(std::size_t offset, std::size_t count, std::size_t size) {
  return offset >= size ? 0 : std::min(count, size - offset);
}

}  // namespace

CScreenModel::CScreenModel(const BitmapFormat& streamFormat) : native_(streamFormat) {}

std::size_t CScreenModel::Stride() const {
  return static_cast<std::size_t>(DibStride(static_cast<std::uint64_t>(Width()), BitCount()));
}

std::size_t CScreenModel::FrameSize() const {
  return Stride() * static_cast<std::size_t>(Height());
}

std::size_t CScreenModel::ColumnByte(int x) const {
  return static_cast<std::size_t>(x) * BitCount() / 8;
}

std::size_t CScreenModel::ByteWidth(int pixels) const {
  return static_cast<std::size_t>(pixels) * BitCount() / 8;
}

std::size_t CScreenModel::RowOffset(int y) const {
  return static_cast<std::size_t>(Height() - 1 - y) * Stride();
}

void CScreenModel::SetCursorPosition(int x, int y) {
  cursorX_ = x;
  cursorY_ = y;
}

void CScreenModel::AdoptAnnouncedFormat(const BitmapFormat& announced) {
  const BitmapInfoHeader header = announced.Header();
  BitmapFormat adopted(header);
  if (header.bitCount <= 8) {
    const std::size_t entries = std::min<std::size_t>(header.clrUsed, kMaxColorTableEntries);
    std::copy_n(announced.ColorTable().begin(), 4 * entries, adopted.ColorTable().begin());
  } else if (header.compression == kCompressionBitFields) {
    // The announcement carries no masks; ours are the only ones a bit-field screen can have.
    const PixelLayout layout =
        header.bitCount == 16 ? PixelLayout::Rgb565 : PixelLayout::Rgb32BitFields;
    adopted.SetMasks(MakeStreamFormat(1, 1, layout).Masks());
  }
  native_ = adopted;
}

void CScreenModel::ApplyFormatReset(const BitmapFormat* announced, bool fullReset) {
  const std::size_t size = FrameSize();
  if (announced == nullptr) {
    current_.Resize(size);
    previous_.ResizeZeroed(size);
    if (fullReset) {
      screen_.ResizeZeroed(size);
      current_.Zero();
    }
    return;
  }
  current_.Resize(size);
  previous_.Resize(size);
  screen_.ResizeZeroed(size);
  const BitmapInfoHeader now = native_.Header();
  const BitmapInfoHeader next = announced->Header();
  const bool sameScreen = next.width == now.width && next.height == now.height &&
                          next.bitCount == now.bitCount && next.clrImportant == now.clrImportant;
  if (sameScreen && next.bitCount > 8) {
    return;
  }
  AdoptAnnouncedFormat(*announced);
  const std::size_t newSize = FrameSize();
  screen_.ResizeZeroed(newSize);
  current_.ResizeZeroed(newSize);
  previous_.ResizeZeroed(newSize);
}

void CScreenModel::ApplyKeyImage(const BitmapFormat* announced,
                                 std::span<const std::uint8_t> current,
                                 std::span<const std::uint8_t> previous) {
  if (announced != nullptr) {
    ApplyFormatReset(announced, true);
  }
  if (!HasPlanes()) {
    return;
  }
  const std::size_t size = FrameSize();
  screen_.ResizeZeroed(size);
  current_.ResizeZeroed(size);
  previous_.ResizeZeroed(size);
  std::copy_n(current.begin(), std::min(size, current.size()), current_.data());
  std::copy_n(current.begin(), std::min(size, current.size()), screen_.data());
  std::copy_n(previous.begin(), std::min(size, previous.size()), previous_.data());
}

int CScreenModel::ApplyDeltaOpcodes(const ScreenRect& rect, std::span<const std::uint8_t> opcodes) {
  if (rect.height <= 0 || !HasPlanes()) {
    return 0;
  }
  const std::int64_t stride = static_cast<std::int64_t>(Stride());
  const std::int64_t rowBytes = static_cast<std::int64_t>(ByteWidth(rect.width));
  std::int64_t offset = (static_cast<std::int64_t>(Height()) - rect.top - rect.height) * stride +
                        static_cast<std::int64_t>(ColumnByte(rect.left));
  const std::size_t length = opcodes.size();
  std::size_t p = 0;
  for (int row = 0; row < rect.height; ++row) {
    std::int64_t progress = 0;
    while (progress < rowBytes) {
      if (p + 2 > length) {
        return row;
      }
      const std::uint8_t opcode = opcodes[p];
      const std::size_t count = opcodes[p + 1];
      p += 2;
      if (offset < 0 || static_cast<std::size_t>(offset) >= current_.size()) {
        return row;
      }
      const RunBytes shape = ShapeOfRun(opcode);
      progress += static_cast<std::int64_t>(count * shape.progressPerUnit);
      const std::size_t at = static_cast<std::size_t>(offset);
      const std::size_t bytes = count * shape.unit;
      const std::uint8_t* source = nullptr;
      std::uint8_t value[4] = {0, 0, 0, 0};
      if (IsLiteralRun(opcode)) {
        source = opcodes.data() + p;
        p += bytes;
        if (p > length) {
          return row;
        }
      } else if (shape.valueBytes > 0) {
        for (std::size_t i = 0; i < shape.valueBytes; ++i) {
          if (p >= length) {
            return row;
          }
          value[i] = opcodes[p++];
        }
      }
      const std::size_t n = Fitting(at, bytes, current_.size());
      std::uint8_t* cur = current_.data() + at;
      std::uint8_t* prev = previous_.data() + at;
      switch (opcode) {
        case 1:
        case 10:
          break;
        case 2:
        case 12:
          std::swap_ranges(cur, cur + n, prev);
          break;
        case 3:
        case 13:
          std::memcpy(prev, cur, n);
          std::memcpy(cur, source, n);
          break;
        case 4:
        case 7:
          std::memcpy(prev, cur, n);
          for (std::size_t i = 0; i < n; ++i) {
            cur[i] = value[i % shape.unit];
          }
          break;
        default:
          continue;
      }
      if (const std::size_t shown = Fitting(at, n, screen_.size()); shown > 0) {
        std::memcpy(screen_.data() + at, cur, shown);
      }
      offset += static_cast<std::int64_t>(bytes);
    }
    offset += stride - rowBytes;
  }
  return rect.height;
}

std::array<int, 256> CountDeltaRuns(std::span<const std::uint8_t> opcodes) {
  std::array<int, 256> runs{};
  std::size_t p = 0;
  while (opcodes.size() - p >= 2) {
    const std::uint8_t opcode = opcodes[p];
    const RunBytes shape = ShapeOfRun(opcode);
    const std::size_t operands =
        IsLiteralRun(opcode) ? opcodes[p + 1] * shape.unit : shape.valueBytes;
    if (opcodes.size() - p - 2 < operands) {
      break;
    }
    ++runs[opcode];
    p += 2 + operands;
  }
  return runs;
}

bool CScreenModel::InsideScreen(const ScreenRect& rect) const {
  return rect.left >= 0 && rect.top >= 0 && rect.Right() <= Width() && rect.Bottom() <= Height();
}

void CScreenModel::CopyBlock(const MoveOperation& op) {
  const ScreenRect source{op.sourceLeft, op.sourceTop, op.target.width, op.target.height};
  if (op.target.Empty() || !InsideScreen(op.target) || !InsideScreen(source)) {
    return;
  }
  const std::size_t rowBytes = ByteWidth(op.target.width);
  // Copied aside first, so overlapping blocks come out as the decoder's directed copy leaves them.
  ByteBlock block(rowBytes * static_cast<std::size_t>(op.target.height));
  for (int row = 0; row < op.target.height; ++row) {
    std::memcpy(block.data() + rowBytes * static_cast<std::size_t>(row),
                current_.data() + RowOffset(source.top + row) + ColumnByte(source.left), rowBytes);
  }
  for (int row = 0; row < op.target.height; ++row) {
    std::memcpy(current_.data() + RowOffset(op.target.top + row) + ColumnByte(op.target.left),
                block.data() + rowBytes * static_cast<std::size_t>(row), rowBytes);
  }
}

void CScreenModel::FillBlock(const MoveOperation& op) {
  if (op.target.Empty() || !InsideScreen(op.target)) {
    return;
  }
  const unsigned bits = BitCount();
  if (bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    return;
  }
  std::uint8_t pixel[4] = {0, 0, 0, 0};
  const std::size_t pixelBytes = bits == 32 ? 4 : (bits == 16 ? 2 : 1);
  if (bits == 32 || bits == 16) {
    for (std::size_t i = 0; i < pixelBytes; ++i) {
      pixel[i] = static_cast<std::uint8_t>(op.fillColor >> (8 * i));
    }
  }
  const std::size_t rowBytes = ByteWidth(op.target.width);
  for (int row = 0; row < op.target.height; ++row) {
    std::uint8_t* out =
        current_.data() + RowOffset(op.target.top + row) + ColumnByte(op.target.left);
    for (std::size_t i = 0; i < rowBytes; ++i) {
      out[i] = pixel[i % pixelBytes];
    }
  }
}

void CScreenModel::SaveBlock(const ScreenRect& rect) {
  if (rect.Empty() || !InsideScreen(rect)) {
    return;
  }
  const std::size_t rowBytes = ByteWidth(rect.width);
  for (int row = 0; row < rect.height; ++row) {
    const std::size_t at = RowOffset(rect.top + row) + ColumnByte(rect.left);
    std::memcpy(previous_.data() + at, current_.data() + at, rowBytes);
  }
}

void CScreenModel::ApplyMoves(std::span<const MoveOperation> operations) {
  if (current_.empty()) {
    return;
  }
  // The decoder starts the covering rectangle inverted at the 16-bit extremes.
  constexpr int kInverted = 32767;
  int left = kInverted;
  int top = kInverted;
  int right = -kInverted;
  int bottom = -kInverted;
  for (const MoveOperation& op : operations) {
    left = std::min(left, op.target.left);
    top = std::min(top, op.target.top);
    right = std::max(right, op.target.Right());
    bottom = std::max(bottom, op.target.Bottom());
    switch (op.kind) {
      case MoveKind::Copy:
        CopyBlock(op);
        break;
      case MoveKind::Fill:
        FillBlock(op);
        break;
      case MoveKind::Save:
        if (!previous_.empty()) {
          SaveBlock(op.target);
        }
        break;
    }
  }
  const ScreenRect dirty{left, top, right - left, bottom - top};
  if (dirty.Empty() || !InsideScreen(dirty) || screen_.size() != current_.size()) {
    return;
  }
  const std::size_t rowBytes = ByteWidth(dirty.width);
  for (int row = 0; row < dirty.height; ++row) {
    const std::size_t at = RowOffset(dirty.top + row) + ColumnByte(dirty.left);
    std::memcpy(screen_.data() + at, current_.data() + at, rowBytes);
  }
}

}  // namespace reelkit::recording
