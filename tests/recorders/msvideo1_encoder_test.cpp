#include "recorders/encoders/msvideo1_encoder.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <limits>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "recorders/picture_conversion.h"
#include "tests/recorders/msvideo1_reference.h"
#include "tests/recorders/rle_test_pictures.h"
#include "tests/testing/allocation_count.h"

namespace reelkit {
namespace {

// --- Pictures: 0x00RRGGBB, bottom-up rows, stride width -----------------------------------------

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;

  std::uint32_t& At(int x, int rowFromTop) {
    return pixels[static_cast<std::size_t>(height - 1 - rowFromTop) * width + x];
  }
};

Picture MakePicture(int width, int height, const std::function<std::uint32_t(int, int)>& colourAt) {
  Picture picture{width, height,
                  std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      picture.At(x, y) = colourAt(x, y);
    }
  }
  return picture;
}

std::vector<std::uint16_t> ToRgb555(const Picture& picture) {
  std::vector<std::uint16_t> out(picture.pixels.size());
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = reelkit::ToRgb555(picture.pixels[i]);
  }
  return out;
}

Picture FromImage(const QImage& image) {
  return Picture{image.width(), image.height(), testing::PictureFromImage(image)};
}

// A window of anti-aliased text on a light background, as a typing session shows it.
Picture TextPicture(int width, int height, const QString& text) {
  testing::EnsureGuiApplication();
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(QColor(236, 236, 236));
  QPainter painter(&image);
  painter.fillRect(8, 8, width - 16, height - 16, QColor(255, 255, 255));
  painter.setPen(QColor(20, 20, 60));
  QFont font("DejaVu Sans");
  font.setPixelSize(13);
  painter.setFont(font);
  painter.drawText(QRect(14, 14, width - 28, height - 28), Qt::TextWordWrap, text);
  painter.end();
  return FromImage(image);
}

Picture GradientPicture(int width, int height) {
  return MakePicture(width, height, [&](int x, int y) {
    const auto r = static_cast<std::uint32_t>(255 * x / (width - 1));
    const auto g = static_cast<std::uint32_t>(255 * y / (height - 1));
    const auto b = static_cast<std::uint32_t>((x + y) % 256);
    return r << 16 | g << 8 | b;
  });
}

const char kSampleText[] =
    "The quick brown fox jumps over the lazy dog. 0123456789 Pack my box with five dozen liquor "
    "jugs! Sphinx of black quartz, judge my vow. {[()]} <=> #$%&* The five boxing wizards jump.";

// Peak signal-to-noise ratio over the three 5-bit components.
double Psnr555(const std::vector<std::uint16_t>& a, const std::vector<std::uint16_t>& b) {
  double squares = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    for (int shift : {10, 5, 0}) {
      const int d = ((a[i] >> shift) & 31) - ((b[i] >> shift) & 31);
      squares += d * d;
    }
  }
  if (squares == 0) {
    return std::numeric_limits<double>::infinity();
  }
  const double meanSquare = squares / (3.0 * static_cast<double>(a.size()));
  return 10.0 * std::log10(31.0 * 31.0 / meanSquare);
}

// Walks a picture's codes as a decoder does and counts the blocks they cover; -1 when a code runs
// past the end or the picture does not end with the end marker right after its last block.
int CountCodedBlocks(const ByteBlock& data, int blocks) {
  std::size_t at = 0;
  int covered = 0;
  while (covered < blocks) {
    if (at + 2 > data.size()) {
      return -1;
    }
    const std::uint8_t low = data[at];
    const std::uint8_t high = data[at + 1];
    if (high >= 0x84 && high < 0x88) {
      covered += (high - 0x84) * 256 + low;
      at += 2;
    } else if (high >= 0x80) {
      covered += 1;
      at += 2;
    } else {
      if (at + 4 > data.size()) {
        return -1;
      }
      at += (data[at + 3] & 0x80) != 0 ? 18 : 6;
      covered += 1;
    }
  }
  const bool endsClean = at + 2 == data.size() && data[at] == 0 && data[at + 1] == 0;
  return at <= data.size() && endsClean ? covered : -1;
}

