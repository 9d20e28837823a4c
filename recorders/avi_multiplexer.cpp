#include "recorders/avi_multiplexer.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/mathematics.h>
#include <libavutil/pixfmt.h>
}

#include "common/error_codes.h"

namespace reelkit {

namespace {

constexpr AVRational kTimeUnit = {1, static_cast<int>(kTimeUnitsPerSecond)};
constexpr std::int64_t kInterleavePeriodMicroseconds = 1'000'000;

}  // namespace

CAviMultiplexer::CAviMultiplexer(std::string path, double framesPerSecond)
    : path_(std::move(path)), frameRate_(av_d2q(framesPerSecond, 1001)) {}

std::uint32_t CAviMultiplexer::AddStream(const CompressedStreamInfo& info) {
  if (frameRate_.num <= 0 || frameRate_.den <= 0) {
    return ResultFromAvError(AVERROR(EINVAL));
  }
  AVFormatContext* raw = nullptr;
  int error = avformat_alloc_output_context2(&raw, nullptr, "avi", path_.c_str());
  if (error < 0) {
    return ResultFromAvError(error);
  }
  context_.reset(raw);
  context_->flags |= AVFMT_FLAG_BITEXACT;
  context_->max_interleave_delta = kInterleavePeriodMicroseconds;

  stream_ = avformat_new_stream(context_.get(), nullptr);
  packet_.reset(av_packet_alloc());
  if (stream_ == nullptr || !packet_) {
    return ResultFromAvError(AVERROR(ENOMEM));
  }
  stream_->time_base = av_inv_q(frameRate_);
  stream_->avg_frame_rate = frameRate_;
  stream_->r_frame_rate = frameRate_;
  AVCodecParameters* parameters = stream_->codecpar;
  parameters->codec_type = AVMEDIA_TYPE_VIDEO;
  parameters->codec_id = static_cast<AVCodecID>(info.codecId);
  parameters->codec_tag = info.codecTag;
  parameters->width = info.width;
  parameters->height = info.height;
  parameters->bits_per_coded_sample = info.bitsPerCodedSample;
  if (info.palettized) {
    parameters->format = AV_PIX_FMT_PAL8;
  }
  return 0;
}

std::uint32_t CAviMultiplexer::Start() {
  if (!context_) {
    return kResultUnexpected;
  }
  int error = OpenFileForWriting(&context_->pb, path_);
  if (error < 0) {
    return ResultFromAvError(error);
  }
  error = avformat_write_header(context_.get(), nullptr);
  if (error < 0) {
    return ResultFromAvError(error);
  }
  started_ = true;
  return 0;
}

std::int64_t CAviMultiplexer::FrameNumberOf(Time start) {
  const std::int64_t number = av_rescale_q_rnd(start, kTimeUnit, stream_->time_base,
                                               static_cast<AVRounding>(AV_ROUND_NEAR_INF));
  // Two samples on one frame number would be refused by the muxer and the second lost; the later
  // one takes the next number instead, which keeps every picture.
  lastFrameNumber_ = std::max(number, lastFrameNumber_ + 1);
  return lastFrameNumber_;
}

std::uint32_t CAviMultiplexer::WritePacket(const CompressedPacket& packet, Time start) {
  if (!started_ || finished_) {
    return kResultUnexpected;
  }
  av_packet_unref(packet_.get());
  int error = av_new_packet(packet_.get(), static_cast<int>(packet.data.size()));
  if (error < 0) {
    return ResultFromAvError(error);
  }
  std::copy(packet.data.begin(), packet.data.end(), packet_->data);
  if (packet.paletteChanged) {
    std::uint8_t* side =
        av_packet_new_side_data(packet_.get(), AV_PKT_DATA_PALETTE, AVPALETTE_SIZE);
    if (side == nullptr) {
      return ResultFromAvError(AVERROR(ENOMEM));
    }
    for (std::size_t i = 0; i < packet.palette.size(); ++i) {
      const std::uint32_t entry = 0xFF000000u | packet.palette[i];
      std::memcpy(side + 4 * i, &entry, sizeof entry);
    }
  }
  packet_->stream_index = stream_->index;
  packet_->pts = packet_->dts = FrameNumberOf(start);
  packet_->duration = 1;
  if (packet.key) {
    packet_->flags |= AV_PKT_FLAG_KEY;
  }
  error = av_interleaved_write_frame(context_.get(), packet_.get());
  return error < 0 ? ResultFromAvError(error) : 0;
}

std::uint32_t CAviMultiplexer::Finish() {
  if (finished_) {
    return finishResult_;
  }
  finished_ = true;
  if (started_) {
    const int error = av_write_trailer(context_.get());
    finishResult_ = error < 0 ? ResultFromAvError(error) : 0;
    const int closeError = avio_closep(&context_->pb);
    if (finishResult_ == 0 && closeError < 0) {
      finishResult_ = ResultFromAvError(closeError);
    }
  }
  return finishResult_;
}

}  // namespace reelkit
