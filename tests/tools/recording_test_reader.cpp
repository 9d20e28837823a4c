#include "tests/tools/recording_test_reader.h"

#include <gtest/gtest.h>
#include <lzf.h>
#include <zlib.h>

#include <algorithm>
#include <utility>

namespace reelkit::testing {
namespace {

std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

Bytes Slice(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t length) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
               bytes.begin() + static_cast<std::ptrdiff_t>(offset + length));
}

Bytes Expand(const Bytes& payload, std::size_t offset, std::uint32_t method,
             std::uint32_t compressedLength, std::size_t expected) {
  const std::span<const std::uint8_t> rest(payload.data() + offset, payload.size() - offset);
  switch (method) {
    case 0:
      return Slice(rest, 0, std::min(rest.size(), expected));
    case 1:
      EXPECT_EQ(compressedLength, rest.size());
      return Inflate(rest.first(std::min<std::size_t>(compressedLength, rest.size())), expected);
    case 2:
      EXPECT_EQ(compressedLength, rest.size());
      return LzfExpand(rest.first(std::min<std::size_t>(compressedLength, rest.size())), expected);
    default:
      ADD_FAILURE() << "unknown compression method " << method;
      return {};
  }
}

}  // namespace

Bytes ParsedRecord::Payload() const {
  Bytes payload = second;
  payload.insert(payload.end(), first.begin(), first.end());
  return payload;
}

std::uint32_t U32At(const Bytes& bytes, std::size_t offset) {
  EXPECT_LE(offset + 4, bytes.size());
  return offset + 4 <= bytes.size() ? Le32(bytes.data() + offset) : 0;
}

std::uint16_t U16At(const Bytes& bytes, std::size_t offset) {
  EXPECT_LE(offset + 2, bytes.size());
  return offset + 2 <= bytes.size()
             ? static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8))
             : 0;
}

std::int16_t I16At(const Bytes& bytes, std::size_t offset) {
  return static_cast<std::int16_t>(U16At(bytes, offset));
}

ParsedRecording ParseRecording(std::span<const std::uint8_t> file) {
  ParsedRecording recording;
  if (file.size() < 12) {
    ADD_FAILURE() << "file shorter than its header";
    return recording;
  }
  recording.magic = Le32(file.data());
  recording.version = Le32(file.data() + 4);
  const std::uint32_t formatSize = Le32(file.data() + 8);
  if (12 + static_cast<std::size_t>(formatSize) > file.size()) {
    ADD_FAILURE() << "format block passes the end of the file";
    return recording;
  }
  recording.formatBlock = Slice(file, 12, formatSize);
  std::size_t at = 12 + formatSize;
  while (at < file.size()) {
    if (file.size() - at < 16) {
      recording.truncated = true;
      break;
    }
    ParsedRecord record;
    record.fourcc.assign(reinterpret_cast<const char*>(file.data() + at), 4);
    record.timestamp = static_cast<std::int64_t>(Le32(file.data() + at + 4) |
                                                 (std::uint64_t{Le32(file.data() + at + 8)} << 32));
    const std::size_t firstLength = Le32(file.data() + at + 12);
    if (file.size() - at - 16 < firstLength + 4) {
      recording.truncated = true;
      break;
    }
    record.first = Slice(file, at + 16, firstLength);
    const std::size_t secondAt = at + 16 + firstLength;
    const std::size_t secondLength = Le32(file.data() + secondAt);
    if (file.size() - secondAt - 4 < secondLength) {
      recording.truncated = true;
      break;
    }
    record.second = Slice(file, secondAt + 4, secondLength);
    recording.records.push_back(std::move(record));
    at = secondAt + 4 + secondLength;
  }
  return recording;
}

Bytes Inflate(std::span<const std::uint8_t> compressed, std::size_t expected) {
  Bytes out(expected + 1);
  uLongf length = static_cast<uLongf>(out.size());
  const int result =
      uncompress(out.data(), &length, compressed.data(), static_cast<uLong>(compressed.size()));
  EXPECT_EQ(result, Z_OK) << "zlib stream does not inflate";
  out.resize(result == Z_OK ? length : 0);
  return out;
}

