#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "recorders/compressor.h"
#include "recorders/encoders/msvideo1_encoder.h"
#include "recorders/picture_conversion.h"

namespace reelkit {

// "msvc": our Microsoft Video 1 encoder behind the compressor interface. The format codes whole
// 4x4 blocks, so the stream's picture is the source's rounded up to multiples of 4, the picture at
// the top left and the margin black. A key frame comes at least every ten seconds of video.
class CMsvideo1Compressor : public ICompressor {
 public:
  std::uint32_t Connect(const VideoMediaType& input, CompressedStreamInfo& output) override;
  std::uint32_t Compress(std::span<const std::uint8_t> sample, CompressedPacket& out) override;
  std::uint32_t CompressRepeated(std::span<const std::uint8_t> sample,
                                 CompressedPacket& out) override;

 private:
  bool CodesSampleInPlace(std::span<const std::uint8_t> sample) const;
  void ReadIntoCodedPicture(std::span<const std::uint8_t> sample);
  void TakeFrame(CompressedPacket& out) const;

  std::optional<CDibReader> reader_;
  std::optional<CMsvc1Encoder> encoder_;
  int codedWidth_ = 0;
  int codedHeight_ = 0;
  // A bottom-up 32-bit source already laid out as the coded picture needs no conversion.
  bool sourceIsCodedLayout_ = false;
  std::vector<std::uint32_t> sourcePixels_;  // a source smaller than the coded size, read
  std::vector<std::uint32_t> codedPixels_;   // the picture the encoder codes, 0x00RRGGBB
  Msvc1Frame frame_;
};

}  // namespace reelkit
