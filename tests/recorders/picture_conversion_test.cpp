#include "recorders/picture_conversion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/endian.h"

namespace reelkit {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Pixels = std::vector<std::uint32_t>;

VideoMediaType TypeOf(int width, int height, std::uint16_t bitCount,
                      const std::array<std::uint32_t, 3>& masks = kMasks555,
                      const std::vector<std::uint32_t>& palette = {}) {
  BitmapInfoHeader header;
  header.width = width;
  header.height = height;
  header.bitCount = bitCount;
  header.clrUsed = static_cast<std::uint32_t>(palette.size());
  VideoMediaType type;
  type.format = BitmapFormat(header);
  for (std::size_t i = 0; i < palette.size(); ++i) {
    StoreU32LE(type.format.ColorTable().data() + 4 * i, palette[i]);
  }
  type.masks = masks;
  return type;
}

struct ReadRow {
  std::string name;
  VideoMediaType type;
  Bytes picture;
  Pixels expected;  // bottom-up, stride width
};

class DibReaderTest : public ::testing::TestWithParam<ReadRow> {};

TEST_P(DibReaderTest, ReadsTheRecordedColours) {
  const ReadRow& row = GetParam();
  const CDibReader reader(row.type);
  Pixels pixels(reader.PixelCount(), 0xDEADBEEF);
  reader.Read(row.picture, pixels);
  EXPECT_EQ(pixels, row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Depths, DibReaderTest,
    ::testing::Values(
        ReadRow{"Bgrx32IgnoresTheFourthByte",
                TypeOf(2, 1, 32),
                {0x30, 0x20, 0x10, 0xFF, 0x03, 0x02, 0x01, 0x77},
                {0x102030, 0x010203}},
        // Rows of three bytes per pixel are padded to four bytes.
        ReadRow{"Bgr24WithRowPadding",
                TypeOf(1, 2, 24),
                {0x33, 0x22, 0x11, 0, 0x66, 0x55, 0x44, 0},
                {0x112233, 0x445566}},
        ReadRow{"Rgb565ByMasks",
                TypeOf(2, 1, 16, kMasks565),
                {0x00, 0xF8, 0xE0, 0x07},
                {0xFF0000, 0x00FF00}},
        ReadRow{"Rgb555ByMasks",
                TypeOf(2, 1, 16, kMasks555),
                {0x00, 0x7C, 0xE0, 0x03},
                {0xFF0000, 0x00FF00}},
        ReadRow{"Palette8",
                TypeOf(2, 1, 8, kMasks555, {0x000000, 0xABCDEF}),
                {1, 0, 0, 0},
                {0xABCDEF, 0x000000}},
        ReadRow{"Palette4HighNibbleFirst",
                TypeOf(3, 1, 4, kMasks555, {0x0, 0x111111, 0x222222}),
                {0x21, 0x10, 0, 0},
                {0x222222, 0x111111, 0x111111}},
        ReadRow{"Palette1",
                TypeOf(3, 1, 1, kMasks555, {0x000000, 0xFFFFFF}),
                {0xA0, 0, 0, 0},
                {0xFFFFFF, 0x000000, 0xFFFFFF}},
        ReadRow{"TopDownIsTurnedBottomUp",
                TypeOf(1, -2, 32),
                {1, 0, 0, 0, 2, 0, 0, 0},
                {0x000002, 0x000001}},
        // A picture cut short: the missing row is black and nothing past the bytes is read.
        ReadRow{"ShortPictureReadsBlack", TypeOf(1, 2, 32), {5, 0, 0, 0, 6, 0}, {0x000005, 0}},
        ReadRow{"EmptyPictureReadsBlack", TypeOf(2, 1, 24), {}, {0, 0}}),
    [](const auto& rowInfo) { return std::string(rowInfo.param.name); });

struct RoundTripRow {
  std::string name;
  VideoMediaType type;
  Pixels pixels;
  Pixels expectedBack;
};

class DibWriterTest : public ::testing::TestWithParam<RoundTripRow> {};

TEST_P(DibWriterTest, WritesWhatTheReaderReadsBack) {
  const RoundTripRow& row = GetParam();
  CDibWriter writer(row.type);
  Bytes written(writer.ImageSize(), 0xEE);
  writer.Write(row.pixels, written);
  const CDibReader reader(row.type);
  Pixels back(reader.PixelCount());
  reader.Read(written, back);
  EXPECT_EQ(back, row.expectedBack);
}

INSTANTIATE_TEST_SUITE_P(
    Depths, DibWriterTest,
    ::testing::Values(RoundTripRow{"To32", TypeOf(3, 1, 32), {1, 2, 3}, {1, 2, 3}},
                      RoundTripRow{
                          "To24", TypeOf(3, 2, 24), {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}},
                      RoundTripRow{"To565KeepsSixGreenBits",
                                   TypeOf(2, 1, 16, kMasks565),
                                   {0xFF0000, 0x00FC00},
                                   {0xFF0000, 0x00FF00}},
                      RoundTripRow{"To555", TypeOf(1, 1, 16, kMasks555), {0xFFFFFF}, {0xFFFFFF}},
                      RoundTripRow{"ToPaletteByNearestColour",
                                   TypeOf(3, 1, 8, kMasks555, {0x000000, 0xFF0000, 0xFFFFFF}),
                                   {0xF01010, 0x101010, 0xEEEEEE},
                                   {0xFF0000, 0x000000, 0xFFFFFF}},
                      RoundTripRow{"TopDown", TypeOf(1, -2, 32), {7, 8}, {7, 8}}),
    [](const auto& rowInfo) { return std::string(rowInfo.param.name); });

struct FitRow {
  std::string name;
  int sourceWidth;
  int sourceHeight;
  Pixels source;  // bottom-up
  int targetWidth;
  int targetHeight;
  Pixels expected;  // bottom-up: the source's top-left stays top-left
};

class FitPixelsTest : public ::testing::TestWithParam<FitRow> {};

TEST_P(FitPixelsTest, KeepsTheTopLeftWithABlackMargin) {
  const FitRow& row = GetParam();
  Pixels target(static_cast<std::size_t>(row.targetWidth * row.targetHeight), 0xEEEEEE);
  FitPixels(row.source, row.sourceWidth, row.sourceHeight, target, row.targetWidth,
            row.targetHeight);
  EXPECT_EQ(target, row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, FitPixelsTest,
    ::testing::Values(FitRow{"Same", 2, 2, {1, 2, 3, 4}, 2, 2, {1, 2, 3, 4}},
                      FitRow{"Wider", 1, 2, {1, 3}, 3, 2, {1, 0, 0, 3, 0, 0}},
                      FitRow{"Higher", 2, 1, {3, 4}, 2, 3, {0, 0, 0, 0, 3, 4}},
                      FitRow{"NarrowerCutsTheRight", 3, 1, {5, 6, 7}, 2, 1, {5, 6}},
                      FitRow{"LowerCutsTheBottom", 1, 3, {1, 2, 3}, 1, 2, {2, 3}},
                      FitRow{"WiderAndLower", 1, 2, {1, 3}, 2, 1, {3, 0}}),
    [](const auto& rowInfo) { return std::string(rowInfo.param.name); });

TEST(Rgb555Test, KeepsTheHighFiveBitsOfEachChannel) {
  EXPECT_EQ(ToRgb555(0xFFFFFF), 0x7FFF);
  EXPECT_EQ(ToRgb555(0xF80000), 0x7C00);
  EXPECT_EQ(ToRgb555(0x00F800), 0x03E0);
  EXPECT_EQ(ToRgb555(0x0000F8), 0x001F);
  EXPECT_EQ(ToRgb555(0x070707), 0x0000);
}

}  // namespace
}  // namespace reelkit
