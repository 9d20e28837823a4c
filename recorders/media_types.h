#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "common/bitmap_format.h"
#include "common/picture_rules.h"
#include "common/time.h"

namespace reelkit {

// The type a source pin offers: uncompressed DIB pictures of one format at one frame rate.
// The header never says bit fields; a 16-bit picture's layout travels in masks instead, so that
// every consumer reads the colours that were recorded.
struct VideoMediaType {
  BitmapFormat format;  // header and, when colours used is non-zero, the palette
  Time averageTimePerFrame = 0;
  ColorMasks masks = kMasks555;
  std::uint32_t fixedSampleSize = 0;  // the header's image size
};

// One picture or tagged packet on its way downstream. The bytes stay valid only during delivery.
struct MediaSample {
  std::span<const std::uint8_t> data;
  Time start = 0;
  Time stop = 0;
  bool syncPoint = false;
  bool repeatsPrevious = false;  // the same bytes as the sample before: a spacer
};

// The receiving end of a pin connection; called on the streaming thread.
class IInputPin {
 public:
  virtual ~IInputPin() = default;
  // 0 or the failure code of the delivery.
  virtual std::uint32_t Receive(const MediaSample& sample) = 0;
  // No sample follows; the receiver completes its output. 0 or the failure code.
  virtual std::uint32_t EndOfStream() = 0;
};

}  // namespace reelkit