Bytes LzfExpand(std::span<const std::uint8_t> compressed, std::size_t expected) {
  Bytes out(expected + 1);
  const unsigned int length =
      lzf_decompress(compressed.data(), static_cast<unsigned int>(compressed.size()), out.data(),
                     static_cast<unsigned int>(out.size()));
  EXPECT_EQ(length == 0, expected == 0) << "LZF block does not expand";
  out.resize(length);
  return out;
}

ParsedHeaderFormat ParseHeaderFormat(const Bytes& payload) {
  ParsedHeaderFormat format;
  if (payload.size() < 4 || U32At(payload, 0) != 101) {
    return format;
  }
  format.present = true;
  const std::uint32_t headerSize = U32At(payload, 32);
  format.width = static_cast<std::int32_t>(U32At(payload, 36));
  format.height = static_cast<std::int32_t>(U32At(payload, 40));
  format.bitCount = U16At(payload, 46);
  format.compression = U32At(payload, 48);
  format.colorsUsed = U32At(payload, 64);
  const std::size_t tableAt = 32 + headerSize;
  format.end = tableAt + 4 * static_cast<std::size_t>(format.colorsUsed);
  EXPECT_LE(format.end, payload.size());
  if (format.end <= payload.size()) {
    format.colorTable.assign(payload.begin() + static_cast<std::ptrdiff_t>(tableAt),
                             payload.begin() + static_cast<std::ptrdiff_t>(format.end));
  }
  return format;
}

ParsedDelta ParseDelta(const Bytes& payload) {
  ParsedDelta delta;
  if (payload.size() < 40) {
    ADD_FAILURE() << "DLTA payload of " << payload.size() << " bytes";
    return delta;
  }
  delta.compressedLength = U32At(payload, 8);
  delta.opcodeLength = U32At(payload, 12);
  delta.left = static_cast<std::int32_t>(U32At(payload, 16));
  delta.top = static_cast<std::int32_t>(U32At(payload, 20));
  delta.width = static_cast<std::int32_t>(U32At(payload, 24));
  delta.height = static_cast<std::int32_t>(U32At(payload, 28));
  delta.method = U32At(payload, 36);
  delta.opcodes = Expand(payload, 40, delta.method, delta.compressedLength, delta.opcodeLength);
  EXPECT_EQ(delta.opcodes.size(), delta.opcodeLength);
  return delta;
}

ParsedMove ParseMove(const Bytes& payload) {
  ParsedMove move;
  if (payload.size() < 24) {
    ADD_FAILURE() << "MOVE payload of " << payload.size() << " bytes";
    return move;
  }
  move.count = U32At(payload, 8);
  move.compressedLength = U32At(payload, 12);
  move.method = U32At(payload, 20);
  const Bytes records = Expand(payload, 24, move.method, move.compressedLength, 16 * move.count);
  EXPECT_EQ(records.size(), 16 * move.count);
  for (std::size_t at = 0; at + 16 <= records.size(); at += 16) {
    ParsedMoveRecord record;
    record.kind = U16At(records, at);
    record.left = I16At(records, at + 2);
    record.top = I16At(records, at + 4);
    record.right = I16At(records, at + 6);
    record.bottom = I16At(records, at + 8);
    record.sourceLeft = I16At(records, at + 10);
    record.sourceTop = I16At(records, at + 12);
    record.color = U32At(records, at + 10);
    move.records.push_back(record);
  }
  return move;
}

ParsedCursor ParseCursor(const Bytes& payload) {
  ParsedCursor cursor;
  if (payload.size() < 32) {
    ADD_FAILURE() << "MOUS payload of " << payload.size() << " bytes";
    return cursor;
  }
  cursor.width = static_cast<std::int32_t>(U32At(payload, 8));
  cursor.height = static_cast<std::int32_t>(U32At(payload, 12));
  cursor.hotspotX = static_cast<std::int32_t>(U32At(payload, 16));
  cursor.hotspotY = static_cast<std::int32_t>(U32At(payload, 20));
  cursor.compressedLength = U32At(payload, 24);
  cursor.rawLength = U32At(payload, 28);
  EXPECT_EQ(32 + static_cast<std::size_t>(cursor.compressedLength), payload.size());
  cursor.bgr = Inflate(std::span(payload).subspan(32), cursor.rawLength);
  return cursor;
}

