#include "recorders/encoders/rle_writer.h"

#include <algorithm>
#include <cstring>

namespace reelkit {
namespace {

constexpr std::uint8_t kEscape = 0;
constexpr std::uint8_t kEndOfLine = 0;
constexpr std::uint8_t kEndOfPicture = 1;
constexpr std::uint8_t kDelta = 2;
constexpr int kMaxCount = 255;  // longest run, literal or step of one code
constexpr int kMinLiteral = 3;  // shorter counts after an escape are the escapes themselves
constexpr int kNoWay = 1 << 30;

int DeltaCodes(int dx, int dy) {
  return (std::max(dx, dy) + kMaxCount - 1) / kMaxCount;
}

}  // namespace

void CRleWriter::Start(ByteBlock& buffer) {
  buffer_ = &buffer;
  used_ = 0;
  x_ = 0;
  row_ = 0;
}

// Across rows the cheaper of a direct delta and an end of line followed by one.
void CRleWriter::MoveTo(int x, int row) {
  if (row == row_) {
    Delta(x - x_, 0);
  } else {
    const int dy = row - row_;
    const int direct = x >= x_ ? 4 * DeltaCodes(x - x_, dy) : kNoWay;
    const int viaEndOfLine = 2 + 4 * DeltaCodes(x, dy - 1);
    if (direct <= viaEndOfLine) {
      Delta(x - x_, dy);
    } else {
      EnsureRoom(2);
      Put(kEscape, kEndOfLine);
      Delta(x, dy - 1);
    }
  }
  x_ = x;
  row_ = row;
}

// A literal holds pairs too (a pair costs as much inside it as on its own) and ends where a run
// of three or more begins. No piece costs more than two bytes per pixel.
void CRleWriter::WriteIndices(const std::uint8_t* indices, int count) {
  EnsureRoom(2 * static_cast<std::size_t>(count) + 4);
  int i = 0;
  while (i < count) {
    const int run = RunLength(indices + i, std::min(count - i, kMaxCount));
    if (run >= kMinLiteral) {
      Put(static_cast<std::uint8_t>(run), indices[i]);
      i += run;
      continue;
    }
    const int limit = std::min(count, i + kMaxCount);
    int end = i + run;
    while (end < limit) {
      const int next = RunLength(indices + end, std::min(limit - end, kMinLiteral));
      if (next >= kMinLiteral) {
        break;
      }
      end += next;
    }
    if (end - i >= kMinLiteral) {
      PutLiteral(indices + i, end - i);
    } else {
      PutShortRuns(indices + i, end - i);
    }
    i = end;
  }
  x_ += count;
}

void CRleWriter::Finish(std::size_t rawSize) {
  EnsureRoom(4);
  if (used_ + 2 == rawSize) {
    Put(kEscape, kEndOfLine);
  }
  Put(kEscape, kEndOfPicture);
}

void CRleWriter::EnsureRoom(std::size_t bytes) {
  if (used_ + bytes > buffer_->size()) {
    buffer_->ResizeForOverwrite(std::max(buffer_->size() * 2, used_ + bytes));
  }
}

void CRleWriter::Put(std::uint8_t first, std::uint8_t second) {
  std::uint8_t* out = buffer_->data() + used_;
  out[0] = first;
  out[1] = second;
  used_ += 2;
}

void CRleWriter::Delta(int dx, int dy) {
  EnsureRoom(4 * static_cast<std::size_t>(DeltaCodes(dx, dy)));
  while (dx > 0 || dy > 0) {
    const int stepX = std::min(dx, kMaxCount);
    const int stepY = std::min(dy, kMaxCount);
    Put(kEscape, kDelta);
    Put(static_cast<std::uint8_t>(stepX), static_cast<std::uint8_t>(stepY));
    dx -= stepX;
    dy -= stepY;
  }
}

void CRleWriter::PutLiteral(const std::uint8_t* indices, int count) {
  Put(kEscape, static_cast<std::uint8_t>(count));
  std::memcpy(buffer_->data() + used_, indices, static_cast<std::size_t>(count));
  used_ += static_cast<std::size_t>(count);
  if ((count & 1) != 0) {
    buffer_->data()[used_++] = 0;
  }
}

// One or two pixels: as runs, since the escape cannot carry fewer than three literals.
void CRleWriter::PutShortRuns(const std::uint8_t* indices, int count) {
  if (count == 2 && indices[0] == indices[1]) {
    Put(2, indices[0]);
    return;
  }
  for (int k = 0; k < count; ++k) {
    Put(1, indices[k]);
  }
}

}  // namespace reelkit
