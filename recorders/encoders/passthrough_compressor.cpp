#include "recorders/encoders/passthrough_compressor.h"

#include <cstdlib>

#include "common/endian.h"
#include "common/error_codes.h"
#include "common/fourcc.h"

namespace reelkit {

namespace {

constexpr FourCC kKeyBundleTag = MakeFourCC('K', 'B', 'N', 'D');
constexpr FourCC kBundleTag = MakeFourCC('B', 'N', 'D', 'L');
constexpr FourCC kSpacerTag = MakeFourCC('E', 'M', 'P', 'T');
constexpr std::size_t kTagSize = 4;

FourCC TagOf(std::span<const std::uint8_t> sample) {
  return sample.size() >= kTagSize ? LoadU32LE(sample.data()) : 0;
}

bool IsTaggedBundle(FourCC tag) {
  return tag == kKeyBundleTag || tag == kBundleTag || tag == kSpacerTag;
}

}  // namespace

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
  // Anything else (a decoded picture, say) would be stored as if it were screen stream, giving a
  // file that is many times the size of its input and that no reader can decode.
  const FourCC tag = TagOf(sample);
  if (!IsTaggedBundle(tag)) {
    return kErrorInvalidData;
  }
  out.data.assign(sample.begin(), sample.end());
  out.key = tag == kKeyBundleTag;
  out.paletteChanged = false;
  return 0;
}

}  // namespace reelkit
