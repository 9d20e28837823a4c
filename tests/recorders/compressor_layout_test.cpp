#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "common/endian.h"
#include "common/error_codes.h"
#include "common/fourcc.h"
#include "recorders/encoders/msvideo1_compressor.h"
#include "recorders/encoders/msvideo1_encoder.h"
#include "recorders/encoders/rle_compressor.h"
#include "recorders/encoders/rle_encoder.h"

namespace reelkit {
namespace {

constexpr int kWidth = 24;
constexpr int kHeight = 16;
constexpr int kKeyInterval = 10;  // ten seconds at the frame time below
constexpr Time kFrameTime = 1'000'000;

using Pixels = std::vector<std::uint32_t>;  // 0x00RRGGBB, bottom-up rows

// Three pictures: a pattern, a block of it changed, the pattern back.
std::vector<Pixels> Sequence() {
  Pixels first(kWidth * kHeight);
  for (int i = 0; i < kWidth * kHeight; ++i) {
    first[i] = static_cast<std::uint32_t>((i * 2654435761u) >> 8) & 0x00FFFFFF;
  }
  Pixels second = first;
  for (int y = 4; y < 8; ++y) {
    for (int x = 8; x < 16; ++x) {
      second[y * kWidth + x] = 0x00FF8000;
    }
  }
  return {first, second, first};
}

struct SourceLayout {
  std::uint16_t bitCount = 32;
  bool topDown = false;
  std::uint8_t fourthByte = 0;
  std::size_t keptBytes = SIZE_MAX;  // a sample cut short after this many bytes
  bool oddAddress = false;           // the sample's bytes begin one past an aligned address
};

// A sample's bytes, where the layout wants them.
class CSample {
 public:
  CSample(std::vector<std::uint8_t> bytes, bool oddAddress) : offset_(oddAddress ? 1 : 0) {
    storage_.resize(offset_);
    storage_.insert(storage_.end(), bytes.begin(), bytes.end());
  }
  std::span<const std::uint8_t> Bytes() const { return std::span(storage_).subspan(offset_); }

 private:
  std::size_t offset_;
  std::vector<std::uint8_t> storage_;
};

VideoMediaType TypeOf(const SourceLayout& layout) {
  BitmapInfoHeader header;
  header.width = kWidth;
  header.height = layout.topDown ? -kHeight : kHeight;
  header.bitCount = layout.bitCount;
  VideoMediaType type;
  type.format = BitmapFormat(header);
  type.averageTimePerFrame = kFrameTime;
  return type;
}

CSample SampleOf(const Pixels& pixels, const SourceLayout& layout) {
  const std::size_t bytesPerPixel = layout.bitCount / 8;
  std::vector<std::uint8_t> sample(pixels.size() * bytesPerPixel);
  for (int y = 0; y < kHeight; ++y) {
    const int storedRow = layout.topDown ? kHeight - 1 - y : y;
    for (int x = 0; x < kWidth; ++x) {
      const std::uint32_t colour = pixels[y * kWidth + x];
      std::uint8_t* at = sample.data() + (storedRow * kWidth + x) * bytesPerPixel;
      if (bytesPerPixel == 4) {
        StoreU32LE(at, colour | (std::uint32_t{layout.fourthByte} << 24));
      } else {
        at[0] = static_cast<std::uint8_t>(colour);
        at[1] = static_cast<std::uint8_t>(colour >> 8);
        at[2] = static_cast<std::uint8_t>(colour >> 16);
      }
    }
  }
  sample.resize(std::min(sample.size(), layout.keptBytes));
  return CSample(std::move(sample), layout.oddAddress);
}

struct LayoutRow {
  const char* name;
  SourceLayout layout;
  // What the encoder must be given for the same stream: the picture as the compressor should read
  // it.
  std::function<Pixels(Pixels)> expected;
};

std::ostream& operator<<(std::ostream& out, const LayoutRow& row) {
  return out << row.name;
}

Pixels Unchanged(Pixels pixels) {
  return pixels;
}

// A bottom-up sample cut after its first half has lost the upper rows.
Pixels UpperHalfBlack(Pixels pixels) {
  std::fill(pixels.begin() + kWidth * kHeight / 2, pixels.end(), 0u);
  return pixels;
}

std::vector<std::uint8_t> BytesOf(const ByteBlock& block) {
  return {block.span().begin(), block.span().end()};
}

const auto kLayoutRows = ::testing::Values(
    LayoutRow{"BottomUp32", {}, Unchanged},
    LayoutRow{"BottomUp32WithAlpha", {32, false, 0xFF}, Unchanged},
    LayoutRow{"BottomUp32AtAnOddAddress", {32, false, 0x80, SIZE_MAX, true}, Unchanged},
    LayoutRow{"TopDown32", {32, true}, Unchanged}, LayoutRow{"BottomUp24", {24, false}, Unchanged},
    LayoutRow{"Short32", {32, false, 0, kWidth* kHeight * 2}, UpperHalfBlack});

const auto kRowName = [](const auto& row) { return std::string(row.param.name); };

// Each compressor beside the encoder it wraps, and what must agree between their outputs.
struct Msvideo1Pair {
  CMsvideo1Compressor compressor;
  CMsvc1Encoder encoder{kWidth, kHeight, kKeyInterval};
  Msvc1Frame frame;

