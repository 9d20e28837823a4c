#include "thumbnailer/picture_scaling.h"

#include <gtest/gtest.h>

#include "thumbnailer/thumbnail_options.h"

namespace reelkit {
namespace {

struct Fit {
  std::uint32_t width, height, size;
  PictureSize expected;
};

TEST(FitInSquare, LongerSideBecomesTheSizeShorterIsRoundedAndNeverZero) {
  const Fit rows[] = {
      {1920, 1080, 256, {256, 144}}, {1080, 1920, 256, {144, 256}}, {320, 200, 128, {128, 80}},
      {100, 100, 64, {64, 64}},      {4000, 1, 100, {100, 1}},      {1, 65535, 128, {1, 128}},
      {24, 16, 256, {256, 171}},     {1366, 768, 128, {128, 72}},
  };
  for (const Fit& row : rows) {
    EXPECT_EQ(FitInSquare(row.width, row.height, row.size), row.expected)
        << row.width << "x" << row.height << " in " << row.size;
  }
}

StillPicture Picture(std::uint32_t width, std::uint32_t height,
                     std::uint8_t (*value)(std::uint32_t x, std::uint32_t y, int channel)) {
  StillPicture picture{width, height, {}};
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      for (int c = 0; c < 3; ++c) {
        picture.rgb.push_back(value(x, y, c));
      }
    }
  }
  return picture;
}

TEST(ScalePicture, EachPixelAveragesTheBlockItCovers) {
  // Columns alternate black and white: halved, every pixel is the grey between them.
  const StillPicture stripes = Picture(
      8, 4, [](std::uint32_t x, std::uint32_t, int) -> std::uint8_t { return x % 2 ? 255 : 0; });
  const StillPicture grey = ScalePicture(stripes, {4, 2});
  EXPECT_EQ(grey.rgb, std::vector<std::uint8_t>(4 * 2 * 3, 128));

  // Channels are kept apart, and a ratio that is no whole number keeps a flat colour flat.
  const StillPicture flat =
      Picture(7, 5, [](std::uint32_t, std::uint32_t, int c) -> std::uint8_t { return 40 * c + 7; });
  const StillPicture scaled = ScalePicture(flat, {3, 2});
  for (std::size_t k = 0; k < scaled.rgb.size(); ++k) {
    EXPECT_EQ(scaled.rgb[k], 40 * (k % 3) + 7) << k;
  }
}

TEST(ScalePicture, EnlargingRepeatsPixelsAndKeepsTheirOrder) {
  const StillPicture two = Picture(
      2, 1, [](std::uint32_t x, std::uint32_t, int) -> std::uint8_t { return x ? 200 : 10; });
  const StillPicture four = ScalePicture(two, {4, 2});
  const std::vector<std::uint8_t> row = {10, 10, 10, 10, 10, 10, 200, 200, 200, 200, 200, 200};
  EXPECT_EQ(std::vector<std::uint8_t>(four.rgb.begin(), four.rgb.begin() + 12), row);
  EXPECT_EQ(std::vector<std::uint8_t>(four.rgb.begin() + 12, four.rgb.end()), row);
}

TEST(ThumbnailOptions, TakesExactlySizeInputAndOutput) {
  using Args = std::vector<std::string>;
  const auto parsed = ParseThumbnailOptions({"-s", "256", "in.rcrec", "out.png"});
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->size, 256u);
  EXPECT_EQ(parsed->input, "in.rcrec");
  EXPECT_EQ(parsed->output, "out.png");
  EXPECT_TRUE(ParseThumbnailOptions({"-s", "4096", "a", "b"}).has_value());
  const Args refused[] = {
      {},
      {"-s", "256", "in.rcrec"},
      {"-s", "256", "in.rcrec", "out.png", "more"},
      {"-x", "256", "in.rcrec", "out.png"},
      {"-s", "0", "in.rcrec", "out.png"},
      {"-s", "4097", "in.rcrec", "out.png"},
      {"-s", "-5", "in.rcrec", "out.png"},
      {"-s", "12px", "in.rcrec", "out.png"},
      {"-s", "", "in.rcrec", "out.png"},
      {"-s", "256", "", "out.png"},
      {"-s", "256", "in.rcrec", ""},
  };
  for (const Args& arguments : refused) {
    EXPECT_FALSE(ParseThumbnailOptions(arguments).has_value())
        << ::testing::PrintToString(arguments);
  }
}

}  // namespace
}  // namespace reelkit
