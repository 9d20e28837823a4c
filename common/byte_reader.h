#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "common/endian.h"

namespace reelkit {

// A bounded cursor over untrusted bytes. Every read checks the remaining length first; a read
// that does not fit returns nothing and leaves the cursor where it was.
class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::size_t Remaining() const { return bytes_.size() - position_; }
  std::size_t Position() const { return position_; }
  bool AtEnd() const { return position_ == bytes_.size(); }

  std::optional<std::uint32_t> ReadU32() {
    auto p = Take(4);
    return p ? std::optional(LoadU32LE(p->data())) : std::nullopt;
  }
  std::optional<std::int32_t> ReadI32() {
    auto p = Take(4);
    return p ? std::optional(LoadI32LE(p->data())) : std::nullopt;
  }
  std::optional<std::uint64_t> ReadU64() {
    auto p = Take(8);
    return p ? std::optional(LoadU64LE(p->data())) : std::nullopt;
  }

  std::optional<std::span<const std::uint8_t>> Take(std::size_t count) {
    if (count > Remaining()) {
      return std::nullopt;
    }
    auto taken = bytes_.subspan(position_, count);
    position_ += count;
    return taken;
  }

  bool Skip(std::size_t count) { return Take(count).has_value(); }

  std::span<const std::uint8_t> Rest() const { return bytes_.subspan(position_); }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

}  // namespace reelkit
