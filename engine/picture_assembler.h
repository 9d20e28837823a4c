#pragma once

#include <cstdint>
#include <span>

#include "common/bitmap_format.h"
#include "common/byte_block.h"
#include "common/packet_kind.h"
#include "decoder/screen_stream_decoder.h"
#include "engine/still_picture.h"

namespace reelkit {

// Decodes the sub-packets that lead up to one picture. They are bundled as a conversion bundles
// them, except that nothing asks for a picture per frame interval: a bundle ends only before a
// format announcement or key image (each must open its bundle), after a format announcement, and
// when it has grown to kBundleBytes, so a stretch of deltas costs one picture step, not hundreds.
// Used on one thread.
class CPictureAssembler {
 public:
  // Refuses a screen of more than maxPixels, or one the decoder cannot draw, with a LimitRefusal
  // before anything is allocated for it.
  CPictureAssembler(const BitmapFormat& streamFormat, std::uint64_t maxPixels);

  // A sub-packet whose payload is head followed by body (a record's second block, then its first).
  // Damaged screen data throws CReelkitException(ReadInputFailed, code, DamagedScreenData).
  void Add(PacketKind kind, std::span<const std::uint8_t> head,
           std::span<const std::uint8_t> body = {});
  // Decodes whatever has been added and not yet decoded.
  void Flush();

  // True once a key image, a delta or a move has been decoded: the picture shows something.
  bool HasDrawn() const { return hasDrawn_; }
  // The decoded picture as it stands after Flush.
  StillPicture Picture() const;

  static constexpr std::size_t kBundleBytes = 16u << 20;

 private:
  BitmapFormat streamFormat_;
  BitmapFormat outputFormat_;
  CScreenStreamDecoder decoder_;
  ByteBlock frame_;
  std::uint64_t maxPixels_ = 0;
  ByteBlock bundle_;
  bool bundleDraws_ = false;
  bool hasDrawn_ = false;
};

}  // namespace reelkit
