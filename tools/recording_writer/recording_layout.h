#pragma once

// Byte layouts of the raw recording file and of the packet payloads, as the recording side writes
// them. Every offset is in bytes from the start of its structure; all integers are little-endian.

#include <cstddef>
#include <cstdint>

#include "common/fourcc.h"

namespace reelkit::recording {

inline constexpr std::uint32_t kDefaultFileVersion = 1;

// File header: magic, version, format block size N, then N bytes of format block.
namespace file_header {
inline constexpr std::size_t kMagic = 0;
inline constexpr std::size_t kVersion = 4;
inline constexpr std::size_t kFormatSize = 8;
inline constexpr std::size_t kFormatBlock = 12;
}  // namespace file_header

// Record: FourCC, timestamp (i64), A, first block, B, second block.
namespace record {
inline constexpr std::size_t kFourCC = 0;
inline constexpr std::size_t kTimestamp = 4;
inline constexpr std::size_t kFirstLength = 12;
inline constexpr std::size_t kFirstBlock = 16;
inline constexpr std::size_t kFixedBytes = 20;
}  // namespace record

// FINT and KFRM: a marker, 28 unused bytes, then the bitmap header and its colour table.
namespace format_header {
inline constexpr std::uint32_t kMarker = 101;
inline constexpr std::size_t kMarkerOffset = 0;
inline constexpr std::size_t kBitmapHeader = 32;
inline constexpr std::size_t kColorTable = 72;
}  // namespace format_header

namespace delta_header {
inline constexpr std::size_t kCompressedLength = 8;
inline constexpr std::size_t kOpcodeLength = 12;
inline constexpr std::size_t kLeft = 16;
inline constexpr std::size_t kTop = 20;
inline constexpr std::size_t kWidth = 24;
inline constexpr std::size_t kHeight = 28;
inline constexpr std::size_t kMethod = 36;
inline constexpr std::size_t kSize = 40;
}  // namespace delta_header

namespace move_header {
inline constexpr std::size_t kRecordCount = 8;
inline constexpr std::size_t kCompressedLength = 12;
inline constexpr std::size_t kMethod = 20;
inline constexpr std::size_t kSize = 24;
}  // namespace move_header

namespace move_record {
inline constexpr std::size_t kKind = 0;
inline constexpr std::size_t kLeft = 2;
inline constexpr std::size_t kTop = 4;
inline constexpr std::size_t kRight = 6;
inline constexpr std::size_t kBottom = 8;
inline constexpr std::size_t kSourceLeft = 10;
inline constexpr std::size_t kSourceTop = 12;
inline constexpr std::size_t kFillColor = 10;
inline constexpr std::size_t kSize = 16;
}  // namespace move_record

// The decoder refuses a MOVE whose covering rectangle reaches past this edge.
inline constexpr int kMoveCoordinateLimit = 30000;

namespace cursor_shape_header {
inline constexpr std::size_t kWidth = 8;
inline constexpr std::size_t kHeight = 12;
inline constexpr std::size_t kHotspotX = 16;
inline constexpr std::size_t kHotspotY = 20;
inline constexpr std::size_t kCompressedLength = 24;
inline constexpr std::size_t kRawLength = 28;
inline constexpr std::size_t kSize = 32;
}  // namespace cursor_shape_header

namespace cursor_position_header {
inline constexpr std::size_t kX = 8;
inline constexpr std::size_t kY = 12;
inline constexpr std::size_t kSize = 16;
}  // namespace cursor_position_header

// Cursor pixels of exactly this colour (blue, green, red) are transparent.
inline constexpr std::uint8_t kCursorKeyBlue = 0xEA;
inline constexpr std::uint8_t kCursorKeyGreen = 0xEF;
inline constexpr std::uint8_t kCursorKeyRed = 0xBE;

enum class CompressionMethod : std::uint32_t { Stored = 0, Zlib = 1, Lzf = 2 };

// Delta runs. Byte runs count single bytes, word runs count 4-byte units.
enum class DeltaOpcode : std::uint8_t {
  KeepBytes = 1,
  SwapBytes = 2,
  LiteralBytes = 3,
  FillBytes = 4,
  FillWords = 7,
  KeepWords = 10,
  SwapWords = 12,
  LiteralWords = 13,
};

inline constexpr unsigned kMaxRunLength = 255;

enum class MoveKind : std::uint16_t { Copy = 0, Fill = 1, Save = 2 };

inline constexpr FourCC kFourCCFint = MakeFourCC('F', 'I', 'N', 'T');
inline constexpr FourCC kFourCCKfrm = MakeFourCC('K', 'F', 'R', 'M');
inline constexpr FourCC kFourCCInit = MakeFourCC('I', 'N', 'I', 'T');
inline constexpr FourCC kFourCCDlta = MakeFourCC('D', 'L', 'T', 'A');
inline constexpr FourCC kFourCCMous = MakeFourCC('M', 'O', 'U', 'S');
inline constexpr FourCC kFourCCMpos = MakeFourCC('M', 'P', 'O', 'S');
inline constexpr FourCC kFourCCMove = MakeFourCC('M', 'O', 'V', 'E');
inline constexpr FourCC kFourCCBndl = MakeFourCC('B', 'N', 'D', 'L');
inline constexpr FourCC kFourCCKbnd = MakeFourCC('K', 'B', 'N', 'D');

}  // namespace reelkit::recording
