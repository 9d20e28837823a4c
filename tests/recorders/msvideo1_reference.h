#pragma once

// libavcodec's Microsoft Video 1 codec: the independent decoder that checks our encoder and the
// encoder it is measured against, for the encoder's tests and benchmarks.

#include <cstdint>
#include <span>
#include <vector>

#include "recorders/encoders/msvideo1_encoder.h"
#include "recorders/ffmpeg_handles.h"

namespace reelkit::testing {

// Bit-exact, a key frame every keyInterval pictures.
class CMsvideo1ReferenceEncoder {
 public:
  CMsvideo1ReferenceEncoder(int width, int height, int keyInterval);

  // Takes width*height 0x00RRGGBB values, bottom-up rows, into the encoder's top-down RGB555
  // input; kept apart from Encode so that a benchmark can leave the conversion untimed.
  void Load(std::span<const std::uint32_t> bottomUp);
  // Codes the picture Load took last.
  void Encode(Msvc1Frame& out);

 private:
  AvCodecContextPtr context_;
  AvFramePtr frame_;
  AvPacketPtr packet_;
  std::int64_t pts_ = 0;
};

class CMsvideo1ReferenceDecoder {
 public:
  CMsvideo1ReferenceDecoder(int width, int height);

  // The decoded picture: RGB555, bottom-up rows, stride width. Stays valid until the next Decode.
  const std::vector<std::uint16_t>& Decode(std::span<const std::uint8_t> coded);

 private:
  AvCodecContextPtr context_;
  AvFramePtr frame_;
  AvPacketPtr packet_;
  std::vector<std::uint16_t> picture_;
};

}  // namespace reelkit::testing
