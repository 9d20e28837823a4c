#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "avi/compressor.h"
#include "avi/ffmpeg_handles.h"
#include "avi/picture_conversion.h"

namespace reelkit {

// "msvc" through libavcodec's Microsoft Video 1 encoder. The encoder codes whole 4x4 blocks, so the
// stream's picture is the source's rounded up to multiples of 4, the picture at the top left and
// the margin black. A key frame comes at least every ten seconds of video.
class CMsvideo1Compressor : public ICompressor {
 public:
  std::uint32_t Connect(const VideoMediaType& input, CompressedStreamInfo& output) override;
  std::uint32_t Compress(std::span<const std::uint8_t> sample, CompressedPacket& out) override;

 private:
  void FillFrame(std::span<const std::uint8_t> sample);

  std::optional<CDibReader> reader_;
  std::vector<std::uint32_t> pixels_;
  AvCodecContextPtr context_;
  AvFramePtr frame_;
  AvPacketPtr packet_;
  std::int64_t frameNumber_ = 0;
};

}  // namespace reelkit
