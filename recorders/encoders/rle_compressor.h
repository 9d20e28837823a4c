#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "recorders/compressor.h"
#include "recorders/encoders/rle_encoder.h"
#include "recorders/picture_conversion.h"

namespace reelkit {

// "mrle": our Microsoft RLE encoder behind the compressor interface. The palette travels with the
// packets whenever it changes; a key frame comes at least every ten seconds of video.
class CRleCompressor : public ICompressor {
 public:
  std::uint32_t Connect(const VideoMediaType& input, CompressedStreamInfo& output) override;
  std::uint32_t Compress(std::span<const std::uint8_t> sample, CompressedPacket& out) override;
  std::uint32_t CompressRepeated(std::span<const std::uint8_t> sample,
                                 CompressedPacket& out) override;

 private:
  std::span<const std::uint32_t> PixelsOf(std::span<const std::uint8_t> sample);
  void TakeFrame(CompressedPacket& out) const;

  std::optional<CDibReader> reader_;
  std::optional<CRleEncoder> encoder_;
  std::vector<std::uint32_t> pixels_;
  RleFrame frame_;
};

}  // namespace reelkit
