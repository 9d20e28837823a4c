#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/byte_storage.h"

namespace reelkit {

// A growable byte buffer reused across packets and frames. Growing keeps the contents and fills
// the new bytes with zero (unless told they are about to be overwritten); shrinking keeps the
// storage, so a steady stream allocates nothing.
class ByteBlock {
 public:
  ByteBlock() = default;
  explicit ByteBlock(std::size_t size) { Resize(size); }
  ByteBlock(const ByteBlock& other) { Assign(other.span()); }
  ByteBlock& operator=(const ByteBlock& other);
  ByteBlock(ByteBlock&& other) noexcept;
  ByteBlock& operator=(ByteBlock&& other) noexcept;
  ~ByteBlock() = default;

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::uint8_t* data() { return storage_.get(); }
  const std::uint8_t* data() const { return storage_.get(); }
  std::span<std::uint8_t> span() { return {storage_.get(), size_}; }
  std::span<const std::uint8_t> span() const { return {storage_.get(), size_}; }
  std::uint8_t& operator[](std::size_t i) { return storage_.get()[i]; }
  std::uint8_t operator[](std::size_t i) const { return storage_.get()[i]; }

  void Resize(std::size_t size);
  // Like Resize, but the new bytes are left undefined: for storage that is written before it is
  // read. Untouched pages of a large buffer then cost nothing.
  void ResizeForOverwrite(std::size_t size);
  // Resizes, then zeroes every byte.
  void ResizeZeroed(std::size_t size);
  void Zero();
  void Clear() { size_ = 0; }
  void Assign(std::span<const std::uint8_t> bytes);
  void Append(std::span<const std::uint8_t> bytes);
  void AppendU32LE(std::uint32_t value);

  // Releases the storage too, unlike Clear.
  void Release();

  friend bool operator==(const ByteBlock& a, const ByteBlock& b);

 private:
  // Makes room for size bytes, keeping the first size_ of them.
  void Reserve(std::size_t size);
  // Moves to larger storage holding the first size_ bytes and then tail (which may lie in the old
  // storage).
  void Grow(std::size_t size, std::span<const std::uint8_t> tail);

  CByteStorage storage_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace reelkit
