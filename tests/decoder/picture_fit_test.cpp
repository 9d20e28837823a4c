#include <gtest/gtest.h>

#include <string>

#include "decoder/picture_geometry.h"
#include "decoder/scaled_blit.h"
#include "tests/decoder/decoder_test_support.h"

namespace reelkit {
namespace {

using testing::Bytes;

struct FitCase {
  const char* name;
  std::uint32_t width, height, maxWidth, maxHeight;
  FittedSize expected;
};

void PrintTo(const FitCase& c, std::ostream* os) {
  *os << c.name;
}

class Fit : public ::testing::TestWithParam<FitCase> {};

TEST_P(Fit, KeepsTheAspectWithinTheOutput) {
  const FitCase& c = GetParam();
  const FittedSize fitted = FitPicture(c.width, c.height, c.maxWidth, c.maxHeight);
  EXPECT_EQ(fitted, c.expected) << fitted.width << " x " << fitted.height;
  EXPECT_LE(fitted.width, c.maxWidth);
  EXPECT_LE(fitted.height, c.maxHeight);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, Fit,
    ::testing::Values(
        // The smaller excess (height 100 against width 400) is not the side fitted: width is.
        FitCase{"SmallerHeightExcessFitsByWidth", 1200, 700, 800, 600, {800, 466}},
        FitCase{"EqualExcessesFitByHeight", 900, 700, 800, 600, {771, 600}},
        FitCase{"OnlyTooWide", 1000, 500, 800, 600, {800, 400}},
        FitCase{"OnlyTooTall", 600, 900, 800, 600, {400, 600}},
        FitCase{"SmallerIsNeverEnlarged", 640, 480, 800, 600, {640, 480}},
        FitCase{"SameSize", 800, 600, 800, 600, {800, 600}},
        // By width this would be 700 x 560, taller than the output: fitted by height instead.
        FitCase{"WidthFitWouldOvershootHeight", 1000, 800, 700, 550, {687, 550}},
        // By height this would be 55 wide, wider than the output: fitted by width instead.
        FitCase{"HeightFitWouldOvershootWidth", 110, 200, 10, 100, {10, 18}}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(PictureGeometry, ShrinkingFourColumnsToTwoCollapsesTheLastOnly) {
  CPictureGeometry geometry;
  geometry.Update({4, 2, 8}, 2, 1);
  ASSERT_EQ(geometry.Fitted(), (FittedSize{2, 1}));
  const auto map = geometry.ColumnMap();
  EXPECT_EQ(std::vector<std::uint32_t>(map.begin(), map.end()),
            (std::vector<std::uint32_t>{0, 0, 1, 1}));
  EXPECT_FALSE(geometry.ColumnCollapsed(1));  // its fitted column is 0: it simply overwrites
  EXPECT_FALSE(geometry.ColumnCollapsed(2));
  EXPECT_TRUE(geometry.ColumnCollapsed(3));
}

// An 8-bit working frame as rows of values, top row first, for readable expectations.
std::vector<Bytes> TopDownRows(const Bytes& working, std::uint32_t width, std::uint32_t height,
                               std::uint64_t stride) {
  std::vector<Bytes> rows;
  for (std::uint32_t r = height; r-- > 0;) {
    const auto start = working.begin() + static_cast<std::ptrdiff_t>(r * stride);
    rows.emplace_back(start, start + width);
  }
  return rows;
}

// A native 8-bit picture from rows given top row first (stride padded).
Bytes NativeFromTopDown(const std::vector<Bytes>& rows, std::uint32_t bitCount = 8) {
  const std::uint64_t stride = DibStride(rows[0].size() * 8 / bitCount, bitCount);
  Bytes native;
  for (std::size_t r = rows.size(); r-- > 0;) {
    Bytes row = rows[r];
    row.resize(stride, 0);
    native.insert(native.end(), row.begin(), row.end());
  }
  return native;
}

TEST(ScaledBlit, SmallerPictureIsCentredWithTheOddBorderPixelRightAndTop) {
  const Bytes native = NativeFromTopDown({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
  CPictureGeometry geometry;
  geometry.Update({3, 3, 8}, 6, 6);
  Bytes working(36, 0xCC);
  BlitScaled(native, geometry, working);
  const std::vector<Bytes> expected{{0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}, {0, 1, 2, 3, 0, 0},
                                    {0, 4, 5, 6, 0, 0}, {0, 7, 8, 9, 0, 0}, {0, 0, 0, 0, 0, 0}};
  EXPECT_EQ(TopDownRows(working, 6, 6, 6), expected);
}

TEST(ScaledBlit, SameSizeCopiesRowsAndDropsEightBitPadding) {
  const std::vector<Bytes> rows{{1, 2, 3, 4, 5}, {6, 7, 8, 9, 10}};
  Bytes native = NativeFromTopDown(rows);
  native[5] = 0xAB;  // padding of the bottom stored row
  CPictureGeometry geometry;
  geometry.Update({5, 2, 8}, 5, 2);
  Bytes working(10, 0xCC);
  BlitScaled(native, geometry, working);
  EXPECT_EQ(TopDownRows(working, 5, 2, 5), rows);
}

TEST(ScaledBlit, SameSizeClearsTwentyFourBitPadding) {
  // One 24-bit pixel per row: 3 bytes and one byte of padding.
  const Bytes native{1, 2, 3, 0xAB, 4, 5, 6, 0xAB};
  CPictureGeometry geometry;
  geometry.Update({1, 2, 24}, 1, 2);
  Bytes working(8, 0xCC);
  BlitScaled(native, geometry, working);
  EXPECT_EQ(working, (Bytes{1, 2, 3, 0, 4, 5, 6, 0}));
}

struct DetailCase {
  const char* name;
  std::uint32_t darkRow;  // native stored row holding a one-pixel dark line
};

void PrintTo(const DetailCase& c, std::ostream* os) {
  *os << c.name;
}

class DetailKeeping : public ::testing::TestWithParam<DetailCase> {};

// An 8 x 8 light picture with one dark horizontal line, shrunk 2:1 at 8 bits.
TEST_P(DetailKeeping, OnePixelLineSurvivesAHalvingShrink) {
  const std::uint32_t darkRow = GetParam().darkRow;
  Bytes native(64, 200);
  std::fill_n(native.begin() + 8 * darkRow, 8, 10);
  CPictureGeometry geometry;
  geometry.Update({8, 8, 8}, 4, 4);
  Bytes working(16, 0xCC);
  BlitScaled(native, geometry, working);
  for (std::uint32_t row = 0; row < 4; ++row) {
    for (std::uint32_t column = 0; column < 4; ++column) {
      EXPECT_EQ(working[4 * row + column], row == darkRow / 2 ? 10 : 200)
          << "row " << row << " column " << column;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EitherRowOfThePair, DetailKeeping,
                         ::testing::Values(DetailCase{"EarlierRow", 2}, DetailCase{"LaterRow", 3},
                                           DetailCase{"HigherEarlierRow", 4},
                                           DetailCase{"HigherLaterRow", 5}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(ScaledBlit, OnePixelVerticalLineSurvivesAHalvingShrink) {
  Bytes native(64, 200);
  for (std::uint32_t row = 0; row < 8; ++row) {
    native[8 * row + 4] = 10;  // the earlier column of the pair 4, 5
  }
  CPictureGeometry geometry;
  geometry.Update({8, 8, 8}, 4, 4);
  Bytes working(16, 0xCC);
  BlitScaled(native, geometry, working);
  for (std::uint32_t row = 0; row < 4; ++row) {
    EXPECT_EQ(working[4 * row + 2], 10) << row;
    EXPECT_EQ(working[4 * row + 1], 200) << row;
  }
}

TEST(ScaledBlit, TwentyFourBitsHaveNoDetailRule) {
  // 4 x 8 pixels (stride 12) halved: a dark line in the earlier row of a pair is overwritten.
  Bytes native(12 * 8, 200);
  CPictureGeometry geometry;
  geometry.Update({4, 8, 24}, 2, 4);
  std::fill_n(native.begin() + 12 * 2, 12, 10);
  Bytes working(DibStride(2, 24) * 4, 0xCC);
  BlitScaled(native, geometry, working);
  EXPECT_EQ(working[DibStride(2, 24) * 1], 200);
}

TEST(ScaledBlit, FourBitBytesTravelWholeToTheirEvenColumn) {
  // 4 pixels per row (2 bytes), shrunk to 2 columns: byte k lands at byte colmap[2k] / 2.
  const Bytes native{0x12, 0x34, 0, 0, 0x56, 0x78, 0, 0};
  CPictureGeometry geometry;
  geometry.Update({4, 2, 4}, 2, 1);
  Bytes working(4, 0xCC);
  BlitScaled(native, geometry, working);
  EXPECT_EQ(working[0], 0x78);
}

TEST(ScaledBlit, FourBitOddWidthCentredCopiesWholeBytes) {
  // 3 pixels (2 bytes) centred in 7: offset 2, so the bytes start at byte 1.
  const Bytes native{0x12, 0x30, 0, 0};
  CPictureGeometry geometry;
  geometry.Update({3, 1, 4}, 7, 1);
  Bytes working(4, 0xCC);
  BlitScaled(native, geometry, working);
  EXPECT_EQ(working, (Bytes{0, 0x12, 0x30, 0}));
}

TEST(ScaledBlit, WorkingFrameShorterThanThePictureTakesWholeRowsOnly) {
  const Bytes native(64, 7);
  CPictureGeometry geometry;
  geometry.Update({8, 8, 8}, 8, 8);
  Bytes buffer(64, 0xCC);
  BlitScaled(native, geometry, std::span<std::uint8_t>(buffer).first(20));
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 16), Bytes(16, 7));
  EXPECT_EQ(Bytes(buffer.begin() + 16, buffer.end()), Bytes(48, 0xCC));
}

TEST(PictureGeometry, LocatesPixelsThroughTheMapsAndOffsets) {
  CPictureGeometry geometry;
  geometry.Update({8, 8, 32}, 6, 4);  // fitted 4 x 4, offset 1 column
  const auto place = geometry.Locate(5, 3);
  ASSERT_TRUE(place);
  EXPECT_EQ(place->offset, (1u * 6 + 2 + 1) * 4);
  EXPECT_FALSE(geometry.Locate(8, 0));
  EXPECT_FALSE(geometry.Locate(0, 8));
}

TEST(PictureGeometry, FourBitPixelsKeepTheirNibble) {
  CPictureGeometry geometry;
  geometry.Update({6, 1, 4}, 9, 1);  // offset 1: bytes start at byte 0
  const auto even = geometry.Locate(4, 0);
  const auto odd = geometry.Locate(5, 0);
  ASSERT_TRUE(even && odd);
  EXPECT_EQ(even->offset, 2u);
  EXPECT_EQ(even->nibbleShift, 4);
  EXPECT_EQ(odd->offset, 2u);
  EXPECT_EQ(odd->nibbleShift, 0);
}

}  // namespace
}  // namespace reelkit
