#include "tests/decoder/decoder_test_support.h"

#include <lzf.h>
#include <zlib.h>

#include <stdexcept>

namespace reelkit::testing {

void PutU16(Bytes& bytes, std::uint16_t value) {
  bytes.push_back(static_cast<std::uint8_t>(value));
  bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

void PutU32(Bytes& bytes, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) {
    bytes.push_back(static_cast<std::uint8_t>(value >> shift));
  }
}

namespace {

void PutFourCC(Bytes& bytes, std::string_view fourcc) {
  for (std::size_t i = 0; i < 4; ++i) {
    bytes.push_back(i < fourcc.size() ? static_cast<std::uint8_t>(fourcc[i]) : 0);
  }
}

void Append(Bytes& bytes, std::span<const std::uint8_t> tail) {
  bytes.insert(bytes.end(), tail.begin(), tail.end());
}

}  // namespace

Bytes Deflate(std::span<const std::uint8_t> bytes) {
  uLongf size = compressBound(static_cast<uLong>(bytes.size()));
  Bytes out(size);
  if (compress(out.data(), &size, bytes.data(), static_cast<uLong>(bytes.size())) != Z_OK) {
    throw std::runtime_error("compress failed");
  }
  out.resize(size);
  return out;
}

Bytes LzfPack(std::span<const std::uint8_t> bytes) {
  Bytes out(bytes.size() + bytes.size() / 16 + 64);
  const unsigned size = lzf_compress(bytes.data(), static_cast<unsigned>(bytes.size()), out.data(),
                                     static_cast<unsigned>(out.size()));
  if (size == 0) {
    throw std::runtime_error("lzf_compress failed");
  }
  out.resize(size);
  return out;
}

Bundle::Bundle(std::string_view outer) {
  PutFourCC(bytes_, outer);
}

Bundle& Bundle::Add(std::string_view fourcc, const Bytes& payload) {
  return AddDeclared(fourcc, static_cast<std::uint32_t>(payload.size()), payload);
}

Bundle& Bundle::AddDeclared(std::string_view fourcc, std::uint32_t declared, const Bytes& payload) {
  PutFourCC(bytes_, fourcc);
  PutU32(bytes_, declared);
  Append(bytes_, payload);
  return *this;
}

Bundle& Bundle::AddRaw(const Bytes& bytes) {
  Append(bytes_, bytes);
  return *this;
}

BitmapInfoHeader MakeHeader(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                            std::uint32_t colorsUsed) {
  BitmapInfoHeader header;
  header.width = width;
  header.height = height;
  header.bitCount = bitCount;
  header.clrUsed = colorsUsed;
  header.sizeImage = static_cast<std::uint32_t>(DibImageSize(width, height, bitCount));
  return header;
}

BitmapFormat MakeFormat(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                        std::uint32_t colorsUsed) {
  BitmapFormat format(MakeHeader(width, height, bitCount, colorsUsed));
  for (std::uint32_t i = 0; i < colorsUsed && i < 256; ++i) {
    format.ColorTable()[4 * i] = static_cast<std::uint8_t>(i);
    format.ColorTable()[4 * i + 1] = static_cast<std::uint8_t>(i + 1);
    format.ColorTable()[4 * i + 2] = static_cast<std::uint8_t>(i + 2);
  }
  return format;
}

Bytes FormatPayload(const BitmapInfoHeader& header, const Bytes& colorTable) {
  Bytes payload;
  PutU32(payload, 101);
  payload.resize(32, 0);
  std::uint8_t raw[kBitmapInfoHeaderSize];
  WriteBitmapInfoHeader(raw, header);
  Append(payload, raw);
  Append(payload, colorTable);
  return payload;
}

Bytes KeyImagePayload(const std::optional<BitmapInfoHeader>& header, const Bytes& colorTable,
                      const Bytes& current, const Bytes& previous) {
  Bytes payload = header ? FormatPayload(*header, colorTable) : Bytes{};
  Bytes images = current;
  Append(images, previous);
  Append(payload, Deflate(images));
  return payload;
}

Bytes DeltaPayload(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                   const Bytes& opcodes, std::uint32_t method) {
  Bytes carried = opcodes;
  if (method == 1) {
    carried = Deflate(opcodes);
  } else if (method == 2) {
    carried = LzfPack(opcodes);
  }
  Bytes payload(8, 0);
  PutU32(payload, static_cast<std::uint32_t>(carried.size()));
  PutU32(payload, static_cast<std::uint32_t>(opcodes.size()));
  PutI32(payload, left);
  PutI32(payload, top);
  PutI32(payload, width);
  PutI32(payload, height);
  PutU32(payload, 0);
  PutU32(payload, method);
  Append(payload, carried);
  return payload;
}

Bytes MoveRecords(const std::vector<MoveRecordFields>& records) {
  Bytes bytes;
  for (const MoveRecordFields& r : records) {
    PutU16(bytes, r.kind);
    PutU16(bytes, static_cast<std::uint16_t>(r.left));
    PutU16(bytes, static_cast<std::uint16_t>(r.top));
    PutU16(bytes, static_cast<std::uint16_t>(r.right));
    PutU16(bytes, static_cast<std::uint16_t>(r.bottom));
    if (r.color != 0) {
      PutU32(bytes, r.color);
    } else {
      PutU16(bytes, static_cast<std::uint16_t>(r.sourceLeft));
      PutU16(bytes, static_cast<std::uint16_t>(r.sourceTop));
    }
    PutU16(bytes, 0);
  }
  return bytes;
}

Bytes MovePayload(const std::vector<MoveRecordFields>& records, std::uint32_t method,
                  std::optional<std::uint32_t> declaredCount) {
  const Bytes raw = MoveRecords(records);
  Bytes carried = raw;
  if (method == 1) {
    carried = Deflate(raw);
  } else if (method == 2) {
    carried = LzfPack(raw);
  }
  Bytes payload(8, 0);
  PutU32(payload, declaredCount.value_or(static_cast<std::uint32_t>(records.size())));
  PutU32(payload, static_cast<std::uint32_t>(carried.size()));
  PutU32(payload, 0);
  PutU32(payload, method);
  Append(payload, carried);
  return payload;
}

Bytes CursorShapePayload(std::int32_t width, std::int32_t height, std::int32_t hotspotX,
                         std::int32_t hotspotY, const Bytes& topDownBgr,
                         std::optional<std::uint32_t> rawLength) {
  Bytes bottomUp;
  const std::size_t rowBytes = 3 * static_cast<std::size_t>(width);
  for (std::int32_t row = height; row-- > 0;) {
    const std::size_t start = static_cast<std::size_t>(row) * rowBytes;
    if (start + rowBytes <= topDownBgr.size()) {
      bottomUp.insert(bottomUp.end(), topDownBgr.begin() + static_cast<std::ptrdiff_t>(start),
                      topDownBgr.begin() + static_cast<std::ptrdiff_t>(start + rowBytes));
    }
  }
  const Bytes compressed = Deflate(bottomUp);
  Bytes payload(8, 0);
  PutI32(payload, width);
  PutI32(payload, height);
  PutI32(payload, hotspotX);
  PutI32(payload, hotspotY);
  PutU32(payload, static_cast<std::uint32_t>(compressed.size()));
  PutU32(payload, rawLength.value_or(static_cast<std::uint32_t>(bottomUp.size())));
  Append(payload, compressed);
  return payload;
}

Bytes CursorPositionPayload(std::int32_t x, std::int32_t y) {
  Bytes payload(8, 0);
  PutI32(payload, x);
  PutI32(payload, y);
  return payload;
}

Bytes PatternImage(std::size_t size, std::uint8_t seed) {
  Bytes image(size);
  for (std::size_t k = 0; k < size; ++k) {
    image[k] = static_cast<std::uint8_t>(seed + k);
  }
  return image;
}

}  // namespace reelkit::testing
