#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace reelkit {

// The 40-byte bitmap information header, little-endian on disk. Rows are stored bottom-up.
struct BitmapInfoHeader {
  std::uint32_t size = 40;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint16_t planes = 1;
  std::uint16_t bitCount = 0;
  std::uint32_t compression = 0;
  std::uint32_t sizeImage = 0;
  std::int32_t xPelsPerMeter = 0;
  std::int32_t yPelsPerMeter = 0;
  std::uint32_t clrUsed = 0;
  std::uint32_t clrImportant = 0;

  friend bool operator==(const BitmapInfoHeader&, const BitmapInfoHeader&) = default;
};

inline constexpr std::size_t kBitmapInfoHeaderSize = 40;
inline constexpr std::uint32_t kCompressionRgb = 0;
inline constexpr std::uint32_t kCompressionBitFields = 3;
inline constexpr std::size_t kMaxColorTableEntries = 256;

// Field offsets within the header, for code that patches one field in place.
namespace bih {
inline constexpr std::size_t kSize = 0;
inline constexpr std::size_t kWidth = 4;
inline constexpr std::size_t kHeight = 8;
inline constexpr std::size_t kPlanes = 12;
inline constexpr std::size_t kBitCount = 14;
inline constexpr std::size_t kCompression = 16;
inline constexpr std::size_t kSizeImage = 20;
inline constexpr std::size_t kXPelsPerMeter = 24;
inline constexpr std::size_t kYPelsPerMeter = 28;
inline constexpr std::size_t kClrUsed = 32;
inline constexpr std::size_t kClrImportant = 36;
}  // namespace bih

// Caller guarantees 40 readable (or writable) bytes.
BitmapInfoHeader ReadBitmapInfoHeader(const std::uint8_t* bytes);
void WriteBitmapInfoHeader(std::uint8_t* bytes, const BitmapInfoHeader& header);

// Bytes per row of a DIB: rows are padded to a multiple of four bytes.
constexpr std::uint64_t DibStride(std::uint64_t width, std::uint64_t bitCount) {
  return ((width * bitCount + 31) / 32) * 4;
}

constexpr std::uint64_t DibImageSize(std::int64_t width, std::int64_t height,
                                     std::uint64_t bitCount) {
  const auto w = static_cast<std::uint64_t>(width < 0 ? -width : width);
  const auto h = static_cast<std::uint64_t>(height < 0 ? -height : height);
  return h * DibStride(w, bitCount);
}

inline std::uint64_t DibImageSize(const BitmapInfoHeader& header) {
  return DibImageSize(header.width, header.height, header.bitCount);
}

// A bitmap information block: the header, then three colour masks (bit fields) or a colour table
// of 4-byte blue, green, red, reserved entries. Storage always has room for a full 256-entry
// table behind the header, so the decoder may write a palette into it at any time.
class BitmapFormat {
 public:
  static constexpr std::size_t kCapacity = kBitmapInfoHeaderSize + 4 * kMaxColorTableEntries;

  BitmapFormat();
  explicit BitmapFormat(const BitmapInfoHeader& header);

  BitmapInfoHeader Header() const { return ReadBitmapInfoHeader(bytes_.data()); }
  void SetHeader(const BitmapInfoHeader& header) { WriteBitmapInfoHeader(bytes_.data(), header); }

  // Sets header size 40, planes 1, the depth and compression, colours used 0 and the image size
  // of the current width and height. Bit fields get three zero masks.
  void SetPictureFormat(std::uint16_t bitCount, std::uint32_t compression);

  // The masks (red, green, blue) stored behind the header.
  std::array<std::uint32_t, 3> Masks() const;
  void SetMasks(const std::array<std::uint32_t, 3>& masks);

  // Room for 256 entries, whatever the header's colours-used says.
  std::span<std::uint8_t, 4 * kMaxColorTableEntries> ColorTable() {
    return std::span<std::uint8_t, 4 * kMaxColorTableEntries>(bytes_.data() + 40, 4 * 256);
  }
  std::span<const std::uint8_t, 4 * kMaxColorTableEntries> ColorTable() const {
    return std::span<const std::uint8_t, 4 * kMaxColorTableEntries>(bytes_.data() + 40, 4 * 256);
  }

  // The meaningful length: 40 + 12 with bit fields, else 40 + 4 x colours used (at most 256).
  std::size_t Length() const;
  std::span<const std::uint8_t> Bytes() const { return {bytes_.data(), Length()}; }
  // The whole storage, for code that reads or writes the block in place.
  std::span<std::uint8_t, kCapacity> Storage() { return bytes_; }
  std::span<const std::uint8_t, kCapacity> Storage() const { return bytes_; }

  // Copies a block from bytes; anything past the capacity is left out, missing bytes stay zero.
  void Assign(std::span<const std::uint8_t> bytes);

  friend bool operator==(const BitmapFormat&, const BitmapFormat&) = default;

 private:
  std::array<std::uint8_t, kCapacity> bytes_{};
};

}  // namespace reelkit
