#include "recorders/h264_mp4_writer.h"

#include <algorithm>
#include <mutex>
#include <utility>

extern "C" {
#include <libavutil/opt.h>
}

#include "common/time.h"
#include "recorders/result_codes.h"

namespace reelkit {

namespace {

constexpr AVRational kFrameClock = {1, CH264Mp4Writer::kFramesPerSecond};

// The encoder's settings, chosen by measuring recordings of typed text, scrolling, window drags
// and idle time (the README gives the figures). The fast preset with the rate control tuned for
// fidelity rather than film grain keeps text edges sharp; scrolls and window drags move the
// picture further than the preset's motion search reaches, and a wider search finds them. Screen
// content moves by whole pixels and never fades, so the finer sub-pixel steps and the search for
// weighted prediction are skipped.
constexpr const char* kEncoderName = "libx264";
constexpr const char* kPreset = "veryfast";
constexpr const char* kTune = "psnr";
constexpr const char* kConstantQuality = "22";
constexpr const char* kEncoderParameters = "me=umh:merange=64:subme=1:weightp=0";
// No reordered pictures: they saved little here, and with decode order equal to display order
// each sample's duration is known as soon as the next picture arrives.
constexpr int kMaxReorderedPictures = 0;
// A fixed count rather than one per core: the thread count shapes the bytes of the stream.
constexpr int kEncoderThreads = 2;
// A key picture of a full screen costs as much as minutes of small changes, so they are sparser
// than in the AVI formats; a player seeking decodes from the one before.
constexpr Time kH264KeyFrameSpacing = 30 * kTimeUnitsPerSecond;
constexpr std::int64_t kKeyFrameInterval =
    kH264KeyFrameSpacing / kTimeUnitsPerSecond * CH264Mp4Writer::kFramesPerSecond;

// The encoder's statistics and the muxer's progress notes would land amid the console's output;
// failures travel as result codes, and the libraries' own error lines still show.
void KeepLibraryLogToErrors() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_ERROR); });
}

std::uint32_t ResultOf(int error) {
  return error < 0 ? ResultFromAvError(error) : 0;
}

}  // namespace

CH264Mp4Writer::~CH264Mp4Writer() = default;

std::uint32_t CH264Mp4Writer::Start(const std::string& path, int width, int height) {
  KeepLibraryLogToErrors();
  const std::uint32_t result = OpenEncoder(width, height);
  return result != 0 ? result : OpenMuxer(path);
}

std::uint32_t CH264Mp4Writer::OpenEncoder(int width, int height) {
  const AVCodec* codec = avcodec_find_encoder_by_name(kEncoderName);
  if (codec == nullptr) {
    return kResultFail;
  }
  encoder_.reset(avcodec_alloc_context3(codec));
  frame_.reset(av_frame_alloc());
  packet_.reset(av_packet_alloc());
  held_.reset(av_packet_alloc());
  if (!encoder_ || !frame_ || !packet_ || !held_) {
    return kResultOutOfMemory;
  }
  AVCodecContext& context = *encoder_;
  context.width = EvenSize(width);
  context.height = EvenSize(height);
  context.pix_fmt = AV_PIX_FMT_YUV420P;
  context.time_base = kFrameClock;
  context.framerate = av_inv_q(kFrameClock);
  context.gop_size = static_cast<int>(kKeyFrameInterval);
  context.max_b_frames = kMaxReorderedPictures;
  context.thread_count = kEncoderThreads;
  context.flags |= AV_CODEC_FLAG_GLOBAL_HEADER | AV_CODEC_FLAG_BITEXACT;
  // Screen pixels are sRGB; the matrix is the one CYuv420Converter applies.
  context.color_range = AVCOL_RANGE_MPEG;
  context.colorspace = AVCOL_SPC_SMPTE170M;
  context.color_primaries = AVCOL_PRI_BT709;
  context.color_trc = AVCOL_TRC_IEC61966_2_1;

  CAvOptions options;
  for (const auto& [key, value] :
       {std::pair{"preset", kPreset}, std::pair{"tune", kTune}, std::pair{"crf", kConstantQuality},
        std::pair{"x264-params", kEncoderParameters}, std::pair{"forced-idr", "1"}}) {
    const int error = options.Set(key, value);
    if (error < 0) {
      return ResultFromAvError(error);
    }
  }
  int error = avcodec_open2(&context, codec, options.Address());
  if (error < 0) {
    return ResultFromAvError(error);
  }
  frame_->format = context.pix_fmt;
  frame_->width = context.width;
  frame_->height = context.height;
  return ResultOf(av_frame_get_buffer(frame_.get(), 0));
}