// --- Tests ---------------------------------------------------------------------------------------

struct ExactCase {
  const char* name;
  std::function<std::uint32_t(int, int)> colourAt;
};

void PrintTo(const ExactCase& row, std::ostream* out) {
  *out << row.name;
}

class Msvc1ExactTest : public ::testing::TestWithParam<ExactCase> {};

TEST_P(Msvc1ExactTest, KeyFrameDecodesToTheRgb555Picture) {
  const Picture picture = MakePicture(64, 32, GetParam().colourAt);
  CMsvc1Encoder encoder(64, 32, 10);
  Msvc1Frame frame;
  encoder.Encode(picture.pixels, frame);

  EXPECT_TRUE(frame.key);
  EXPECT_EQ(CountCodedBlocks(frame.data, 16 * 8), 16 * 8);
  testing::CMsvideo1ReferenceDecoder decoder(64, 32);
  const std::vector<std::uint16_t> decoded = decoder.Decode(frame.data.span());
  EXPECT_EQ(decoded, ToRgb555(picture));
  EXPECT_TRUE(std::equal(decoded.begin(), decoded.end(), encoder.Reconstruction().begin()));
}

INSTANTIATE_TEST_SUITE_P(
    FlatAndTwoColour, Msvc1ExactTest,
    ::testing::Values(
        ExactCase{"Black", [](int, int) { return 0x000000U; }},
        ExactCase{"White", [](int, int) { return 0xFFFFFFU; }},
        ExactCase{"DesktopBlue", [](int, int) { return 0x3A6EA5U; }},
        // Red 1 in RGB555: a one-colour code of it would read as a skip.
        ExactCase{"RedOfOneStep", [](int, int) { return 0x0C2040U; }},
        ExactCase{"TopRightPixelOdd",
                  [](int x, int y) { return x % 4 == 3 && y % 4 == 0 ? 0xFF0000U : 0x00FF00U; }},
        ExactCase{"Checkerboard", [](int x, int y) { return (x + y) % 2 ? 0xFFFFFFU : 0x000000U; }},
        ExactCase{"VerticalStripes", [](int x, int) { return x % 3 == 0 ? 0x102030U : 0xE0D0C0U; }},
        ExactCase{"TwoColoursWithRedOfOneStep",
                  [](int x, int y) { return (x * y) % 5 ? 0x0C0C0CU : 0x0F00F0U; }},
        ExactCase{"FourColoursOnePerQuadrantHalf",
                  [](int x, int y) {
                    const std::uint32_t colours[4] = {0xFF0000U, 0x00FF00U, 0x0000FFU, 0xFFFF00U};
                    return colours[(x / 2 + y / 2) % 4] ^ ((x + y) % 2 ? 0x000000U : 0xFFFFFFU);
                  }}),
    [](const ::testing::TestParamInfo<ExactCase>& row) { return std::string(row.param.name); });

// Changing content over key and inter frames: after every picture the independent decoder must
// hold exactly what the encoder believes it holds, and each key frame must decode on its own.
TEST(Msvc1Encoder, EverySequenceDecodesToTheTrackedPicture) {
  constexpr int kWidth = 160;
  constexpr int kHeight = 96;
  const Picture gradient = GradientPicture(kWidth, kHeight);
  std::vector<Picture> pictures;
  for (int step = 0; step < 10; ++step) {
    Picture picture =
        step < 4 ? TextPicture(kWidth, kHeight, QString(kSampleText).left(20 * step)) : gradient;
    // A small square wandering about, and from the sixth picture a faint flicker of one step.
    for (int y = 10; y < 22; ++y) {
      for (int x = 0; x < 12; ++x) {
        picture.At(x + step * 13, y + step * 7) = 0xC03020U;
      }
    }
    if (step >= 6) {
      for (std::size_t i = step; i < picture.pixels.size(); i += 7) {
        picture.pixels[i] ^= 0x080808U;
      }
    }
    pictures.push_back(std::move(picture));
  }
  CMsvc1Encoder encoder(kWidth, kHeight, 4);
  testing::CMsvideo1ReferenceDecoder decoder(kWidth, kHeight);
  Msvc1Frame frame;
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    SCOPED_TRACE("picture " + std::to_string(i));
    encoder.Encode(pictures[i].pixels, frame);
    ASSERT_EQ(CountCodedBlocks(frame.data, 40 * 24), 40 * 24);
    const std::vector<std::uint16_t> decoded = decoder.Decode(frame.data.span());
    ASSERT_TRUE(std::equal(decoded.begin(), decoded.end(), encoder.Reconstruction().begin()));
    if (frame.key) {
      testing::CMsvideo1ReferenceDecoder fresh(kWidth, kHeight);
      EXPECT_EQ(fresh.Decode(frame.data.span()), decoded);
    }
    // Coding against the decoder's picture keeps every picture close to its source.
    EXPECT_GT(Psnr555(decoded, ToRgb555(pictures[i])), 24.0);
  }
}

