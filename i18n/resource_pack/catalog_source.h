#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace reelkit {

// One key and its text as the catalog's source spells them (UTF-8, escapes unprocessed).
struct CatalogPair {
  std::string key;
  std::string text;
  bool operator==(const CatalogPair&) const = default;
};

// A source file a translator got wrong; the message names the file and line.
class CatalogSourceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One language's file: a line per entry, the key, blanks, then the text up to the end of the
// line (trailing blanks dropped: "\ " keeps one). Empty lines and lines starting with "#" are
// skipped. Keys are bare; each key appears once and has a text.
std::vector<CatalogPair> ParseCatalogSource(std::string_view content, std::string_view fileName);

// The catalog in resource order from "default.txt" and one "<language>.txt" per translation
// language in the directory: each default entry, then its translations under "key:language".
// A translation of a key the default file lacks is an error.
std::vector<CatalogPair> MergeCatalogSources(const std::filesystem::path& directory);

// The catalog resource: the strings' length, then the strings compressed with LZF.
std::vector<std::uint8_t> CompressCatalogStrings(std::span<const std::uint8_t> strings);
std::vector<std::uint8_t> PackCatalog(std::span<const CatalogPair> pairs);

}  // namespace reelkit
