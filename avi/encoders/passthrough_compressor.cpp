#include "avi/encoders/passthrough_compressor.h"

#include <cstdlib>

#include "common/fourcc.h"

namespace reelkit {

namespace {
constexpr FourCC kKeyBundleTag = MakeFourCC('K', 'B', 'N', 'D');
}

std::uint32_t CPassThroughCompressor::Connect(const VideoMediaType& input,
                                              CompressedStreamInfo& output) {
  const BitmapInfoHeader header = input.format.Header();
  output.codecTag = kFourCCScreenCodec;
  output.codecId = 0;
  output.width = header.width;
  output.height = std::abs(header.height);
  output.bitsPerCodedSample = header.bitCount;
  output.palettized = false;
  return 0;
}

std::uint32_t CPassThroughCompressor::Compress(std::span<const std::uint8_t> sample,
                                               CompressedPacket& out) {
  out.data.assign(sample.begin(), sample.end());
  out.key = sample.size() >= 4 &&
            (static_cast<FourCC>(sample[0]) | (static_cast<FourCC>(sample[1]) << 8) |
             (static_cast<FourCC>(sample[2]) << 16) | (static_cast<FourCC>(sample[3]) << 24)) ==
                kKeyBundleTag;
  out.paletteChanged = false;
  return 0;
}

}  // namespace reelkit
