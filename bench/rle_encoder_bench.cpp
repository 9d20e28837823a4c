// Pictures per second of our RLE encoder at 1920x1080, beside libavcodec's QuickTime RLE encoder
// on the same pictures: one mostly static desktop sequence and one in which every row changes.

#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "recorders/encoders/rle_encoder.h"
#include "recorders/ffmpeg_handles.h"
#include "tests/recorders/rle_test_pictures.h"

namespace reelkit {
namespace {

using testing::Picture;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kPictures = 30;
constexpr int kKeyInterval = 100;  // ten seconds at the recorder's 10 frames per second

enum class Sequence { Desktop, Scrolling };

// Drawing 1080p pictures with Qt takes longer than encoding them: each sequence is drawn once.
const std::vector<Picture>& Pictures(Sequence sequence) {
  static std::map<Sequence, std::vector<Picture>> cache;
  auto& pictures = cache[sequence];
  if (pictures.empty()) {
    for (int f = 0; f < kPictures; ++f) {
      pictures.push_back(sequence == Sequence::Desktop
                             ? testing::RenderDesktop(kWidth, kHeight, f)
                             : testing::RenderScrolledDocument(kWidth, kHeight, f));
    }
  }
  return pictures;
}

void BM_RleEncoder(benchmark::State& state, Sequence sequence) {
  const auto& pictures = Pictures(sequence);
  CRleEncoder encoder(kWidth, kHeight, kKeyInterval);
  RleFrame frame;
  std::size_t next = 0;
  std::size_t bytes = 0;
  for (auto _ : state) {
    encoder.Encode(pictures[next], frame);
    bytes += frame.data.size();
    next = (next + 1) % pictures.size();
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["bytes_per_picture"] =
      benchmark::Counter(static_cast<double>(bytes) / static_cast<double>(state.iterations()));
}

// The same pictures as libavcodec's encoder wants them: top-down RGB24, converted beforehand.
std::vector<AvFramePtr> QtrleFrames(const std::vector<Picture>& pictures) {
  std::vector<AvFramePtr> frames;
  for (const Picture& picture : pictures) {
    AvFramePtr frame(av_frame_alloc());
    frame->format = AV_PIX_FMT_RGB24;
    frame->width = kWidth;
    frame->height = kHeight;
    if (av_frame_get_buffer(frame.get(), 0) < 0) {
      throw std::runtime_error("no frame buffer");
    }
    for (int y = 0; y < kHeight; ++y) {
      const std::uint32_t* source =
          picture.data() + static_cast<std::size_t>(kHeight - 1 - y) * kWidth;
      std::uint8_t* line = frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0];
      for (int x = 0; x < kWidth; ++x) {
        line[3 * x] = static_cast<std::uint8_t>(source[x] >> 16);
        line[3 * x + 1] = static_cast<std::uint8_t>(source[x] >> 8);
        line[3 * x + 2] = static_cast<std::uint8_t>(source[x]);
      }
    }
    frames.push_back(std::move(frame));
  }
  return frames;
}

void BM_LibavcodecQtrle(benchmark::State& state, Sequence sequence) {
  const auto frames = QtrleFrames(Pictures(sequence));
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_QTRLE);
  AvCodecContextPtr context(avcodec_alloc_context3(codec));
  context->width = kWidth;
  context->height = kHeight;
  context->pix_fmt = AV_PIX_FMT_RGB24;
  context->time_base = {1, 10};
  context->gop_size = kKeyInterval;
  if (avcodec_open2(context.get(), codec, nullptr) < 0) {
    state.SkipWithError("qtrle encoder did not open");
    return;
  }
  AvPacketPtr packet(av_packet_alloc());
  std::size_t next = 0;
  std::int64_t pts = 0;
  std::size_t bytes = 0;
  for (auto _ : state) {
    frames[next]->pts = pts++;
    avcodec_send_frame(context.get(), frames[next].get());
    while (avcodec_receive_packet(context.get(), packet.get()) == 0) {
      bytes += static_cast<std::size_t>(packet->size);
      av_packet_unref(packet.get());
    }
    next = (next + 1) % frames.size();
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["bytes_per_picture"] =
      benchmark::Counter(static_cast<double>(bytes) / static_cast<double>(state.iterations()));
}

BENCHMARK_CAPTURE(BM_RleEncoder, desktop_1080p, Sequence::Desktop)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LibavcodecQtrle, desktop_1080p, Sequence::Desktop)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RleEncoder, scrolling_1080p, Sequence::Scrolling)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LibavcodecQtrle, scrolling_1080p, Sequence::Scrolling)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace reelkit
