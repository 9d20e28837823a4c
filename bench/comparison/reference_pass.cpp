#include "bench/comparison/reference_pass.h"

#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

#include "common/reelkit_client.h"
#include "common/video_recorder.h"
#include "engine/recording_job.h"
#include "recorders/ffmpeg_handles.h"
#include "recorders/media_types.h"
#include "recorders/picture_conversion.h"

namespace reelkit::bench {

namespace {

using Pixels = std::vector<std::uint32_t>;  // 0x00RRGGBB, bottom-up rows

struct AvInputContextDeleter {
  void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using AvInputContextPtr = std::unique_ptr<AVFormatContext, AvInputContextDeleter>;

int RoundUpToBlock(int side) {
  return (side + 3) / 4 * 4;
}

int Widen5(int value) {
  return (value << 3) | (value >> 2);
}

// A picture as the encoders see it: the source at the top left of the coded size, black margin.
struct CodedPicture {
  int width = 0;  // of the source
  int height = 0;
  int codedWidth = 0;
  int codedHeight = 0;
  Pixels pixels;  // source size

  std::uint32_t TopDown(int x, int y) const {
    if (x >= width || y >= height) {
      return 0;
    }
    return pixels[static_cast<std::size_t>(height - 1 - y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)];
  }
};

// One libavcodec encoder; only Encode is timed.
class CReferenceEncoder {
 public:
  CReferenceEncoder(AVCodecID codecId, AVPixelFormat format, int width, int height) {
    const AVCodec* codec = avcodec_find_encoder(codecId);
    context_.reset(avcodec_alloc_context3(codec));
    frame_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    if (codec == nullptr || !context_ || !frame_ || !packet_) {
      throw std::runtime_error("a reference encoder is missing");
    }
    context_->width = width;
    context_->height = height;
    context_->pix_fmt = format;
    context_->time_base = {1, 10};
    // A key frame every ten seconds, as our compressors place them.
    context_->gop_size = 100;
    context_->keyint_min = 100;
    context_->flags |= AV_CODEC_FLAG_BITEXACT;
    frame_->format = format;
    frame_->width = width;
    frame_->height = height;
    if (avcodec_open2(context_.get(), codec, nullptr) < 0 ||
        av_frame_get_buffer(frame_.get(), 0) < 0) {
      throw std::runtime_error("a reference encoder does not open");
    }
  }

  void Load(const CodedPicture& picture) {
    if (av_frame_make_writable(frame_.get()) < 0) {
      throw std::runtime_error("no writable frame");
    }
    for (int y = 0; y < frame_->height; ++y) {
      std::uint8_t* row = frame_->data[0] + static_cast<std::ptrdiff_t>(y) * frame_->linesize[0];
      for (int x = 0; x < frame_->width; ++x) {
        const std::uint32_t color = picture.TopDown(x, y);
        if (context_->pix_fmt == AV_PIX_FMT_RGB555LE) {
          const std::uint16_t value = ToRgb555(color);
          row[2 * x] = static_cast<std::uint8_t>(value);
          row[2 * x + 1] = static_cast<std::uint8_t>(value >> 8);
        } else {
          row[3 * x] = static_cast<std::uint8_t>(color >> 16);
          row[3 * x + 1] = static_cast<std::uint8_t>(color >> 8);
          row[3 * x + 2] = static_cast<std::uint8_t>(color);
        }
      }
    }
  }

  // Returns the seconds the encoder took; the coded bytes are in Coded().
  double Encode() {
    frame_->pts = pts_++;
    const auto start = std::chrono::steady_clock::now();
    if (avcodec_send_frame(context_.get(), frame_.get()) < 0 ||
        avcodec_receive_packet(context_.get(), packet_.get()) < 0) {
      throw std::runtime_error("a reference encoder failed");
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    coded_.assign(packet_->data, packet_->data + packet_->size);
    av_packet_unref(packet_.get());
    return seconds;
  }

  const std::vector<std::uint8_t>& Coded() const { return coded_; }

 private:
  AvCodecContextPtr context_;
  AvFramePtr frame_;
  AvPacketPtr packet_;
  std::int64_t pts_ = 0;
  std::vector<std::uint8_t> coded_;
};

// Decodes one msvc stream picture by picture and adds up its squared error against the sources.
class CMsvideo1Meter {
 public:
  CMsvideo1Meter(int width, int height) {
    context_.reset(avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_MSVIDEO1)));
    frame_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    if (!context_ || !frame_ || !packet_) {
      throw std::runtime_error("no msvideo1 decoder");
    }
    context_->width = width;
    context_->height = height;
    context_->bits_per_coded_sample = 16;
    if (avcodec_open2(context_.get(), nullptr, nullptr) < 0) {
      throw std::runtime_error("the msvideo1 decoder does not open");
    }
  }

