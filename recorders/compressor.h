#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "common/fourcc.h"
#include "recorders/media_types.h"

namespace reelkit {

// What a compressor produces: the stream the AVI multiplexer writes. codecId is libavcodec's
// AVCodecID (0 for a private codec that only the tag names), kept as a plain int so that a codec
// module need not see FFmpeg's headers.
struct CompressedStreamInfo {
  FourCC codecTag = 0;
  int codecId = 0;
  int width = 0;
  int height = 0;
  int bitsPerCodedSample = 0;
  bool palettized = false;  // 8-bit pictures whose palette travels with the packets
};

struct CompressedPacket {
  std::vector<std::uint8_t> data;
  bool key = false;
  bool paletteChanged = false;               // palette is meaningful only then
  std::array<std::uint32_t, 256> palette{};  // 0x00RRGGBB entries
};

// A video compressor: the middle filter of the recording pipeline. Connect is called once, before
// the first Compress; Compress runs on the streaming thread, one packet per sample.
class ICompressor {
 public:
  virtual ~ICompressor() = default;

  // Accepts the source's type and describes the compressed stream, or returns the failure code of
  // a type it cannot take.
  virtual std::uint32_t Connect(const VideoMediaType& input, CompressedStreamInfo& output) = 0;

  // sample: the source's bytes; shorter than a whole picture reads as black for the rest.
  virtual std::uint32_t Compress(std::span<const std::uint8_t> sample, CompressedPacket& out) = 0;

  // sample holds the same bytes as the one before (a spacer). An encoder that keeps the last
  // picture may code "nothing changed" without reading it; by default it is compressed again.
  virtual std::uint32_t CompressRepeated(std::span<const std::uint8_t> sample,
                                         CompressedPacket& out) {
    return Compress(sample, out);
  }
};

}  // namespace reelkit
