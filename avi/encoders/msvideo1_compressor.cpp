#include "avi/encoders/msvideo1_compressor.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavutil/imgutils.h>
}

#include "common/error_codes.h"
#include "common/fourcc.h"

namespace reelkit {

namespace {

constexpr int kBlockSize = 4;
constexpr int kSecondsBetweenKeyFrames = 10;
constexpr int kLargestSide = 32768;

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
  if (reader_->Width() <= 0 || reader_->Height() <= 0 || reader_->Width() > kLargestSide ||
      reader_->Height() > kLargestSide) {
    return kResultFail;
  }
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MSVIDEO1);
  if (codec == nullptr) {
    return kResultFail;
  }
  context_.reset(avcodec_alloc_context3(codec));
  frame_.reset(av_frame_alloc());
  packet_.reset(av_packet_alloc());
  if (!context_ || !frame_ || !packet_) {
    return ResultFromAvError(AVERROR(ENOMEM));
  }
  const int framesPerTenSeconds = static_cast<int>(
      std::lround(static_cast<double>(kSecondsBetweenKeyFrames * kTimeUnitsPerSecond) /
                  input.averageTimePerFrame));
  context_->width = RoundUpToBlock(reader_->Width());
  context_->height = RoundUpToBlock(reader_->Height());
  context_->pix_fmt = AV_PIX_FMT_RGB555LE;
  av_reduce(&context_->time_base.num, &context_->time_base.den, input.averageTimePerFrame,
            kTimeUnitsPerSecond, 1 << 30);
  context_->gop_size = std::max(1, framesPerTenSeconds);
  context_->keyint_min = context_->gop_size;
  context_->flags |= AV_CODEC_FLAG_BITEXACT;
  int error = avcodec_open2(context_.get(), codec, nullptr);
  if (error < 0) {
    return ResultFromAvError(error);
  }
  frame_->format = context_->pix_fmt;
  frame_->width = context_->width;
  frame_->height = context_->height;
  error = av_frame_get_buffer(frame_.get(), 0);
  if (error < 0) {
    return ResultFromAvError(error);
  }
  pixels_.resize(reader_->PixelCount());

  output.codecTag = kFourCCMicrosoftVideo1;
  output.codecId = AV_CODEC_ID_MSVIDEO1;
  output.width = context_->width;
  output.height = context_->height;
  output.bitsPerCodedSample = 16;
  output.palettized = false;
  return 0;
}

void CMsvideo1Compressor::FillFrame(std::span<const std::uint8_t> sample) {
  reader_->Read(sample, pixels_);
  const int width = reader_->Width();
  const int height = reader_->Height();
  for (int y = 0; y < frame_->height; ++y) {
    auto* row = reinterpret_cast<std::uint16_t*>(frame_->data[0] + y * frame_->linesize[0]);
    if (y >= height) {
      std::fill_n(row, frame_->width, std::uint16_t{0});
      continue;
    }
    // The frame is top-down; the picture's rows are bottom-up.
    const std::uint32_t* source = pixels_.data() + static_cast<std::size_t>(height - 1 - y) * width;
    for (int x = 0; x < width; ++x) {
      row[x] = ToRgb555(source[x]);
    }
    std::fill(row + width, row + frame_->width, std::uint16_t{0});
  }
}

std::uint32_t CMsvideo1Compressor::Compress(std::span<const std::uint8_t> sample,
                                            CompressedPacket& out) {
  int error = av_frame_make_writable(frame_.get());
  if (error < 0) {
    return ResultFromAvError(error);
  }
  FillFrame(sample);
  frame_->pts = frameNumber_++;
  error = avcodec_send_frame(context_.get(), frame_.get());
  if (error < 0) {
    return ResultFromAvError(error);
  }
  error = avcodec_receive_packet(context_.get(), packet_.get());
  if (error < 0) {
    return ResultFromAvError(error);
  }
  out.data.assign(packet_->data, packet_->data + packet_->size);
  out.key = (packet_->flags & AV_PKT_FLAG_KEY) != 0;
  out.paletteChanged = false;
  av_packet_unref(packet_.get());
  return 0;
}

}  // namespace reelkit
