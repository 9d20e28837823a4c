#include "recorders/encoders/msvideo1_compressor.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "common/error_codes.h"
#include "common/fourcc.h"
#include "common/picture_rules.h"
#include "recorders/ffmpeg_handles.h"

namespace reelkit {

namespace {

constexpr int kBlockSize = 4;
constexpr std::size_t kBytesPerCodedPixel = 4;

int RoundUpToBlock(int value) {
  return (value + kBlockSize - 1) / kBlockSize * kBlockSize;
}

}  // namespace

std::uint32_t CMsvideo1Compressor::Connect(const VideoMediaType& input,
                                           CompressedStreamInfo& output) {
  if (input.averageTimePerFrame <= 0) {
    return kResultFail;
  }
  reader_.emplace(input);
  const int width = reader_->Width();
  const int height = reader_->Height();
  if (width <= 0 || height <= 0) {
    return kResultFail;
  }
  if (width > kMaxBlockCodedSide || height > kMaxBlockCodedSide) {
    return kResultTooLargeForMsvideo1;
  }
  codedWidth_ = RoundUpToBlock(width);
  codedHeight_ = RoundUpToBlock(height);
  const int keyInterval = KeyFrameInterval(input.averageTimePerFrame);
  try {
    encoder_.emplace(codedWidth_, codedHeight_, keyInterval);
  } catch (const std::invalid_argument&) {
    return kResultFail;
  }
  const BitmapInfoHeader header = input.format.Header();
  sourceIsCodedLayout_ =
      header.bitCount == 32 && header.height > 0 && width == codedWidth_ && height == codedHeight_;
  if (!sourceIsCodedLayout_) {
    codedPixels_.resize(static_cast<std::size_t>(codedWidth_) *
                        static_cast<std::size_t>(codedHeight_));
  }
  if (width != codedWidth_ || height != codedHeight_) {
    sourcePixels_.resize(reader_->PixelCount());
  }

  output.codecTag = kFourCCMicrosoftVideo1;
  output.codecId = AV_CODEC_ID_MSVIDEO1;
  output.width = codedWidth_;
  output.height = codedHeight_;
  output.bitsPerCodedSample = 16;
  output.palettized = false;
  return 0;
}

bool CMsvideo1Compressor::CodesSampleInPlace(std::span<const std::uint8_t> sample) const {
  const std::size_t pictureBytes = static_cast<std::size_t>(codedWidth_) *
                                   static_cast<std::size_t>(codedHeight_) * kBytesPerCodedPixel;
  return sourceIsCodedLayout_ && sample.size() >= pictureBytes;
}

void CMsvideo1Compressor::ReadIntoCodedPicture(std::span<const std::uint8_t> sample) {
  // Sized once on connection; only a short sample of a source coded in place gets here unsized.
  codedPixels_.resize(static_cast<std::size_t>(codedWidth_) *
                      static_cast<std::size_t>(codedHeight_));
  const int width = reader_->Width();
  const int height = reader_->Height();
  if (width == codedWidth_ && height == codedHeight_) {
    reader_->Read(sample, codedPixels_);
    return;
  }
  reader_->Read(sample, sourcePixels_);
  // Rows are bottom-up: the picture's top row is the coded picture's top row, so the black margin
  // rows come first in memory, and the margin columns end every row.
  const auto marginRows = static_cast<std::size_t>(codedHeight_ - height);
  const auto coded = static_cast<std::size_t>(codedWidth_);
  std::fill_n(codedPixels_.begin(), marginRows * coded, 0u);
  for (int y = 0; y < height; ++y) {
    const auto from = sourcePixels_.begin() + static_cast<std::ptrdiff_t>(y) * width;
    const auto to = codedPixels_.begin() +
                    static_cast<std::ptrdiff_t>((marginRows + static_cast<std::size_t>(y)) * coded);
    std::copy_n(from, width, to);
    std::fill(to + width, to + codedWidth_, 0u);
  }
}

std::uint32_t CMsvideo1Compressor::Compress(std::span<const std::uint8_t> sample,
                                            CompressedPacket& out) {
  if (CodesSampleInPlace(sample)) {
    encoder_->Encode(sample, frame_);
  } else {
    ReadIntoCodedPicture(sample);
    encoder_->Encode(std::span<const std::uint32_t>(codedPixels_), frame_);
  }
  TakeFrame(out);
  return 0;
}

std::uint32_t CMsvideo1Compressor::CompressRepeated(std::span<const std::uint8_t> sample,
                                                    CompressedPacket& out) {
  if (!encoder_->EncodeUnchanged(frame_)) {
    return Compress(sample, out);
  }
  TakeFrame(out);
  return 0;
}

void CMsvideo1Compressor::TakeFrame(CompressedPacket& out) const {
  out.data.assign(frame_.data.data(), frame_.data.data() + frame_.data.size());
  out.key = frame_.key;
  out.paletteChanged = false;
}

}  // namespace reelkit
