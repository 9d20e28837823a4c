#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "i18n/catalog_keys.h"
#include "i18n/language.h"
#include "i18n/message_catalog.h"
#include "i18n/program_utf8.h"
#include "i18n/resource_pack/catalog_source.h"
#include "tests/testing/temp_dir.h"

namespace reelkit {
namespace {

// The parts of a text that a page fills: its printf-style placeholders and "$1", in order,
// with any other "%" as "%?" so that a translation cannot slip one in.
std::vector<std::u16string> FilledParts(std::u16string_view text) {
  std::vector<std::u16string> parts;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::u16string_view rest = text.substr(i);
    if (rest.starts_with(u"$1")) {
      parts.emplace_back(u"$1");
    } else if (rest.starts_with(u'%')) {
      std::u16string part = u"%?";
      for (std::u16string_view placeholder : {u"%d", u"%u", u"%S", u"%8.8x"}) {
        if (rest.starts_with(placeholder)) {
          part = placeholder;
        }
      }
      parts.push_back(part);
    }
  }
  return parts;
}

TEST(CatalogSources, BuildCarriesEverySourceLineIntoTheProgram) {
  const auto pairs = MergeCatalogSources(REELKIT_SOURCE_DIR "/resources/catalog");
  CMessageCatalog fromSources;
  for (const CatalogPair& pair : pairs) {
    fromSources.StoreText(DecodeProgramUtf8(pair.key), DecodeProgramUtf8(pair.text));
  }
  CMessageCatalog shipped;
  shipped.Load();
  EXPECT_EQ(shipped.Size(), pairs.size());
  for (const CatalogPair& pair : pairs) {
    const std::u16string key = DecodeProgramUtf8(pair.key);
    EXPECT_EQ(shipped.Lookup(key), fromSources.Lookup(key)) << pair.key;
  }
}

TEST(CatalogSources, EveryWizardTextExistsInEveryLanguageWithItsDefaultsPlaceholders) {
  CMessageCatalog english;
  english.Load();
  for (const std::string_view language : kTranslationLanguages) {
    CMessageCatalog catalog;
    catalog.Load();
    catalog.SetLanguage(language);
    for (const std::u16string_view key : catalog_keys::kWizardKeys) {
      const std::u16string& text = catalog.Lookup(key);
      EXPECT_FALSE(text.empty()) << language;
      EXPECT_EQ(FilledParts(text), FilledParts(english.Lookup(key))) << language;
      if (key.starts_with(u"MSG.")) {  // inserted into the welcome page's HTML as it is
        EXPECT_EQ(text.find_first_of(u"<&"), std::u16string::npos) << language;
      }
    }
  }
}

TEST(CatalogSources, MergeFollowsEachDefaultWithItsTranslationsInOrder) {
  const testing::TempDir directory;
  directory.Write("default.txt", "A a\nB b\n");
  for (const std::string_view language : kTranslationLanguages) {
    directory.Write(std::string(language) + ".txt", "");
  }
  directory.Write("fr.txt", "A fa\n");
  directory.Write("de.txt", "B db\nA da\n");
  const std::vector<CatalogPair> expected = {
      {"A", "a"}, {"A:de", "da"}, {"A:fr", "fa"}, {"B", "b"}, {"B:de", "db"}};
  EXPECT_EQ(MergeCatalogSources(directory.path()), expected);

  directory.Write("nl.txt", "C nc\n");
  EXPECT_THROW(MergeCatalogSources(directory.path()), CatalogSourceError);
}

TEST(CatalogSources, TranslatorsMistakesAreRefused) {
  const std::vector<CatalogPair> parsed = {{"KEY", "a \\n b"}};
  EXPECT_EQ(ParseCatalogSource("# note\r\n\r\nKEY \t a \\n b \t\r\n", "x.txt"), parsed);
  for (const std::string_view content :
       {"KEY\n", "KEY   \n", "KEY a\nKEY b\n", "KEY:de a\n", "KEY Caf\xE9\n"}) {
    EXPECT_THROW(ParseCatalogSource(content, "x.txt"), CatalogSourceError) << content;
  }
}

}  // namespace
}  // namespace reelkit
