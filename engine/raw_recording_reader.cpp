#include "engine/raw_recording_reader.h"

#include <algorithm>
#include <span>
#include <vector>

#include "common/conversion_failure.h"
#include "common/endian.h"
#include "common/error_codes.h"

namespace reelkit {
namespace {

[[noreturn]] void ThrowInvalidData() {
  throw CReelkitException(ConvertErrorKind::ReadInputFailed, FailureCode::Fixed(kErrorInvalidData));
}

[[noreturn]] void ThrowLimit(InputLimit limit, std::uint64_t asked, std::uint64_t allowed) {
  throw CReelkitException(LimitRefusal{limit, asked, allowed});
}

// Colours used of 0 means the full table at 1, 4 and 8 bits.
std::uint32_t ImpliedColorsUsed(std::uint16_t bitCount) {
  switch (bitCount) {
    case 1:
      return 2;
    case 4:
      return 16;
    case 8:
      return 256;
    default:
      return 0;
  }
}

// Pass-through output hands the format to the video file unseen by the decoder, so the reader
// refuses what no screen can be: an empty or top-down picture, or a depth that no bitmap has.
bool DescribesAPicture(const BitmapInfoHeader& header) {
  const std::uint16_t depth = header.bitCount;
  const bool depthOk = IsBitmapDepth(depth);
  return header.width >= 1 && header.height >= 1 && depthOk;
}

void CheckPictureLimits(const BitmapInfoHeader& header) {
  for (const std::int32_t side : {header.width, header.height}) {
    if (side > kMaxPictureSide) {
      ThrowLimit(InputLimit::PictureSide, static_cast<std::uint64_t>(side), kMaxPictureSide);
    }
  }
  if (!DescribesAPicture(header)) {
    ThrowInvalidData();
  }
  const std::uint64_t pictureBytes = DibImageSize(header.width, header.height, 32);
  if (pictureBytes > kMaxPictureBytes) {
    ThrowLimit(InputLimit::PictureBytes, pictureBytes, kMaxPictureBytes);
  }
}

constexpr std::size_t kTimestampEnd = 12;    // kind and timestamp
constexpr std::size_t kRecordHeadSize = 16;  // and the first block's length

// A record that the file ends inside. When the file has grown since it was opened, the recorder
// is still writing that record: the recording ends, as it stood, after the last whole record.
// Otherwise the file is truncated.
std::uint64_t EndAtCutRecord(const InputFile& file) {
  if (file.HasGrown()) {
    return 0;
  }
  throw CReelkitException(ConvertErrorKind::ReadInputFailed, FailureCode::Fixed(kErrorHandleEof));
}

void CheckBlockLength(std::uint32_t length) {
  if (length > kMaxRecordBlockSize) {
    ThrowLimit(InputLimit::RecordBlockSize, length, kMaxRecordBlockSize);
  }
}

// Reads a block of length bytes and, in the same call, the bytes that follow it into trailer; the
// block keeps only its own bytes. False, with nothing read, when the file ends first.
bool ReadBlockAndTrailer(InputFile& file, std::uint32_t length, std::span<std::uint8_t> trailer,
                         ByteBlock& block) {
  CheckBlockLength(length);
  const std::uint64_t size = std::uint64_t{length} + trailer.size();
  if (file.Remaining() < size) {
    return false;
  }
  block.ResizeForOverwrite(static_cast<std::size_t>(size));
  file.ReadExactly(block.span());
  std::copy_n(block.data() + length, trailer.size(), trailer.begin());
  block.Resize(length);
  return true;
}

// Moves past a block of length bytes; false, with nothing skipped, when the file ends first.
bool SkipBlock(InputFile& file, std::uint32_t length) {
  CheckBlockLength(length);
  if (file.Remaining() < length) {
    return false;
  }
  file.Skip(length);
  return true;
}

enum class HeadRead { End, Cut, Whole };

// Reads a record's kind, timestamp and first length. The timestamp is checked as soon as it has
// arrived, so a cut record with an impossible time is refused for its time.
HeadRead ReadHead(InputFile& file, RecordHead& head, std::uint32_t& firstLength) {
  std::uint8_t bytes[kRecordHeadSize];
  const std::size_t got = file.ReadUpTo(bytes);
  if (got == 0) {
    return HeadRead::End;
  }
  if (got >= kTimestampEnd) {
    head.timestamp = static_cast<Time>(LoadU64LE(bytes + 4));
    const std::uint64_t distance = head.timestamp < 0
                                       ? 0 - static_cast<std::uint64_t>(head.timestamp)
                                       : static_cast<std::uint64_t>(head.timestamp);
    if (distance > kMaxTimestamp) {
      ThrowLimit(InputLimit::Timestamp, distance, kMaxTimestamp);
    }
  }
  if (got < sizeof bytes) {
    return HeadRead::Cut;
  }
  head.kind = PacketKindOfFourCC(LoadU32LE(bytes));
  firstLength = LoadU32LE(bytes + kTimestampEnd);
  return HeadRead::Whole;
}

void ParseFormatBlock(std::span<const std::uint8_t> block, BitmapFormat& streamFormat) {
  if (block.size() < kBitmapInfoHeaderSize) {
    ThrowInvalidData();
  }
  BitmapInfoHeader header = ReadBitmapInfoHeader(block.data());
  const std::uint64_t headerSize = header.size == 0 ? kBitmapInfoHeaderSize : header.size;
  if (headerSize < kBitmapInfoHeaderSize || headerSize > block.size()) {
    ThrowInvalidData();
  }
  CheckPictureLimits(header);
  const auto tail = block.subspan(headerSize);
  std::vector<std::uint8_t> normalised(kBitmapInfoHeaderSize, 0);
  if (header.compression == kCompressionBitFields) {
    if (tail.size() < 12) {
      ThrowInvalidData();
    }
    normalised.insert(normalised.end(), tail.begin(), tail.begin() + 12);
  } else if (header.clrUsed != 0) {
    if (tail.size() / 4 < header.clrUsed) {
      ThrowInvalidData();
    }
    const std::size_t kept = std::min<std::size_t>(header.clrUsed, kMaxColorTableEntries);
    normalised.insert(normalised.end(), tail.begin(), tail.begin() + 4 * kept);
  } else {
    // An implied table is taken as far as the block holds it; the rest stays black.
    const std::size_t implied = ImpliedColorsUsed(header.bitCount);
    const std::size_t present = std::min(implied, tail.size() / 4);
    normalised.insert(normalised.end(), tail.begin(), tail.begin() + 4 * present);
    header.clrUsed = static_cast<std::uint32_t>(implied);
  }
  header.size = kBitmapInfoHeaderSize;
  streamFormat.Assign(normalised);
  streamFormat.SetHeader(header);
}

}  // namespace

std::uint64_t ReadRecordingHeader(InputFile& file, BitmapFormat& streamFormat) {
  const std::uint32_t magic = file.ReadU32();
  const std::uint32_t version = file.ReadU32();
  if (magic != kRawRecordingMagic || version >= 2) {
    ThrowInvalidData();
  }
  const std::uint32_t blockSize = file.ReadU32();
  if (blockSize > kMaxFormatBlockSize) {
    ThrowLimit(InputLimit::FormatBlockSize, blockSize, kMaxFormatBlockSize);
  }
  if (blockSize < kBitmapInfoHeaderSize) {
    ThrowInvalidData();
  }
  std::vector<std::uint8_t> block(blockSize);
  file.ReadExactly(block);
  ParseFormatBlock(block, streamFormat);
  return std::uint64_t{blockSize} + kRawRecordingHeaderPrefix;
}

// A record is read in three calls, none past its end: the kind, timestamp and first length; the
// first block with the second length behind it; the second block.
std::uint64_t ReadRecord(InputFile& file, RecordingPacket& packet) {
  RecordHead head;
  std::uint32_t firstLength = 0;
  const HeadRead read = ReadHead(file, head, firstLength);
  if (read == HeadRead::End) {
    return 0;
  }
  packet.timestamp = head.timestamp;
  if (read == HeadRead::Cut) {
    return EndAtCutRecord(file);
  }
  packet.kind = head.kind;
  std::uint8_t next[4];
  if (!ReadBlockAndTrailer(file, firstLength, next, packet.firstBlock)) {
    return EndAtCutRecord(file);
  }
  const std::uint32_t secondLength = LoadU32LE(next);
  if (!ReadBlockAndTrailer(file, secondLength, {}, packet.secondBlock)) {
    return EndAtCutRecord(file);
  }
  return std::uint64_t{kRecordFramingSize} + firstLength + secondLength;
}

std::uint64_t SkipRecord(InputFile& file, RecordHead& head) {
  std::uint32_t firstLength = 0;
  const HeadRead read = ReadHead(file, head, firstLength);
  if (read == HeadRead::End) {
    return 0;
  }
  if (read == HeadRead::Cut || !SkipBlock(file, firstLength) || file.Remaining() < 4) {
    return EndAtCutRecord(file);
  }
  const std::uint32_t secondLength = file.ReadU32();
  if (!SkipBlock(file, secondLength)) {
    return EndAtCutRecord(file);
  }
  return std::uint64_t{kRecordFramingSize} + firstLength + secondLength;
}

bool IsPlainRgb32BitFields(const BitmapFormat& format) {
  const BitmapInfoHeader header = format.Header();
  return header.compression == kCompressionBitFields && header.bitCount == 32 &&
         format.Masks() == std::array<std::uint32_t, 3>{0x00FF0000, 0x0000FF00, 0x000000FF};
}

}  // namespace reelkit
