#include "i18n/language.h"

#include <algorithm>
#include <cctype>

namespace reelkit {
namespace {

constexpr std::array<std::string_view, 73> kTableLanguages = {
    "en", "en-gb", "hu", "de", "fr", "ja", "zh", "zh-tw", "ar", "bg", "ca", "cs",    "da",
    "el", "es",    "fi", "he", "is", "it", "ko", "nl",    "no", "pl", "pt", "pt-br", "ro",
    "ru", "hr",    "sr", "sk", "sq", "sv", "th", "tr",    "ur", "id", "uk", "be",    "sl",
    "et", "lv",    "lt", "vi", "hy", "aa", "eu", "mk",    "af", "ka", "fo", "hi",    "ms",
    "kk", "ky",    "sw", "uz", "tt", "bn", "pa", "gu",    "or", "ta", "te", "kn",    "ml",
    "as", "mr",    "sa", "mn", "gl", "sd", "ks", "ne"};

std::string Lowercase(std::string_view text) {
  std::string lower(text);
  std::ranges::transform(lower, lower.begin(),
                         [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

// POSIX names both Norwegian written languages; the table has one entry for them.
std::string TableSpellingOfLanguage(std::string language) {
  if (language == "nb" || language == "nn") {
    return "no";
  }
  return language;
}

}  // namespace

bool IsTableLanguage(std::string_view code) {
  return std::ranges::find(kTableLanguages, code) != kTableLanguages.end();
}

std::string LanguageOfLocale(std::string_view localeName) {
  const std::string_view name = localeName.substr(0, localeName.find_first_of(".@"));
  const std::size_t firstSeparator = name.find_first_of("_-");
  const std::string language = TableSpellingOfLanguage(Lowercase(name.substr(0, firstSeparator)));
  if (firstSeparator != std::string_view::npos) {
    // The country is the last part; a script ("Hant" in "zh-Hant-TW") may stand between.
    const std::string_view country = name.substr(name.find_last_of("_-") + 1);
    const std::string withCountry = language + "-" + Lowercase(country);
    if (IsTableLanguage(withCountry)) {
      return withCountry;
    }
  }
  return IsTableLanguage(language) ? language : std::string();
}

std::string ChooseLanguage(std::span<const std::string> preferredLocales,
                           std::string_view languageSetting) {
  if (IsTableLanguage(languageSetting)) {
    return std::string(languageSetting);
  }
  for (const std::string& locale : preferredLocales) {
    if (std::string language = LanguageOfLocale(locale); !language.empty()) {
      return language;
    }
  }
  return {};
}

}  // namespace reelkit
