#include "recorders/encoders/rle_compressor.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <stdexcept>

#include "common/error_codes.h"
#include "common/fourcc.h"
#include "common/picture_rules.h"
#include "recorders/ffmpeg_handles.h"

namespace reelkit {

std::uint32_t CRleCompressor::Connect(const VideoMediaType& input, CompressedStreamInfo& output) {
  if (input.averageTimePerFrame <= 0) {
    return kResultFail;
  }
  reader_.emplace(input);
  const int keyInterval = KeyFrameInterval(input.averageTimePerFrame);
  try {
    encoder_.emplace(reader_->Width(), reader_->Height(), keyInterval);
  } catch (const std::invalid_argument&) {
    return kResultFail;
  }
  output.codecTag = kFourCCMicrosoftRle;
  output.codecId = AV_CODEC_ID_MSRLE;
  output.width = reader_->Width();
  output.height = reader_->Height();
  output.bitsPerCodedSample = 8;
  output.palettized = true;
  return 0;
}

std::uint32_t CRleCompressor::Compress(std::span<const std::uint8_t> sample,
                                       CompressedPacket& out) {
  encoder_->Encode(PixelsOf(sample), frame_);
  TakeFrame(out);
  return 0;
}

std::uint32_t CRleCompressor::CompressRepeated(std::span<const std::uint8_t> sample,
                                               CompressedPacket& out) {
  if (!encoder_->EncodeUnchanged(frame_)) {
    return Compress(sample, out);
  }
  TakeFrame(out);
  return 0;
}

// The encoder ignores the top byte of each value, so a whole bottom-up 32-bit picture is coded
// where it lies (its BGRX bytes read as 0xXXRRGGBB on this little-endian layout); any other
// picture is read into 0x00RRGGBB values first.
std::span<const std::uint32_t> CRleCompressor::PixelsOf(std::span<const std::uint8_t> sample) {
  const std::size_t count = reader_->PixelCount();
  const bool aligned =
      reinterpret_cast<std::uintptr_t>(sample.data()) % alignof(std::uint32_t) == 0;
  if (reader_->IsBottomUp32Bit() && std::endian::native == std::endian::little && aligned &&
      sample.size() / sizeof(std::uint32_t) >= count) {
    return {reinterpret_cast<const std::uint32_t*>(sample.data()), count};
  }
  pixels_.resize(count);
  reader_->Read(sample, pixels_);
  return pixels_;
}

void CRleCompressor::TakeFrame(CompressedPacket& out) const {
  out.data.assign(frame_.data.data(), frame_.data.data() + frame_.data.size());
  out.key = frame_.key;
  out.paletteChanged = frame_.paletteChanged;
  out.palette = frame_.palette;
}

}  // namespace reelkit
