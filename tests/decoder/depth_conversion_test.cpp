#include "decoder/depth_conversion.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "tests/decoder/decoder_test_support.h"

namespace reelkit {
namespace {

using testing::Bytes;

struct FlagCase {
  const char* name;
  std::uint32_t native;
  std::uint32_t output;
  bool converts;
};

void PrintTo(const FlagCase& c, std::ostream* os) {
  *os << c.name;
}

class ConversionFlag : public ::testing::TestWithParam<FlagCase> {};

TEST_P(ConversionFlag, FollowsTheNativeAndOutputDepths) {
  EXPECT_EQ(ConversionApplies(GetParam().native, GetParam().output), GetParam().converts);
}

INSTANTIATE_TEST_SUITE_P(Depths, ConversionFlag,
                         ::testing::Values(FlagCase{"FourToThirtyTwo", 4, 32, true},
                                           FlagCase{"EightToThirtyTwo", 8, 32, true},
                                           FlagCase{"EightToEight", 8, 8, true},
                                           FlagCase{"TwentyFourToThirtyTwo", 24, 32, true},
                                           FlagCase{"EightToSixteen", 8, 16, true},
                                           FlagCase{"TwentyFourToTwentyFour", 24, 24, false},
                                           FlagCase{"SixteenAsItIs", 16, 16, false},
                                           FlagCase{"ThirtyTwoAsItIs", 32, 32, false},
                                           FlagCase{"SixteenNeverConverts", 16, 32, false}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

// A colour table whose entry i is {i, 0x10 + i, 0x20 + i, 0x30 + i}.
std::array<std::uint8_t, 1024> CountingTable() {
  std::array<std::uint8_t, 1024> table{};
  for (std::size_t i = 0; i < 256; ++i) {
    table[4 * i] = static_cast<std::uint8_t>(i);
    table[4 * i + 1] = static_cast<std::uint8_t>(0x10 + i);
    table[4 * i + 2] = static_cast<std::uint8_t>(0x20 + i);
    table[4 * i + 3] = static_cast<std::uint8_t>(0x30 + i);
  }
  return table;
}

Bytes Entry(std::uint8_t i) {
  return {i, static_cast<std::uint8_t>(0x10 + i), static_cast<std::uint8_t>(0x20 + i),
          static_cast<std::uint8_t>(0x30 + i)};
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

TEST(DepthConversion, FourBitOddWidthTakesTheLastPixelFromTheHighNibble) {
  CPictureGeometry geometry;
  geometry.Update({3, 2, 4}, 3, 2);  // rows of 4 bytes, 2 holding pixels
  const Bytes working{0x12, 0x3F, 0xAA, 0xAA, 0x45, 0x6F, 0xAA, 0xAA};
  const auto table = CountingTable();
  Bytes frame(24, 0xCC);
  ConvertToRgb32(working, geometry, 32, table, frame);
  EXPECT_EQ(frame, Concat({Entry(1), Entry(2), Entry(3), Entry(4), Entry(5), Entry(6)}));
}

TEST(DepthConversion, EightBitPixelsCopyTheirTableEntryInStoredOrder) {
  CPictureGeometry geometry;
  geometry.Update({3, 1, 8}, 3, 1);
  const Bytes working{0, 7, 255};
  const auto table = CountingTable();
  Bytes frame(12, 0xCC);
  ConvertToRgb32(working, geometry, 32, table, frame);
  EXPECT_EQ(frame, Concat({Entry(0), Entry(7), Entry(255)}));
}

TEST(DepthConversion, TwentyFourBitPixelsGetAZeroFourthByte) {
  CPictureGeometry geometry;
  geometry.Update({2, 2, 24}, 2, 2);  // stride 8
  const Bytes working{1, 2, 3, 4, 5, 6, 0xEE, 0xEE, 7, 8, 9, 10, 11, 12, 0xEE, 0xEE};
  Bytes frame(16, 0xCC);
  ConvertToRgb32(working, geometry, 32, CountingTable(), frame);
  EXPECT_EQ(frame, (Bytes{1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0}));
}

// 5-6-5 in the low half, red lowest: full scale stays full scale, half green widens to 0x81.
TEST(DepthConversion, MaskedPixelsWidenNarrowChannels) {
  CPictureGeometry geometry;
  geometry.Update({1, 1, 32}, 1, 1);
  Bytes frame(4, 0xCC);
  ConvertMaskedRgb32(Bytes{0x1F, 0x04, 0, 0}, geometry, {0x1F, 0x7E0, 0xF800}, frame);
  EXPECT_EQ(frame, (Bytes{0, 0x81, 0xFF, 0}));
}

TEST(DepthConversion, CombinationsThatDoNotConvertLeaveTheFrame) {
  CPictureGeometry geometry;
  geometry.Update({2, 1, 24}, 2, 1);
  Bytes frame(8, 0xCC);
  ConvertToRgb32(Bytes(8, 1), geometry, 24, CountingTable(), frame);
  EXPECT_EQ(frame, Bytes(8, 0xCC));
}

TEST(DepthConversion, ShortFrameTakesWholeRowsOnly) {
  CPictureGeometry geometry;
  geometry.Update({2, 3, 8}, 2, 3);
  Bytes buffer(24, 0xCC);
  ConvertToRgb32(Bytes(6, 1), geometry, 32, CountingTable(),
                 std::span<std::uint8_t>(buffer).first(12));
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 8), Concat({Entry(1), Entry(1)}));
  EXPECT_EQ(Bytes(buffer.begin() + 8, buffer.end()), Bytes(16, 0xCC));
}

}  // namespace
}  // namespace reelkit