void ReferencePlanes::Reset(int w, int h, int b) {
  width = w;
  height = h;
  bits = b;
  const std::size_t size = Stride() * static_cast<std::size_t>(h);
  screen.assign(size, 0);
  current.assign(size, 0);
  previous.assign(size, 0);
}

ReferencePlanes::DeltaRun ReferencePlanes::RunDelta(const ParsedDelta& delta) {
  DeltaRun run;
  run.opcodeCounts.assign(256, 0);
  const Bytes& ops = delta.opcodes;
  const std::size_t stride = Stride();
  const std::size_t rowBytes = static_cast<std::size_t>(delta.width) * bits / 8;
  std::size_t position = (static_cast<std::size_t>(height - delta.top - delta.height)) * stride +
                         static_cast<std::size_t>(delta.left) * bits / 8;
  std::size_t p = 0;
  const auto put = [&](std::uint8_t value) {
    previous.at(position) = current.at(position);
    current.at(position) = value;
    screen.at(position) = value;
    ++position;
  };
  for (int row = 0; row < delta.height; ++row) {
    const std::size_t rowStart = position;
    std::size_t progress = 0;
    while (progress < rowBytes) {
      if (p + 2 > ops.size()) {
        return run;
      }
      const int opcode = ops[p];
      const int n = ops[p + 1];
      p += 2;
      ++run.opcodeCounts[static_cast<std::size_t>(opcode)];
      switch (opcode) {
        case 1:
        case 10:
          for (int i = 0; i < n * (opcode == 10 ? 4 : 1); ++i, ++position) {
            screen.at(position) = current.at(position);
          }
          progress += static_cast<std::size_t>(n) * (opcode == 10 ? 4 : 1);
          break;
        case 2:
        case 12:
          for (int i = 0; i < n * (opcode == 12 ? 4 : 1); ++i, ++position) {
            std::swap(current.at(position), previous.at(position));
            screen.at(position) = current.at(position);
          }
          progress += static_cast<std::size_t>(n) * (opcode == 12 ? 4 : 1);
          break;
        case 3:
        case 13:
          for (int i = 0; i < n * (opcode == 13 ? 4 : 1); ++i) {
            put(ops.at(p++));
          }
          progress += static_cast<std::size_t>(n) * (opcode == 13 ? 4 : 1);
          break;
        case 4:
          for (int i = 0; i < n; ++i) {
            put(ops.at(p));
          }
          ++p;
          progress += static_cast<std::size_t>(n);
          break;
        case 7:
          for (int i = 0; i < n; ++i) {
            for (int b = 0; b < 4; ++b) {
              put(ops.at(p + static_cast<std::size_t>(b)));
            }
          }
          p += 4;
          progress += 4 * static_cast<std::size_t>(n);
          break;
        default:
          ADD_FAILURE() << "the writer emitted opcode " << opcode;
          return run;
      }
    }
    EXPECT_EQ(progress, rowBytes) << "a run passes the end of row " << row;
    position = rowStart + stride;
    ++run.rows;
  }
  return run;
}

}  // namespace reelkit::testing

