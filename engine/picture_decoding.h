#pragma once

#include "common/bitmap_format.h"
#include "decoder/avi_exception.h"

namespace reelkit {

// The format of the pictures the decoder makes of a stream: 32-bit plain RGB for 4-, 8- and
// 24-bit streams, the stream's own depth (and masks) for 16 and 32 bits. Pictures the decoder
// cannot make are refused with a LimitRefusal: over kMaxPictureBytes at 32 bits, at a depth it does
// not draw, or over kMaxNativePixels.
BitmapFormat DecodedPictureFormat(const BitmapFormat& streamFormat);

// The decoder's own failure, as the engine reports it: the stream asked for the impossible.
[[noreturn]] void ThrowDamagedScreenData(const CAviException& failure);

}  // namespace reelkit
