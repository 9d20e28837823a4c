#include "i18n/catalog_format.h"

#include <gtest/gtest.h>

namespace reelkit {
namespace {

TEST(CatalogFormat, FillsOnlyThePagesPlaceholders) {
  EXPECT_EQ(FormatCatalogText(u"Selected %d file(s), cumulative size: %S", {3u, u"1,024 KB"}),
            u"Selected 3 file(s), cumulative size: 1,024 KB");
  EXPECT_EQ(FormatCatalogText(u"Error 0x%8.8x while", {38u}), u"Error 0x00000026 while");
  EXPECT_EQ(FormatCatalogText(u"%u frames (%u, %d), %u s", {4294967295u, 0u, 7u, 12u}),
            u"4294967295 frames (0, 7), 12 s");
  // A translation's typos are shown, never interpreted.
  EXPECT_EQ(FormatCatalogText(u"100% %s %n %x %8x", {5u}), u"100% %s %n %x %8x");
  EXPECT_EQ(FormatCatalogText(u"%d and %d", {7u}), u"7 and %d");
  EXPECT_EQ(FormatCatalogText(u"%S then %d", {5u, u"text"}), u"%S then %d");
  EXPECT_EQ(FormatCatalogText(u"50%", {}), u"50%");
}

}  // namespace
}  // namespace reelkit
