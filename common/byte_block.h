#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <vector>

namespace reelkit {

// Constructs elements without arguments by default-initialisation, so that growing a byte vector
// for data about to be written over does not clear it first.
template <typename T>
struct DefaultInitAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = DefaultInitAllocator<U>;
  };
  template <typename U>
  void construct(U* where) noexcept {
    ::new (static_cast<void*>(where)) U;
  }
  template <typename U, typename... Args>
  void construct(U* where, Args&&... args) {
    ::new (static_cast<void*>(where)) U(std::forward<Args>(args)...);
  }
};

// A growable byte buffer reused across packets and frames. Growing keeps the contents and fills
// the new bytes with zero; shrinking keeps the storage, so a steady stream allocates nothing.
class ByteBlock {
 public:
  ByteBlock() = default;
  explicit ByteBlock(std::size_t size) : bytes_(size, 0) {}

  std::size_t size() const { return bytes_.size(); }
  bool empty() const { return bytes_.empty(); }
  std::uint8_t* data() { return bytes_.data(); }
  const std::uint8_t* data() const { return bytes_.data(); }
  std::span<std::uint8_t> span() { return bytes_; }
  std::span<const std::uint8_t> span() const { return bytes_; }
  std::uint8_t& operator[](std::size_t i) { return bytes_[i]; }
  std::uint8_t operator[](std::size_t i) const { return bytes_[i]; }

  void Resize(std::size_t size) { bytes_.resize(size, 0); }
  // Like Resize, but the new bytes are left undefined: for storage that is written before it is
  // read. Untouched pages of a large buffer then cost nothing.
  void ResizeForOverwrite(std::size_t size) { bytes_.resize(size); }
  // Resizes only when the size differs, then zeroes every byte.
  void ResizeZeroed(std::size_t size);
  void Zero();
  void Clear() { bytes_.clear(); }
  void Assign(std::span<const std::uint8_t> bytes) { bytes_.assign(bytes.begin(), bytes.end()); }
  void Append(std::span<const std::uint8_t> bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  }
  void AppendU32LE(std::uint32_t value);

  // Releases the storage too, unlike Clear.
  void Release();

  friend bool operator==(const ByteBlock&, const ByteBlock&) = default;

 private:
  std::vector<std::uint8_t, DefaultInitAllocator<std::uint8_t>> bytes_;
};

}  // namespace reelkit
