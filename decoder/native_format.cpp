#include "decoder/native_format.h"

#include "common/avi_exception.h"

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

bool IsSupportedNativeBitCount(std::uint32_t bitCount) {
  return bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 || bitCount == 32;
}

void CheckNativeFormat(const BitmapInfoHeader& header) {
  const bool widthOk = header.width >= 1 && header.width <= 65535;
  const bool heightOk = header.height >= 1 && header.height <= 65535;
  if (!widthOk || !heightOk || !IsSupportedNativeBitCount(header.bitCount)) {
    throw CAviException_InvalidData();
  }
  const auto pixels =
      static_cast<std::uint64_t>(header.width) * static_cast<std::uint64_t>(header.height);
  if (pixels > kMaxNativePixels) {
    throw CAviException_InvalidData();
  }
}

}  // namespace reelkit
