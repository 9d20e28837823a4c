#pragma once

// Builders for the bytes of the recording: the file header, one record, the payload of each
// packet kind and a whole bundle. They write what they are given without checking it against a
// screen, so tests can also build malformed packets with them.

#include <cstdint>
#include <span>
#include <vector>

#include "common/bitmap_format.h"
#include "common/byte_block.h"
#include "common/fourcc.h"
#include "common/time.h"
#include "tools/recording_writer/recording_layout.h"

namespace reelkit::recording {

// A packet payload in the two parts the recording side keeps apart: the fixed-size head and the
// variable body (compressed pixels, opcodes, move records). A record stores the body as its first
// block and the head as its second, so a bundle sub-packet (second block, then first) carries
// head followed by body.
struct RecordPayload {
  ByteBlock head;
  ByteBlock body;

  // Head followed by body: the payload as a decoder sees it inside a bundle.
  ByteBlock Joined() const;
};

// A rectangle in screen pixels, y counted from the top screen row.
struct ScreenRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;

  bool Empty() const { return width <= 0 || height <= 0; }
  int Right() const { return left + width; }
  int Bottom() const { return top + height; }
  friend bool operator==(const ScreenRect&, const ScreenRect&) = default;
};

struct MoveOperation {
  MoveKind kind = MoveKind::Copy;
  ScreenRect target;            // destination of a copy, the rectangle of a fill or save
  int sourceLeft = 0;           // copy only
  int sourceTop = 0;            // copy only
  std::uint32_t fillColor = 0;  // fill only: native pixel value (16 bits use the low half)
};

// Pixels of a cursor image: width x height of (blue, green, red), rows bottom-up, not padded.
// Pixels of the key colour are transparent.
struct CursorShape {
  int width = 0;
  int height = 0;
  int hotspotX = 0;
  int hotspotY = 0;
  std::vector<std::uint8_t> bgr;

  // From top-down 0xAARRGGBB pixels; alpha below 128 becomes the key colour.
  static CursorShape FromArgb(std::span<const std::uint32_t> topDownArgb, int width, int height,
                              int hotspotX, int hotspotY);
  friend bool operator==(const CursorShape&, const CursorShape&) = default;
};

// Compresses with the method; Stored returns a copy. Throws std::runtime_error if the library
// fails.
ByteBlock CompressBytes(std::span<const std::uint8_t> bytes, CompressionMethod method,
                        int zlibLevel = 6);

ByteBlock BuildFileHeader(std::uint32_t version, std::span<const std::uint8_t> formatBlock);
ByteBlock BuildRecord(FourCC fourcc, Time timestamp, std::span<const std::uint8_t> firstBlock,
                      std::span<const std::uint8_t> secondBlock);
inline ByteBlock BuildRecord(FourCC fourcc, Time timestamp, const RecordPayload& payload) {
  return BuildRecord(fourcc, timestamp, payload.body.span(), payload.head.span());
}

// The 101-marked format header: marker, 28 zero bytes, the 40-byte bitmap header, then
// 4 x colours-used entries of the colour table (masks are not carried).
ByteBlock BuildFormatHeader(const BitmapFormat& format);

// FINT (or a first INIT) announcing a format; with no format the payload is empty.
RecordPayload BuildFormatPayload(const BitmapFormat* format);

// KFRM: the optional format header, then one zlib stream of the current plane followed by the
// previous plane.
RecordPayload BuildKeyFramePayload(const BitmapFormat* format,
                                   std::span<const std::uint8_t> currentPlane,
                                   std::span<const std::uint8_t> previousPlane, int zlibLevel = 6);

// DLTA over the rectangle with an encoded opcode stream.
RecordPayload BuildDeltaPayload(const ScreenRect& rect, std::span<const std::uint8_t> opcodes,
                                CompressionMethod method, int zlibLevel = 6);

// The 16-byte move records, with coordinates cut to 16 bits as the format stores them.
ByteBlock EncodeMoveRecords(std::span<const MoveOperation> operations);
RecordPayload BuildMovePayload(std::span<const MoveOperation> operations, CompressionMethod method,
                               int zlibLevel = 6);

RecordPayload BuildCursorShapePayload(const CursorShape& shape, int zlibLevel = 6);
RecordPayload BuildCursorPositionPayload(int x, int y);

// A bundle packet in memory: "BNDL" or "KBND", then sub-packets of FourCC, size and payload.
class CBundleBuilder {
 public:
  explicit CBundleBuilder(FourCC outer = kFourCCBndl);

  CBundleBuilder& Add(FourCC fourcc, std::span<const std::uint8_t> payload);
  CBundleBuilder& Add(FourCC fourcc, const RecordPayload& payload);
  // A sub-packet whose size field says declaredSize whatever the payload holds.
  CBundleBuilder& AddWithDeclaredSize(FourCC fourcc, std::uint32_t declaredSize,
                                      std::span<const std::uint8_t> payload);
  // Bytes appended as they are, for truncated or garbage tails.
  CBundleBuilder& AddRaw(std::span<const std::uint8_t> bytes);

  const ByteBlock& Bytes() const { return bytes_; }

 private:
  ByteBlock bytes_;
};

}  // namespace reelkit::recording
