#pragma once

#include <cstdint>
#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
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

// Options handed to libavformat or libavcodec, freed with whatever they left unused.
class CAvOptions {
 public:
  CAvOptions() = default;
  CAvOptions(const CAvOptions&) = delete;
  CAvOptions& operator=(const CAvOptions&) = delete;
  ~CAvOptions() { av_dict_free(&options_); }

  int Set(const char* key, const char* value) { return av_dict_set(&options_, key, value, 0); }
  AVDictionary** Address() { return &options_; }

 private:
  AVDictionary* options_ = nullptr;
};

// The output name is a path and never a URL: libavformat would take "pipe:1", "tcp://host:port" or
// "file:name" as an address, and a relative name with a colon ("session:1.avi") as an unknown
// protocol. As this URL, with no other protocol allowed, every name is the file of that name.
std::string FileUrlOf(const std::string& path);

// Opens (creating or truncating) the file at path for writing; a libavutil error on failure.
int OpenFileForWriting(AVIOContext** out, const std::string& path);

// A libavutil error as a result code of the pipeline: system errors keep their errno under the
// 0x8007 facility, everything else is a plain failure.
std::uint32_t ResultFromAvError(int error);

}  // namespace reelkit
