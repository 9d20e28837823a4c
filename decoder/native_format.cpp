#include "decoder/native_format.h"

#include "decoder/avi_exception.h"

namespace reelkit {

ColorMasks NativeMasks(const BitmapInfoHeader& header, const std::optional<ColorMasks>& carried) {
  const bool bitFields = header.compression == kCompressionBitFields;
  if (bitFields && carried) {
    return *carried;
  }
  if (header.bitCount == 16) {
    return bitFields ? kMasks565 : kMasks555;
  }
  return kMasksPlain32;
}

void CheckNativeFormat(const BitmapInfoHeader& header) {
  const bool widthOk = header.width >= 1 && header.width <= kMaxPictureSide;
  const bool heightOk = header.height >= 1 && header.height <= kMaxPictureSide;
  if (!widthOk || !heightOk || !IsDecodableDepth(header.bitCount)) {
    throw CAviException_InvalidData();
  }
  const auto pixels =
      static_cast<std::uint64_t>(header.width) * static_cast<std::uint64_t>(header.height);
  if (pixels > kMaxNativePixels) {
    throw CAviException_InvalidData();
  }
}

}  // namespace reelkit
