#pragma once

#include <cstdint>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
}

namespace reelkit {

struct AvCodecContextDeleter {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct AvFrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct AvPacketDeleter {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
// Closes the output file too, when the context opened one.
struct AvOutputFormatContextDeleter {
  void operator()(AVFormatContext* context) const {
    if (context->pb != nullptr && (context->oformat->flags & AVFMT_NOFILE) == 0) {
      avio_closep(&context->pb);
    }
    avformat_free_context(context);
  }
};

using AvCodecContextPtr = std::unique_ptr<AVCodecContext, AvCodecContextDeleter>;
using AvFramePtr = std::unique_ptr<AVFrame, AvFrameDeleter>;
using AvPacketPtr = std::unique_ptr<AVPacket, AvPacketDeleter>;
using AvOutputFormatContextPtr = std::unique_ptr<AVFormatContext, AvOutputFormatContextDeleter>;

// A libavutil error as a result code of the pipeline: system errors keep their errno under the
// 0x8007 facility, everything else is a plain failure.
std::uint32_t ResultFromAvError(int error);

}  // namespace reelkit
