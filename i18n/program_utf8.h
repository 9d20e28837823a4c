#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace reelkit {

// Decodes catalog and page bytes the way the program always has: well-formed one-, two- and
// three-byte UTF-8 sequences become their UTF-16 unit; any other byte (a stray continuation
// byte, a four-byte lead, a truncated or overlong sequence) becomes one unit of the same value
// and decoding goes on with the next byte. Never fails; never yields more units than bytes.
std::u16string DecodeProgramUtf8(std::span<const std::uint8_t> bytes);
std::u16string DecodeProgramUtf8(std::string_view text);

// True when every byte of the text belongs to a sequence that DecodeProgramUtf8 decodes as
// UTF-8, so nothing in it would come out as stray Latin-1 units.
bool IsProgramUtf8(std::string_view text);

}  // namespace reelkit
