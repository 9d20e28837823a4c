#include "bench/comparison/decoder_step.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "bench/bundle_payloads.h"
#include "common/bitmap_format.h"
#include "common/fourcc.h"
#include "decoder/screen_stream_decoder.h"

namespace reelkit::bench {

namespace {

constexpr int kTimedRounds = 31;

template <typename Step>
double MedianSeconds(Step&& step) {
  std::vector<double> rounds;
  for (int round = 0; round < kTimedRounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    step();
    rounds.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::nth_element(rounds.begin(), rounds.begin() + kTimedRounds / 2, rounds.end());
  return rounds[kTimedRounds / 2];
}

}  // namespace

DecoderStepFigures MeasureDecoderStep(int width, int height) {
  BitmapInfoHeader header;
  header.width = width;
  header.height = height;
  header.bitCount = 32;
  const BitmapFormat stream(header);
  BitmapFormat output = stream;
  Bytes frame(DibImageSize(header.width, header.height, 32));
  CScreenStreamDecoder decoder;
  decoder.Initialize(stream, output);
  Bytes start = BundleHeader("KBND");
  AppendSubPacket(start, MakeFourCC('F', 'I', 'N', 'T'), {});
  decoder.DecodePacket(stream, output, start, frame);
  Bytes bundle = BundleHeader("BNDL");
  AppendSubPacket(bundle, MakeFourCC('D', 'L', 'T', 'A'), SmallDeltaPayload());

  Bytes copy(frame.size());
  DecoderStepFigures figures;
  figures.bundleSeconds =
      MedianSeconds([&] { decoder.DecodePacket(stream, output, bundle, frame); });
  figures.memcpySeconds = MedianSeconds([&] {
    std::memcpy(copy.data(), frame.data(), frame.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  });
  return figures;
}

}  // namespace reelkit::bench
