#include "tools/recording_writer/recording_writer.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <system_error>

#include "common/endian.h"
#include "common/picture_rules.h"

namespace reelkit::recording {
namespace {

constexpr std::size_t kFileBufferBytes = 1 << 20;

void RequireSupportedFormat(const BitmapFormat& format, const char* what) {
  const BitmapInfoHeader header = format.Header();
  const bool sizeOk = header.width >= 1 && header.width <= kMaxPictureSide && header.height >= 1 &&
                      header.height <= kMaxPictureSide;
  const bool depthOk = header.bitCount == 8 || header.bitCount == 16 || header.bitCount == 24 ||
                       header.bitCount == 32;
  if (!sizeOk || !depthOk) {
    throw std::invalid_argument(std::string(what) + ": the screen must be 1 to " +
                                std::to_string(kMaxPictureSide) +
                                " pixels each way at 8, 16, 24 or 32 bits per pixel");
  }
}

std::system_error FileError(int error, const std::filesystem::path& path, const char* action) {
  return std::system_error(error, std::generic_category(),
                           std::string("cannot ") + action + " the recording " + path.string());
}

}  // namespace

void CRecordingWriter::FileCloser::operator()(std::FILE* file) const {
  std::fclose(file);
}

CRecordingWriter::CRecordingWriter(const std::filesystem::path& path,
                                   const BitmapFormat& streamFormat, WriterOptions options)
    : options_(options), model_(streamFormat), encoder_(options.deltaUnits), path_(path) {
  RequireSupportedFormat(streamFormat, "recording format");
  file_.reset(std::fopen(path.c_str(), "wb"));
  if (!file_) {
    throw FileError(errno, path, "create");
  }
  std::setvbuf(file_.get(), nullptr, _IOFBF, kFileBufferBytes);
  WriteHeader(streamFormat.Bytes());
}

CRecordingWriter::CRecordingWriter(const BitmapFormat& streamFormat, WriterOptions options)
    : options_(options), model_(streamFormat), encoder_(options.deltaUnits) {
  RequireSupportedFormat(streamFormat, "recording format");
  WriteHeader(streamFormat.Bytes());
}

CRecordingWriter::~CRecordingWriter() = default;

void CRecordingWriter::WriteHeader(std::span<const std::uint8_t> formatBlock) {
  Emit(BuildFileHeader(options_.version, formatBlock).span());
}

void CRecordingWriter::Emit(std::span<const std::uint8_t> bytes) {
  if (file_) {
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size()) {
      throw FileError(errno, path_, "write");
    }
  } else {
    memory_.Append(bytes);
  }
  written_ += bytes.size();
}

void CRecordingWriter::EmitRecord(FourCC fourcc, Time timestamp,
                                  std::span<const std::uint8_t> firstBlock,
                                  std::span<const std::uint8_t> secondBlock) {
  std::uint8_t head[record::kFirstBlock];
  StoreU32LE(head + record::kFourCC, fourcc);
  StoreU64LE(head + record::kTimestamp, static_cast<std::uint64_t>(timestamp));
  StoreU32LE(head + record::kFirstLength, static_cast<std::uint32_t>(firstBlock.size()));
  std::uint8_t secondLength[4];
  StoreU32LE(secondLength, static_cast<std::uint32_t>(secondBlock.size()));
  Emit(head);
  Emit(firstBlock);
  Emit(secondLength);
  Emit(secondBlock);
  ++records_;
}

void CRecordingWriter::EmitModelRecord(FourCC fourcc, Time timestamp,
                                       const RecordPayload& payload) {
  const std::uint64_t offset = written_;
  EmitRecord(fourcc, timestamp, payload.body.span(), payload.head.span());
  if (observer_) {
    observer_(WrittenRecord{fourcc, timestamp, offset, static_cast<std::size_t>(written_ - offset)},
              model_);
  }
}

void CRecordingWriter::RequireFrame(std::span<const std::uint8_t> image, std::size_t size,
                                    const char* what) const {
  if (image.size() != size) {
    throw std::invalid_argument(std::string(what) + " holds " + std::to_string(image.size()) +
                                " bytes where the native image has " + std::to_string(size));
  }
}

void CRecordingWriter::RequirePlanes() const {
  if (!model_.HasPlanes()) {
    throw std::logic_error(
        "a delta needs the decoder's planes: write a FINT, INIT or key frame with a format first");
  }
}

void CRecordingWriter::RequireInsideScreen(const ScreenRect& rect, const char* what) const {
  if (rect.left < 0 || rect.top < 0 || rect.width < 0 || rect.height < 0 ||
      rect.Right() > model_.Width() || rect.Bottom() > model_.Height()) {
    throw std::invalid_argument(std::string(what) + " reaches outside the screen");
  }
}

