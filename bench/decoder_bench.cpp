// Speed of the screen stream decoder's stages at 1920 x 1080, each against a memcpy of the same
// frame measured in the same run.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include <zlib.h>

#include "bench/bundle_payloads.h"
#include "common/bitmap_format.h"
#include "common/endian.h"
#include "common/fourcc.h"
#include "decoder/cursor_overlay.h"
#include "decoder/delta_codec.h"
#include "decoder/depth_conversion.h"
#include "decoder/picture_geometry.h"
#include "decoder/scaled_blit.h"
#include "decoder/screen_stream_decoder.h"

namespace reelkit {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kWidth = 1920;
constexpr std::uint32_t kHeight = 1080;

Bytes Pattern(std::size_t size, std::uint32_t seed) {
  Bytes bytes(size);
  std::uint32_t state = seed;
  for (auto& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  return bytes;
}

void SetBytes(benchmark::State& state, std::size_t perIteration) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(perIteration));
}

// The reference: one frame of the given size copied.
void BM_MemcpyFrame(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const Bytes source = Pattern(size, 1);
  Bytes target(size);
  for (auto _ : state) {
    std::memcpy(target.data(), source.data(), size);
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  SetBytes(state, size);
}
BENCHMARK(BM_MemcpyFrame)
    ->ArgName("bytes")
    ->Arg(kWidth* kHeight)
    ->Arg(DibImageSize(kWidth, kHeight, 24))
    ->Arg(kWidth* kHeight * 4);

// A whole-screen delta at 32 bits mixing literal, show, swap and fill runs.
Bytes MixedWordRuns() {
  Bytes opcodes;
  std::uint32_t literal = 0;
  for (std::uint32_t row = 0; row < kHeight; ++row) {
    std::uint32_t left = kWidth;
    int kind = 0;
    while (left > 0) {
      const auto count =
          static_cast<std::uint8_t>(std::min<std::uint32_t>(left, kind == 1 ? 255 : 48));
      switch (kind) {
        case 0:
          opcodes.insert(opcodes.end(), {13, count});
          for (std::uint32_t k = 0; k < 4u * count; ++k) {
            opcodes.push_back(static_cast<std::uint8_t>(literal++));
          }
          break;
        case 1:
          opcodes.insert(opcodes.end(), {10, count});
          break;
        case 2:
          opcodes.insert(opcodes.end(), {12, count});
          break;
        default:
          opcodes.insert(opcodes.end(), {7, count, 1, 2, 3, 4});
          break;
      }
      left -= count;
      kind = (kind + 1) % 4;
    }
  }
  return opcodes;
}

void BM_DeltaCodec32(benchmark::State& state) {
  const PlaneLayout layout{kWidth, kHeight, 32};
  const std::size_t size = layout.FrameSize();
  Bytes screen(size);
  Bytes current = Pattern(size, 2);
  Bytes previous = Pattern(size, 3);
  const Bytes opcodes = MixedWordRuns();
  const DeltaPlanes planes{screen, current, previous, size};
  for (auto _ : state) {
    benchmark::DoNotOptimize(DecodeDeltaRectangle(
        planes, opcodes,
        {0, 0, static_cast<std::int32_t>(kWidth), static_cast<std::int32_t>(kHeight)}, layout));
    benchmark::ClobberMemory();
  }
  SetBytes(state, size);
}
BENCHMARK(BM_DeltaCodec32);

// Scaled blit from a 1920 x 1080 screen at the given depth into the output size.
void BlitCase(benchmark::State& state, std::uint32_t bitCount, std::uint32_t outputWidth,
              std::uint32_t outputHeight) {
  const PlaneLayout layout{kWidth, kHeight, bitCount};
  const Bytes screen = Pattern(layout.FrameSize(), 4);
  CPictureGeometry geometry;
  geometry.Update(layout, outputWidth, outputHeight);
  Bytes working(geometry.WorkingFrameSize());
  for (auto _ : state) {
    BlitScaled(screen, geometry, working);
    benchmark::DoNotOptimize(working.data());
    benchmark::ClobberMemory();
  }
  SetBytes(state, layout.FrameSize());
}

void BM_BlitIdentity32(benchmark::State& state) {
  BlitCase(state, 32, kWidth, kHeight);
}
void BM_BlitIdentity8(benchmark::State& state) {
  BlitCase(state, 8, kWidth, kHeight);
}
void BM_BlitShrink32(benchmark::State& state) {
  BlitCase(state, 32, 1280, 720);
}
void BM_BlitShrink8(benchmark::State& state) {
  BlitCase(state, 8, 1280, 720);
}
BENCHMARK(BM_BlitIdentity32);
BENCHMARK(BM_BlitIdentity8);
BENCHMARK(BM_BlitShrink32);
BENCHMARK(BM_BlitShrink8);

// Working frame at the native depth expanded into the 32-bit frame; bytes are those written.
void ConvertCase(benchmark::State& state, std::uint32_t bitCount) {
  CPictureGeometry geometry;
  geometry.Update({kWidth, kHeight, bitCount}, kWidth, kHeight);
  const Bytes working = Pattern(geometry.WorkingFrameSize(), 5);
  const Bytes table = Pattern(1024, 6);
  Bytes frame(std::size_t{kWidth} * kHeight * 4);
  const std::span<const std::uint8_t, 1024> colorTable(table.data(), 1024);
  for (auto _ : state) {
    ConvertToRgb32(working, geometry, 32, colorTable, frame);
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
  SetBytes(state, frame.size());
}

void BM_Convert8To32(benchmark::State& state) {
  ConvertCase(state, 8);
}
void BM_Convert24To32(benchmark::State& state) {
  ConvertCase(state, 24);
}
BENCHMARK(BM_Convert8To32);
BENCHMARK(BM_Convert24To32);

// A MOUS payload for a side x side cursor of black, white and transparent pixels.
Bytes CursorShapePayload(int side) {
  Bytes image;
  for (int k = 0; k < side * side; ++k) {
    switch (k % 3) {
      case 0:
        image.insert(image.end(), {0, 0, 0});
        break;
      case 1:
        image.insert(image.end(), {0xFF, 0xFF, 0xFF});
        break;
      default:
        image.insert(image.end(), {0xEA, 0xEF, 0xBE});
        break;
    }
  }
  uLongf compressedSize = compressBound(static_cast<uLong>(image.size()));
  Bytes compressed(compressedSize);
  compress(compressed.data(), &compressedSize, image.data(), static_cast<uLong>(image.size()));
  compressed.resize(compressedSize);
  constexpr std::size_t kHeaderSize = 32;
  Bytes payload(kHeaderSize + compressed.size(), 0);
  const auto put = [&payload](std::size_t at, std::uint32_t value) {
    StoreU32LE(payload.data() + at, value);
  };
  put(8, static_cast<std::uint32_t>(side));
  put(12, static_cast<std::uint32_t>(side));
  put(24, static_cast<std::uint32_t>(compressed.size()));
  put(28, static_cast<std::uint32_t>(image.size()));
  std::copy(compressed.begin(), compressed.end(), payload.begin() + kHeaderSize);
  return payload;
}

Bytes CursorPositionPayload(std::uint32_t x, std::uint32_t y) {
  Bytes payload(16, 0);
  StoreU32LE(payload.data() + 8, x);
  StoreU32LE(payload.data() + 12, y);
  return payload;
}

// One restore and one drawing of a 32 x 32 cursor over a 32-bit 1080p picture; bytes are the
// cursor's picture bytes, each saved, written and put back.
void BM_CursorOverlay32(benchmark::State& state) {
  constexpr int kSide = 32;
  CInflater inflater;
  CCursorOverlay cursor;
  cursor.SetShape(CursorShapePayload(kSide), inflater);
  cursor.SetPosition(CursorPositionPayload(900, 500));
  CPictureGeometry geometry;
  geometry.Update({kWidth, kHeight, 32}, kWidth, kHeight);
  Bytes picture = Pattern(geometry.WorkingFrameSize(), 7);
  for (auto _ : state) {
    cursor.Restore(picture);
    cursor.Draw(picture, geometry);
    benchmark::DoNotOptimize(picture.data());
    benchmark::ClobberMemory();
  }
  SetBytes(state, kSide * kSide * 4);
}
BENCHMARK(BM_CursorOverlay32);

// A whole bundle through DecodePacket at the output size: cursor restore and drawing, a small
// delta, the full blit and, below 16 bits, the conversion. Bytes are those of the 32-bit frame.
void DecodeBundleCase(benchmark::State& state, std::uint16_t bitCount) {
  BitmapInfoHeader header;
  header.width = static_cast<std::int32_t>(kWidth);
  header.height = static_cast<std::int32_t>(kHeight);
  header.bitCount = bitCount;
  header.clrUsed = bitCount == 8 ? 256 : 0;
  const BitmapFormat stream(header);
  BitmapFormat output = stream;
  if (bitCount != 32) {
    output.SetPictureFormat(32, 0);
  }
  Bytes frame(std::size_t{kWidth} * kHeight * 4);
  CScreenStreamDecoder decoder;
  decoder.Initialize(stream, output);
  Bytes fint = bench::BundleHeader("KBND");
  bench::AppendSubPacket(fint, MakeFourCC('F', 'I', 'N', 'T'), {});
  bench::AppendSubPacket(fint, MakeFourCC('M', 'O', 'U', 'S'), CursorShapePayload(32));
  decoder.DecodePacket(stream, output, fint, frame);
  Bytes bundle = bench::BundleHeader("BNDL");
  bench::AppendSubPacket(bundle, MakeFourCC('D', 'L', 'T', 'A'), bench::SmallDeltaPayload());
  for (auto _ : state) {
    decoder.DecodePacket(stream, output, bundle, frame);
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
  SetBytes(state, frame.size());
}

void BM_DecodeDeltaBundle32(benchmark::State& state) {
  DecodeBundleCase(state, 32);
}
void BM_DecodeDeltaBundle8(benchmark::State& state) {
  DecodeBundleCase(state, 8);
}
BENCHMARK(BM_DecodeDeltaBundle32);
BENCHMARK(BM_DecodeDeltaBundle8);

}  // namespace
}  // namespace reelkit
