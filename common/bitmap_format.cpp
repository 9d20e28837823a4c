#include "common/bitmap_format.h"

#include <algorithm>

#include "common/endian.h"

namespace reelkit {

BitmapInfoHeader ReadBitmapInfoHeader(const std::uint8_t* bytes) {
  BitmapInfoHeader header;
  header.size = LoadU32LE(bytes + bih::kSize);
  header.width = LoadI32LE(bytes + bih::kWidth);
  header.height = LoadI32LE(bytes + bih::kHeight);
  header.planes = LoadU16LE(bytes + bih::kPlanes);
  header.bitCount = LoadU16LE(bytes + bih::kBitCount);
  header.compression = LoadU32LE(bytes + bih::kCompression);
  header.sizeImage = LoadU32LE(bytes + bih::kSizeImage);
  header.xPelsPerMeter = LoadI32LE(bytes + bih::kXPelsPerMeter);
  header.yPelsPerMeter = LoadI32LE(bytes + bih::kYPelsPerMeter);
  header.clrUsed = LoadU32LE(bytes + bih::kClrUsed);
  header.clrImportant = LoadU32LE(bytes + bih::kClrImportant);
  return header;
}

void WriteBitmapInfoHeader(std::uint8_t* bytes, const BitmapInfoHeader& header) {
  StoreU32LE(bytes + bih::kSize, header.size);
  StoreU32LE(bytes + bih::kWidth, static_cast<std::uint32_t>(header.width));
  StoreU32LE(bytes + bih::kHeight, static_cast<std::uint32_t>(header.height));
  StoreU16LE(bytes + bih::kPlanes, header.planes);
  StoreU16LE(bytes + bih::kBitCount, header.bitCount);
  StoreU32LE(bytes + bih::kCompression, header.compression);
  StoreU32LE(bytes + bih::kSizeImage, header.sizeImage);
  StoreU32LE(bytes + bih::kXPelsPerMeter, static_cast<std::uint32_t>(header.xPelsPerMeter));
  StoreU32LE(bytes + bih::kYPelsPerMeter, static_cast<std::uint32_t>(header.yPelsPerMeter));
  StoreU32LE(bytes + bih::kClrUsed, header.clrUsed);
  StoreU32LE(bytes + bih::kClrImportant, header.clrImportant);
}

BitmapFormat::BitmapFormat() { SetHeader(BitmapInfoHeader{}); }

BitmapFormat::BitmapFormat(const BitmapInfoHeader& header) { SetHeader(header); }

void BitmapFormat::SetPictureFormat(std::uint16_t bitCount, std::uint32_t compression) {
  BitmapInfoHeader header = Header();
  header.size = kBitmapInfoHeaderSize;
  header.planes = 1;
  header.bitCount = bitCount;
  header.compression = compression;
  header.clrUsed = 0;
  header.sizeImage = static_cast<std::uint32_t>(DibImageSize(header));
  SetHeader(header);
  if (compression == kCompressionBitFields) {
    SetMasks({0, 0, 0});
  }
}

std::array<std::uint32_t, 3> BitmapFormat::Masks() const {
  return {LoadU32LE(bytes_.data() + 40), LoadU32LE(bytes_.data() + 44),
          LoadU32LE(bytes_.data() + 48)};
}

void BitmapFormat::SetMasks(const std::array<std::uint32_t, 3>& masks) {
  for (std::size_t i = 0; i < masks.size(); ++i) {
    StoreU32LE(bytes_.data() + 40 + 4 * i, masks[i]);
  }
}

std::size_t BitmapFormat::Length() const {
  const BitmapInfoHeader header = Header();
  if (header.compression == kCompressionBitFields) {
    return kBitmapInfoHeaderSize + 12;
  }
  return kBitmapInfoHeaderSize +
         4 * std::min<std::size_t>(header.clrUsed, kMaxColorTableEntries);
}

void BitmapFormat::Assign(std::span<const std::uint8_t> bytes) {
  bytes_.fill(0);
  std::copy_n(bytes.begin(), std::min(bytes.size(), bytes_.size()), bytes_.begin());
}

}  // namespace reelkit