void CRecordingWriter::WriteFormat(Time timestamp, const BitmapFormat* announced) {
  if (announced != nullptr) {
    RequireSupportedFormat(*announced, "announced format");
  }
  model_.ApplyFormatReset(announced, true);
  EmitModelRecord(kFourCCFint, timestamp, BuildFormatPayload(announced));
}

void CRecordingWriter::WriteInit(Time timestamp, const BitmapFormat* announced) {
  if (announced != nullptr) {
    RequireSupportedFormat(*announced, "announced format");
  }
  if (initSeen_) {
    model_.ApplyFormatReset(nullptr, false);
  } else {
    model_.ApplyFormatReset(announced, true);
    initSeen_ = true;
  }
  EmitModelRecord(kFourCCInit, timestamp, BuildFormatPayload(announced));
}

void CRecordingWriter::WriteKeyFrame(Time timestamp, std::span<const std::uint8_t> image,
                                     const KeyFrameOptions& options) {
  const BitmapFormat* announced = options.announcedFormat;
  if (announced != nullptr) {
    RequireSupportedFormat(*announced, "announced format");
  }
  const std::size_t size = announced != nullptr
                               ? static_cast<std::size_t>(DibImageSize(announced->Header()))
                               : model_.FrameSize();
  RequireFrame(image, size, "key image");
  ByteBlock previous(size);
  if (options.previous) {
    RequireFrame(*options.previous, size, "previous key image");
    previous.Assign(*options.previous);
  } else if (model_.PreviousPlane().size() == size) {
    previous.Assign(model_.PreviousPlane());
  }
  const RecordPayload payload =
      BuildKeyFramePayload(announced, image, previous.span(), options_.zlibLevel);
  model_.ApplyKeyImage(announced, image, previous.span());
  EmitModelRecord(kFourCCKfrm, timestamp, payload);
}

std::optional<ScreenRect> CRecordingWriter::ChangedRect(
    std::span<const std::uint8_t> target) const {
  const std::span<const std::uint8_t> screen = model_.Screen();
  const std::size_t rowBytes = model_.ByteWidth(model_.Width());
  const std::size_t pixelBytes = model_.BitCount() / 8;
  std::optional<ScreenRect> changed;
  std::size_t firstByte = rowBytes;
  std::size_t endByte = 0;
  int top = 0;
  int bottom = 0;
  for (int y = 0; y < model_.Height(); ++y) {
    const std::size_t at = model_.RowOffset(y);
    const std::uint8_t* have = screen.data() + at;
    const std::uint8_t* want = target.data() + at;
    if (std::memcmp(have, want, rowBytes) == 0) {
      continue;
    }
    std::size_t first = 0;
    while (have[first] == want[first]) {
      ++first;
    }
    std::size_t end = rowBytes;
    while (have[end - 1] == want[end - 1]) {
      --end;
    }
    firstByte = std::min(firstByte, first);
    endByte = std::max(endByte, end);
    if (!changed) {
      top = y;
      changed = ScreenRect{};
    }
    bottom = y + 1;
  }
  if (changed) {
    const int left = static_cast<int>(firstByte / pixelBytes);
    const int right = static_cast<int>((endByte + pixelBytes - 1) / pixelBytes);
    changed = ScreenRect{left, top, right - left, bottom - top};
  }
  return changed;
}

std::size_t CRecordingWriter::WriteDelta(Time timestamp, std::span<const std::uint8_t> target) {
  RequirePlanes();
  RequireFrame(target, model_.FrameSize(), "target image");
  const std::optional<ScreenRect> changed = ChangedRect(target);
  return changed ? WriteDeltaBands(timestamp, *changed, target) : 0;
}

std::size_t CRecordingWriter::WriteDeltaRect(Time timestamp, const ScreenRect& rect,
                                             std::span<const std::uint8_t> target) {
  RequirePlanes();
  RequireFrame(target, model_.FrameSize(), "target image");
  RequireInsideScreen(rect, "delta rectangle");
  return rect.Empty() ? 0 : WriteDeltaBands(timestamp, rect, target);
}

std::size_t CRecordingWriter::DeltaLimit() const {
  const std::size_t frame = model_.FrameSize();
  return options_.maxDeltaOpcodeBytes == 0 ? frame : std::min(frame, options_.maxDeltaOpcodeBytes);
}

