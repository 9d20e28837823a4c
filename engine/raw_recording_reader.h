#pragma once

#include <cstdint>

#include "common/bitmap_format.h"
#include "common/byte_block.h"
#include "common/packet_kind.h"
#include "common/picture_rules.h"
#include "common/time.h"
#include "engine/input_file.h"

namespace reelkit {

// Limits that keep a hostile header from making us allocate what no real recording needs.
inline constexpr std::uint32_t kMaxFormatBlockSize = 1u << 20;
inline constexpr std::uint32_t kMaxRecordBlockSize = 256u << 20;
inline constexpr std::uint64_t kMaxPictureBytes = 1ull << 30;
// No clock gives times beyond 2^61 units (7,000 years) either side of its origin; bounding them
// keeps every sum and difference of frame times inside 64 bits.
inline constexpr Time kMaxTimestamp = Time{1} << 61;
// Longest video a recording may make. Gaps become one spacer frame per interval, so a single
// timestamp could otherwise ask for billions of frames and keep a conversion busy for ever.
inline constexpr Time kMaxVideoLength = 24 * 3600 * kTimeUnitsPerSecond;

inline constexpr std::uint32_t kRawRecordingHeaderPrefix = 12;
inline constexpr std::uint32_t kRecordFramingSize = 20;

// One record of a raw recording.
struct RecordingPacket {
  PacketKind kind = PacketKind::None;
  Time timestamp = 0;
  ByteBlock firstBlock;
  ByteBlock secondBlock;
};

// Reads the file header; returns the bytes consumed. The format block is checked and copied into
// a 40-byte header with its masks or colour table behind it; colour-table entries the block lacks
// stay zero. Bad headers, and formats that describe no bottom-up picture of 1 to
// kMaxPictureSide pixels each way at a bitmap depth, throw CReelkitException(ReadInputFailed, 13).
std::uint64_t ReadRecordingHeader(InputFile& file, BitmapFormat& streamFormat);

// Reads the next record into packet, reusing its blocks; returns the bytes consumed, or 0 when
// the records end: the file ends cleanly between records, or inside a record that is still being
// written (the file has grown since it was opened). A file that ends inside a record and has not
// grown is truncated (38). A timestamp beyond kMaxTimestamp either side is invalid data (13).
std::uint64_t ReadRecord(InputFile& file, RecordingPacket& packet);

// A record's kind and timestamp, read without its blocks.
struct RecordHead {
  PacketKind kind = PacketKind::None;
  Time timestamp = 0;
};

// Reads the next record's kind and timestamp and moves past its blocks; returns the bytes the
// record takes, or 0 when the records end, by the rules and limits of ReadRecord.
std::uint64_t SkipRecord(InputFile& file, RecordHead& head);

// True when a 32-bit bit-fields format has the ordinary masks and is in fact plain 32-bit RGB.
bool IsPlainRgb32BitFields(const BitmapFormat& format);

}  // namespace reelkit
