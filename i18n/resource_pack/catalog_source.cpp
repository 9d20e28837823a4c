#include "i18n/resource_pack/catalog_source.h"

#include <lzf.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "common/endian.h"
#include "i18n/language.h"
#include "i18n/program_utf8.h"

namespace reelkit {
namespace {

constexpr std::string_view kBlanks = " \t";

[[noreturn]] void Fail(std::string_view fileName, std::size_t lineNumber, std::string_view what) {
  std::ostringstream message;
  message << fileName << ":" << lineNumber << ": " << what;
  throw CatalogSourceError(message.str());
}

bool IsKeyCharacter(char c) {
  return c > ' ' && c < 0x7F && c != ':';
}

CatalogPair ParseEntry(std::string_view line, std::string_view fileName, std::size_t lineNumber) {
  const std::size_t keyEnd = std::min(line.find_first_of(kBlanks), line.size());
  const std::string_view key = line.substr(0, keyEnd);
  if (!std::ranges::all_of(key, IsKeyCharacter)) {
    Fail(fileName, lineNumber, "a key is printable ASCII without \":\"");
  }
  const std::size_t textStart = line.find_first_not_of(kBlanks, keyEnd);
  if (textStart == std::string_view::npos) {
    Fail(fileName, lineNumber, "the key has no text");
  }
  const std::string_view text = line.substr(textStart);
  if (!IsProgramUtf8(text) || text.find('\0') != std::string_view::npos) {
    Fail(fileName, lineNumber, "the text is not UTF-8 of the Basic Multilingual Plane");
  }
  return {std::string(key), std::string(text)};
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    throw CatalogSourceError(path.string() + ": cannot be read");
  }
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<CatalogPair> ParseFile(const std::filesystem::path& path) {
  return ParseCatalogSource(ReadFile(path), path.string());
}

}  // namespace

std::vector<CatalogPair> ParseCatalogSource(std::string_view content, std::string_view fileName) {
  std::vector<CatalogPair> pairs;
  std::set<std::string, std::less<>> keys;
  std::size_t lineNumber = 0;
  while (!content.empty()) {
    ++lineNumber;
    const std::size_t lineEnd = std::min(content.find('\n'), content.size());
    std::string_view line = content.substr(0, lineEnd);
    content.remove_prefix(std::min(lineEnd + 1, content.size()));
    line = line.substr(0, line.find_last_not_of(" \t\r") + 1);
    if (line.empty() || line.starts_with('#')) {
      continue;
    }
    CatalogPair pair = ParseEntry(line, fileName, lineNumber);
    if (!keys.insert(pair.key).second) {
      Fail(fileName, lineNumber, "the key " + pair.key + " appears twice");
    }
    pairs.push_back(std::move(pair));
  }
  return pairs;
}

std::vector<CatalogPair> MergeCatalogSources(const std::filesystem::path& directory) {
  const std::vector<CatalogPair> defaults = ParseFile(directory / "default.txt");
  std::vector<std::vector<CatalogPair>> translations;
  for (const std::string_view language : kTranslationLanguages) {
    const auto path = directory / (std::string(language) + ".txt");
    translations.push_back(ParseFile(path));
    for (const CatalogPair& pair : translations.back()) {
      if (std::ranges::find(defaults, pair.key, &CatalogPair::key) == defaults.end()) {
        throw CatalogSourceError(path.string() + ": " + pair.key + " has no default text");
      }
    }
  }
  std::vector<CatalogPair> merged;
  for (const CatalogPair& entry : defaults) {
    merged.push_back(entry);
    for (std::size_t i = 0; i < kTranslationLanguages.size(); ++i) {
      const auto& texts = translations[i];
      const auto found = std::ranges::find(texts, entry.key, &CatalogPair::key);
      if (found != texts.end()) {
        merged.push_back({entry.key + ":" + std::string(kTranslationLanguages[i]), found->text});
      }
    }
  }
  return merged;
}

std::vector<std::uint8_t> CompressCatalogStrings(std::span<const std::uint8_t> strings) {
  // LZF grows incompressible input by at most one byte in 32, plus a little.
  std::vector<std::uint8_t> resource(4 + strings.size() + strings.size() / 32 + 16);
  const unsigned int compressed =
      ::lzf_compress(strings.data(), static_cast<unsigned int>(strings.size()), resource.data() + 4,
                     static_cast<unsigned int>(resource.size() - 4));
  if (compressed == 0) {
    throw CatalogSourceError("the catalog cannot be compressed");
  }
  StoreU32LE(resource.data(), static_cast<std::uint32_t>(strings.size()));
  resource.resize(4 + compressed);
  return resource;
}

std::vector<std::uint8_t> PackCatalog(std::span<const CatalogPair> pairs) {
  std::vector<std::uint8_t> strings;
  for (const CatalogPair& pair : pairs) {
    for (const std::string* part : {&pair.key, &pair.text}) {
      strings.insert(strings.end(), part->begin(), part->end());
      strings.push_back(0);
    }
  }
  return CompressCatalogStrings(strings);
}

}  // namespace reelkit
