#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

namespace reelkit {

// The languages the catalog carries translations for, in the order each default entry is
// followed by them.
inline constexpr std::array<std::string_view, 12> kTranslationLanguages = {
    "de", "es", "fr", "it", "ru", "ja", "zh", "ko", "en-gb", "hu", "pt-br", "nl"};

// True for the names of the product's language table (which knows more languages than the
// catalog translates; those see the default texts).
bool IsTableLanguage(std::string_view code);

// The table's name for a locale name such as "de_DE.UTF-8", "pt_BR" or "zh-Hant-TW": the entry
// for the language and country where the table has one ("en-gb", "pt-br", "zh-tw"), else the
// one for the language alone ("zh_CN" gives "zh"); empty when the table lacks the language.
std::string LanguageOfLocale(std::string_view localeName);

// The user's language: the saved language setting when it names a table language, otherwise
// the first of the user's preferred locales whose language the table knows; empty (the default
// texts) when none is known.
std::string ChooseLanguage(std::span<const std::string> preferredLocales,
                           std::string_view languageSetting);

}  // namespace reelkit
