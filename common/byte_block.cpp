#include "common/byte_block.h"

#include <algorithm>

#include "common/endian.h"

namespace reelkit {

void ByteBlock::ResizeZeroed(std::size_t size) {
  bytes_.resize(size);
  Zero();
}

void ByteBlock::Zero() { std::fill(bytes_.begin(), bytes_.end(), std::uint8_t{0}); }

void ByteBlock::AppendU32LE(std::uint32_t value) {
  std::uint8_t le[4];
  StoreU32LE(le, value);
  Append(le);
}

void ByteBlock::Release() { decltype(bytes_)().swap(bytes_); }

}  // namespace reelkit
