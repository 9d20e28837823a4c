#pragma once

// The screen state a decoder holds while it reads a recording: the native format, the screen
// image and the current and previous planes of the delta codec, and the cursor. The writer keeps
// one of these in step with every record it writes, so it can code each change against exactly
// what the decoder will have, and callers can read the expected screen after any record.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "common/bitmap_format.h"
#include "common/byte_block.h"
#include "tools/recording_writer/payloads.h"

namespace reelkit::recording {

class CScreenModel {
 public:
  // The format of the file header; the planes stay empty until a format announcement or a key
  // image with a format header.
  explicit CScreenModel(const BitmapFormat& streamFormat);

  const BitmapFormat& NativeFormat() const { return native_; }
  int Width() const { return native_.Header().width; }
  int Height() const { return native_.Header().height; }
  unsigned BitCount() const { return native_.Header().bitCount; }
  std::size_t Stride() const;
  // Bytes of one native image: stride x height.
  std::size_t FrameSize() const;
  bool HasPlanes() const { return !current_.empty() && !previous_.empty(); }

  // Native pixels, DIB stride, bottom-up rows. Empty until the planes exist.
  std::span<const std::uint8_t> Screen() const { return screen_.span(); }
  std::span<const std::uint8_t> CurrentPlane() const { return current_.span(); }
  std::span<const std::uint8_t> PreviousPlane() const { return previous_.span(); }

  // FINT (announced format or none, full reset) and INIT (no format, no full reset). An
  // announcement equal to the native size, depth and colours-important above 8 bits keeps the
  // planes and clears only the screen image.
  void ApplyFormatReset(const BitmapFormat* announced, bool fullReset);
  // KFRM: the planes are loaded from the two images (each FrameSize() bytes of the format in
  // force after the optional announcement). Without planes nothing happens.
  void ApplyKeyImage(const BitmapFormat* announced, std::span<const std::uint8_t> current,
                     std::span<const std::uint8_t> previous);
  // DLTA: runs the opcode stream over the rectangle as the decoder's codec does, bounded to the
  // planes. Returns the number of rows completed.
  int ApplyDeltaOpcodes(const ScreenRect& rect, std::span<const std::uint8_t> opcodes);
  // MOVE: copies, fills and saves on the planes, then the covering rectangle to the screen.
  // Operations must lie inside the screen (the writer checks); any part outside is skipped.
  void ApplyMoves(std::span<const MoveOperation> operations);

  void SetCursorShape(const CursorShape& shape) { cursorShape_ = shape; }
  void SetCursorPosition(int x, int y);
  const std::optional<CursorShape>& CursorShapeNow() const { return cursorShape_; }
  int CursorX() const { return cursorX_; }
  int CursorY() const { return cursorY_; }

  // Byte position of a column and byte width of a pixel count at the native depth.
  std::size_t ColumnByte(int x) const;
  std::size_t ByteWidth(int pixels) const;
  // Offset of the first byte of screen row y (from the top) in the planes.
  std::size_t RowOffset(int y) const;

  // Mutable planes for the delta encoder, which applies its own runs as it codes them.
  ByteBlock& MutableScreen() { return screen_; }
  ByteBlock& MutableCurrent() { return current_; }
  ByteBlock& MutablePrevious() { return previous_; }

 private:
  void AdoptAnnouncedFormat(const BitmapFormat& announced);
  void CopyBlock(const MoveOperation& op);
  void FillBlock(const MoveOperation& op);
  void SaveBlock(const ScreenRect& rect);
  bool InsideScreen(const ScreenRect& rect) const;

  BitmapFormat native_;
  ByteBlock screen_;
  ByteBlock current_;
  ByteBlock previous_;
  std::optional<CursorShape> cursorShape_;
  int cursorX_ = 0;
  int cursorY_ = 0;
};

// The runs of a delta stream counted by opcode, read by the table ApplyDeltaOpcodes applies them
// by, up to where the stream stops being whole: tests see which runs the encoder chose.
std::array<int, 256> CountDeltaRuns(std::span<const std::uint8_t> opcodes);

}  // namespace reelkit::recording
