#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace reelkit {

// One value for a placeholder of a catalog text: a count or code (never negative on any page),
// or a text.
class CatalogArgument {
 public:
  template <std::unsigned_integral Number>
  CatalogArgument(Number number) : value_(static_cast<std::uint64_t>(number)) {}
  CatalogArgument(std::u16string_view text) : value_(text) {}
  CatalogArgument(const std::u16string& text) : value_(std::u16string_view(text)) {}
  CatalogArgument(const char16_t* text) : value_(std::u16string_view(text)) {}

  const std::uint64_t* Number() const { return std::get_if<std::uint64_t>(&value_); }
  const std::u16string_view* Text() const { return std::get_if<std::u16string_view>(&value_); }

 private:
  std::variant<std::uint64_t, std::u16string_view> value_;
};

// Fills the placeholders the pages use, "%d" and "%u" (decimal), "%8.8x" (at least eight
// lowercase hexadecimal digits) and "%S" (a text), with the arguments in order. Translations are
// data, not code: any other "%" stays as it stands, and so does a placeholder whose argument is
// missing or of the other kind (a number for "%S", a text for a number).
std::u16string FormatCatalogText(std::u16string_view text,
                                 std::initializer_list<CatalogArgument> arguments);

}  // namespace reelkit
