// Pictures per second through CAviRecorder at 1920x1080, per output format, beside the time
// libavcodec alone takes to encode the same pictures. The recorder's figure includes the copy on
// the caller's thread, the conversion for the encoder and the muxing into a real file.

#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/error_codes.h"
#include "recorders/avi_recorder.h"
#include "recorders/codec_module.h"
#include "recorders/ffmpeg_handles.h"
#include "recorders/picture_conversion.h"
#include "tests/recorders/rle_test_pictures.h"

namespace reelkit {
namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kPictures = 20;
constexpr double kFramesPerSecond = 10.0;

// Drawing 1080p pictures takes longer than most encoders: the sequence is drawn once.
const std::vector<testing::Picture>& Pictures() {
  static const std::vector<testing::Picture> pictures = [] {
    std::vector<testing::Picture> drawn;
    for (int f = 0; f < kPictures; ++f) {
      drawn.push_back(testing::RenderDesktop(kWidth, kHeight, f));
    }
    return drawn;
  }();
  return pictures;
}

std::span<const std::uint8_t> BytesOf(const testing::Picture& picture) {
  return {reinterpret_cast<const std::uint8_t*>(picture.data()), picture.size() * 4};
}

BitmapFormat PictureFormat() {
  BitmapInfoHeader header;
  header.width = kWidth;
  header.height = kHeight;
  BitmapFormat format(header);
  format.SetPictureFormat(32, kCompressionRgb);
  return format;
}

std::string OutputPath() {
  return (std::filesystem::temp_directory_path() / "reelkit_recorder_bench.avi").string();
}

// One whole recording of the sequence per iteration, closing included, as a conversion does it.
void BM_Recorder(benchmark::State& state, FourCC fourcc) {
  const auto& pictures = Pictures();
  const BitmapFormat format = PictureFormat();
  const std::string path = OutputPath();
  for (auto _ : state) {
    CAviRecorder recorder(kFramesPerSecond, fourcc);
    recorder.Open(path);
    Time time = 0;
    for (const auto& picture : pictures) {
      if (recorder.Write(SampleKind::Picture, format, BytesOf(picture), time) != 0) {
        state.SkipWithError("the recorder refused a picture");
        return;
      }
      time += recorder.FrameDuration();
    }
    recorder.Close();
  }
  state.SetItemsProcessed(state.iterations() * kPictures);
  state.counters["file_bytes_per_picture"] =
      static_cast<double>(std::filesystem::file_size(path)) / kPictures;
  std::filesystem::remove(path);
}

// The screen codec's bundles pass through unchanged: what is left is hand-over and muxing.
void BM_RecorderPassThrough(benchmark::State& state) {
  const BitmapFormat format = PictureFormat();
  const std::string path = OutputPath();
  RegisterCodecModuleAt(VQCODEC_MODULE_PATH);
  std::vector<std::uint8_t> bundle(64 * 1024, 0x5A);
  for (auto _ : state) {
    CAviRecorder recorder(30.0, kFourCCScreenCodec);
    recorder.Open(path);
    Time time = 0;
    for (int i = 0; i < kPictures; ++i) {
      if (recorder.Write(SampleKind::Bundle, format, bundle, time) != 0) {
        state.SkipWithError("the recorder refused a bundle");
        return;
      }
      time += recorder.FrameDuration();
    }
    recorder.Close();
  }
  state.SetItemsProcessed(state.iterations() * kPictures);
  std::filesystem::remove(path);
}

// libavcodec's own encoder on the same pictures, already converted to its input format.
void BM_LibavcodecAlone(benchmark::State& state, AVCodecID codecId, AVPixelFormat pixelFormat) {
  const AVCodec* codec = avcodec_find_encoder(codecId);
  AvCodecContextPtr context(avcodec_alloc_context3(codec));
  context->width = kWidth;
  context->height = kHeight;
  context->pix_fmt = pixelFormat;
  context->time_base = {1, 10};
  context->keyint_min = 100;
  context->gop_size = 100;
  if (avcodec_open2(context.get(), codec, nullptr) < 0) {
    state.SkipWithError("the encoder does not open");
    return;
  }
  std::vector<AvFramePtr> frames;
  for (const auto& picture : Pictures()) {
    AvFramePtr frame(av_frame_alloc());
    frame->format = pixelFormat;
    frame->width = kWidth;
    frame->height = kHeight;
    av_frame_get_buffer(frame.get(), 0);
    for (int y = 0; y < kHeight; ++y) {
      const std::uint32_t* source =
          picture.data() + static_cast<std::size_t>(kHeight - 1 - y) * kWidth;
      std::uint8_t* row = frame->data[0] + y * frame->linesize[0];
      for (int x = 0; x < kWidth; ++x) {
        if (pixelFormat == AV_PIX_FMT_RGB555LE) {
          const std::uint16_t value = ToRgb555(source[x]);
          row[2 * x] = static_cast<std::uint8_t>(value);
          row[2 * x + 1] = static_cast<std::uint8_t>(value >> 8);
        } else {
          row[3 * x] = static_cast<std::uint8_t>(source[x] >> 16);
          row[3 * x + 1] = static_cast<std::uint8_t>(source[x] >> 8);
          row[3 * x + 2] = static_cast<std::uint8_t>(source[x]);
        }
      }
    }
    frames.push_back(std::move(frame));
  }
  AvPacketPtr packet(av_packet_alloc());
  std::int64_t pts = 0;
  for (auto _ : state) {
    for (const auto& frame : frames) {
      frame->pts = pts++;
      avcodec_send_frame(context.get(), frame.get());
      while (avcodec_receive_packet(context.get(), packet.get()) == 0) {
        av_packet_unref(packet.get());
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * kPictures);
}

BENCHMARK_CAPTURE(BM_Recorder, msvc, kFourCCMicrosoftVideo1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_LibavcodecAlone, msvideo1, AV_CODEC_ID_MSVIDEO1, AV_PIX_FMT_RGB555LE)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Recorder, mrle, kFourCCMicrosoftRle)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
// libavcodec has no Microsoft RLE encoder; its QuickTime RLE encoder is the nearest reference.
BENCHMARK_CAPTURE(BM_LibavcodecAlone, qtrle, AV_CODEC_ID_QTRLE, AV_PIX_FMT_RGB24)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_RecorderPassThrough)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace reelkit