std::uint32_t CH264Mp4Writer::OpenMuxer(const std::string& path) {
  AVFormatContext* raw = nullptr;
  int error = avformat_alloc_output_context2(&raw, nullptr, "mp4", nullptr);
  if (error < 0) {
    return ResultFromAvError(error);
  }
  muxer_.reset(raw);
  muxer_->flags |= AVFMT_FLAG_BITEXACT;
  // Moving the index to the front reads the file back through the context's own URL.
  muxer_->url = av_strdup(FileUrlOf(path).c_str());
  muxer_->protocol_whitelist = av_strdup("file");
  stream_ = avformat_new_stream(muxer_.get(), nullptr);
  if (muxer_->url == nullptr || muxer_->protocol_whitelist == nullptr || stream_ == nullptr) {
    return kResultOutOfMemory;
  }
  stream_->time_base = kFrameClock;
  error = avcodec_parameters_from_context(stream_->codecpar, encoder_.get());
  if (error < 0) {
    return ResultFromAvError(error);
  }
  // Nothing is removed first: the file is opened with truncation, which replaces an existing
  // file's content in place, so its permissions, links and the lock a caller holds on it stay.
  error = OpenFileForWriting(&muxer_->pb, path);
  if (error < 0) {
    return ResultFromAvError(error);
  }
  CAvOptions options;
  error = options.Set("movflags", "+faststart");
  if (error >= 0) {
    error = avformat_write_header(muxer_.get(), options.Address());
  }
  return ResultOf(error);
}

std::uint32_t CH264Mp4Writer::NextPicture(Yuv420Planes& planes, bool& holdsLast) {
  // Should the encoder still hold the last picture's buffers, the frame gets new ones.
  const std::uint8_t* lastLuma = frame_->data[0];
  const int error = av_frame_make_writable(frame_.get());
  if (error < 0) {
    return ResultFromAvError(error);
  }
  holdsLast = frameHoldsPicture_ && frame_->data[0] == lastLuma;
  frameHoldsPicture_ = true;
  for (std::size_t plane = 0; plane < planes.data.size(); ++plane) {
    planes.data[plane] = frame_->data[plane];
    planes.stride[plane] = frame_->linesize[plane];
  }
  return 0;
}

std::uint32_t CH264Mp4Writer::EncodePicture(std::int64_t frameNumber) {
  frame_->pts = frameNumber;
  frame_->pict_type = AV_PICTURE_TYPE_NONE;
  // Key pictures by time rather than by count: an idle stretch holds few pictures.
  if (frameNumber == 0 || frameNumber - lastKeyFrameNumber_ >= kKeyFrameInterval) {
    frame_->pict_type = AV_PICTURE_TYPE_I;
    lastKeyFrameNumber_ = frameNumber;
  }
  return Send(frame_.get());
}

// Hands a picture (or, with none, the end of the stream) to the encoder and writes what it gives
// back. A packet waits for the next one, whose time ends it.
std::uint32_t CH264Mp4Writer::Send(const AVFrame* frame) {
  int error = avcodec_send_frame(encoder_.get(), frame);
  if (error < 0) {
    return ResultFromAvError(error);
  }
  while ((error = avcodec_receive_packet(encoder_.get(), packet_.get())) >= 0) {
    if (holding_) {
      const std::uint32_t result = WriteHeldPacket(packet_->pts);
      if (result != 0) {
        return result;
      }
    }
    av_packet_move_ref(held_.get(), packet_.get());
    holding_ = true;
  }
  return error == AVERROR(EAGAIN) || error == AVERROR_EOF ? 0 : ResultFromAvError(error);
}

std::uint32_t CH264Mp4Writer::WriteHeldPacket(std::int64_t endFrameNumber) {
  holding_ = false;
  held_->duration = std::max<std::int64_t>(1, endFrameNumber - held_->pts);
  held_->stream_index = stream_->index;
  av_packet_rescale_ts(held_.get(), kFrameClock, stream_->time_base);
  const int error = av_write_frame(muxer_.get(), held_.get());
  av_packet_unref(held_.get());
  return ResultOf(error);
}

std::uint32_t CH264Mp4Writer::Finish(std::int64_t endFrameNumber) {
  std::uint32_t result = Send(nullptr);
  if (result == 0 && holding_) {
    result = WriteHeldPacket(endFrameNumber);
  }
  if (result == 0) {
    result = ResultOf(av_write_trailer(muxer_.get()));
  }
  const int closeError = avio_closep(&muxer_->pb);
  return result != 0 ? result : ResultOf(closeError);
}

}  // namespace reelkit
