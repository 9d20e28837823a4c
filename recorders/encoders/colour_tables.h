#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace reelkit {

// 256 entries of 0x00RRGGBB, the palette of an 8-bit picture.
using Palette = std::array<std::uint32_t, 256>;

// Pixels arrive as 0x00RRGGBB; the top byte is padding that some sources leave non-zero.
inline constexpr std::uint32_t kColourMask = 0x00FFFFFF;

// Squared distance in RGB, the measure that PSNR judges a picture by.
inline std::uint32_t ColourDistance(std::uint32_t a, std::uint32_t b) {
  const int dr = static_cast<int>((a >> 16) & 0xFF) - static_cast<int>((b >> 16) & 0xFF);
  const int dg = static_cast<int>((a >> 8) & 0xFF) - static_cast<int>((b >> 8) & 0xFF);
  const int db = static_cast<int>(a & 0xFF) - static_cast<int>(b & 0xFF);
  return static_cast<std::uint32_t>(dr * dr + dg * dg + db * db);
}

struct PaletteMatch {
  std::uint8_t index = 0;
  std::uint32_t distance = 0;  // squared, as ColourDistance
};

// The entry closest to the colour; the lowest index among equally close ones.
PaletteMatch FindNearestEntry(const Palette& palette, std::uint32_t colour);

// Exact colour-to-index lookup over a palette. A colour held by several entries maps to the
// lowest of them.
class CExactColourIndex {
 public:
  static constexpr int kAbsent = -1;

  CExactColourIndex() { keys_.fill(0); }
  void Rebuild(const Palette& palette);
  int Find(std::uint32_t colour) const;

 private:
  static constexpr std::size_t kSlots = 1024;  // a quarter full at most: probes stay short
  static constexpr std::uint32_t kOccupied = 0x01000000;

  std::array<std::uint32_t, kSlots> keys_{};
  std::array<std::uint8_t, kSlots> indices_{};
};

// Nearest-entry search behind a direct-mapped cache: a picture reuses the same few thousand
// colours over and over, so the full search over 256 entries runs about once per colour.
class CNearestColourCache {
 public:
  CNearestColourCache();
  // Forgets every cached answer; call whenever an entry changes.
  void Reset(const Palette& palette);
  PaletteMatch Find(std::uint32_t colour);

 private:
  // 16384 slots of 8 bytes stay in the second-level cache; a picture rarely has more colours.
  static constexpr int kSlotBits = 14;

  struct Slot {
    std::uint32_t key;    // colour in the low 24 bits, the generation in the top 8 (0 = empty)
    std::uint32_t value;  // index in the low 8 bits, distance above them
  };

  PaletteMatch Search(std::uint32_t colour) const;

  // Planar copies let the compiler vectorise the distance loop.
  std::array<std::int32_t, 256> red_{};
  std::array<std::int32_t, 256> green_{};
  std::array<std::int32_t, 256> blue_{};
  std::vector<Slot> slots_;
  std::uint32_t generation_ = 1;
};

// Distinct colours with their pixel counts, up to a fixed number of them. Clearing costs as much
// as the colours held, so a small count can be rebuilt every frame.
class CColourCounter {
 public:
  struct Entry {
    std::uint32_t colour;
    std::uint32_t count;
  };

  explicit CColourCounter(std::size_t capacity);
  void Clear();
  // False, and nothing counted, when the colour is new and the counter is full.
  bool Add(std::uint32_t colour, std::uint32_t count);
  std::size_t size() const { return entries_.size(); }
  std::size_t capacity() const { return capacity_; }
  const std::vector<Entry>& entries() const { return entries_; }

 private:
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFF;  // never a masked colour

  std::size_t capacity_;
  int slotBits_;
  std::uint32_t slotMask_;
  std::vector<std::uint32_t> slotColour_;
  std::vector<std::uint32_t> slotEntry_;
  std::vector<std::uint32_t> entrySlots_;
  std::vector<Entry> entries_;
};

}  // namespace reelkit
