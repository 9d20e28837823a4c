#pragma once

#include <array>
#include <cstdint>

namespace reelkit::msvc1 {

constexpr int kBlockSide = 4;
constexpr int kBlockPixels = kBlockSide * kBlockSide;
constexpr int kLongestBlockCode = 18;

// One 4x4 block in RGB555, pixel y * 4 + x with y counted from the block's bottom row: the order
// in which the stream's flag bits address pixels.
using BlockPixels = std::array<std::uint16_t, kBlockPixels>;

// The bytes of one coded block and the pixels a decoder shows for them.
struct BlockCode {
  std::array<std::uint8_t, kLongestBlockCode> bytes{};
  int size = 0;  // 2 (one colour), 6 (two colours) or 18 (two colours per quadrant)
  BlockPixels decoded{};
};

// Squared colour error summed over the three 5-bit components of every pixel.
int BlockDistortion(const BlockPixels& a, const BlockPixels& b);

// Rate weight: how much squared 5-bit error one more byte of output must remove to be worth it.
// Chosen on desktop sessions and scrolled text at 1080p: files no larger than libavcodec's
// encoder makes of them, at several decibels more.
constexpr int kDistortionPerByte = 16;

// Picks the cheapest coding of a block by distortion + kDistortionPerByte x bytes. keepCost is the
// distortion of leaving the decoder's block as it is, or negative when the block must be coded.
// Returns false when keeping the block costs least; code is then unspecified.
bool ChooseBlockCode(const BlockPixels& source, int keepCost, BlockCode& code);

// Bytes of the code whose first bytes are these: the stream marks its length in them.
int BlockCodeSize(const std::uint8_t* code);

}  // namespace reelkit::msvc1
