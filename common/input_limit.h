#pragma once

#include <cstdint>

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

}  // namespace reelkit