struct QualityCase {
  const char* name;
  std::function<Picture()> make;
};

void PrintTo(const QualityCase& row, std::ostream* out) {
  *out << row.name;
}

class Msvc1QualityTest : public ::testing::TestWithParam<QualityCase> {};

// Our encoder against libavcodec's on the same picture: no more than half a decibel worse, and
// no more than a quarter larger.
TEST_P(Msvc1QualityTest, StaysCloseToTheReferenceEncoder) {
  const Picture picture = GetParam().make();
  const std::vector<std::uint16_t> source = ToRgb555(picture);
  CMsvc1Encoder ours(picture.width, picture.height, 10);
  testing::CMsvideo1ReferenceEncoder reference(picture.width, picture.height, 10);
  Msvc1Frame ourFrame;
  Msvc1Frame referenceFrame;
  ours.Encode(picture.pixels, ourFrame);
  reference.Load(picture.pixels);
  reference.Encode(referenceFrame);

  testing::CMsvideo1ReferenceDecoder ourDecoder(picture.width, picture.height);
  testing::CMsvideo1ReferenceDecoder referenceDecoder(picture.width, picture.height);
  const double ourPsnr = Psnr555(ourDecoder.Decode(ourFrame.data.span()), source);
  const double referencePsnr = Psnr555(referenceDecoder.Decode(referenceFrame.data.span()), source);
  RecordProperty("psnr", std::to_string(ourPsnr));
  RecordProperty("reference_psnr", std::to_string(referencePsnr));
  RecordProperty("bytes", std::to_string(ourFrame.data.size()));
  RecordProperty("reference_bytes", std::to_string(referenceFrame.data.size()));
  EXPECT_GE(ourPsnr, referencePsnr - 0.5);
  EXPECT_LE(static_cast<double>(ourFrame.data.size()),
            1.25 * static_cast<double>(referenceFrame.data.size()));
}

INSTANTIATE_TEST_SUITE_P(
    OddContent, Msvc1QualityTest,
    ::testing::Values(
        QualityCase{"Gradient", [] { return GradientPicture(320, 240); }},
        QualityCase{"Text", [] { return TextPicture(320, 240, QString(kSampleText).repeated(3)); }},
        QualityCase{"TextOverGradient",
                    [] {
                      Picture picture = TextPicture(320, 240, kSampleText);
                      const Picture gradient = GradientPicture(320, 240);
                      for (std::size_t i = 0; i < picture.pixels.size() / 2; ++i) {
                        picture.pixels[i] = gradient.pixels[i];
                      }
                      return picture;
                    }},
        QualityCase{"Noise",
                    [] {
                      std::uint32_t state = 12345;
                      return MakePicture(320, 240, [&](int, int) {
                        state = state * 1664525U + 1013904223U;
                        return state >> 8;
                      });
                    }}),
    [](const ::testing::TestParamInfo<QualityCase>& row) { return std::string(row.param.name); });

struct SkipCase {
  const char* name;
  std::function<void(Picture&)> change;  // applied to the second picture
  std::size_t expectedSize;              // bytes of the inter frame
};

