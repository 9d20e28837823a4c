#include "bench/comparison/decoder_step.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "common/bitmap_format.h"
#include "common/endian.h"
#include "common/fourcc.h"
#include "decoder/screen_stream_decoder.h"

namespace reelkit::bench {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kTimedRounds = 31;

void AppendSubPacket(Bytes& bundle, FourCC kind, const Bytes& payload) {
  const std::size_t at = bundle.size();
  bundle.resize(at + 8);
  StoreU32LE(bundle.data() + at, kind);
  StoreU32LE(bundle.data() + at + 4, static_cast<std::uint32_t>(payload.size()));
  bundle.insert(bundle.end(), payload.begin(), payload.end());
}

Bytes BundleHeader(const char* kind) {
  Bytes bundle(4);
  StoreU32LE(bundle.data(), MakeFourCC(kind[0], kind[1], kind[2], kind[3]));
  return bundle;
}

// A stored DLTA of literal words over a 64 x 16 rectangle: what one typed character sends.
Bytes SmallDelta() {
  Bytes opcodes;
  for (int row = 0; row < 16; ++row) {
    opcodes.insert(opcodes.end(), {13, 64});
    for (int k = 0; k < 256; ++k) {
      opcodes.push_back(static_cast<std::uint8_t>(row + k));
    }
  }
  Bytes payload(40, 0);
  StoreU32LE(payload.data() + 8, static_cast<std::uint32_t>(opcodes.size()));
  StoreU32LE(payload.data() + 12, static_cast<std::uint32_t>(opcodes.size()));
  StoreU32LE(payload.data() + 16, 100);
  StoreU32LE(payload.data() + 20, 100);
  StoreU32LE(payload.data() + 24, 64);
  StoreU32LE(payload.data() + 28, 16);
  payload.insert(payload.end(), opcodes.begin(), opcodes.end());
  return payload;
}

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
  decoder.Initialize(stream, output, kFourCCScreenCodec);
  Bytes start = BundleHeader("KBND");
  AppendSubPacket(start, MakeFourCC('F', 'I', 'N', 'T'), {});
  decoder.DecodePacket(stream, output, kFourCCScreenCodec, start, frame);
  Bytes bundle = BundleHeader("BNDL");
  AppendSubPacket(bundle, MakeFourCC('D', 'L', 'T', 'A'), SmallDelta());

  Bytes copy(frame.size());
  DecoderStepFigures figures;
  figures.bundleSeconds = MedianSeconds(
      [&] { decoder.DecodePacket(stream, output, kFourCCScreenCodec, bundle, frame); });
  figures.memcpySeconds = MedianSeconds([&] {
    std::memcpy(copy.data(), frame.data(), frame.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  });
  return figures;
}

}  // namespace reelkit::bench
