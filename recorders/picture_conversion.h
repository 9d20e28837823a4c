#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "common/byte_block.h"
#include "common/picture_rules.h"
#include "recorders/media_types.h"

namespace reelkit {

// Reads DIB pictures of one format (1, 4 or 8 bits with a palette, 16 bits by colour masks, 24 or
// 32 bits) into 32-bit 0x00RRGGBB pixels, bottom-up rows of exactly width pixels. Rows missing from
// a short picture read as black; nothing outside the picture is read.
class CDibReader {
 public:
  explicit CDibReader(const VideoMediaType& type);

  int Width() const { return width_; }
  int Height() const { return height_; }
  std::size_t PixelCount() const;
  // Bottom-up 32-bit pictures hold their pixels as Read gives them, but for the top byte.
  bool IsBottomUp32Bit() const { return bitCount_ == 32 && !topDown_; }
  // out holds PixelCount() pixels.
  void Read(std::span<const std::uint8_t> picture, std::span<std::uint32_t> out) const;

 private:
  void ReadRow(const std::uint8_t* row, std::uint32_t* out) const;

  int width_;
  int height_;
  bool topDown_;
  std::uint16_t bitCount_;
  std::size_t stride_;
  std::array<std::uint32_t, 256> palette_{};
  std::vector<std::uint32_t> colorsOf16Bit_;  // every 16-bit value's colour, by the masks
};

// Where a colour channel sits in a 16-bit mask, and how many of its bits count (at most eight).
struct ColorChannel {
  std::uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
};

// Writes 32-bit 0x00RRGGBB pixels (bottom-up, stride width) as a DIB picture of another format:
// 16 bits by colour masks, 24 or 32 bits, or 1, 4 or 8 bits by the nearest palette colour.
class CDibWriter {
 public:
  explicit CDibWriter(const VideoMediaType& type);

  int Width() const { return width_; }
  int Height() const { return height_; }
  std::size_t ImageSize() const { return stride_ * static_cast<std::size_t>(height_); }
  // pixels holds width x height values; out holds ImageSize() bytes.
  void Write(std::span<const std::uint32_t> pixels, std::span<std::uint8_t> out);

 private:
  void WriteRow(const std::uint32_t* pixels, std::uint8_t* row);
  std::uint8_t NearestIndex(std::uint32_t color);
  std::uint16_t Pack16(std::uint32_t color) const;

  int width_;
  int height_;
  bool topDown_;
  std::uint16_t bitCount_;
  std::size_t stride_;
  std::array<ColorChannel, 3> channels_;  // red, green, blue of 16-bit pictures
  std::array<std::uint32_t, 256> palette_{};
  std::size_t paletteSize_ = 0;
  std::vector<std::int16_t> nearestCache_;  // by 15-bit colour; -1 until looked up
};

// A picture an output file can be made for: a size of 1 to the largest side a recording can have,
// at a bitmap depth. An encoder whose format holds less refuses the rest when it is set up.
bool IsRecordablePicture(const BitmapInfoHeader& header);

// The masks a 16-bit picture of this format uses: its own with bit fields, else 5-5-5.
ColorMasks MasksOf(const BitmapFormat& format);

// Places a picture of 0x00RRGGBB pixels into one of another size, top-left as shown, with a black
// margin; what does not fit is cut off. Rows are bottom-up: the top row is the last in memory.
// source holds sourceWidth x sourceHeight pixels, target targetWidth x targetHeight.
void FitPixels(std::span<const std::uint32_t> source, int sourceWidth, int sourceHeight,
               std::span<std::uint32_t> target, int targetWidth, int targetHeight);

// Brings pictures of any format into one fixed target format: each is read into 32-bit pixels,
// placed top-left in the target's size with a black margin, and written in the target's depth.
// The reader's tables and all storage are kept from one picture to the next: a recording that
// changed its depth goes on at the cost of one conversion pass per picture.
class CPictureConverter {
 public:
  explicit CPictureConverter(const VideoMediaType& target);

  // The picture in the target format, valid until the next call.
  std::span<const std::uint8_t> Convert(const VideoMediaType& source,
                                        std::span<const std::uint8_t> picture);

 private:
  const CDibReader& ReaderFor(const VideoMediaType& source);

  CDibWriter writer_;
  std::optional<CDibReader> reader_;
  VideoMediaType readerType_;                // the source format reader_ was made for
  std::vector<std::uint32_t> sourcePixels_;  // used only when the sizes differ
  std::vector<std::uint32_t> targetPixels_;
  ByteBlock converted_;
};

// Packs 0x00RRGGBB into rgb555 (0RRRRRGG GGGBBBBB).
constexpr std::uint16_t ToRgb555(std::uint32_t color) {
  return static_cast<std::uint16_t>(((color >> 9) & 0x7C00) | ((color >> 6) & 0x03E0) |
                                    ((color >> 3) & 0x001F));
}

}  // namespace reelkit