  void Add(std::span<const std::uint8_t> coded, const CodedPicture& source) {
    if (av_new_packet(packet_.get(), static_cast<int>(coded.size())) < 0) {
      throw std::runtime_error("no packet");
    }
    std::copy(coded.begin(), coded.end(), packet_->data);
    if (avcodec_send_packet(context_.get(), packet_.get()) < 0 ||
        avcodec_receive_frame(context_.get(), frame_.get()) < 0) {
      throw std::runtime_error("a coded msvc picture does not decode");
    }
    av_packet_unref(packet_.get());
    for (int y = 0; y < source.height; ++y) {
      const std::uint8_t* row =
          frame_->data[0] + static_cast<std::ptrdiff_t>(y) * frame_->linesize[0];
      for (int x = 0; x < source.width; ++x) {
        const int shown = row[2 * x] | (row[2 * x + 1] << 8);
        const std::uint32_t wanted = source.TopDown(x, y);
        for (const int channel : {2, 1, 0}) {
          const int decoded = Widen5((shown >> (5 * channel)) & 31);
          const int expected = static_cast<int>((wanted >> (8 * channel)) & 0xFF);
          squares_ += static_cast<double>((decoded - expected) * (decoded - expected));
        }
      }
    }
    av_frame_unref(frame_.get());
    samples_ += 3.0 * source.width * source.height;
    bytes_ += coded.size();
  }

  double PsnrDb() const {
    const double meanSquare = samples_ == 0 ? 0 : squares_ / samples_;
    return meanSquare == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / meanSquare);
  }
  std::uint64_t Bytes() const { return bytes_; }

 private:
  AvCodecContextPtr context_;
  AvFramePtr frame_;
  AvPacketPtr packet_;
  double squares_ = 0;
  double samples_ = 0;
  std::uint64_t bytes_ = 0;
};

// The video packets of an AVI file, in order.
class CAviPacketReader {
 public:
  explicit CAviPacketReader(const std::string& path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
      throw std::runtime_error("cannot open " + path);
    }
    context_.reset(raw);
    if (avformat_find_stream_info(context_.get(), nullptr) < 0) {
      throw std::runtime_error("cannot read " + path);
    }
    packet_.reset(av_packet_alloc());
  }

  bool Next(std::vector<std::uint8_t>& out) {
    while (av_read_frame(context_.get(), packet_.get()) >= 0) {
      const bool video =
          context_->streams[packet_->stream_index]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
      if (video && packet_->size > 0) {
        out.assign(packet_->data, packet_->data + packet_->size);
        av_packet_unref(packet_.get());
        return true;
      }
      av_packet_unref(packet_.get());
    }
    return false;
  }

 private:
  AvInputContextPtr context_;
  AvPacketPtr packet_;
};

using PictureSink = std::function<void(const CodedPicture&)>;

// Stands where the job's recorder would: each picture goes to the sink as 0x00RRGGBB pixels.
class CCaptureRecorder final : public IVideoRecorder {
 public:
  explicit CCaptureRecorder(const PictureSink& sink) : sink_(sink) {}

  void Open(const std::string&) override {}
  std::uint32_t Write(SampleKind, const BitmapFormat& format, std::span<const std::uint8_t> picture,
                      Time) override {
    const BitmapInfoHeader header = format.Header();
    if (!reader_ || header.width != picture_.width || std::abs(header.height) != picture_.height ||
        header.bitCount != bitCount_) {
      VideoMediaType type;
      type.format = format;
      if (header.compression == kCompressionBitFields) {
        type.masks = format.Masks();
      }
      reader_.emplace(type);
      bitCount_ = header.bitCount;
      picture_.width = reader_->Width();
      picture_.height = reader_->Height();
      picture_.codedWidth = RoundUpToBlock(picture_.width);
      picture_.codedHeight = RoundUpToBlock(picture_.height);
      picture_.pixels.resize(reader_->PixelCount());
    }
    reader_->Read(picture, picture_.pixels);
    sink_(picture_);
    return 0;
  }
  std::uint32_t Close() override { return 0; }

 private:
  const PictureSink& sink_;
  std::optional<CDibReader> reader_;
  std::uint16_t bitCount_ = 0;
  CodedPicture picture_;
};

