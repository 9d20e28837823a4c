#include "engine/picture_decoding.h"

#include "common/conversion_failure.h"
#include "common/picture_rules.h"
#include "decoder/native_format.h"
#include "engine/raw_recording_reader.h"

namespace reelkit {

BitmapFormat DecodedPictureFormat(const BitmapFormat& streamFormat) {
  const BitmapInfoHeader stream = streamFormat.Header();
  const std::uint64_t largestPicture = DibImageSize(stream.width, stream.height, 32);
  if (largestPicture > kMaxPictureBytes) {
    throw CReelkitException(
        LimitRefusal{InputLimit::PictureBytes, largestPicture, kMaxPictureBytes});
  }
  if (!IsDecodableDepth(stream.bitCount)) {
    throw CReelkitException(LimitRefusal{InputLimit::DecodedDepth, stream.bitCount, 0});
  }
  const std::uint64_t pixels = largestPicture / 4;  // rows of 32-bit pixels need no padding
  if (pixels > kMaxNativePixels) {
    throw CReelkitException(LimitRefusal{InputLimit::DecodedPixels, pixels, kMaxNativePixels});
  }
  BitmapFormat output = streamFormat;
  if (DecodesTo32Bits(stream.bitCount)) {
    output.SetPictureFormat(32, kCompressionRgb);
  } else {
    output.SetPictureFormat(stream.bitCount, stream.compression);
    if (stream.compression == kCompressionBitFields) {
      output.SetMasks(streamFormat.Masks());
    }
  }
  return output;
}

void ThrowDamagedScreenData(const CAviException& failure) {
  throw CReelkitException(ConvertErrorKind::ReadInputFailed, FailureCode::Fixed(failure.Code()),
                          DamagedScreenData{});
}

}  // namespace reelkit
