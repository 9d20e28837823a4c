#include "i18n/page_template.h"

#include <gtest/gtest.h>

#include <string>

#include "i18n/embedded_resources.h"
#include "i18n/message_catalog.h"
#include "tests/testing/temp_dir.h"

namespace reelkit {
namespace {

TEST(PageTemplate, RemoveSectionsKeepsEndMarkersAndAnUnfinishedSection) {
  EXPECT_EQ(RemoveSections(u"a<S>x<E>b<S>y<E>c", u"<S>", u"<E>"), u"a<E>b<E>c");
  EXPECT_EQ(RemoveSections(u"a<S>x<E>b<S>y", u"<S>", u"<E>"), u"a<E>b<S>y");
}

TEST(PageTemplate, DocumentSectionsShowOnlyWhenBothDocumentsLieBesideTheProgram) {
  const testing::TempDir directory;
  const std::string program = directory.File("reelkit");
  const std::u16string page =
      u"<!--DOCSFOUND//-->[<!GSDOCURL!>|<!FULLDOCURL!>]<!--ENDDOCSFOUND//-->"
      u"<!--DOCSNOTFOUND//-->none<!--ENDDOCSNOTFOUND//-->(<!GSDOCURL!>)";
  const std::u16string notFound = u"<!--ENDDOCSFOUND//-->none(<!GSDOCURL!>)";
  EXPECT_EQ(ExpandPageTemplate(page, {program, false}), notFound);

  directory.Write("Kestrix Tolvan Reelkit_manual.pdf", "manual");
  EXPECT_EQ(ExpandPageTemplate(page, {program, false}), notFound);

  directory.Write("Kestrix Tolvan Reelkit_gettingstarted.pdf", "getting started");
  const std::u16string prefix = u"file://" + directory.path().u16string() + u"/Kestrix Tolvan ";
  EXPECT_EQ(ExpandPageTemplate(page, {program, false}),
            u"[" + prefix + u"Reelkit_gettingstarted.pdf|" + prefix +
                u"Reelkit_manual.pdf]<!--ENDDOCSNOTFOUND//-->(" + prefix +
                u"Reelkit_gettingstarted.pdf)");
}

TEST(PageTemplate, TagsAreFilledBeforeSectionsAreChosen) {
  const std::u16string page =
      u"<?vqtmpl?><!PRODUCT!> <!VERSION!>, %LINK<!--VQISRUNNING//--><!VERSION!>"
      u"<!--ENDVQISRUNNING//--><!--IFWIN9XORADMIN//-->root<!--ENDIFWIN9XORADMIN//-->"
      u"<!--IFNOTWIN9XORADMIN//-->user<!--ENDIFNOTWIN9XORADMIN//--> res://Reelkit.exe/a.png";
  const std::u16string filled =
      u"Kestrix Tolvan Reelkit 8.0.53, www.kestrix.example<!--ENDVQISRUNNING//-->";
  EXPECT_EQ(ExpandPageTemplate(page, {"/opt/rk/reelkit", false}),
            filled + u"<!--ENDIFWIN9XORADMIN//-->user res://reelkit/a.png");
  EXPECT_EQ(ExpandPageTemplate(page, {"/opt/rk/reelkit", true}),
            filled + u"root<!--ENDIFNOTWIN9XORADMIN//--> res://reelkit/a.png");
  EXPECT_EQ(ExpandPageTemplate(u"plain Reelkit.exe", {"", false}), u"plain Reelkit.exe");
  EXPECT_EQ(ExpandPageTemplate(u"<!BUILD!>", {}).size(),
            std::string("Jan 13 2016 11:00:08").size());
}

std::pair<std::uint32_t, std::uint32_t> PngSize(std::string_view name) {
  const auto png = FindEmbeddedResource(name);
  const auto bigEndian = [&](std::size_t at) {
    return std::uint32_t{png[at]} << 24 | std::uint32_t{png[at + 1]} << 16 |
           std::uint32_t{png[at + 2]} << 8 | png[at + 3];
  };
  return png.size() < 24 ? std::pair(0u, 0u) : std::pair(bigEndian(16), bigEndian(20));
}

TEST(PageTemplate, WelcomePageComesOutComplete) {
  CMessageCatalog catalog;
  catalog.Load();
  const std::u16string page = ExpandPageTemplate(
      catalog.ExpandKeys(LoadHtmlResource("splash.html")), {"/opt/rk/reelkit", false});
  EXPECT_NE(page.find(u"Kestrix Tolvan Reelkit 8.0.53</span>"), std::u16string::npos);
  for (const std::u16string_view leftover : {u"&MSG.", u"<!", u"<?vqtmpl", u"Reelkit.exe"}) {
    EXPECT_EQ(page.find(leftover), std::u16string::npos) << page.find(leftover);
  }
  EXPECT_NE(page.find(u"res://reelkit/gradient.png"), std::u16string::npos);
  EXPECT_EQ(PngSize("gradient.png"), std::pair(1u, 282u));
  EXPECT_EQ(PngSize("topright.png"), std::pair(309u, 114u));
  EXPECT_EQ(LoadHtmlResource("missing.html"), u"");
}

}  // namespace
}  // namespace reelkit
