#pragma once

#include <cstdint>
#include <cstring>

// Little-endian loads and stores on unaligned bytes; every file format we touch is little-endian.
namespace reelkit {

inline std::uint16_t LoadU16LE(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t LoadU32LE(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::int32_t LoadI32LE(const std::uint8_t* p) {
  return static_cast<std::int32_t>(LoadU32LE(p));
}

inline std::uint64_t LoadU64LE(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(LoadU32LE(p)) |
         (static_cast<std::uint64_t>(LoadU32LE(p + 4)) << 32);
}

inline void StoreU16LE(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void StoreU32LE(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

inline void StoreU64LE(std::uint8_t* p, std::uint64_t v) {
  StoreU32LE(p, static_cast<std::uint32_t>(v));
  StoreU32LE(p + 4, static_cast<std::uint32_t>(v >> 32));
}

}  // namespace reelkit
