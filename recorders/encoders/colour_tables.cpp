#include "recorders/encoders/colour_tables.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace reelkit {
namespace {

// Fibonacci hashing: neighbouring colours land far apart.
inline std::uint32_t HashColour(std::uint32_t colour, int bits) {
  return (colour * 0x9E3779B1u) >> (32 - bits);
}

}  // namespace

PaletteMatch FindNearestEntry(const Palette& palette, std::uint32_t colour) {
  PaletteMatch best{0, std::numeric_limits<std::uint32_t>::max()};
  for (std::size_t i = 0; i < palette.size(); ++i) {
    const std::uint32_t distance = ColourDistance(palette[i], colour);
    if (distance < best.distance) {
      best = {static_cast<std::uint8_t>(i), distance};
    }
  }
  return best;
}

void CExactColourIndex::Rebuild(const Palette& palette) {
  keys_.fill(0);
  constexpr int kBits = std::countr_zero(kSlots);
  for (std::size_t i = 0; i < palette.size(); ++i) {
    const std::uint32_t key = (palette[i] & kColourMask) | kOccupied;
    std::uint32_t slot = HashColour(palette[i] & kColourMask, kBits);
    while (keys_[slot] != 0 && keys_[slot] != key) {
      slot = (slot + 1) & (kSlots - 1);
    }
    if (keys_[slot] == 0) {
      keys_[slot] = key;
      indices_[slot] = static_cast<std::uint8_t>(i);
    }
  }
}

int CExactColourIndex::Find(std::uint32_t colour) const {
  constexpr int kBits = std::countr_zero(kSlots);
  const std::uint32_t key = colour | kOccupied;
  std::uint32_t slot = HashColour(colour, kBits);
  while (keys_[slot] != 0) {
    if (keys_[slot] == key) {
      return indices_[slot];
    }
    slot = (slot + 1) & (kSlots - 1);
  }
  return kAbsent;
}

CNearestColourCache::CNearestColourCache() : slots_(std::size_t{1} << kSlotBits, Slot{0, 0}) {}

void CNearestColourCache::Reset(const Palette& palette) {
  for (std::size_t i = 0; i < palette.size(); ++i) {
    red_[i] = static_cast<std::int32_t>((palette[i] >> 16) & 0xFF);
    green_[i] = static_cast<std::int32_t>((palette[i] >> 8) & 0xFF);
    blue_[i] = static_cast<std::int32_t>(palette[i] & 0xFF);
  }
  if (++generation_ > 0xFF) {
    std::fill(slots_.begin(), slots_.end(), Slot{0, 0});
    generation_ = 1;
  }
}

PaletteMatch CNearestColourCache::Find(std::uint32_t colour) {
  Slot& slot = slots_[HashColour(colour, kSlotBits)];
  const std::uint32_t key = colour | (generation_ << 24);
  if (slot.key == key) {
    return {static_cast<std::uint8_t>(slot.value & 0xFF), slot.value >> 8};
  }
  const PaletteMatch match = Search(colour);
  slot = {key, match.index | (match.distance << 8)};
  return match;
}

PaletteMatch CNearestColourCache::Search(std::uint32_t colour) const {
  const std::int32_t r = static_cast<std::int32_t>((colour >> 16) & 0xFF);
  const std::int32_t g = static_cast<std::int32_t>((colour >> 8) & 0xFF);
  const std::int32_t b = static_cast<std::int32_t>(colour & 0xFF);
  std::array<std::int32_t, 256> distances;
  for (std::size_t i = 0; i < distances.size(); ++i) {
    const std::int32_t dr = red_[i] - r;
    const std::int32_t dg = green_[i] - g;
    const std::int32_t db = blue_[i] - b;
    distances[i] = dr * dr + dg * dg + db * db;
  }
  std::size_t best = 0;
  for (std::size_t i = 1; i < distances.size(); ++i) {
    if (distances[i] < distances[best]) {
      best = i;
    }
  }
  return {static_cast<std::uint8_t>(best), static_cast<std::uint32_t>(distances[best])};
}

CColourCounter::CColourCounter(std::size_t capacity)
    : capacity_(capacity),
      slotBits_(std::countr_zero(std::bit_ceil(capacity * 2))),
      slotMask_(static_cast<std::uint32_t>(std::bit_ceil(capacity * 2) - 1)),
      slotColour_(std::bit_ceil(capacity * 2), kEmpty),
      slotEntry_(std::bit_ceil(capacity * 2), 0) {
  entries_.reserve(capacity);
  entrySlots_.reserve(capacity);
}

void CColourCounter::Clear() {
  for (const std::uint32_t slot : entrySlots_) {
    slotColour_[slot] = kEmpty;
  }
  entrySlots_.clear();
  entries_.clear();
}

bool CColourCounter::Add(std::uint32_t colour, std::uint32_t count) {
  std::uint32_t slot = HashColour(colour, slotBits_);
  while (slotColour_[slot] != kEmpty) {
    if (slotColour_[slot] == colour) {
      entries_[slotEntry_[slot]].count += count;
      return true;
    }
    slot = (slot + 1) & slotMask_;
  }
  if (entries_.size() == capacity_) {
    return false;
  }
  slotColour_[slot] = colour;
  slotEntry_[slot] = static_cast<std::uint32_t>(entries_.size());
  entrySlots_.push_back(slot);
  entries_.push_back({colour, count});
  return true;
}

}  // namespace reelkit
