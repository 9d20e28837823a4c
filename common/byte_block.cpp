#include "common/byte_block.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "common/endian.h"

namespace reelkit {

ByteBlock& ByteBlock::operator=(const ByteBlock& other) {
  if (this != &other) {
    Assign(other.span());
  }
  return *this;
}

ByteBlock::ByteBlock(ByteBlock&& other) noexcept
    : storage_(std::move(other.storage_)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

ByteBlock& ByteBlock::operator=(ByteBlock&& other) noexcept {
  storage_ = std::move(other.storage_);
  size_ = std::exchange(other.size_, 0);
  capacity_ = std::exchange(other.capacity_, 0);
  return *this;
}

void ByteBlock::Reserve(std::size_t size) {
  if (size > capacity_) {
    Grow(size, {});
  }
}

void ByteBlock::Grow(std::size_t size, std::span<const std::uint8_t> tail) {
  // By half again at least, so that appending a little at a time stays linear.
  const std::size_t capacity = std::max(size, capacity_ + capacity_ / 2);
  CByteStorage grown(capacity, false);
  if (size_ != 0) {
    std::memcpy(grown.get(), storage_.get(), size_);
  }
  if (!tail.empty()) {  // copied before the old storage goes: it may lie there
    std::memcpy(grown.get() + size_, tail.data(), tail.size());
  }
  storage_ = std::move(grown);
  capacity_ = capacity;
}

void ByteBlock::Resize(std::size_t size) {
  if (size_ == 0 && size > capacity_) {
    ResizeZeroed(size);
    return;
  }
  const std::size_t old = size_;
  ResizeForOverwrite(size);
  if (size > old) {
    std::memset(storage_.get() + old, 0, size - old);
  }
}

void ByteBlock::ResizeForOverwrite(std::size_t size) {
  Reserve(size);
  size_ = size;
}

void ByteBlock::ResizeZeroed(std::size_t size) {
  if (size > capacity_) {
    storage_ = CByteStorage();  // freed first: two picture-sized blocks need never coexist
    storage_ = CByteStorage(size, true);
    capacity_ = size;
    size_ = size;
    return;
  }
  size_ = size;
  Zero();
}

void ByteBlock::Zero() {
  if (size_ != 0) {
    std::memset(storage_.get(), 0, size_);
  }
}

void ByteBlock::Assign(std::span<const std::uint8_t> bytes) {
  size_ = 0;
  Append(bytes);
}

void ByteBlock::Append(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) {
    return;
  }
  const std::size_t size = size_ + bytes.size();
  if (size > capacity_) {
    Grow(size, bytes);
  } else {
    std::memmove(storage_.get() + size_, bytes.data(), bytes.size());
  }
  size_ = size;
}

void ByteBlock::AppendU32LE(std::uint32_t value) {
  std::uint8_t le[4];
  StoreU32LE(le, value);
  Append(le);
}

void ByteBlock::Release() {
  storage_ = CByteStorage();
  size_ = 0;
  capacity_ = 0;
}

bool operator==(const ByteBlock& a, const ByteBlock& b) {
  return std::ranges::equal(a.span(), b.span());
}

}  // namespace reelkit
