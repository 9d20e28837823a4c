#include "i18n/language.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QSettings>
#include <string>
#include <vector>

#include "i18n/user_language.h"
#include "tests/testing/temp_dir.h"

namespace reelkit {
namespace {

TEST(Language, SettingThenFirstKnownLocale) {
  struct Row {
    std::vector<std::string> locales;
    std::string_view setting;
    std::string language;
  };
  const Row rows[] = {
      {{"de_DE.UTF-8"}, "", "de"},
      {{"en_GB"}, "", "en-gb"},
      {{"en-US"}, "", "en"},
      {{"pt_BR"}, "", "pt-br"},
      {{"pt_PT"}, "", "pt"},
      {{"zh_CN"}, "", "zh"},
      {{"zh-Hant-TW"}, "", "zh-tw"},
      {{"nb_NO"}, "", "no"},
      {{"C", "tlh", "ko_KR"}, "", "ko"},
      {{"C"}, "", ""},
      {{"de_DE"}, "pt-br", "pt-br"},
      {{"de_DE"}, "xx", "de"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ChooseLanguage(row.locales, row.setting), row.language) << row.locales.front();
  }
}

// Each test runs in a process of its own, so the environment is read here first.
TEST(Language, UserLanguageReadsTheLocaleAndTheSavedSetting) {
  const testing::TempDir home;
  ::setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
  ::unsetenv("LANGUAGE");
  ::unsetenv("LC_ALL");
  ::setenv("LC_MESSAGES", "zh_TW.UTF-8", 1);
  ::setenv("LANG", "C", 1);
  EXPECT_EQ(UserLanguage(), "zh-tw");
  QSettings(QStringLiteral("Kestrix")).setValue(QStringLiteral("V5/Gui/Lang"), "hu");
  EXPECT_EQ(UserLanguage(), "hu");
}

}  // namespace
}  // namespace reelkit
