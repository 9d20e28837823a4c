#include "i18n/catalog_format.h"

#include <array>
#include <optional>

namespace reelkit {
namespace {

enum class Placeholder { Decimal, Hex8, Text };

struct PlaceholderSpelling {
  std::u16string_view spelling;
  Placeholder kind;
};

constexpr std::array kPlaceholders = {
    PlaceholderSpelling{u"%d", Placeholder::Decimal},
    PlaceholderSpelling{u"%u", Placeholder::Decimal},
    PlaceholderSpelling{u"%8.8x", Placeholder::Hex8},
    PlaceholderSpelling{u"%S", Placeholder::Text},
};

std::optional<PlaceholderSpelling> PlaceholderAt(std::u16string_view rest) {
  for (const PlaceholderSpelling& placeholder : kPlaceholders) {
    if (rest.starts_with(placeholder.spelling)) {
      return placeholder;
    }
  }
  return std::nullopt;
}

void AppendDigits(std::u16string& out, std::uint64_t value, unsigned base, std::size_t minDigits) {
  constexpr std::u16string_view kDigits = u"0123456789abcdef";
  std::u16string digits;
  do {
    digits.insert(digits.begin(), kDigits[value % base]);
    value /= base;
  } while (value != 0);
  if (digits.size() < minDigits) {
    out.append(minDigits - digits.size(), u'0');
  }
  out += digits;
}

// Appends the argument in the placeholder's form; false when the argument does not fit it.
bool AppendArgument(std::u16string& out, Placeholder kind, const CatalogArgument& argument) {
  if (kind == Placeholder::Text) {
    if (const auto* text = argument.Text()) {
      out += *text;
      return true;
    }
    return false;
  }
  const std::uint64_t* number = argument.Number();
  if (number == nullptr) {
    return false;
  }
  if (kind == Placeholder::Hex8) {
    AppendDigits(out, *number, 16, 8);
  } else {
    AppendDigits(out, *number, 10, 1);
  }
  return true;
}

}  // namespace

std::u16string FormatCatalogText(std::u16string_view text,
                                 std::initializer_list<CatalogArgument> arguments) {
  std::u16string out;
  auto nextArgument = arguments.begin();
  std::size_t position = 0;
  while (position < text.size()) {
    const std::size_t percent = text.find(u'%', position);
    out += text.substr(position, percent - position);
    if (percent == std::u16string_view::npos) {
      break;
    }
    const auto placeholder = PlaceholderAt(text.substr(percent));
    if (!placeholder) {
      out += u'%';
      position = percent + 1;
      continue;
    }
    const bool filled =
        nextArgument != arguments.end() && AppendArgument(out, placeholder->kind, *nextArgument);
    if (!filled) {
      out += placeholder->spelling;
    }
    if (nextArgument != arguments.end()) {
      ++nextArgument;
    }
    position = percent + placeholder->spelling.size();
  }
  return out;
}

}  // namespace reelkit
