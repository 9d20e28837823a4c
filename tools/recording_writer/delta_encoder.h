#pragma once

// Codes the change of one plane row into delta runs: bytes that already hold the target are kept,
// bytes whose previous plane holds the target are swapped back, everything else is written as
// fills (repeated values) or literals. The decoder's effect of those runs can then be applied to
// the planes, so the next row or record is coded against what the decoder will hold.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/byte_block.h"

namespace reelkit::recording {

enum class DeltaUnits {
  Words,  // 4-byte runs, byte runs only for the last row bytes that do not fill a word
  Bytes,  // byte runs only
};

// One row of the rectangle in the three planes and the target image, all at the same offset.
struct DeltaRow {
  std::uint8_t* screen = nullptr;
  std::uint8_t* current = nullptr;
  std::uint8_t* previous = nullptr;
  const std::uint8_t* target = nullptr;
  std::size_t bytes = 0;
};

class CDeltaEncoder {
 public:
  explicit CDeltaEncoder(DeltaUnits units) : units_(units) {}

  // Appends the runs of the row to out; the planes are not changed.
  void EncodeRow(const DeltaRow& row, ByteBlock& out);
  // Applies to the planes the effect of the row coded last by EncodeRow.
  void ApplyRow(const DeltaRow& row) const;

 private:
  enum class UnitClass : std::uint8_t { Keep, Swap, New };

  template <std::size_t Unit>
  void ClassifyUnits(const DeltaRow& row, std::size_t begin, std::size_t count,
                     std::vector<UnitClass>& classes) const;
  template <std::size_t Unit>
  void EncodeUnits(const DeltaRow& row, std::size_t begin, const std::vector<UnitClass>& classes,
                   ByteBlock& out) const;
  template <std::size_t Unit>
  static void ApplyUnits(const DeltaRow& row, std::size_t begin,
                         const std::vector<UnitClass>& classes);

  DeltaUnits units_;
  std::vector<UnitClass> wordClasses_;
  std::vector<UnitClass> byteClasses_;
};

}  // namespace reelkit::recording
