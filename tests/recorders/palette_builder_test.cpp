#include "recorders/encoders/palette_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "recorders/encoders/colour_tables.h"

namespace reelkit {
namespace {

Palette RandomPalette(std::uint32_t seed) {
  std::mt19937 random(seed);
  Palette palette{};
  for (std::uint32_t& entry : palette) {
    entry = random() & kColourMask;
  }
  return palette;
}

TEST(ExactColourIndex, FindsEachColourAtItsLowestEntry) {
  Palette palette = RandomPalette(1);
  palette[7] = 0x123456;
  palette[200] = 0x123456;
  CExactColourIndex index;
  index.Rebuild(palette);
  EXPECT_EQ(index.Find(0x123456), 7);
  for (std::size_t i = 0; i < palette.size(); ++i) {
    EXPECT_EQ(palette[static_cast<std::size_t>(index.Find(palette[i]))], palette[i]) << i;
  }
}

TEST(ExactColourIndex, ForgetsReplacedColours) {
  Palette palette{};
  palette[3] = 0xABCDEF;
  CExactColourIndex index;
  index.Rebuild(palette);
  EXPECT_EQ(index.Find(0xABCDEF), 3);
  palette[3] = 0x00FF00;
  index.Rebuild(palette);
  EXPECT_EQ(index.Find(0xABCDEF), CExactColourIndex::kAbsent);
  EXPECT_EQ(index.Find(0x00FF00), 3);
  EXPECT_EQ(index.Find(0x000000), 0);
}

// The cache must give the full search's answer, also for colours cached under an older palette.
TEST(NearestColourCache, AgreesWithTheFullSearchAcrossPaletteChanges) {
  std::mt19937 random(2);
  std::vector<std::uint32_t> colours(3000);
  for (std::uint32_t& colour : colours) {
    colour = random() & kColourMask;
  }
  CNearestColourCache cache;
  for (std::uint32_t seed : {3u, 4u, 5u}) {
    const Palette palette = RandomPalette(seed);
    cache.Reset(palette);
    for (int pass = 0; pass < 2; ++pass) {
      for (const std::uint32_t colour : colours) {
        const PaletteMatch expected = FindNearestEntry(palette, colour);
        const PaletteMatch actual = cache.Find(colour);
        ASSERT_EQ(actual.distance, expected.distance) << std::hex << colour;
        ASSERT_EQ(actual.index, expected.index) << std::hex << colour;
      }
    }
  }
}

TEST(NearestColourCache, SurvivesManyResets) {
  CNearestColourCache cache;
  Palette palette{};
  for (int generation = 0; generation < 600; ++generation) {
    palette[0] = static_cast<std::uint32_t>(generation) * 0x010101 & kColourMask;
    cache.Reset(palette);
    const PaletteMatch match = cache.Find(0x808080);
    ASSERT_EQ(match.distance, ColourDistance(palette[0], 0x808080)) << generation;
  }
}

TEST(ColourCounter, CountsUpToItsCapacityAndStartsAfreshWhenCleared) {
  CColourCounter counter(3);
  EXPECT_TRUE(counter.Add(0x10, 2));
  EXPECT_TRUE(counter.Add(0x20, 1));
  EXPECT_TRUE(counter.Add(0x10, 5));
  EXPECT_TRUE(counter.Add(0x30, 1));
  EXPECT_FALSE(counter.Add(0x40, 1));
  EXPECT_TRUE(counter.Add(0x20, 1));  // known colours still count when full
  ASSERT_EQ(counter.size(), 3u);
  EXPECT_EQ(counter.entries()[0].count, 7u);
  EXPECT_EQ(counter.entries()[1].count, 2u);
  counter.Clear();
  EXPECT_EQ(counter.size(), 0u);
  EXPECT_TRUE(counter.Add(0x40, 1));
  EXPECT_TRUE(counter.Add(0x10, 1));
  EXPECT_EQ(counter.entries()[1].count, 1u);
}

TEST(PaletteBuilder, KeepsEveryColourWhenThereAreFewEnough) {
  CPaletteBuilder builder;
  std::set<std::uint32_t> colours;
  std::mt19937 random(6);
  while (colours.size() < 256) {
    colours.insert(random() & kColourMask);
  }
  for (const std::uint32_t colour : colours) {
    builder.Add(colour, 1 + random() % 1000);
  }
  const Palette palette = builder.Build();
  EXPECT_EQ(builder.Error(palette), 0.0);
  EXPECT_EQ(std::set<std::uint32_t>(palette.begin(), palette.end()), colours);
}

// A smooth gradient across one channel pair plus flat interface colours: the flat colours must
// come out exactly, the gradient close.
TEST(PaletteBuilder, FitsGradientsCloselyAndFlatColoursExactly) {
  CPaletteBuilder builder;
  const std::vector<std::uint32_t> flat = {0xFFFFFF, 0x000000, 0x0063B1, 0xF0F0F0, 0x2D2D30};
  for (const std::uint32_t colour : flat) {
    builder.Add(colour, 100000);
  }
  double pixels = 5 * 100000;
  for (std::uint32_t level = 0; level < 1024; ++level) {
    const std::uint32_t colour = ((level / 4) << 16) | ((level * 3 / 16) << 8) | (255 - level / 8);
    builder.Add(colour, 50);
    pixels += 50;
  }
  const Palette palette = builder.Build();
  for (const std::uint32_t colour : flat) {
    EXPECT_NE(std::find(palette.begin(), palette.end(), colour), palette.end())
        << std::hex << colour;
  }
  const double meanSquaredPerChannel = builder.Error(palette) / pixels / 3;
  EXPECT_LT(meanSquaredPerChannel, 1.0);
}

// Past the builder's cell limit colours merge into coarser cells; the palette must stay sound.
TEST(PaletteBuilder, HandlesMoreColoursThanItKeepsOneByOne) {
  CPaletteBuilder builder;
  std::mt19937 random(7);
  double pixels = 0;
  for (int i = 0; i < 200000; ++i) {
    builder.Add(random() & kColourMask, 1);
    pixels += 1;
  }
  const Palette palette = builder.Build();
  EXPECT_EQ(std::set<std::uint32_t>(palette.begin(), palette.end()).size(), 256u);
  // Uniform noise over the cube: 256 cells of side ~40 give a mean squared error near 130 per
  // channel; an unfitted palette would be far worse.
  EXPECT_LT(builder.Error(palette) / pixels / 3, 250.0);
  EXPECT_GT(builder.Error(Palette{}) / pixels / 3, 10000.0);
}

TEST(PaletteBuilder, ClearForgetsEverything) {
  CPaletteBuilder builder;
  builder.Add(0xFF0000, 10);
  builder.Clear();
  builder.Add(0x00FF00, 10);
  const Palette palette = builder.Build();
  EXPECT_EQ(palette[0], 0x00FF00u);
  EXPECT_EQ(builder.Error(palette), 0.0);
}

}  // namespace
}  // namespace reelkit
