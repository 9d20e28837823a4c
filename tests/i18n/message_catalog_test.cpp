#include "i18n/message_catalog.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "i18n/program_utf8.h"
#include "i18n/resource_pack/catalog_source.h"

namespace reelkit {
namespace {

const CMessageCatalog& ShippedCatalog(std::string_view language) {
  static std::map<std::string, CMessageCatalog, std::less<>> catalogs;
  auto [entry, added] = catalogs.try_emplace(std::string(language));
  if (added) {
    entry->second.Load();
    entry->second.SetLanguage(language);
  }
  return entry->second;
}

std::vector<std::uint8_t> ResourceOf(std::string_view strings) {
  return CompressCatalogStrings(
      {reinterpret_cast<const std::uint8_t*>(strings.data()), strings.size()});
}

struct LookupRow {
  const char* name;
  std::string_view language;
  std::u16string_view key;
  std::u16string_view text;
};

TEST(MessageCatalog, LookupFallsBackThroughPrefixesAndLanguage) {
  const LookupRow rows[] = {
      {"plain key", "", u"VQGUI.REELKIT.MSGBOX.CANCELQ",
       u"Are you sure you want to cancel this operation?"},
      {"VQGUI. added", "", u"REELKIT.MSGBOX.CANCELQ",
       u"Are you sure you want to cancel this operation?"},
      {"MSG. dropped", "", u"MSG.VQGUI.REELKIT.REVIEW.LINE3", u"Files will be saved in:"},
      {"MSG. dropped but VQGUI. not added", "", u"MSG.REELKIT.REVIEW.LINE3", u""},
      {"prefixes ignore case, keys do not", "", u"msg.vqgui.reelkit.review.line3", u""},
      {"product name", "", u"VQGUI.REELKIT.MSGBOX.CONVSUCCESS",
       u"Kestrix Tolvan Reelkit has converted the selected files."},
      {"version", "", u"VQGUI.REELKIT.TOLVANWELCOME.LINE1", u"Kestrix Tolvan Reelkit 8.0.53"},
      {"language asked explicitly", "", u"VQGUI.REELKIT.MSGBOX.CANCELQ:de",
       u"Möchten Sie diesen Vorgang wirklich abbrechen?"},
      {"explicit language has no fallback", "", u"VQGUI.REELKIT.SETDEST.LINE3:ru", u""},
      {"explicit language beats the current one", "de", u"VQGUI.REELKIT.MSGBOX.CANCELQ:fr",
       u"Voulez-vous vraiment annuler cette opération ?"},
      {"current language first", "de", u"VQGUI.REELKIT.MSGBOX.CANCELQ",
       u"Möchten Sie diesen Vorgang wirklich abbrechen?"},
      {"current language behind MSG.", "ru", u"MSG.VQGUI.REELKIT.TOLVANWELCOME.LINE4",
       u"Нажмите «Далее», чтобы продолжить."},
      {"untranslated key in the default text", "ru", u"VQGUI.REELKIT.SETDEST.LINE3",
       u"Destination AVI format:"},
      {"language without translations", "fi", u"VQGUI.REELKIT.MSGBOX.CANCELQ",
       u"Are you sure you want to cancel this operation?"},
      {"unknown key", "de", u"VQGUI.REELKIT.MSGBOX.NOSUCHKEY", u""},
  };
  for (const LookupRow& row : rows) {
    EXPECT_EQ(ShippedCatalog(row.language).Lookup(row.key), row.text) << row.name;
  }
}

TEST(MessageCatalog, KeysPastTheLengthLimitAndEmptyTextsFindNothing) {
  CMessageCatalog catalog;
  const std::u16string longest(CMessageCatalog::kMaxKeyLength, u'K');
  catalog.StoreText(longest, u"longest");
  catalog.StoreText(longest + u"K", u"too long");
  catalog.StoreText(longest + u":de", u"translation under a key too long");
  catalog.StoreText(u"MSG.EMPTY", u"");
  catalog.StoreText(u"EMPTY", u"behind the empty text");
  catalog.SetLanguage("de");
  EXPECT_EQ(catalog.Lookup(longest), u"longest");
  EXPECT_EQ(catalog.Lookup(longest + u"K"), u"");
  EXPECT_EQ(catalog.Lookup(u"MSG.EMPTY"), u"behind the empty text");
}

TEST(MessageCatalog, StoringUndoesEscapesAndFillsTheProduct) {
  const std::pair<std::u16string_view, std::u16string_view> rows[] = {
      {u"one\\ntwo", u"one\ntwo"},
      {u"kept blank:\\ ", u"kept blank: "},
      {u"cut\\n\\n$e here", u"cut here"},
      {u"cut\n\n$e here", u"cut here"},
      {u"%PRODUCTABBR/%PRODUCTNAME/%VERSION_TEXT", u"Reelkit/Kestrix Tolvan Reelkit/8.0.53"},
  };
  CMessageCatalog catalog;
  for (const auto& [stored, shown] : rows) {
    catalog.StoreText(u"KEY", stored);
    EXPECT_EQ(catalog.Lookup(u"KEY"), shown);
  }
}

TEST(MessageCatalog, LookupWithArgumentInsertsTheArgumentOnce) {
  const CMessageCatalog& catalog = ShippedCatalog("");
  EXPECT_EQ(catalog.LookupWithArgument(u"VQGUI.REELKIT.DOJOB.FILEEXIST", u"/v/a$1b.avi"),
            u"/v/a$1b.avi file already exists.\n\nDo you want to overwrite it?");
  EXPECT_EQ(catalog.LookupWithArgument(u"VQGUI.REELKIT.NOSUCHKEY", u"/v/a.avi"), u"");
}

TEST(MessageCatalog, ExpandKeysReplacesReferencesOnly) {
  const std::pair<std::u16string_view, std::u16string_view> rows[] = {
      {u"a&nbsp;b&amp;c", u"a&nbsp;b&amp;c"},
      {u"<p>&MSG.VQGUI.REELKIT.TOLVANWELCOME.LINE4&</p>", u"<p>Please click Next to continue.</p>"},
      {u"&nbsp;&MSG.VQGUI.REELKIT.REVIEW.LINE3&", u"&nbsp;Files will be saved in:"},
      {u"[&VQGUI.REELKIT.NOSUCHKEY&][&&]", u"[][]"},
      {u"fish & chips", u"fish & chips"},
  };
  for (const auto& [page, expanded] : rows) {
    EXPECT_EQ(ShippedCatalog("").ExpandKeys(page), expanded);
  }
}

TEST(MessageCatalog, LoadWalksPairsUpToAnEmptyKey) {
  using namespace std::string_view_literals;
  CMessageCatalog catalog;
  catalog.Load(ResourceOf("K\0first\0K\0later\0L\0\xC3\xA9\x80\0\0M\0after the end\0"sv));
  EXPECT_EQ(catalog.Size(), 2u);
  EXPECT_EQ(catalog.Lookup(u"K"), u"later");
  EXPECT_EQ(catalog.Lookup(u"L"), u"\u00E9\u0080");

  catalog.Load(ResourceOf("A\0a\0B\0unterminated"sv));
  EXPECT_EQ(catalog.Lookup(u"B"), u"unterminated");
}

TEST(MessageCatalog, UnreadableResourceLeavesTheCatalogEmpty) {
  std::vector<std::uint8_t> claimsTooLittle = ResourceOf(std::string(100, 'x'));
  claimsTooLittle[0] = 99;
  std::vector<std::uint8_t> claimsTooMuch = ResourceOf("K\0t\0");
  claimsTooMuch[3] = 0x10;
  const std::vector<std::uint8_t> rows[] = {
      {},
      {4, 0, 0},
      {0, 0, 0, 0, 0x00, 'K'},
      {10, 0, 0, 0, 0x20, 0x00},  // a back reference before the start
      claimsTooLittle,
      claimsTooMuch,
  };
  for (const auto& resource : rows) {
    CMessageCatalog catalog;
    catalog.Load();
    catalog.Load(resource);
    EXPECT_EQ(catalog.Size(), 0u);
    EXPECT_EQ(catalog.Lookup(u"VQGUI.REELKIT.MSGBOX.CANCELQ"), u"");
  }
}

TEST(ProgramUtf8, StrayBytesBecomeUnitsOfTheirValue) {
  struct Row {
    std::string_view bytes;
    std::u16string_view text;
    bool wellFormed;
  };
  const Row rows[] = {
      {"a\xC3\xA9\xE2\x82\xAC", u"a\u00E9\u20AC", true},
      {"\x80", u"\u0080", false},
      {"\xF0\x9F\x98\x80", u"\u00F0\u009F\u0098\u0080", false},
      {"\xE2\x82", u"\u00E2\u0082", false},
      {"\xE2\x82"
       "A",
       u"\u00E2\u0082A", false},
      {"\xC0\xAF", u"\u00C0\u00AF", false},
      {"\xED\xA0\x80", u"\u00ED\u00A0\u0080", false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(DecodeProgramUtf8(row.bytes), row.text);
    EXPECT_EQ(IsProgramUtf8(row.bytes), row.wellFormed);
  }
}

}  // namespace
}  // namespace reelkit
