// DecodePacket on arbitrary bundles under each supported stream format. The first byte picks the
// format; the rest is split into bundles at every "|~|" marker so state carries across calls.
#include <algorithm>
#include <array>
#include <span>
#include <vector>

#include "common/bitmap_format.h"
#include "decoder/avi_exception.h"
#include "decoder/screen_stream_decoder.h"

namespace {

struct StreamShape {
  std::uint16_t bitCount;
  std::uint32_t compression;
  std::array<std::uint32_t, 3> masks;
};

constexpr std::array<StreamShape, 7> kShapes = {{
    {4, 0, {}},
    {8, 0, {}},
    {16, 0, {}},
    {16, 3, {0xF800, 0x07E0, 0x001F}},
    {24, 0, {}},
    {32, 0, {}},
    {32, 3, {0xFF0000, 0x00FF00, 0x0000FF}},
}};

reelkit::BitmapFormat StreamFormat(std::uint8_t selector) {
  const StreamShape& shape = kShapes[selector % kShapes.size()];
  reelkit::BitmapInfoHeader header;
  header.width = 37 + (selector >> 4);  // odd sizes reach the row padding
  header.height = 23;
  header.bitCount = shape.bitCount;
  header.compression = shape.compression;
  header.clrUsed = shape.bitCount <= 8 ? (1u << shape.bitCount) : 0;
  header.sizeImage = static_cast<std::uint32_t>(reelkit::DibImageSize(header));
  reelkit::BitmapFormat format(header);
  if (shape.compression == 3) {
    format.SetMasks(shape.masks);
  } else {
    for (std::size_t i = 0; i < 4 * header.clrUsed; ++i) {
      format.ColorTable()[i] = static_cast<std::uint8_t>(i * 37);
    }
  }
  return format;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace reelkit;
  if (size < 1) {
    return 0;
  }
  const BitmapFormat stream = StreamFormat(data[0]);
  BitmapFormat output = stream;
  const BitmapInfoHeader header = stream.Header();
  if (header.bitCount != 16 && header.bitCount != 32) {
    output.SetPictureFormat(32, kCompressionRgb);
  }
  std::vector<std::uint8_t> frame(DibImageSize(header.width, header.height, 32));
  CScreenStreamDecoder decoder;
  const std::span<const std::uint8_t> input(data + 1, size - 1);
  constexpr std::array<std::uint8_t, 3> kSeparator = {'|', '~', '|'};
  try {
    decoder.Initialize(stream, output);
    auto begin = input.begin();
    while (begin != input.end()) {
      auto end = std::search(begin, input.end(), kSeparator.begin(), kSeparator.end());
      try {
        decoder.DecodePacket(stream, output, std::span<const std::uint8_t>(begin, end), frame);
      } catch (const CAviException&) {
        decoder.Initialize(stream, output);
      }
      begin = end == input.end() ? end : end + kSeparator.size();
    }
  } catch (const CAviException&) {
  }
  return 0;
}
