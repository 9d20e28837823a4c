#include "decoder/cursor_overlay.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "tests/decoder/decoder_test_support.h"

namespace reelkit {
namespace {

using testing::Bytes;

struct ClassCase {
  const char* name;
  std::uint8_t blue, green, red;
  CursorPixel expected;
};

void PrintTo(const ClassCase& c, std::ostream* os) {
  *os << c.name;
}

class CursorClass : public ::testing::TestWithParam<ClassCase> {};

TEST_P(CursorClass, FollowsTheStoredColour) {
  const ClassCase& c = GetParam();
  EXPECT_EQ(ClassifyCursorPixel(c.blue, c.green, c.red), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Colours, CursorClass,
    ::testing::Values(ClassCase{"KeyColour", 0xEA, 0xEF, 0xBE, CursorPixel::Transparent},
                      ClassCase{"NearKeyColour", 0xEA, 0xEF, 0xBF, CursorPixel::White},
                      ClassCase{"Black", 0, 0, 0, CursorPixel::Black},
                      ClassCase{"MidGrey", 0x80, 0x80, 0x80, CursorPixel::Black},
                      ClassCase{"Pale", 0xB0, 0xC0, 0xD0, CursorPixel::White},
                      ClassCase{"OneByteAtThreshold", 0xFF, 0xA0, 0xFF, CursorPixel::Black},
                      ClassCase{"JustAboveThreshold", 0xA1, 0xA1, 0xA1, CursorPixel::White}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

// Top-down 3-byte pixels of one colour.
Bytes Solid(int width, int height, std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
  Bytes pixels;
  for (int k = 0; k < width * height; ++k) {
    pixels.insert(pixels.end(), {blue, green, red});
  }
  return pixels;
}

struct Overlay {
  CCursorOverlay cursor;
  CInflater inflater;

  void Shape(int width, int height, int hotspotX, int hotspotY, const Bytes& topDownBgr) {
    cursor.SetShape(testing::CursorShapePayload(width, height, hotspotX, hotspotY, topDownBgr),
                    inflater);
  }
  void MoveTo(int x, int y) { cursor.SetPosition(testing::CursorPositionPayload(x, y)); }
};

TEST(CursorOverlay, ShapeRowsComeOutTopFirst) {
  Overlay overlay;
  // Top row black, bottom row white.
  Bytes pixels = Solid(2, 1, 0, 0, 0);
  const Bytes white = Solid(2, 1, 0xFF, 0xFF, 0xFF);
  pixels.insert(pixels.end(), white.begin(), white.end());
  overlay.Shape(2, 2, 0, 0, pixels);
  ASSERT_TRUE(overlay.cursor.HasShape());
  EXPECT_EQ(overlay.cursor.PixelAt(1, 0), CursorPixel::Black);
  EXPECT_EQ(overlay.cursor.PixelAt(1, 1), CursorPixel::White);
}

TEST(CursorOverlay, NothingIsDrawnBeforeTheFirstShape) {
  Overlay overlay;
  overlay.MoveTo(1, 1);
  CPictureGeometry geometry;
  geometry.Update({4, 4, 32}, 4, 4);
  Bytes picture(64, 0x55);
  overlay.cursor.Draw(picture, geometry);
  EXPECT_EQ(picture, Bytes(64, 0x55));
}

TEST(CursorOverlay, ImageShorterThanItsSizeKeepsThePreviousShape) {
  Overlay overlay;
  overlay.Shape(1, 1, 0, 0, Solid(1, 1, 0, 0, 0));
  // Claims 2 x 2 but holds one pixel.
  overlay.cursor.SetShape(testing::CursorShapePayload(2, 2, 0, 0, Solid(1, 1, 0xFF, 0xFF, 0xFF)),
                          overlay.inflater);
  EXPECT_EQ(overlay.cursor.Width(), 1);
  EXPECT_EQ(overlay.cursor.PixelAt(0, 0), CursorPixel::Black);
  // A raw length below width x height x 3 is refused as well.
  overlay.cursor.SetShape(testing::CursorShapePayload(1, 1, 0, 0, Solid(1, 1, 0xFF, 0xFF, 0xFF), 2),
                          overlay.inflater);
  EXPECT_EQ(overlay.cursor.PixelAt(0, 0), CursorPixel::Black);
}

// Hiding the cursor is an empty shape; a size the decoder refuses hides it as well.
TEST(CursorOverlay, EmptyOrRefusedSizeHidesTheCursor) {
  CPictureGeometry geometry;
  geometry.Update({2, 2, 8}, 2, 2);
  for (const auto& [width, height] : {std::pair{0, 0}, {1, 0}, {-1, 1}, {kMaxCursorSide + 1, 1}}) {
    Overlay overlay;
    overlay.Shape(1, 1, 0, 0, Solid(1, 1, 0, 0, 0));
    overlay.cursor.SetShape(testing::CursorShapePayload(width, height, 0, 0, {}), overlay.inflater);
    Bytes picture(4, 9);
    overlay.cursor.Draw(picture, geometry);
    EXPECT_EQ(picture, Bytes(4, 9)) << width << " x " << height;
  }
}

// A 1 x 1 image whose stream goes on with zeros: accepted while they end within the raw length,
// refused once they pass the largest image a cursor can have, whatever raw length is claimed.
TEST(CursorOverlay, StreamMustEndWithinTheRawLengthAndTheLargestCursorImage) {
  for (const std::uint64_t tail : {std::uint64_t{1000}, kMaxCursorImageBytes}) {
    Bytes image = {0xFF, 0xFF, 0xFF};
    image.resize(3 + tail, 0);
    const Bytes compressed = testing::Deflate(image);
    for (const std::uint32_t rawLength : {static_cast<std::uint32_t>(3 + tail - 1),
                                          static_cast<std::uint32_t>(3 + tail), 0xFFFFFFFFu}) {
      Bytes payload(8, 0);
      testing::PutI32(payload, 1);
      testing::PutI32(payload, 1);
      testing::PutI32(payload, 0);
      testing::PutI32(payload, 0);
      testing::PutU32(payload, static_cast<std::uint32_t>(compressed.size()));
      testing::PutU32(payload, rawLength);
      payload.insert(payload.end(), compressed.begin(), compressed.end());
      Overlay overlay;
      overlay.cursor.SetShape(payload, overlay.inflater);
      const bool fits = rawLength >= 3 + tail && 3 + tail <= kMaxCursorImageBytes;
      EXPECT_EQ(overlay.cursor.HasShape(), fits) << tail << " " << rawLength;
    }
  }
}

TEST(CursorOverlay, WhiteFillsEveryBitAtThirtyTwoAndSixteenBits) {
  for (const std::uint32_t bits : {32u, 16u}) {
    Overlay overlay;
    overlay.Shape(1, 1, 0, 0, Solid(1, 1, 0xFF, 0xFF, 0xFF));
    overlay.MoveTo(0, 0);
    CPictureGeometry geometry;
    geometry.Update({1, 1, bits}, 1, 1);
    Bytes picture(4, 0x12);
    overlay.cursor.Draw(picture, geometry);
    EXPECT_EQ(picture, bits == 32 ? Bytes(4, 0xFF) : (Bytes{0xFF, 0xFF, 0x12, 0x12})) << bits;
  }
}

TEST(CursorOverlay, KeyColourCursorLeavesThePicture) {
  Overlay overlay;
  overlay.Shape(3, 3, 1, 1, Solid(3, 3, 0xEA, 0xEF, 0xBE));
  overlay.MoveTo(2, 2);
  CPictureGeometry geometry;
  geometry.Update({4, 4, 8}, 4, 4);
  Bytes picture = testing::PatternImage(16, 1);
  const Bytes before = picture;
  overlay.cursor.Draw(picture, geometry);
  EXPECT_EQ(picture, before);
}

struct ClipCase {
  const char* name;
  int x, y;  // hotspot position; the 3 x 3 cursor's hotspot is its centre
};

void PrintTo(const ClipCase& c, std::ostream* os) {
  *os << c.name;
}

class CursorClip : public ::testing::TestWithParam<ClipCase> {};

// An 8-bit 5 x 4 picture: every cursor pixel inside it is drawn black (index 0), none outside.
TEST_P(CursorClip, DrawsExactlyThePixelsInsideThePicture) {
  const ClipCase& c = GetParam();
  constexpr int kWidth = 5;
  constexpr int kHeight = 4;
  Overlay overlay;
  overlay.Shape(3, 3, 1, 1, Solid(3, 3, 0, 0, 0));
  overlay.MoveTo(c.x, c.y);
  CPictureGeometry geometry;
  geometry.Update({kWidth, kHeight, 8}, kWidth, kHeight);
  Bytes buffer(kWidth * kHeight + 8, 0x77);
  const std::span<std::uint8_t> picture = std::span<std::uint8_t>(buffer).first(kWidth * kHeight);
  overlay.cursor.Draw(picture, geometry);

  std::set<std::pair<int, int>> expected;
  for (int y = c.y - 1; y <= c.y + 1; ++y) {
    for (int x = c.x - 1; x <= c.x + 1; ++x) {
      if (x >= 0 && x < kWidth && y >= 0 && y < kHeight) {
        expected.insert({x, y});
      }
    }
  }
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const std::uint8_t byte = picture[static_cast<std::size_t>((kHeight - 1 - y) * kWidth + x)];
      EXPECT_EQ(byte, expected.count({x, y}) != 0 ? 0 : 0x77) << "x " << x << " y " << y;
    }
  }
  EXPECT_EQ(Bytes(buffer.end() - 8, buffer.end()), Bytes(8, 0x77));
  overlay.cursor.Restore(picture);
  EXPECT_EQ(buffer, Bytes(buffer.size(), 0x77));
}

INSTANTIATE_TEST_SUITE_P(Edges, CursorClip,
                         ::testing::Values(ClipCase{"Inside", 2, 2}, ClipCase{"TopLeft", 0, 0},
                                           ClipCase{"Top", 2, 0}, ClipCase{"TopRight", 4, 0},
                                           ClipCase{"Right", 4, 2}, ClipCase{"BottomRight", 4, 3},
                                           ClipCase{"Bottom", 2, 3}, ClipCase{"BottomLeft", 0, 3},
                                           ClipCase{"Left", 0, 2}, ClipCase{"PastTheRight", 6, 2},
                                           ClipCase{"PastTheTop", 2, -2},
                                           ClipCase{"FarAway", -40000, 90000}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(CursorOverlay, RestoreUndoesAShrunkDrawingExactly) {
  // Halved 8 x 8 picture: pairs of cursor pixels land on one working pixel.
  Overlay overlay;
  Bytes pixels = Solid(4, 4, 0, 0, 0);
  for (std::size_t k = 0; k < pixels.size(); k += 6) {
    pixels[k] = pixels[k + 1] = pixels[k + 2] = 0xFF;  // alternate white and black
  }
  overlay.Shape(4, 4, 0, 0, pixels);
  overlay.MoveTo(3, 2);
  CPictureGeometry geometry;
  geometry.Update({8, 8, 32}, 4, 4);
  Bytes picture = testing::PatternImage(64, 3);
  const Bytes before = picture;
  overlay.cursor.Draw(picture, geometry);
  EXPECT_NE(picture, before);
  overlay.cursor.Restore(picture);
  EXPECT_EQ(picture, before);
}

TEST(CursorOverlay, FourBitCursorWritesTheNibblesOfItsScreenColumns) {
  Overlay overlay;
  // Black, white across one row.
  Bytes pixels = Solid(1, 1, 0, 0, 0);
  const Bytes white = Solid(1, 1, 0xFF, 0xFF, 0xFF);
  pixels.insert(pixels.end(), white.begin(), white.end());
  overlay.Shape(2, 1, 0, 0, pixels);
  overlay.MoveTo(1, 0);  // columns 1 (low nibble of byte 0) and 2 (high nibble of byte 1)
  CPictureGeometry geometry;
  geometry.Update({4, 1, 4}, 4, 1);
  Bytes picture{0x55, 0x55, 0, 0};
  overlay.cursor.Draw(picture, geometry);
  EXPECT_EQ(picture, (Bytes{0x50, 0xF5, 0, 0}));
  overlay.cursor.Restore(picture);
  EXPECT_EQ(picture, (Bytes{0x55, 0x55, 0, 0}));
}

TEST(CursorOverlay, HotspotShiftsTheDrawing) {
  Overlay overlay;
  overlay.Shape(1, 1, 5, 7, Solid(1, 1, 0, 0, 0));
  overlay.MoveTo(6, 7);  // draws at screen (1, 0), stored row 1 of 2
  CPictureGeometry geometry;
  geometry.Update({2, 2, 8}, 2, 2);
  Bytes picture(4, 9);
  overlay.cursor.Draw(picture, geometry);
  EXPECT_EQ(picture, (Bytes{9, 9, 9, 0}));
}

}  // namespace
}  // namespace reelkit
