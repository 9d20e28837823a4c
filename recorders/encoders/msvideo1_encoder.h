#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/byte_block.h"

namespace reelkit {

struct Msvc1Frame {
  ByteBlock data;  // the encoded picture (AVI 'msvc' chunk payload)
  bool key = false;
};

// Microsoft Video 1 encoder, 16-bit (RGB555) stream. Screen recordings are mostly still, so every
// inter frame first compares each 4x4 block's source with the previous frame's and skips it at once
// when equal; only changed blocks are analysed, and they are coded against the picture the decoder
// holds (tracked here), so skip decisions never let errors pile up. Key frames code every block;
// one whose source has not changed repeats its last code, which reproduces that same picture.
// Allocates only on construction; one thread at a time.
class CMsvc1Encoder {
 public:
  // width and height are multiples of 4. keyInterval: at most this many frames between key frames.
  CMsvc1Encoder(int width, int height, int keyInterval);

  // picture: a 32-bit DIB of width*height pixels, BGRX bytes (the fourth byte is ignored),
  // bottom-up rows, stride width*4, at any alignment: a recorder's sample is coded where it lies.
  void Encode(std::span<const std::uint8_t> picture, Msvc1Frame& out);
  // The same picture as 0x00RRGGBB values.
  void Encode(std::span<const std::uint32_t> pixels, Msvc1Frame& out);
  // Codes the last picture once more without reading it, as Encode would code it. False, with
  // nothing coded, before the first picture.
  bool EncodeUnchanged(Msvc1Frame& out);

  // The picture a decoder shows after the last Encode: RGB555, bottom-up rows, stride width.
  std::span<const std::uint16_t> Reconstruction() const { return decoded_; }

 private:
  bool StripUnchanged(const std::uint8_t* picture, int blockRow) const;
  bool BlockUnchanged(const std::uint8_t* picture, std::size_t topLeft) const;
  void EncodeBlock(const std::uint8_t* picture, std::size_t blockIndex, std::size_t topLeft,
                   bool key);
  void RepeatLastCode(std::size_t blockIndex);
  void FlushSkips();
  void FinishFrame(bool key, Msvc1Frame& out);

  int width_;
  int height_;
  int keyInterval_;
  int blocksWide_;
  int blocksHigh_;
  std::int64_t frameNumber_ = 0;
  std::vector<std::uint8_t> previousSource_;  // the last picture's bytes
  std::vector<std::uint16_t> decoded_;
  std::vector<std::uint8_t> lastCodes_;  // kLongestBlockCode bytes per block
  std::vector<std::uint8_t> stream_;     // room for the largest possible picture
  std::size_t streamSize_ = 0;
  int pendingSkips_ = 0;
};

}  // namespace reelkit
