#include "recorders/encoders/msvideo1_encoder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "common/endian.h"
#include "common/picture_rules.h"
#include "recorders/encoders/msvideo1_block_coder.h"

namespace reelkit {

namespace {

using msvc1::kBlockPixels;
using msvc1::kBlockSide;
using msvc1::kLongestBlockCode;

// Skip codes: high byte 0x84 + the count's top two bits, low byte its low eight bits.
constexpr std::uint8_t kSkipMarker = 0x84;
constexpr int kLongestSkip = 0x3FF;
constexpr int kEndMarkerSize = 2;
constexpr std::size_t kBytesPerPixel = 4;

constexpr std::uint16_t ToRgb555(std::uint32_t color) {
  return static_cast<std::uint16_t>(((color >> 9) & 0x7C00) | ((color >> 6) & 0x03E0) |
                                    ((color >> 3) & 0x001F));
}

bool ValidSide(int side) {
  return side > 0 && side <= kMaxBlockCodedSide && side % kBlockSide == 0;
}

}  // namespace

CMsvc1Encoder::CMsvc1Encoder(int width, int height, int keyInterval)
    : width_(width), height_(height), keyInterval_(keyInterval) {
  if (!ValidSide(width) || !ValidSide(height)) {
    throw std::invalid_argument("Microsoft Video 1 pictures must be whole 4x4 blocks");
  }
  if (keyInterval < 1) {
    throw std::invalid_argument("the key-frame interval must be at least 1");
  }
  blocksWide_ = width / kBlockSide;
  blocksHigh_ = height / kBlockSide;
  const std::size_t pixelCount = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  const std::size_t blockCount = pixelCount / kBlockPixels;
  previousSource_.resize(pixelCount * kBytesPerPixel);
  decoded_.resize(pixelCount);
  lastCodes_.resize(blockCount * kLongestBlockCode);
  // Every block coded at full length, or skipped at no more than two bytes a block, then the end.
  stream_.resize(blockCount * kLongestBlockCode + kEndMarkerSize);
}

void CMsvc1Encoder::Encode(std::span<const std::uint32_t> pixels, Msvc1Frame& out) {
  // Reading the values' bytes is well defined and, on this little-endian layout, gives BGRX.
  Encode(std::span(reinterpret_cast<const std::uint8_t*>(pixels.data()), pixels.size_bytes()), out);
}

void CMsvc1Encoder::Encode(std::span<const std::uint8_t> picture, Msvc1Frame& out) {
  if (picture.size() < previousSource_.size()) {
    throw std::invalid_argument("the picture is smaller than the encoder's size");
  }
  const bool key = frameNumber_ % keyInterval_ == 0;
  // The first picture has nothing to compare with and no earlier codes to repeat.
  const bool compare = frameNumber_ > 0;
  streamSize_ = 0;
  pendingSkips_ = 0;
  const std::size_t stripPixels = static_cast<std::size_t>(width_) * kBlockSide;
  for (int blockRow = 0; blockRow < blocksHigh_; ++blockRow) {
    const std::size_t stripStart = stripPixels * static_cast<std::size_t>(blockRow);
    const std::size_t firstBlock = static_cast<std::size_t>(blockRow) * blocksWide_;
    if (compare && StripUnchanged(picture.data(), blockRow)) {
      for (int column = 0; column < blocksWide_ && key; ++column) {
        RepeatLastCode(firstBlock + column);
      }
      pendingSkips_ += key ? 0 : blocksWide_;
      continue;
    }
    for (int column = 0; column < blocksWide_; ++column) {
      const std::size_t topLeft = stripStart + static_cast<std::size_t>(column) * kBlockSide;
      if (!compare || !BlockUnchanged(picture.data(), topLeft)) {
        EncodeBlock(picture.data(), firstBlock + column, topLeft, key);
      } else if (key) {
        RepeatLastCode(firstBlock + column);
      } else {
        ++pendingSkips_;
      }
    }
    std::memcpy(previousSource_.data() + stripStart * kBytesPerPixel,
                picture.data() + stripStart * kBytesPerPixel, stripPixels * kBytesPerPixel);
  }
  FinishFrame(key, out);
}

bool CMsvc1Encoder::EncodeUnchanged(Msvc1Frame& out) {
  if (frameNumber_ == 0) {
    return false;
  }
  const bool key = frameNumber_ % keyInterval_ == 0;
  streamSize_ = 0;
  pendingSkips_ = 0;
  const auto blockCount = static_cast<std::size_t>(blocksWide_) * blocksHigh_;
  if (key) {
    for (std::size_t block = 0; block < blockCount; ++block) {
      RepeatLastCode(block);
    }
  } else {
    pendingSkips_ = static_cast<int>(blockCount);
  }
  FinishFrame(key, out);
  return true;
}

void CMsvc1Encoder::FinishFrame(bool key, Msvc1Frame& out) {
  FlushSkips();
  stream_[streamSize_++] = 0;
  stream_[streamSize_++] = 0;
  out.data.Assign(std::span(stream_.data(), streamSize_));
  out.key = key;
  ++frameNumber_;
}

bool CMsvc1Encoder::StripUnchanged(const std::uint8_t* picture, int blockRow) const {
  const std::size_t stripBytes = static_cast<std::size_t>(width_) * kBlockSide * kBytesPerPixel;
  const std::size_t start = stripBytes * static_cast<std::size_t>(blockRow);
  return std::memcmp(picture + start, previousSource_.data() + start, stripBytes) == 0;
}

bool CMsvc1Encoder::BlockUnchanged(const std::uint8_t* picture, std::size_t topLeft) const {
  constexpr std::size_t kRowBytes = kBlockSide * kBytesPerPixel;
  for (int y = 0; y < kBlockSide; ++y) {
    const std::size_t row = (topLeft + static_cast<std::size_t>(y) * width_) * kBytesPerPixel;
    if (std::memcmp(picture + row, previousSource_.data() + row, kRowBytes) != 0) {
      return false;
    }
  }
  return true;
}

void CMsvc1Encoder::EncodeBlock(const std::uint8_t* picture, std::size_t blockIndex,
                                std::size_t topLeft, bool key) {
  msvc1::BlockPixels source;
  msvc1::BlockPixels shown;
  for (int y = 0; y < kBlockSide; ++y) {
    const std::size_t row = topLeft + static_cast<std::size_t>(y) * width_;
    for (int x = 0; x < kBlockSide; ++x) {
      source[y * kBlockSide + x] = ToRgb555(LoadU32LE(picture + (row + x) * kBytesPerPixel));
      shown[y * kBlockSide + x] = decoded_[row + x];
    }
  }
  int keepCost = -1;
  if (!key) {
    if (source == shown) {
      ++pendingSkips_;
      return;
    }
    keepCost = msvc1::BlockDistortion(source, shown);
  }
  msvc1::BlockCode code;
  if (!msvc1::ChooseBlockCode(source, keepCost, code)) {
    ++pendingSkips_;
    return;
  }
  FlushSkips();
  std::memcpy(stream_.data() + streamSize_, code.bytes.data(), code.size);
  streamSize_ += code.size;
  std::memcpy(lastCodes_.data() + blockIndex * kLongestBlockCode, code.bytes.data(), code.size);
  for (int y = 0; y < kBlockSide; ++y) {
    const std::size_t row = topLeft + static_cast<std::size_t>(y) * width_;
    std::copy_n(code.decoded.begin() + y * kBlockSide, kBlockSide,
                decoded_.begin() + static_cast<std::ptrdiff_t>(row));
  }
}

void CMsvc1Encoder::RepeatLastCode(std::size_t blockIndex) {
  const std::uint8_t* code = lastCodes_.data() + blockIndex * kLongestBlockCode;
  const int size = msvc1::BlockCodeSize(code);
  std::memcpy(stream_.data() + streamSize_, code, size);
  streamSize_ += size;
}

void CMsvc1Encoder::FlushSkips() {
  while (pendingSkips_ > 0) {
    const int count = std::min(pendingSkips_, kLongestSkip);
    stream_[streamSize_++] = static_cast<std::uint8_t>(count & 0xFF);
    stream_[streamSize_++] = static_cast<std::uint8_t>(kSkipMarker + (count >> 8));
    pendingSkips_ -= count;
  }
}

}  // namespace reelkit