void PrintTo(const SkipCase& row, std::ostream* out) {
  *out << row.name;
}

class Msvc1SkipTest : public ::testing::TestWithParam<SkipCase> {};

// 320 x 4 blocks: 1280 blocks, more than one skip code can count, so runs span rows and codes.
TEST_P(Msvc1SkipTest, UnchangedBlocksBecomeSkipRuns) {
  constexpr int kWidth = 1280;
  constexpr int kHeight = 16;
  const Picture first = GradientPicture(kWidth, kHeight);
  Picture second = first;
  GetParam().change(second);
  CMsvc1Encoder encoder(kWidth, kHeight, 100);
  testing::CMsvideo1ReferenceDecoder decoder(kWidth, kHeight);
  Msvc1Frame frame;
  encoder.Encode(first.pixels, frame);
  decoder.Decode(frame.data.span());
  encoder.Encode(second.pixels, frame);

  EXPECT_FALSE(frame.key);
  EXPECT_EQ(frame.data.size(), GetParam().expectedSize);
  EXPECT_EQ(CountCodedBlocks(frame.data, 1280), 1280);
  const std::vector<std::uint16_t> decoded = decoder.Decode(frame.data.span());
  EXPECT_TRUE(std::equal(decoded.begin(), decoded.end(), encoder.Reconstruction().begin()));
}

void PaintBlock(Picture& picture, int blockX, int blockRowFromBottom, std::uint32_t colour) {
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      picture.pixels[static_cast<std::size_t>(blockRowFromBottom * 4 + y) * picture.width +
                     blockX * 4 + x] = colour;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, Msvc1SkipTest,
    ::testing::Values(
        // 1023 + 257 blocks in two codes, then the end marker; the gradient's blocks are lossy, and
        // still not coded again.
        SkipCase{"NothingChanged", [](Picture&) {}, 2 + 2 + 2},
        // The fourth byte of each pixel carries no colour.
        SkipCase{"OnlyTheUnusedByteChanged",
                 [](Picture& p) {
                   for (auto& pixel : p.pixels) {
                     pixel |= 0xFF000000U;
                   }
                 },
                 6},
        SkipCase{"FirstBlockOnly", [](Picture& p) { PaintBlock(p, 0, 0, 0x00FF00U); },
                 2 + 2 + 2 + 2},
        SkipCase{"LastBlockOnly", [](Picture& p) { PaintBlock(p, 319, 3, 0x00FF00U); },
                 2 + 2 + 2 + 2},
        // 319 skipped on the bottom row and 319 more on the next: one run across the row end.
        SkipCase{"OnePerRowAtTheLeft",
                 [](Picture& p) {
                   for (int row = 0; row < 4; ++row) {
                     PaintBlock(p, 0, row, 0x00FF00U);
                   }
                 },
                 4 * (2 + 2) + 2},
        // A change below what RGB555 can show is no change.
        SkipCase{"ChangeInvisibleInRgb555",
                 [](Picture& p) {
                   for (auto& pixel : p.pixels) {
                     pixel &= 0xF8F8F8U;
                   }
                 },
                 6}),
    [](const ::testing::TestParamInfo<SkipCase>& row) { return std::string(row.param.name); });

TEST(Msvc1Encoder, KeyFramesComeAtTheInterval) {
  const Picture picture = GradientPicture(32, 16);
  for (int interval : {1, 3, 7}) {
    CMsvc1Encoder encoder(32, 16, interval);
    Msvc1Frame frame;
    for (int i = 0; i < 15; ++i) {
      encoder.Encode(picture.pixels, frame);
      EXPECT_EQ(frame.key, i % interval == 0) << "interval " << interval << ", frame " << i;
      // A key frame of an unchanged picture codes every block all the same.
      EXPECT_EQ(CountCodedBlocks(frame.data, 32), 32);
      if (frame.key) {
        testing::CMsvideo1ReferenceDecoder fresh(32, 16);
        const std::vector<std::uint16_t> decoded = fresh.Decode(frame.data.span());
        EXPECT_TRUE(std::equal(decoded.begin(), decoded.end(), encoder.Reconstruction().begin()));
      } else {
        EXPECT_EQ(frame.data.size(), 4U);
      }
    }
  }
}

