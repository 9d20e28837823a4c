#include "avi/encoders/rle_compressor.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "avi/ffmpeg_handles.h"
#include "common/error_codes.h"
#include "common/fourcc.h"

namespace reelkit {

namespace {
constexpr int kSecondsBetweenKeyFrames = 10;
}

std::uint32_t CRleCompressor::Connect(const VideoMediaType& input, CompressedStreamInfo& output) {
  if (input.averageTimePerFrame <= 0) {
    return kResultFail;
  }
  reader_.emplace(input);
  const int keyInterval = std::max(
      1, static_cast<int>(
             std::lround(static_cast<double>(kSecondsBetweenKeyFrames * kTimeUnitsPerSecond) /
                         static_cast<double>(input.averageTimePerFrame))));
  try {
    encoder_.emplace(reader_->Width(), reader_->Height(), keyInterval);
  } catch (const std::invalid_argument&) {
    return kResultFail;
  }
  pixels_.resize(reader_->PixelCount());
  output.codecTag = kFourCCMicrosoftRle;
  output.codecId = AV_CODEC_ID_MSRLE;
  output.width = reader_->Width();
  output.height = reader_->Height();
  output.bitsPerCodedSample = 8;
  output.palettized = true;
  return 0;
}

std::uint32_t CRleCompressor::Compress(std::span<const std::uint8_t> sample,
                                       CompressedPacket& out) {
  reader_->Read(sample, pixels_);
  encoder_->Encode(pixels_, frame_);
  out.data.assign(frame_.data.data(), frame_.data.data() + frame_.data.size());
  out.key = frame_.key;
  out.paletteChanged = frame_.paletteChanged;
  out.palette = frame_.palette;
  return 0;
}

}  // namespace reelkit