namespace reelkit::testing {

ReferenceScreen::ReferenceScreen(const Bytes& formatBlock) {
  planes_.width = static_cast<int>(U32At(formatBlock, 4));
  planes_.height = static_cast<int>(U32At(formatBlock, 8));
  planes_.bits = U16At(formatBlock, 14);
  colorsImportant_ = U32At(formatBlock, 36);
}

void ReferenceScreen::Apply(const ParsedRecord& record) {
  const Bytes payload = record.Payload();
  std::string kind = record.fourcc;
  if (kind == "INIT" && !initSeen_) {
    initSeen_ = true;
    kind = "FINT";
  }
  if (kind == "FINT") {
    FormatReset(payload, true);
  } else if (kind == "INIT") {
    FormatReset({}, false);
  } else if (kind == "KFRM") {
    KeyImage(payload);
  } else if (kind == "DLTA" && hasPlanes_) {
    const ParsedDelta delta = ParseDelta(payload);
    const auto run = planes_.RunDelta(delta);
    EXPECT_EQ(run.rows, delta.height) << "delta stopped early";
    for (std::size_t i = 0; i < 256; ++i) {
      opcodeCounts_[i] += run.opcodeCounts[i];
    }
  } else if (kind == "MOVE" && hasPlanes_) {
    Moves(payload);
  }
}

void ReferenceScreen::FormatReset(const Bytes& payload, bool fullReset) {
  const std::size_t size = planes_.Stride() * static_cast<std::size_t>(planes_.height);
  const ParsedHeaderFormat format = ParseHeaderFormat(payload);
  hasPlanes_ = true;
  planes_.current.resize(size);
  planes_.previous.resize(size);
  if (!format.present) {
    planes_.previous.assign(size, 0);
    if (fullReset) {
      planes_.current.assign(size, 0);
      planes_.screen.assign(size, 0);
    }
    return;
  }
  planes_.screen.assign(size, 0);
  const std::uint32_t important = U32At(payload, 32 + 36);
  if (format.width == planes_.width && format.height == planes_.height &&
      format.bitCount == planes_.bits && important == colorsImportant_ && format.bitCount > 8) {
    return;
  }
  colorsImportant_ = important;
  planes_.Reset(format.width, format.height, format.bitCount);
}

void ReferenceScreen::KeyImage(const Bytes& payload) {
  const ParsedHeaderFormat format = ParseHeaderFormat(payload);
  std::size_t at = 0;
  if (format.present) {
    FormatReset(payload, true);
    at = format.end;
  }
  if (!hasPlanes_) {
    return;
  }
  const std::size_t size = planes_.Stride() * static_cast<std::size_t>(planes_.height);
  const Bytes both = Inflate(std::span(payload).subspan(at), 2 * size);
  EXPECT_EQ(both.size(), 2 * size) << "key image is not two whole planes";
  if (both.size() != 2 * size) {
    return;
  }
  planes_.current.assign(both.begin(), both.begin() + static_cast<std::ptrdiff_t>(size));
  planes_.screen = planes_.current;
  planes_.previous.assign(both.begin() + static_cast<std::ptrdiff_t>(size), both.end());
}

void ReferenceScreen::Moves(const Bytes& payload) {
  const ParsedMove move = ParseMove(payload);
  const std::size_t stride = planes_.Stride();
  const std::size_t pixelBytes = static_cast<std::size_t>(planes_.bits) / 8;
  const auto offsetOf = [&](int x, int y) {
    return static_cast<std::size_t>(planes_.height - 1 - y) * stride +
           static_cast<std::size_t>(x) * pixelBytes;
  };
  int left = 32767;
  int top = 32767;
  int right = -32767;
  int bottom = -32767;
  for (const ParsedMoveRecord& r : move.records) {
    left = std::min<int>(left, r.left);
    top = std::min<int>(top, r.top);
    right = std::max<int>(right, r.right);
    bottom = std::max<int>(bottom, r.bottom);
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    if (r.kind == 0) {
      Bytes aside = planes_.current;
      for (int y = 0; y < h; ++y) {
        for (std::size_t b = 0; b < static_cast<std::size_t>(w) * pixelBytes; ++b) {
          planes_.current.at(offsetOf(r.left, r.top + y) + b) =
              aside.at(offsetOf(r.sourceLeft, r.sourceTop + y) + b);
        }
      }
    } else if (r.kind == 1) {
      for (int y = 0; y < h; ++y) {
        for (std::size_t b = 0; b < static_cast<std::size_t>(w) * pixelBytes; ++b) {
          const std::uint8_t byte =
              pixelBytes == 4 || pixelBytes == 2
                  ? static_cast<std::uint8_t>(r.color >> (8 * (b % pixelBytes)))
                  : 0;
          planes_.current.at(offsetOf(r.left, r.top + y) + b) = byte;
        }
      }
    } else if (r.kind == 2) {
      for (int y = 0; y < h; ++y) {
        for (std::size_t b = 0; b < static_cast<std::size_t>(w) * pixelBytes; ++b) {
          const std::size_t at = offsetOf(r.left, r.top + y) + b;
          planes_.previous.at(at) = planes_.current.at(at);
        }
      }
    } else {
      ADD_FAILURE() << "move kind " << r.kind;
    }
  }
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      for (std::size_t b = 0; b < pixelBytes; ++b) {
        planes_.screen.at(offsetOf(x, y) + b) = planes_.current.at(offsetOf(x, y) + b);
      }
    }
  }
}

}  // namespace reelkit::testing
