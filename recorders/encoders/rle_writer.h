#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/byte_block.h"

namespace reelkit {

// Length of the run of equal bytes at p, at most limit (limit >= 1).
inline int RunLength(const std::uint8_t* p, int limit) {
  int run = 1;
  while (run < limit && p[run] == p[0]) {
    ++run;
  }
  return run;
}

// Writes the codes of an 8-bit RLE picture and follows the decoder's cursor: a column, and a row
// counted from the bottom as the picture's rows are stored.
//
// The codes: a pair (n, i) with n > 0 paints n pixels of index i. A pair starting with 0 is an
// escape: (0, 0) ends the line, (0, 1) ends the picture, (0, 2, dx, dy) moves the cursor dx
// columns right and dy rows up, and (0, n) with n >= 3 is followed by n literal indices padded to
// an even length.
class CRleWriter {
 public:
  // Writes from the start of buffer, growing it when a picture needs more room than it has.
  void Start(ByteBlock& buffer);

  // Moves the cursor forward only: to a later row, or to a later column of the same row. The
  // target column must lie inside the picture: decoders refuse a move to the end of a row.
  void MoveTo(int x, int row);

  // Codes count indices from the cursor on: runs where they pay, literals elsewhere.
  void WriteIndices(const std::uint8_t* indices, int count);

  // Ends the picture. rawSize: the size at which decoders take a packet for an uncompressed
  // picture; a coded picture of exactly that size gets one more end of line, which changes
  // nothing it shows.
  void Finish(std::size_t rawSize);

  std::span<const std::uint8_t> bytes() const { return buffer_->span().first(used_); }

 private:
  void EnsureRoom(std::size_t bytes);
  void Put(std::uint8_t first, std::uint8_t second);
  void Delta(int dx, int dy);
  void PutLiteral(const std::uint8_t* indices, int count);
  void PutShortRuns(const std::uint8_t* indices, int count);

  ByteBlock* buffer_ = nullptr;
  std::size_t used_ = 0;
  int x_ = 0;
  int row_ = 0;
};

}  // namespace reelkit
