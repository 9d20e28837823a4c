#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace reelkit {

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
  std::vector<std::uint8_t> bytes_;
};

}  // namespace reelkit
