#pragma once

#include "avi/compressor.h"

namespace reelkit {

// The "VQSC" compressor of the codec module: every tagged sample is stored unchanged as the data
// of one video chunk, and samples that begin with a key bundle are key frames.
class CPassThroughCompressor : public ICompressor {
 public:
  std::uint32_t Connect(const VideoMediaType& input, CompressedStreamInfo& output) override;
  std::uint32_t Compress(std::span<const std::uint8_t> sample, CompressedPacket& out) override;
};

}  // namespace reelkit
