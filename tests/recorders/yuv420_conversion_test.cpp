#include "recorders/yuv420_conversion.h"

#include <gtest/gtest.h>

#include <vector>

namespace reelkit {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Bottom-up 32-bit pixels of one colour (0x00RRGGBB).
Bytes Solid(int width, int height, std::uint32_t color) {
  Bytes picture;
  for (int i = 0; i < width * height; ++i) {
    picture.insert(picture.end(),
                   {static_cast<std::uint8_t>(color), static_cast<std::uint8_t>(color >> 8),
                    static_cast<std::uint8_t>(color >> 16), 0});
  }
  return picture;
}

struct Planes {
  Planes(int width, int height, std::uint8_t fill)
      : luma(static_cast<std::size_t>(EvenSize(width) * EvenSize(height)), fill),
        blue(luma.size() / 4, fill),
        red(luma.size() / 4, fill),
        view{{luma.data(), blue.data(), red.data()},
             {EvenSize(width), EvenSize(width) / 2, EvenSize(width) / 2}} {}
  Bytes luma, blue, red;
  Yuv420Planes view;
};

// Studio-range levels of white, black and a saturated red, the black margin of an odd size, and
// an edge chroma sample that is the picture's colour rather than a mix with the margin.
TEST(Yuv420Converter, GivesStudioLevelsAndABlackMargin) {
  struct Case {
    std::uint32_t color;
    std::uint8_t y, cb, cr;
  };
  for (const Case& c :
       {Case{0xFFFFFF, 235, 128, 128}, Case{0x000000, 16, 128, 128}, Case{0xFF0000, 82, 90, 240}}) {
    SCOPED_TRACE(c.color);
    CYuv420Converter converter(3, 3);
    Planes planes(3, 3, 0xAA);
    converter.Convert(Solid(3, 3, c.color), planes.view, false);
    EXPECT_EQ(planes.luma,
              (Bytes{c.y, c.y, c.y, 16, c.y, c.y, c.y, 16, c.y, c.y, c.y, 16, 16, 16, 16, 16}));
    EXPECT_EQ(planes.blue, Bytes(4, c.cb));
    EXPECT_EQ(planes.red, Bytes(4, c.cr));
  }
}

// Only the rows that changed are converted again when the planes still hold the last picture;
// planes that do not are converted whole.
TEST(Yuv420Converter, ConvertsOnlyChangedRowsIntoPlanesThatHoldTheLastPicture) {
  CYuv420Converter converter(2, 4);
  Bytes picture = Solid(2, 4, 0xFFFFFF);
  Planes first(2, 4, 0);
  converter.Convert(picture, first.view, false);
  std::fill_n(picture.begin(), 8, 0);  // the bottom row turns black
  Planes marked(2, 4, 0x55);
  converter.Convert(picture, marked.view, true);
  EXPECT_EQ(marked.luma, (Bytes{0x55, 0x55, 0x55, 0x55, 235, 235, 16, 16}));
  Planes fresh(2, 4, 0x55);
  converter.Convert(picture, fresh.view, false);
  EXPECT_EQ(fresh.luma, (Bytes{235, 235, 235, 235, 235, 235, 16, 16}));
}

}  // namespace
}  // namespace reelkit
