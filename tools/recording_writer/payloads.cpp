#include "tools/recording_writer/payloads.h"

#include <lzf.h>
#include <zlib.h>

#include <algorithm>
#include <stdexcept>

#include "common/endian.h"
#include "common/picture_rules.h"

namespace reelkit::recording {
namespace {

ByteBlock CompressZlib(std::span<const std::uint8_t> bytes, int level) {
  uLongf capacity = compressBound(static_cast<uLong>(bytes.size()));
  ByteBlock out(capacity);
  if (compress2(out.data(), &capacity, bytes.data(), static_cast<uLong>(bytes.size()), level) !=
      Z_OK) {
    throw std::runtime_error("zlib could not compress the packet data");
  }
  out.Resize(capacity);
  return out;
}

ByteBlock CompressLzf(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) {
    return {};
  }
  // Incompressible input grows by about one byte in 32; the margin covers it.
  ByteBlock out(bytes.size() + bytes.size() / 16 + 64);
  const unsigned int written = lzf_compress(bytes.data(), static_cast<unsigned int>(bytes.size()),
                                            out.data(), static_cast<unsigned int>(out.size()));
  if (written == 0) {
    throw std::runtime_error("liblzf could not compress the packet data");
  }
  out.Resize(written);
  return out;
}

std::uint32_t U32(int value) {
  return static_cast<std::uint32_t>(value);
}

std::uint16_t U16(int value) {
  return static_cast<std::uint16_t>(value);
}

}  // namespace

ByteBlock RecordPayload::Joined() const {
  ByteBlock joined;
  joined.Append(head.span());
  joined.Append(body.span());
  return joined;
}

CursorShape CursorShape::FromArgb(std::span<const std::uint32_t> topDownArgb, int width, int height,
                                  int hotspotX, int hotspotY) {
  CursorShape shape;
  shape.width = width;
  shape.height = height;
  shape.hotspotX = hotspotX;
  shape.hotspotY = hotspotY;
  shape.bgr.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
  for (int row = 0; row < height; ++row) {
    const std::size_t storedRow = static_cast<std::size_t>(height - 1 - row);
    for (int column = 0; column < width; ++column) {
      const std::uint32_t pixel =
          topDownArgb[static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(column)];
      std::uint8_t* out =
          shape.bgr.data() + (storedRow * static_cast<std::size_t>(width) + column) * 3;
      if ((pixel >> 24) < 128) {
        out[0] = kCursorKeyBlue;
        out[1] = kCursorKeyGreen;
        out[2] = kCursorKeyRed;
      } else {
        out[0] = static_cast<std::uint8_t>(pixel);
        out[1] = static_cast<std::uint8_t>(pixel >> 8);
        out[2] = static_cast<std::uint8_t>(pixel >> 16);
      }
    }
  }
  return shape;
}

ByteBlock CompressBytes(std::span<const std::uint8_t> bytes, CompressionMethod method,
                        int zlibLevel) {
  switch (method) {
    case CompressionMethod::Zlib:
      return CompressZlib(bytes, zlibLevel);
    case CompressionMethod::Lzf:
      return CompressLzf(bytes);
    case CompressionMethod::Stored:
      break;
  }
  ByteBlock copy;
  copy.Assign(bytes);
  return copy;
}

ByteBlock BuildFileHeader(std::uint32_t version, std::span<const std::uint8_t> formatBlock) {
  ByteBlock header(file_header::kFormatBlock);
  StoreU32LE(header.data() + file_header::kMagic, kRawRecordingMagic);
  StoreU32LE(header.data() + file_header::kVersion, version);
  StoreU32LE(header.data() + file_header::kFormatSize,
             static_cast<std::uint32_t>(formatBlock.size()));
  header.Append(formatBlock);
  return header;
}

ByteBlock BuildRecord(FourCC fourcc, Time timestamp, std::span<const std::uint8_t> firstBlock,
                      std::span<const std::uint8_t> secondBlock) {
  ByteBlock record(record::kFirstBlock);
  StoreU32LE(record.data() + record::kFourCC, fourcc);
  StoreU64LE(record.data() + record::kTimestamp, static_cast<std::uint64_t>(timestamp));
  StoreU32LE(record.data() + record::kFirstLength, static_cast<std::uint32_t>(firstBlock.size()));
  record.Append(firstBlock);
  record.AppendU32LE(static_cast<std::uint32_t>(secondBlock.size()));
  record.Append(secondBlock);
  return record;
}

ByteBlock BuildFormatHeader(const BitmapFormat& format) {
  const BitmapInfoHeader header = format.Header();
  const std::size_t entries = std::min<std::size_t>(header.clrUsed, kMaxColorTableEntries);
  ByteBlock block(format_header::kColorTable + 4 * entries);
  StoreU32LE(block.data() + format_header::kMarkerOffset, format_header::kMarker);
  WriteBitmapInfoHeader(block.data() + format_header::kBitmapHeader, header);
  std::copy_n(format.ColorTable().begin(), 4 * entries, block.data() + format_header::kColorTable);
  return block;
}

RecordPayload BuildFormatPayload(const BitmapFormat* format) {
  RecordPayload payload;
  if (format != nullptr) {
    payload.head = BuildFormatHeader(*format);
  }
  return payload;
}

RecordPayload BuildKeyFramePayload(const BitmapFormat* format,
                                   std::span<const std::uint8_t> currentPlane,
                                   std::span<const std::uint8_t> previousPlane, int zlibLevel) {
  RecordPayload payload;
  if (format != nullptr) {
    payload.head = BuildFormatHeader(*format);
  }
  // Both planes go into one stream so the previous plane compresses against the current one.
  ByteBlock planes;
  planes.Append(currentPlane);
  planes.Append(previousPlane);
  payload.body = CompressZlib(planes.span(), zlibLevel);
  return payload;
}

