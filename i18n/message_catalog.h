#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

namespace reelkit {

// The wizard's texts by key, in the default language and in the catalog's translations.
//
// Threads: Load, SetLanguage and StoreText write and belong to start-up, before any page or
// worker exists. After that the catalog is only read, from the user-interface thread and the
// conversion worker alike, without a lock: every substitution happens as texts are stored.
class CMessageCatalog {
 public:
  // The longest key, with any prefix or language suffix added, that a lookup can find.
  static constexpr std::size_t kMaxKeyLength = 127;
  // A catalog that decompresses to more than this is refused: ours is a few dozen KiB.
  static constexpr std::uint32_t kMaxCatalogBytes = 16u << 20;

  // Replaces the contents with the catalog the program carries.
  void Load();
  // Replaces the contents with a catalog resource: the decompressed length N (32-bit
  // little-endian), then an LZF block that decompresses to at most N bytes of NUL-ended UTF-8
  // strings, keys and texts in turn, up to an empty key. Anything unreadable leaves the catalog
  // empty, so every lookup yields the empty text.
  void Load(std::span<const std::uint8_t> resource);

  // Plain keys are looked up in this language first ("de", "pt-br"; empty for the default
  // texts); a language without translations falls through to the default texts.
  void SetLanguage(std::string_view code);

  // Stores a text under the key after undoing the source escapes ("\ " and "\n"), removing the
  // "\n\n$e" end marker and filling in the product's names and version.
  void StoreText(std::u16string_view key, std::u16string_view text);

  // The text for a key: a plain key in the current language, then as the default text; a key
  // that names its language (a ":" in it) only as given. Keys lacking the "VQGUI." prefix are
  // tried with it, and "MSG." in front is dropped. The empty text when nothing is found. The
  // reference stays valid while the catalog is not written.
  const std::u16string& Lookup(std::u16string_view key) const;

  // The text of Lookup with each "$1" replaced by the argument (inserted as it is).
  std::u16string LookupWithArgument(std::u16string_view key, std::u16string_view argument) const;

  // A page text with every "&KEY&" reference replaced by the key's text. An "&" that a ";"
  // follows before the next "&" begins a character reference such as "&nbsp;" and stays.
  std::u16string ExpandKeys(std::u16string_view text) const;

  std::size_t Size() const { return texts_.size(); }

 private:
  struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::u16string_view key) const {
      return std::hash<std::u16string_view>{}(key);
    }
  };

  const std::u16string* FindCandidate(std::u16string_view candidate) const;
  const std::u16string* FindInLanguage(std::u16string_view candidate, bool plainKey) const;
  void StorePairs(std::span<const std::uint8_t> strings);

  std::unordered_map<std::u16string, std::u16string, KeyHash, std::equal_to<>> texts_;
  std::u16string languageSuffix_;
};

}  // namespace reelkit
