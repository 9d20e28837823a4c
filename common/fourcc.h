#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace reelkit {

// Four ASCII letters in reading order, the first letter in the lowest byte.
using FourCC = std::uint32_t;

constexpr FourCC MakeFourCC(char a, char b, char c, char d) {
  return static_cast<FourCC>(static_cast<std::uint8_t>(a)) |
         (static_cast<FourCC>(static_cast<std::uint8_t>(b)) << 8) |
         (static_cast<FourCC>(static_cast<std::uint8_t>(c)) << 16) |
         (static_cast<FourCC>(static_cast<std::uint8_t>(d)) << 24);
}

// Exactly four letters are expected; a shorter text is padded with zero bytes.
constexpr FourCC FourCCFromText(std::string_view text) {
  char letters[4] = {0, 0, 0, 0};
  for (std::size_t i = 0; i < 4 && i < text.size(); ++i) {
    letters[i] = text[i];
  }
  return MakeFourCC(letters[0], letters[1], letters[2], letters[3]);
}

inline std::string FourCCToText(FourCC fourcc) {
  std::string text(4, '\0');
  for (int i = 0; i < 4; ++i) {
    text[i] = static_cast<char>((fourcc >> (8 * i)) & 0xFF);
  }
  return text;
}

inline constexpr FourCC kFourCCScreenCodec = MakeFourCC('V', 'Q', 'S', 'C');
inline constexpr FourCC kFourCCMicrosoftRle = MakeFourCC('m', 'r', 'l', 'e');
inline constexpr FourCC kFourCCMicrosoftVideo1 = MakeFourCC('m', 's', 'v', 'c');
inline constexpr FourCC kFourCCH264 = MakeFourCC('H', '2', '6', '4');

}  // namespace reelkit
