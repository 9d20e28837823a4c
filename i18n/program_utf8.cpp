#include "i18n/program_utf8.h"

namespace reelkit {
namespace {

bool IsContinuation(std::uint8_t byte) {
  return byte >= 0x80 && byte <= 0xBF;
}

// The length of the well-formed sequence at the start of the bytes and its unit; length 0 when
// the first byte starts none.
struct DecodedUnit {
  std::size_t length;
  char16_t unit;
};

DecodedUnit DecodeSequence(std::span<const std::uint8_t> bytes) {
  const std::uint8_t lead = bytes[0];
  if (lead < 0x80) {
    return {1, lead};
  }
  if (lead >= 0xC2 && lead <= 0xDF && bytes.size() >= 2 && IsContinuation(bytes[1])) {
    return {2, static_cast<char16_t>(((lead & 0x1F) << 6) | (bytes[1] & 0x3F))};
  }
  if (lead >= 0xE0 && lead <= 0xEF && bytes.size() >= 3 && IsContinuation(bytes[1]) &&
      IsContinuation(bytes[2])) {
    const auto unit =
        static_cast<char16_t>(((lead & 0x0F) << 12) | ((bytes[1] & 0x3F) << 6) | (bytes[2] & 0x3F));
    const bool overlong = unit < 0x800;
    const bool surrogate = unit >= 0xD800 && unit <= 0xDFFF;
    if (!overlong && !surrogate) {
      return {3, unit};
    }
  }
  return {0, lead};
}

std::span<const std::uint8_t> BytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

std::u16string DecodeProgramUtf8(std::span<const std::uint8_t> bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  while (!bytes.empty()) {
    const DecodedUnit decoded = DecodeSequence(bytes);
    text.push_back(decoded.unit);
    bytes = bytes.subspan(decoded.length == 0 ? 1 : decoded.length);
  }
  return text;
}

std::u16string DecodeProgramUtf8(std::string_view text) {
  return DecodeProgramUtf8(BytesOf(text));
}

bool IsProgramUtf8(std::string_view text) {
  auto bytes = BytesOf(text);
  while (!bytes.empty()) {
    const DecodedUnit decoded = DecodeSequence(bytes);
    if (decoded.length == 0) {
      return false;
    }
    bytes = bytes.subspan(decoded.length);
  }
  return true;
}

}  // namespace reelkit