std::size_t CRecordingWriter::WriteDeltaBands(Time timestamp, const ScreenRect& rect,
                                              std::span<const std::uint8_t> target) {
  const std::size_t limit = DeltaLimit();
  const std::size_t rowBytes = model_.ByteWidth(rect.width);
  ByteBlock opcodes;
  std::size_t written = 0;
  int firstRow = 0;
  // Rows go bottom-up, the order in which the decoder meets them.
  for (int row = 0; row < rect.height; ++row) {
    const int screenRow = rect.top + rect.height - 1 - row;
    const std::size_t at = model_.RowOffset(screenRow) + model_.ColumnByte(rect.left);
    const DeltaRow planes{model_.MutableScreen().data() + at, model_.MutableCurrent().data() + at,
                          model_.MutablePrevious().data() + at, target.data() + at, rowBytes};
    rowOpcodes_.Clear();
    encoder_.EncodeRow(planes, rowOpcodes_);
    if (rowOpcodes_.size() > limit) {
      // A row that alone overflows the decoder's buffer goes out in two narrower rectangles.
      if (rect.width < 2) {
        throw std::length_error("the screen is too small to carry this change as a delta");
      }
      FlushDeltaBand(timestamp, rect, firstRow, row, opcodes);
      written += firstRow < row ? 1 : 0;
      const int half = rect.width / 2;
      written += WriteDeltaBands(timestamp, {rect.left, screenRow, half, 1}, target);
      written +=
          WriteDeltaBands(timestamp, {rect.left + half, screenRow, rect.width - half, 1}, target);
      firstRow = row + 1;
      continue;
    }
    if (opcodes.size() + rowOpcodes_.size() > limit) {
      FlushDeltaBand(timestamp, rect, firstRow, row, opcodes);
      written += 1;
      firstRow = row;
    }
    opcodes.Append(rowOpcodes_.span());
    encoder_.ApplyRow(planes);
  }
  if (firstRow < rect.height) {
    FlushDeltaBand(timestamp, rect, firstRow, rect.height, opcodes);
    written += 1;
  }
  return written;
}

void CRecordingWriter::FlushDeltaBand(Time timestamp, const ScreenRect& rect, int firstRow,
                                      int endRow, ByteBlock& opcodes) {
  if (endRow <= firstRow) {
    return;
  }
  const ScreenRect band{rect.left, rect.top + rect.height - endRow, rect.width, endRow - firstRow};
  EmitModelRecord(
      kFourCCDlta, timestamp,
      BuildDeltaPayload(band, opcodes.span(), options_.deltaCompression, options_.zlibLevel));
  opcodes.Clear();
}

void CRecordingWriter::WriteDeltaOpcodes(Time timestamp, const ScreenRect& rect,
                                         std::span<const std::uint8_t> opcodes) {
  model_.ApplyDeltaOpcodes(rect, opcodes);
  EmitModelRecord(kFourCCDlta, timestamp,
                  BuildDeltaPayload(rect, opcodes, options_.deltaCompression, options_.zlibLevel));
}

void CRecordingWriter::WriteMoves(Time timestamp, std::span<const MoveOperation> operations) {
  for (const MoveOperation& op : operations) {
    RequireInsideScreen(op.target, "move rectangle");
    if (op.kind == MoveKind::Copy) {
      RequireInsideScreen({op.sourceLeft, op.sourceTop, op.target.width, op.target.height},
                          "move source");
    }
    if (op.target.Right() > kMoveCoordinateLimit || op.target.Bottom() > kMoveCoordinateLimit) {
      throw std::invalid_argument("move rectangle reaches past the 30000-pixel limit of moves");
    }
  }
  model_.ApplyMoves(operations);
  EmitModelRecord(kFourCCMove, timestamp,
                  BuildMovePayload(operations, options_.moveCompression, options_.zlibLevel));
}

void CRecordingWriter::WriteCursorShape(Time timestamp, const CursorShape& shape) {
  if (shape.width <= 0 || shape.height <= 0 ||
      shape.bgr.size() !=
          static_cast<std::size_t>(shape.width) * static_cast<std::size_t>(shape.height) * 3) {
    throw std::invalid_argument("cursor image must hold width x height pixels of 3 bytes");
  }
  model_.SetCursorShape(shape);
  EmitModelRecord(kFourCCMous, timestamp, BuildCursorShapePayload(shape, options_.zlibLevel));
}

void CRecordingWriter::WriteCursorPosition(Time timestamp, int x, int y) {
  model_.SetCursorPosition(x, y);
  EmitModelRecord(kFourCCMpos, timestamp, BuildCursorPositionPayload(x, y));
}

void CRecordingWriter::WriteRecord(FourCC fourcc, Time timestamp,
                                   std::span<const std::uint8_t> firstBlock,
                                   std::span<const std::uint8_t> secondBlock) {
  EmitRecord(fourcc, timestamp, firstBlock, secondBlock);
}

void CRecordingWriter::WriteRecord(FourCC fourcc, Time timestamp, const RecordPayload& payload) {
  EmitRecord(fourcc, timestamp, payload.body.span(), payload.head.span());
}

void CRecordingWriter::WriteBytes(std::span<const std::uint8_t> bytes) {
  Emit(bytes);
}

void CRecordingWriter::Finish() {
  if (!file_) {
    return;
  }
  const bool flushed = std::fflush(file_.get()) == 0 && std::ferror(file_.get()) == 0;
  const int flushError = errno;
  const bool closed = std::fclose(file_.release()) == 0;
  if (!flushed || !closed) {
    throw FileError(flushed ? errno : flushError, path_, "finish");
  }
}

}  // namespace reelkit::recording