  static constexpr FourCC kTag = kFourCCMicrosoftVideo1;
  void Encode(const Pixels& pixels) {
    encoder.Encode(std::span<const std::uint32_t>(pixels), frame);
  }
  void ExpectSame(const CompressedPacket& packet, std::size_t i) const {
    EXPECT_EQ(packet.key, frame.key) << i;
    EXPECT_EQ(packet.data, BytesOf(frame.data)) << i;
  }
};

struct RlePair {
  CRleCompressor compressor;
  CRleEncoder encoder{kWidth, kHeight, kKeyInterval};
  RleFrame frame;

  static constexpr FourCC kTag = kFourCCMicrosoftRle;
  void Encode(const Pixels& pixels) { encoder.Encode(pixels, frame); }
  void ExpectSame(const CompressedPacket& packet, std::size_t i) const {
    EXPECT_EQ(packet.key, frame.key) << i;
    EXPECT_EQ(packet.data, BytesOf(frame.data)) << i;
    EXPECT_EQ(packet.paletteChanged, frame.paletteChanged) << i;
    EXPECT_EQ(packet.palette, frame.palette) << i;
  }
};

// Whatever way the source lays out its pictures, the stream is the one our encoder makes of the
// pictures themselves: coding a 32-bit sample where it lies and reading any other layout first
// must agree bit for bit. The last picture comes again as a repeated sample, which is coded
// without being read.
template <typename Pair>
void ExpectTheEncodersStream(const LayoutRow& row) {
  Pair pair;
  CompressedStreamInfo info;
  ASSERT_EQ(pair.compressor.Connect(TypeOf(row.layout), info), 0u);
  EXPECT_EQ(info.codecTag, Pair::kTag);
  EXPECT_EQ(info.width, kWidth);
  EXPECT_EQ(info.height, kHeight);
  std::vector<Pixels> pictures = Sequence();
  pictures.push_back(pictures.back());
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    const CSample sample = SampleOf(pictures[i], row.layout);
    CompressedPacket packet;
    const bool repeat = i + 1 == pictures.size();
    ASSERT_EQ(repeat ? pair.compressor.CompressRepeated(sample.Bytes(), packet)
                     : pair.compressor.Compress(sample.Bytes(), packet),
              0u);
    pair.Encode(row.expected(pictures[i]));
    pair.ExpectSame(packet, i);
  }
}

class CompressorLayoutTest : public ::testing::TestWithParam<LayoutRow> {};

TEST_P(CompressorLayoutTest, Msvideo1CodesWhatItsEncoderCodesOfThePicture) {
  ExpectTheEncodersStream<Msvideo1Pair>(GetParam());
}

TEST_P(CompressorLayoutTest, RleCodesWhatItsEncoderCodesOfThePicture) {
  ExpectTheEncodersStream<RlePair>(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Sources, CompressorLayoutTest, kLayoutRows, kRowName);

TEST(Msvideo1Compressor, RefusesAPictureLargerThanTheFormatAllows) {
  BitmapInfoHeader header;
  header.width = 65533;
  header.height = 8;
  header.bitCount = 32;
  VideoMediaType type;
  type.format = BitmapFormat(header);
  type.averageTimePerFrame = kFrameTime;
  CMsvideo1Compressor compressor;
  CompressedStreamInfo info;
  EXPECT_EQ(compressor.Connect(type, info), kResultTooLargeForMsvideo1);
}

}  // namespace
}  // namespace reelkit
