#pragma once

// Builders of screen-stream packets for the decoder tests, written from the byte layouts of the
// stream: bundles of sub-packets, and the payload of each sub-packet kind.

#include <array>
#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string_view>
#include <vector>

#include "common/bitmap_format.h"

namespace reelkit::testing {

using Bytes = std::vector<std::uint8_t>;

void PutU16(Bytes& bytes, std::uint16_t value);
void PutU32(Bytes& bytes, std::uint32_t value);
inline void PutI32(Bytes& bytes, std::int32_t value) {
  PutU32(bytes, static_cast<std::uint32_t>(value));
}

// Every depth a screen stream can have, named, for tests run once per depth.
struct DepthCase {
  const char* name;
  std::uint16_t bits;
};
inline constexpr std::array<DepthCase, 5> kStreamDepths = {{
    {"FourBits", 4},
    {"EightBits", 8},
    {"SixteenBits", 16},
    {"TwentyFourBits", 24},
    {"ThirtyTwoBits", 32},
}};
inline void PrintTo(const DepthCase& c, std::ostream* os) {
  *os << c.name;
}

Bytes Deflate(std::span<const std::uint8_t> bytes);
Bytes LzfPack(std::span<const std::uint8_t> bytes);

class Bundle {
 public:
  explicit Bundle(std::string_view outer = "BNDL");
  Bundle& Add(std::string_view fourcc, const Bytes& payload);
  // The size field says declared whatever follows.
  Bundle& AddDeclared(std::string_view fourcc, std::uint32_t declared, const Bytes& payload);
  Bundle& AddRaw(const Bytes& bytes);
  const Bytes& Packet() const { return bytes_; }

 private:
  Bytes bytes_;
};

BitmapInfoHeader MakeHeader(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                            std::uint32_t colorsUsed = 0);
// A format block with a colour table of entries {i, i + 1, i + 2, 0} when colorsUsed > 0.
BitmapFormat MakeFormat(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                        std::uint32_t colorsUsed = 0);

// FINT or KFRM head: marker 101, 28 zero bytes, the header, then colorTable as given.
Bytes FormatPayload(const BitmapInfoHeader& header, const Bytes& colorTable = {});
// KFRM: optional format head, then one zlib stream of current followed by previous.
Bytes KeyImagePayload(const std::optional<BitmapInfoHeader>& header, const Bytes& colorTable,
                      const Bytes& current, const Bytes& previous);
// DLTA over the rectangle; method 0 stores the opcodes, 1 and 2 compress them.
Bytes DeltaPayload(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                   const Bytes& opcodes, std::uint32_t method = 0);

struct MoveRecordFields {
  std::uint16_t kind = 0;
  std::int16_t left = 0;
  std::int16_t top = 0;
  std::int16_t right = 0;
  std::int16_t bottom = 0;
  std::int16_t sourceLeft = 0;  // kind 0
  std::int16_t sourceTop = 0;   // kind 0
  std::uint32_t color = 0;      // kind 1; overrides the source fields when non-zero
};
Bytes MoveRecords(const std::vector<MoveRecordFields>& records);
Bytes MovePayload(const std::vector<MoveRecordFields>& records, std::uint32_t method = 0,
                  std::optional<std::uint32_t> declaredCount = std::nullopt);

// MOUS from pixels given top row first, 3 bytes each (blue, green, red); stored bottom-up.
Bytes CursorShapePayload(std::int32_t width, std::int32_t height, std::int32_t hotspotX,
                         std::int32_t hotspotY, const Bytes& topDownBgr,
                         std::optional<std::uint32_t> rawLength = std::nullopt);
Bytes CursorPositionPayload(std::int32_t x, std::int32_t y);

// An image of the native layout whose byte k is seed + k (mod 256).
Bytes PatternImage(std::size_t size, std::uint8_t seed);

}  // namespace reelkit::testing
