#pragma once

#include "recorders/compressor.h"

namespace reelkit {

// The screen codec's compressor in the codec module: every sample tagged as a bundle, key bundle
// or spacer is stored unchanged as the data of one video chunk, and key bundles are key frames. A
// sample without such a tag is refused as invalid data (13), which fails the recording.
class CPassThroughCompressor : public ICompressor {
 public:
  std::uint32_t Connect(const VideoMediaType& input, CompressedStreamInfo& output) override;
  std::uint32_t Compress(std::span<const std::uint8_t> sample, CompressedPacket& out) override;
};

}  // namespace reelkit
