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
// Inter frames code only the rows that changed since the previous picture, and within them only
// the stretches whose palette indices changed; everything else is skipped with the format's delta
// escape, so an unchanged picture costs two bytes. Key frames code every pixel.
//
// Palette: one palette per file would have to be fixed by the first picture, so the palette
// changes instead, and a frame reports it (paletteChanged) for the container to carry with that
// frame. Every picture that has at most 256 colours is coded exactly:
//  - a key frame gives the picture's colours their entries, keeping those already in place;
//  - between key frames, entries that no pixel of the coming picture uses are given to the new
//    colours, so a changing picture stays exact without being coded again in full;
//  - a picture back at 256 colours or fewer while approximated pixels remain on screen is coded
//    as a key frame.
// A picture of more colours gets a palette fitted to it (least squares) at key frames; in between,
// its new colours take the nearest entry, and free entries go only to colours that cover many
// pixels. When the changed pixels fit the palette badly (below about 32 dB), a key frame with a
// newly fitted palette comes at once, and the next such one not before a tenth of the key-frame
// interval.
//
// Not thread-safe; one encoder per stream. Allocates nothing per frame once its buffers have
// reached the sizes the pictures need.
class CRleEncoder {
 public:
  // keyInterval: at most this many frames between key frames. Throws std::invalid_argument for a
  // size outside 1..65535 or an interval below 1.
  CRleEncoder(int width, int height, int keyInterval);
  ~CRleEncoder();
  CRleEncoder(CRleEncoder&&) noexcept;
  CRleEncoder& operator=(CRleEncoder&&) noexcept;

  // pixels: width*height 32-bit 0x00RRGGBB (BGRX bytes in memory) values, bottom-up rows (DIB
  // order), stride width; the top byte is ignored. Throws std::invalid_argument for another
  // count. out's storage is reused: a caller that keeps one RleFrame allocates nothing per frame.
  void Encode(std::span<const std::uint32_t> pixels, RleFrame& out);

  // Codes the picture of the last Encode once more, without reading it: what Encode would give
  // for the same pixels. False, with nothing coded, when a key frame is due (or nothing was coded
  // yet): Encode must then be given the picture.
  bool EncodeUnchanged(RleFrame& out);

 private:
  class CState;
  std::unique_ptr<CState> state_;
};

}  // namespace reelkit