RecordPayload BuildDeltaPayload(const ScreenRect& rect, std::span<const std::uint8_t> opcodes,
                                CompressionMethod method, int zlibLevel) {
  RecordPayload payload;
  payload.body = CompressBytes(opcodes, method, zlibLevel);
  payload.head.Resize(delta_header::kSize);
  std::uint8_t* head = payload.head.data();
  StoreU32LE(head + delta_header::kCompressedLength,
             static_cast<std::uint32_t>(payload.body.size()));
  StoreU32LE(head + delta_header::kOpcodeLength, static_cast<std::uint32_t>(opcodes.size()));
  StoreU32LE(head + delta_header::kLeft, U32(rect.left));
  StoreU32LE(head + delta_header::kTop, U32(rect.top));
  StoreU32LE(head + delta_header::kWidth, U32(rect.width));
  StoreU32LE(head + delta_header::kHeight, U32(rect.height));
  StoreU32LE(head + delta_header::kMethod, static_cast<std::uint32_t>(method));
  return payload;
}

ByteBlock EncodeMoveRecords(std::span<const MoveOperation> operations) {
  ByteBlock records(operations.size() * move_record::kSize);
  std::uint8_t* out = records.data();
  for (const MoveOperation& op : operations) {
    StoreU16LE(out + move_record::kKind, static_cast<std::uint16_t>(op.kind));
    StoreU16LE(out + move_record::kLeft, U16(op.target.left));
    StoreU16LE(out + move_record::kTop, U16(op.target.top));
    StoreU16LE(out + move_record::kRight, U16(op.target.Right()));
    StoreU16LE(out + move_record::kBottom, U16(op.target.Bottom()));
    if (op.kind == MoveKind::Copy) {
      StoreU16LE(out + move_record::kSourceLeft, U16(op.sourceLeft));
      StoreU16LE(out + move_record::kSourceTop, U16(op.sourceTop));
    } else if (op.kind == MoveKind::Fill) {
      StoreU32LE(out + move_record::kFillColor, op.fillColor);
    }
    out += move_record::kSize;
  }
  return records;
}

RecordPayload BuildMovePayload(std::span<const MoveOperation> operations, CompressionMethod method,
                               int zlibLevel) {
  const ByteBlock records = EncodeMoveRecords(operations);
  RecordPayload payload;
  payload.body = CompressBytes(records.span(), method, zlibLevel);
  payload.head.Resize(move_header::kSize);
  std::uint8_t* head = payload.head.data();
  StoreU32LE(head + move_header::kRecordCount, static_cast<std::uint32_t>(operations.size()));
  StoreU32LE(head + move_header::kCompressedLength,
             static_cast<std::uint32_t>(payload.body.size()));
  StoreU32LE(head + move_header::kMethod, static_cast<std::uint32_t>(method));
  return payload;
}

RecordPayload BuildCursorShapePayload(const CursorShape& shape, int zlibLevel) {
  RecordPayload payload;
  payload.body = CompressZlib(shape.bgr, zlibLevel);
  payload.head.Resize(cursor_shape_header::kSize);
  std::uint8_t* head = payload.head.data();
  StoreU32LE(head + cursor_shape_header::kWidth, U32(shape.width));
  StoreU32LE(head + cursor_shape_header::kHeight, U32(shape.height));
  StoreU32LE(head + cursor_shape_header::kHotspotX, U32(shape.hotspotX));
  StoreU32LE(head + cursor_shape_header::kHotspotY, U32(shape.hotspotY));
  StoreU32LE(head + cursor_shape_header::kCompressedLength,
             static_cast<std::uint32_t>(payload.body.size()));
  StoreU32LE(head + cursor_shape_header::kRawLength, static_cast<std::uint32_t>(shape.bgr.size()));
  return payload;
}

RecordPayload BuildCursorPositionPayload(int x, int y) {
  RecordPayload payload;
  payload.head.Resize(cursor_position_header::kSize);
  StoreU32LE(payload.head.data() + cursor_position_header::kX, U32(x));
  StoreU32LE(payload.head.data() + cursor_position_header::kY, U32(y));
  return payload;
}

CBundleBuilder::CBundleBuilder(FourCC outer) {
  bytes_.AppendU32LE(outer);
}

CBundleBuilder& CBundleBuilder::Add(FourCC fourcc, std::span<const std::uint8_t> payload) {
  return AddWithDeclaredSize(fourcc, static_cast<std::uint32_t>(payload.size()), payload);
}

CBundleBuilder& CBundleBuilder::Add(FourCC fourcc, const RecordPayload& payload) {
  bytes_.AppendU32LE(fourcc);
  bytes_.AppendU32LE(static_cast<std::uint32_t>(payload.head.size() + payload.body.size()));
  bytes_.Append(payload.head.span());
  bytes_.Append(payload.body.span());
  return *this;
}

CBundleBuilder& CBundleBuilder::AddWithDeclaredSize(FourCC fourcc, std::uint32_t declaredSize,
                                                    std::span<const std::uint8_t> payload) {
  bytes_.AppendU32LE(fourcc);
  bytes_.AppendU32LE(declaredSize);
  bytes_.Append(payload);
  return *this;
}

CBundleBuilder& CBundleBuilder::AddRaw(std::span<const std::uint8_t> bytes) {
  bytes_.Append(bytes);
  return *this;
}

}  // namespace reelkit::recording