class CSilentClient final : public IReelkitClient {
 public:
  void OnStart(const std::string&) override {}
  void OnFinish(const ConversionStatistics&) override {}
  void OnError(const ConversionFailure&) override {
    throw std::runtime_error("the reference pass could not decode the recording");
  }
  void OnProgress(double) override {}
  bool IsCancelRequested() override { return false; }
};

// The encoders and meters, made for the picture size of the first picture.
struct ReferenceCoders {
  ReferenceCoders(const CodedPicture& first, const std::string& ourMsvcFile)
      : msvideo1(AV_CODEC_ID_MSVIDEO1, AV_PIX_FMT_RGB555LE, first.codedWidth, first.codedHeight),
        qtrle(AV_CODEC_ID_QTRLE, AV_PIX_FMT_RGB24, first.width, first.height),
        msvideo1Meter(first.codedWidth, first.codedHeight),
        oursMeter(first.codedWidth, first.codedHeight),
        ours(ourMsvcFile),
        width(first.width),
        height(first.height) {}

  CReferenceEncoder msvideo1;
  CReferenceEncoder qtrle;
  CMsvideo1Meter msvideo1Meter;
  CMsvideo1Meter oursMeter;
  CAviPacketReader ours;
  int width;
  int height;
};

// Runs the recording through the job as a conversion to msvc would, each picture to the sink.
void CapturePictures(const std::string& recording, const PictureSink& sink) {
  CRecordingJob job([&sink](double, FourCC) -> std::unique_ptr<IVideoRecorder> {
    return std::make_unique<CCaptureRecorder>(sink);
  });
  CSilentClient client;
  job.Execute(recording, "/dev/null", OutputFormat::MicrosoftVideo1, client);
}

}  // namespace

ReferenceFigures MeasureReferences(const std::string& recording, const std::string& ourMsvcFile) {
  ReferenceFigures figures;
  std::unique_ptr<ReferenceCoders> coders;
  std::vector<std::uint8_t> ourPacket;
  const PictureSink sink = [&](const CodedPicture& picture) {
    if (!coders) {
      coders = std::make_unique<ReferenceCoders>(picture, ourMsvcFile);
    }
    if (picture.width != coders->width || picture.height != coders->height) {
      throw std::runtime_error("the picture size changed; the reference pass takes one size");
    }
    ++figures.pictures;
    coders->msvideo1.Load(picture);
    figures.msvideo1Seconds += coders->msvideo1.Encode();
    coders->msvideo1Meter.Add(coders->msvideo1.Coded(), picture);
    coders->qtrle.Load(picture);
    figures.qtrleSeconds += coders->qtrle.Encode();
    if (coders->ours.Next(ourPacket)) {
      ++figures.oursPictures;
      coders->oursMeter.Add(ourPacket, picture);
    }
  };
  CapturePictures(recording, sink);
  if (coders) {
    figures.msvideo1PsnrDb = coders->msvideo1Meter.PsnrDb();
    figures.msvideo1Bytes = coders->msvideo1Meter.Bytes();
    figures.oursPsnrDb = coders->oursMeter.PsnrDb();
    figures.oursBytes = coders->oursMeter.Bytes();
  }
  return figures;
}

SourcePictures WriteSourcePictures(const std::string& recording, const std::string& rgbPath) {
  std::ofstream out(rgbPath, std::ios::binary | std::ios::trunc);
  SourcePictures pictures;
  std::vector<char> row;
  const PictureSink sink = [&](const CodedPicture& picture) {
    if (pictures.count == 0) {
      pictures.width = picture.width;
      pictures.height = picture.height;
      row.resize(static_cast<std::size_t>(picture.width) * 3);
    } else if (picture.width != pictures.width || picture.height != pictures.height) {
      throw std::runtime_error("the picture size changed; raw pictures take one size");
    }
    for (int y = 0; y < picture.height; ++y) {
      for (int x = 0; x < picture.width; ++x) {
        const std::uint32_t color = picture.TopDown(x, y);
        const auto at = static_cast<std::size_t>(x) * 3;
        row[at] = static_cast<char>(color >> 16);
        row[at + 1] = static_cast<char>(color >> 8);
        row[at + 2] = static_cast<char>(color);
      }
      out.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
    ++pictures.count;
  };
  CapturePictures(recording, sink);
  out.close();
  if (!out) {
    throw std::runtime_error("cannot write " + rgbPath);
  }
  return pictures;
}

}  // namespace reelkit::bench