// A spacer is coded without looking at its picture; the stream must be the one that coding the
// same picture again gives, key frames included.
TEST(Msvc1Encoder, UnchangedPictureCodedUnseenEqualsCodingItAgain) {
  CMsvc1Encoder seeing(32, 16, 4);
  CMsvc1Encoder unseeing(32, 16, 4);
  Msvc1Frame seen;
  Msvc1Frame unseen;
  EXPECT_FALSE(unseeing.EncodeUnchanged(unseen));  // nothing to repeat yet
  Picture picture = GradientPicture(32, 16);
  for (int i = 0; i < 12; ++i) {
    const bool repeat = i % 3 != 0;
    if (!repeat) {
      picture.pixels[static_cast<std::size_t>(i) * 5] ^= 0x00FFFFFF;
    }
    seeing.Encode(picture.pixels, seen);
    if (!repeat) {
      unseeing.Encode(picture.pixels, unseen);
    } else {
      ASSERT_TRUE(unseeing.EncodeUnchanged(unseen)) << i;
    }
    EXPECT_EQ(unseen.data, seen.data) << i;
    EXPECT_EQ(unseen.key, seen.key) << i;
  }
}

struct BadArguments {
  const char* name;
  int width;
  int height;
  int keyInterval;
};

void PrintTo(const BadArguments& row, std::ostream* out) {
  *out << row.name;
}

class Msvc1ArgumentsTest : public ::testing::TestWithParam<BadArguments> {};

TEST_P(Msvc1ArgumentsTest, AreRefused) {
  const BadArguments& bad = GetParam();
  EXPECT_THROW(CMsvc1Encoder(bad.width, bad.height, bad.keyInterval), std::invalid_argument);
}

INSTANTIATE_TEST_SUITE_P(Construction, Msvc1ArgumentsTest,
                         ::testing::Values(BadArguments{"WidthNotWholeBlocks", 30, 16, 10},
                                           BadArguments{"HeightNotWholeBlocks", 32, 18, 10},
                                           BadArguments{"ZeroWidth", 0, 16, 10},
                                           BadArguments{"NegativeHeight", 32, -16, 10},
                                           BadArguments{"HugeWidth", 1 << 20, 16, 10},
                                           BadArguments{"NoKeyInterval", 32, 16, 0}),
                         [](const ::testing::TestParamInfo<BadArguments>& row) {
                           return std::string(row.param.name);
                         });

TEST(Msvc1Encoder, RefusesAPictureShorterThanItsSize) {
  CMsvc1Encoder encoder(32, 16, 10);
  const std::vector<std::uint32_t> shortPicture(32 * 16 - 1);
  Msvc1Frame frame;
  EXPECT_THROW(encoder.Encode(shortPicture, frame), std::invalid_argument);
}

TEST(Msvc1Encoder, AllocatesNothingOnceRunning) {
  constexpr int kWidth = 160;
  constexpr int kHeight = 96;
  std::vector<Picture> pictures;
  pictures.push_back(GradientPicture(kWidth, kHeight));
  for (int step = 1; step < 6; ++step) {
    pictures.push_back(TextPicture(kWidth, kHeight, QString(kSampleText).left(15 * step)));
  }
  CMsvc1Encoder encoder(kWidth, kHeight, 3);
  Msvc1Frame frame;
  // The noisiest picture first: the output buffer then has all the room it will need.
  std::uint32_t state = 7;
  const Picture noise = MakePicture(kWidth, kHeight, [&](int, int) {
    state = state * 1664525U + 1013904223U;
    return state >> 8;
  });
  encoder.Encode(noise.pixels, frame);

  const testing::CAllocationCount allocations;
  for (const Picture& picture : pictures) {
    encoder.Encode(picture.pixels, frame);
  }
  EXPECT_EQ(allocations.Made(), 0u);
}

}  // namespace
}  // namespace reelkit
