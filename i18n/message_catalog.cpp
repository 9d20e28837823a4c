#include "i18n/message_catalog.h"

#include <lzf.h>

#include <algorithm>
#include <vector>

#include "common/byte_reader.h"
#include "i18n/embedded_resources.h"
#include "i18n/product_info.h"
#include "i18n/program_utf8.h"
#include "i18n/replace_all.h"

namespace reelkit {
namespace {

const std::u16string kEmptyText;

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() &&
         std::ranges::equal(text.substr(0, prefix.size()), prefix, [](char16_t a, char16_t b) {
           const auto upper = [](char16_t c) {
             return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
           };
           return upper(a) == upper(b);
         });
}

// The keys a lookup tries, in order: as given, with "VQGUI." in front unless it is there (or
// behind "MSG."), and without a leading "MSG.".
std::vector<std::u16string> CandidatesOf(std::u16string_view key) {
  std::vector<std::u16string> candidates{std::u16string(key)};
  if (!StartsWithIgnoringCase(key, u"VQGUI.") && !StartsWithIgnoringCase(key, u"MSG.VQGUI.")) {
    candidates.push_back(u"VQGUI." + std::u16string(key));
  }
  if (StartsWithIgnoringCase(key, u"MSG.")) {
    candidates.emplace_back(key.substr(4));
  }
  return candidates;
}

// The catalog's strings, decompressed; empty when the resource is unreadable.
std::vector<std::uint8_t> DecompressCatalog(std::span<const std::uint8_t> resource) {
  ByteReader reader(resource);
  const auto length = reader.ReadU32();
  const auto compressed = reader.Rest();
  if (!length || *length == 0 || *length > CMessageCatalog::kMaxCatalogBytes ||
      compressed.empty()) {
    return {};
  }
  std::vector<std::uint8_t> strings(*length);
  const unsigned int produced =
      ::lzf_decompress(compressed.data(), static_cast<unsigned int>(compressed.size()),
                       strings.data(), static_cast<unsigned int>(strings.size()));
  strings.resize(produced);
  return strings;
}

// The NUL-ended string at the start of the bytes, or the rest when its NUL is missing.
std::span<const std::uint8_t> NextString(std::span<const std::uint8_t> bytes) {
  const auto end = std::ranges::find(bytes, std::uint8_t{0});
  return bytes.first(static_cast<std::size_t>(end - bytes.begin()));
}

std::span<const std::uint8_t> SkipString(std::span<const std::uint8_t> bytes,
                                         std::span<const std::uint8_t> string) {
  return bytes.subspan(std::min(bytes.size(), string.size() + 1));
}

}  // namespace

void CMessageCatalog::Load() {
  Load(FindEmbeddedResource(kCatalogResourceName));
}

void CMessageCatalog::Load(std::span<const std::uint8_t> resource) {
  texts_.clear();
  StorePairs(DecompressCatalog(resource));
}

void CMessageCatalog::StorePairs(std::span<const std::uint8_t> strings) {
  while (!strings.empty()) {
    const auto key = NextString(strings);
    if (key.empty()) {
      return;
    }
    strings = SkipString(strings, key);
    const auto text = NextString(strings);
    strings = SkipString(strings, text);
    StoreText(DecodeProgramUtf8(key), DecodeProgramUtf8(text));
  }
}

void CMessageCatalog::SetLanguage(std::string_view code) {
  languageSuffix_.clear();
  if (!code.empty()) {
    languageSuffix_ = u":" + DecodeProgramUtf8(code);
  }
}

void CMessageCatalog::StoreText(std::u16string_view key, std::u16string_view text) {
  std::u16string stored = ReplaceAll(text, u"\\ ", u" ");
  stored = ReplaceAll(stored, u"\\n", u"\n");
  stored = ReplaceAll(stored, u"\n\n$e", u"");
  stored = ReplaceAll(stored, u"%PRODUCTNAME", kProductDisplayName);
  stored = ReplaceAll(stored, u"%VERSION_TEXT", kProductVersionText);
  stored = ReplaceAll(stored, u"%PRODUCTABBR", kProductShortName);
  texts_.insert_or_assign(std::u16string(key), std::move(stored));
}

const std::u16string* CMessageCatalog::FindCandidate(std::u16string_view candidate) const {
  if (candidate.size() > kMaxKeyLength) {
    return nullptr;
  }
  const auto found = texts_.find(candidate);
  return found == texts_.end() || found->second.empty() ? nullptr : &found->second;
}

const std::u16string* CMessageCatalog::FindInLanguage(std::u16string_view candidate,
                                                      bool plainKey) const {
  if (plainKey && !languageSuffix_.empty()) {
    if (const auto* text = FindCandidate(std::u16string(candidate) + languageSuffix_)) {
      return text;
    }
  }
  return FindCandidate(candidate);
}

const std::u16string& CMessageCatalog::Lookup(std::u16string_view key) const {
  const bool plainKey = key.find(u':') == std::u16string_view::npos;
  for (const std::u16string& candidate : CandidatesOf(key)) {
    if (const auto* text = FindInLanguage(candidate, plainKey)) {
      return *text;
    }
  }
  return kEmptyText;
}

std::u16string CMessageCatalog::LookupWithArgument(std::u16string_view key,
                                                   std::u16string_view argument) const {
  return ReplaceAll(Lookup(key), u"$1", argument);
}

std::u16string CMessageCatalog::ExpandKeys(std::u16string_view text) const {
  std::u16string out;
  std::size_t copied = 0;
  std::size_t searchFrom = 0;
  for (;;) {
    const std::size_t open = text.find(u'&', searchFrom);
    const std::size_t close = open == std::u16string_view::npos ? open : text.find(u'&', open + 1);
    if (close == std::u16string_view::npos) {
      break;
    }
    const std::size_t semicolon = text.find(u';', open + 1);
    if (semicolon < close) {
      searchFrom = semicolon;
      continue;
    }
    out.append(text.substr(copied, open - copied));
    out.append(Lookup(text.substr(open + 1, close - open - 1)));
    copied = searchFrom = close + 1;
  }
  out.append(text.substr(copied));
  return out;
}

}  // namespace reelkit
