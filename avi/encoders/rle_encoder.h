#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "common/byte_block.h"

namespace reelkit {

struct RleFrame {
  ByteBlock data;  // the encoded picture (AVI 'mrle' chunk payload)
  bool key = false;
  bool paletteChanged = false;  // true on the first frame and whenever the palette changed
  std::array<std::uint32_t, 256> palette{};  // 0x00RRGGBB entries; always the current palette
};

// Microsoft RLE encoder: 8-bit run-length pictures over a palette that follows the content.
//
// Inter frames code only what changed since the previous picture; everything else is skipped
// with the format's delta escape. Key frames code every pixel.
//
// Palette: every picture that has at most 256 colours is coded exactly. Entries that no pixel on
// screen uses any more are given to new colours as they appear, so a changing picture stays exact
// without being coded again in full; the palette then changes between frames (paletteChanged),
// and the container must carry each change with its frame. A picture with more than 256 colours
// gets a palette fitted to it (least squares) at key frames, free entries go to its most frequent
// new colours in between, and the remaining colours take the nearest entry. A picture whose new
// colours fit the palette badly, or a return to at most 256 colours while approximated pixels
// remain on screen, brings a key frame forward.
//
// Not thread-safe; one encoder per stream.
class CRleEncoder {
 public:
  // keyInterval: at most this many frames between key frames. Throws std::invalid_argument for a
  // size outside 1..32767 or an interval below 1.
  CRleEncoder(int width, int height, int keyInterval);
  ~CRleEncoder();
  CRleEncoder(CRleEncoder&&) noexcept;
  CRleEncoder& operator=(CRleEncoder&&) noexcept;

  // pixels: width*height 32-bit 0x00RRGGBB (BGRX bytes in memory) values, bottom-up rows (DIB
  // order), stride width; the top byte is ignored. Throws std::invalid_argument for another
  // count. out's storage is reused: a caller that keeps one RleFrame allocates nothing per frame.
  void Encode(std::span<const std::uint32_t> pixels, RleFrame& out);

 private:
  class CState;
  std::unique_ptr<CState> state_;
};

}  // namespace reelkit
