#pragma once

#include <array>
#include <cstdint>

#include "common/time.h"

namespace reelkit {

// The rules every reader, the decoder, the recorder and its encoders apply to pictures alike, so
// that what one side accepts the next one can take.

// An AVI picture's side is a 16-bit quantity; recordings are held to the same.
inline constexpr std::int32_t kMaxPictureSide = 65535;

// Codecs of whole 4 x 4 blocks hold the largest multiple of 4 within that side.
inline constexpr std::int32_t kMaxBlockCodedSide = kMaxPictureSide / 4 * 4;

// First four bytes of a raw recording, little-endian.
inline constexpr std::uint32_t kRawRecordingMagic = 0xDE33BA22;

// Depths a bitmap of a recording or of an AVI picture may have.
constexpr bool IsBitmapDepth(std::uint32_t bitCount) {
  return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 ||
         bitCount == 32;
}

// Depths the decoder draws; a 1-bit screen can only be passed through.
constexpr bool IsDecodableDepth(std::uint32_t bitCount) {
  return bitCount != 1 && IsBitmapDepth(bitCount);
}

// 4-, 8- and 24-bit screens are decoded into 32-bit pictures; 16 and 32 bits keep their own.
constexpr bool DecodesTo32Bits(std::uint32_t bitCount) {
  return bitCount == 4 || bitCount == 8 || bitCount == 24;
}

// Where red, green and blue lie in a 16- or 32-bit pixel, in that order.
using ColorMasks = std::array<std::uint32_t, 3>;
inline constexpr ColorMasks kMasks555{0x7C00, 0x03E0, 0x001F};
inline constexpr ColorMasks kMasks565{0xF800, 0x07E0, 0x001F};
inline constexpr ColorMasks kMasksPlain32{0x00FF0000, 0x0000FF00, 0x000000FF};

// Encoded videos start a key frame at least this often, so a player can seek in them.
inline constexpr Time kKeyFrameSpacing = 10 * kTimeUnitsPerSecond;

// Frames between key frames at the given frame duration; at least 1.
constexpr int KeyFrameInterval(Time frameDuration) {
  if (frameDuration <= 0 || frameDuration >= kKeyFrameSpacing) {
    return 1;
  }
  // Rounded to the nearest frame: 29.97 frames per second still gives 300.
  return static_cast<int>((kKeyFrameSpacing + frameDuration / 2) / frameDuration);
}

}  // namespace reelkit
