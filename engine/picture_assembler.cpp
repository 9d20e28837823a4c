#include "engine/picture_assembler.h"

#include <optional>

#include "common/conversion_failure.h"
#include "common/endian.h"
#include "common/error_codes.h"
#include "decoder/native_format.h"
#include "engine/format_announcement.h"
#include "engine/picture_decoding.h"

namespace reelkit {
namespace {

constexpr std::size_t kBundleFourCCSize = 4;

void CheckPixels(std::int64_t width, std::int64_t height, std::uint64_t maxPixels) {
  const std::uint64_t pixels = static_cast<std::uint64_t>(width < 0 ? 0 : width) *
                               static_cast<std::uint64_t>(height < 0 ? 0 : height);
  if (pixels > maxPixels) {
    throw CReelkitException(LimitRefusal{InputLimit::DecodedPixels, pixels, maxPixels});
  }
}

// The decoder resizes its planes to whatever screen a format announcement names, so the budget
// has to see announcements before the decoder does.
void CheckAnnouncedPixels(std::span<const std::uint8_t> payload, std::uint64_t maxPixels) {
  if (payload.size() < kAnnouncedFormatOffset + kBitmapInfoHeaderSize ||
      LoadU32LE(payload.data()) != kFormatMarker) {
    return;
  }
  const BitmapInfoHeader header = ReadBitmapInfoHeader(payload.data() + kAnnouncedFormatOffset);
  CheckPixels(header.width, header.height, maxPixels);
}

bool Draws(PacketKind kind) {
  return kind == PacketKind::Kfrm || kind == PacketKind::Dlta || kind == PacketKind::Move;
}

bool OpensItsBundle(PacketKind kind) {
  return kind == PacketKind::Fint || kind == PacketKind::Kfrm;
}

// The channels of a 16-bit pixel: its masks with bit fields, 5-5-5 without.
ColorMasks Masks16(const BitmapFormat& format) {
  const BitmapInfoHeader header = format.Header();
  std::optional<ColorMasks> carried;
  if (header.compression == kCompressionBitFields) {
    carried = format.Masks();
  }
  return NativeMasks(header, carried);
}

std::uint8_t Channel(std::uint32_t pixel, std::uint32_t mask) {
  if (mask == 0) {
    return 0;
  }
  const int shift = __builtin_ctz(mask);
  const std::uint32_t top = mask >> shift;
  return static_cast<std::uint8_t>(((pixel & mask) >> shift) * 255 / top);
}

// One bottom-up row of the decoder's picture into top-down RGB.
void ConvertRow(const std::uint8_t* row, std::uint32_t width, std::uint16_t bitCount,
                const ColorMasks& masks, std::uint8_t* rgb) {
  for (std::uint32_t x = 0; x < width; ++x, rgb += 3) {
    if (bitCount == 16) {
      const std::uint32_t pixel = LoadU16LE(row + 2 * x);
      rgb[0] = Channel(pixel, masks[0]);
      rgb[1] = Channel(pixel, masks[1]);
      rgb[2] = Channel(pixel, masks[2]);
    } else {
      // The decoder hands out 32-bit pixels in the plain order: blue, green, red, unused.
      rgb[0] = row[4 * x + 2];
      rgb[1] = row[4 * x + 1];
      rgb[2] = row[4 * x];
    }
  }
}

}  // namespace

CPictureAssembler::CPictureAssembler(const BitmapFormat& streamFormat, std::uint64_t maxPixels)
    : streamFormat_(streamFormat) {
  const BitmapInfoHeader stream = streamFormat.Header();
  CheckPixels(stream.width, stream.height, maxPixels);
  outputFormat_ = DecodedPictureFormat(streamFormat_);
  try {
    decoder_.Initialize(streamFormat_, outputFormat_);
  } catch (const CAviException& failure) {
    ThrowDamagedScreenData(failure);
  }
  frame_.ResizeZeroed(static_cast<std::size_t>(DibImageSize(stream.width, stream.height, 32)));
  maxPixels_ = maxPixels;
  bundle_.AppendU32LE(FourCCOfPacketKind(PacketKind::Bndl));
}

void CPictureAssembler::Add(PacketKind kind, std::span<const std::uint8_t> head,
                            std::span<const std::uint8_t> body) {
  if (OpensItsBundle(kind)) {
    Flush();
  }
  bundle_.AppendU32LE(FourCCOfPacketKind(kind));
  bundle_.AppendU32LE(static_cast<std::uint32_t>(head.size() + body.size()));
  const std::size_t payloadStart = bundle_.size();
  bundle_.Append(head);
  bundle_.Append(body);
  if (OpensItsBundle(kind)) {
    CheckAnnouncedPixels(bundle_.span().subspan(payloadStart), maxPixels_);
  }
  bundleDraws_ = bundleDraws_ || Draws(kind);
  if (kind == PacketKind::Fint || bundle_.size() >= kBundleBytes) {
    Flush();
  }
}

void CPictureAssembler::Flush() {
  if (bundle_.size() == kBundleFourCCSize) {
    return;
  }
  try {
    decoder_.DecodePacket(streamFormat_, outputFormat_, bundle_.span(), frame_.span());
  } catch (const CAviException& failure) {
    ThrowDamagedScreenData(failure);
  }
  hasDrawn_ = hasDrawn_ || bundleDraws_;
  bundleDraws_ = false;
  bundle_.Resize(kBundleFourCCSize);
}

StillPicture CPictureAssembler::Picture() const {
  const BitmapInfoHeader header = outputFormat_.Header();
  StillPicture picture;
  picture.width = static_cast<std::uint32_t>(header.width);
  picture.height = static_cast<std::uint32_t>(header.height);
  const std::uint64_t stride = DibStride(picture.width, header.bitCount);
  // The decoder writes 16- or 32-bit pictures of the stream's size, which the frame holds at 32.
  if ((header.bitCount != 16 && header.bitCount != 32) || stride * picture.height > frame_.size()) {
    throw CReelkitException(ConvertErrorKind::ReadInputFailed,
                            FailureCode::Fixed(kErrorInvalidData));
  }
  picture.rgb.resize(std::size_t{picture.width} * picture.height * 3);
  const ColorMasks masks = Masks16(outputFormat_);
  for (std::uint32_t y = 0; y < picture.height; ++y) {
    const std::uint8_t* row = frame_.data() + (picture.height - 1 - y) * stride;
    ConvertRow(row, picture.width, header.bitCount, masks,
               picture.rgb.data() + std::size_t{y} * picture.width * 3);
  }
  return picture;
}

}  // namespace reelkit
