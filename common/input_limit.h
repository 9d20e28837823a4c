#pragma once

#include <cstdint>

#include "common/time.h"

namespace reelkit {

// The program's own limits on what an input may ask for. An input past one is refused as invalid
// data (13) before anything is allocated or written for it.
enum class InputLimit : std::int32_t {
  None = 0,
  FormatBlockSize,  // bytes of a raw recording's format block
  PictureSide,      // pixels of a picture's width or height
  PictureBytes,     // bytes of a picture at 32 bits per pixel
  DecodedPixels,    // pixels of a picture the decoder holds
  DecodedDepth,     // bits per pixel of a picture the decoder draws
  RecordBlockSize,  // bytes of one block of a raw recording's record
  ChunkSize,        // bytes of one AVI chunk
  BundleSize,       // bytes of the records of one frame interval
  VideoLength,      // 100 ns units of video, spacers included
  Timestamp,        // 100 ns units either side of the recording clock's origin
};

// Which limit refused an input, what the input asked for and what the limit allows, in the unit
// the limit names.
struct LimitRefusal {
  InputLimit limit = InputLimit::None;
  std::uint64_t asked = 0;
  std::uint64_t allowed = 0;
};

// What a limit's numbers are, which decides how every front end words them: a count (pixels, bits),
// a byte count in the largest unit that holds it whole, a video length in hours, a timestamp in
// years of 365 days (the last two name the allowed value alone: the asked one only just passes
// it, or is astronomic).
enum class LimitQuantity { Count, Bytes, Hours, Years };

constexpr LimitQuantity QuantityOf(InputLimit limit) {
  switch (limit) {
    case InputLimit::FormatBlockSize:
    case InputLimit::PictureBytes:
    case InputLimit::RecordBlockSize:
    case InputLimit::ChunkSize:
    case InputLimit::BundleSize:
      return LimitQuantity::Bytes;
    case InputLimit::VideoLength:
      return LimitQuantity::Hours;
    case InputLimit::Timestamp:
      return LimitQuantity::Years;
    case InputLimit::None:
    case InputLimit::PictureSide:
    case InputLimit::DecodedPixels:
    case InputLimit::DecodedDepth:
      break;
  }
  return LimitQuantity::Count;
}

enum class ByteUnit { Bytes, Mebibytes, Gibibytes };

struct ByteQuantity {
  std::uint64_t count = 0;
  ByteUnit unit = ByteUnit::Bytes;
};

constexpr ByteQuantity InLargestWholeUnit(std::uint64_t bytes) {
  constexpr std::uint64_t kMebibyte = std::uint64_t{1} << 20;
  constexpr std::uint64_t kGibibyte = std::uint64_t{1} << 30;
  if (bytes != 0 && bytes % kGibibyte == 0) {
    return {bytes / kGibibyte, ByteUnit::Gibibytes};
  }
  if (bytes != 0 && bytes % kMebibyte == 0) {
    return {bytes / kMebibyte, ByteUnit::Mebibytes};
  }
  return {bytes, ByteUnit::Bytes};
}

inline constexpr std::uint64_t kLimitUnitsPerHour =
    3600 * static_cast<std::uint64_t>(kTimeUnitsPerSecond);
inline constexpr std::uint64_t kLimitUnitsPerYear = 365 * 24 * kLimitUnitsPerHour;

}  // namespace reelkit
