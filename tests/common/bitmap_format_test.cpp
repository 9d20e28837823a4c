#include "common/bitmap_format.h"

#include <gtest/gtest.h>

#include <vector>

namespace reelkit {
namespace {

TEST(DibStride, RowsArePaddedToFourBytes) {
  EXPECT_EQ(DibStride(1, 4), 4u);
  EXPECT_EQ(DibStride(9, 4), 8u);
  EXPECT_EQ(DibStride(3, 24), 12u);
  EXPECT_EQ(DibStride(5, 16), 12u);
  EXPECT_EQ(DibStride(1920, 32), 7680u);
  EXPECT_EQ(DibStride(65535, 32), 262140u);
}

TEST(DibImageSize, UsesTheMagnitudeOfTheHeight) {
  EXPECT_EQ(DibImageSize(3, -2, 24), 24u);
  EXPECT_EQ(DibImageSize(65535, 65535, 32), 65535ull * 262140ull);
}

TEST(BitmapFormat, HeaderRoundTripsThroughBytes) {
  BitmapInfoHeader header;
  header.width = 1920;
  header.height = -1080;
  header.bitCount = 16;
  header.compression = kCompressionBitFields;
  header.clrImportant = 7;
  BitmapFormat format(header);
  EXPECT_EQ(format.Header(), header);
  EXPECT_EQ(format.Storage()[4], 0x80);  // 1920 = 0x780, little-endian
  EXPECT_EQ(format.Storage()[5], 0x07);
}

TEST(BitmapFormat, LengthFollowsMasksOrColourTableAndIsBounded) {
  BitmapInfoHeader header;
  header.bitCount = 8;
  header.clrUsed = 16;
  BitmapFormat format(header);
  EXPECT_EQ(format.Length(), 40u + 64u);
  header.clrUsed = 100000;
  format.SetHeader(header);
  EXPECT_EQ(format.Length(), BitmapFormat::kCapacity);
  header.compression = kCompressionBitFields;
  format.SetHeader(header);
  EXPECT_EQ(format.Length(), 52u);
}

TEST(BitmapFormat, SetPictureFormatRecomputesImageSize) {
  BitmapInfoHeader header;
  header.size = 108;
  header.width = 5;
  header.height = 3;
  header.bitCount = 8;
  header.clrUsed = 256;
  BitmapFormat format(header);
  format.SetPictureFormat(32, kCompressionRgb);
  const BitmapInfoHeader result = format.Header();
  EXPECT_EQ(result.size, 40u);
  EXPECT_EQ(result.bitCount, 32);
  EXPECT_EQ(result.clrUsed, 0u);
  EXPECT_EQ(result.sizeImage, 60u);
}

TEST(BitmapFormat, AssignNeverReadsOrWritesPastEitherSide) {
  std::vector<std::uint8_t> longBlock(BitmapFormat::kCapacity + 100, 0x5A);
  BitmapFormat format;
  format.Assign(longBlock);
  EXPECT_EQ(format.Storage().back(), 0x5A);
  const std::vector<std::uint8_t> shortBlock(10, 0x11);
  format.Assign(shortBlock);
  EXPECT_EQ(format.Storage()[9], 0x11);
  EXPECT_EQ(format.Storage()[10], 0x00);
  EXPECT_EQ(format.Storage().back(), 0x00);
}

}  // namespace
}  // namespace reelkit
