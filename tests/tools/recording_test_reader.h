#pragma once

// A reader of raw recordings written for the tests from the file format alone, so that the
// writer's output is checked by code that shares nothing with it: record framing, the payload of
// each packet kind, and a plain interpreter of the delta opcode table.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace reelkit::testing {

using Bytes = std::vector<std::uint8_t>;

struct ParsedRecord {
  std::string fourcc;
  std::int64_t timestamp = 0;
  Bytes first;
  Bytes second;
  // The payload as a bundle carries it: second block, then first block.
  Bytes Payload() const;
};

struct ParsedRecording {
  std::uint32_t magic = 0;
  std::uint32_t version = 0;
  Bytes formatBlock;
  std::vector<ParsedRecord> records;
  bool truncated = false;  // bytes after the last whole record
};

ParsedRecording ParseRecording(std::span<const std::uint8_t> file);

std::uint32_t U32At(const Bytes& bytes, std::size_t offset);
std::uint16_t U16At(const Bytes& bytes, std::size_t offset);
std::int16_t I16At(const Bytes& bytes, std::size_t offset);

Bytes Inflate(std::span<const std::uint8_t> compressed, std::size_t expected);
Bytes LzfExpand(std::span<const std::uint8_t> compressed, std::size_t expected);

struct ParsedHeaderFormat {
  bool present = false;  // marker 101
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint16_t bitCount = 0;
  std::uint32_t compression = 0;
  std::uint32_t colorsUsed = 0;
  Bytes colorTable;
  std::size_t end = 0;  // offset after the colour table
};
ParsedHeaderFormat ParseHeaderFormat(const Bytes& payload);

struct ParsedDelta {
  std::uint32_t compressedLength = 0;
  std::uint32_t opcodeLength = 0;
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint32_t method = 0;
  Bytes opcodes;  // expanded
};
ParsedDelta ParseDelta(const Bytes& payload);

struct ParsedMoveRecord {
  std::uint16_t kind = 0;
  std::int16_t left = 0;
  std::int16_t top = 0;
  std::int16_t right = 0;
  std::int16_t bottom = 0;
  std::int16_t sourceLeft = 0;
  std::int16_t sourceTop = 0;
  std::uint32_t color = 0;
};
struct ParsedMove {
  std::uint32_t count = 0;
  std::uint32_t compressedLength = 0;
  std::uint32_t method = 0;
  std::vector<ParsedMoveRecord> records;
};
ParsedMove ParseMove(const Bytes& payload);

struct ParsedCursor {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t hotspotX = 0;
  std::int32_t hotspotY = 0;
  std::uint32_t compressedLength = 0;
  std::uint32_t rawLength = 0;
  Bytes bgr;
};
ParsedCursor ParseCursor(const Bytes& payload);

// The decoder's three native buffers, driven straight from the opcode table.
struct ReferencePlanes {
  int width = 0;
  int height = 0;
  int bits = 0;
  Bytes screen;
  Bytes current;
  Bytes previous;

  std::size_t Stride() const { return ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4; }
  void Reset(int w, int h, int b);
  struct DeltaRun {
    int rows = 0;                   // rows completed
    std::vector<int> opcodeCounts;  // runs met, by opcode number
  };
  DeltaRun RunDelta(const ParsedDelta& delta);
};

}  // namespace reelkit::testing

namespace reelkit::testing {

// Replays whole records on reference planes: format announcements, key images, deltas and moves,
// following the decoder's rules for each (an INIT first met counts as FINT).
class ReferenceScreen {
 public:
  // From the file header's format block.
  explicit ReferenceScreen(const Bytes& formatBlock);

  void Apply(const ParsedRecord& record);
  const ReferencePlanes& Planes() const { return planes_; }
  bool HasPlanes() const { return hasPlanes_; }
  // Opcode counts of every delta applied so far.
  const std::vector<int>& OpcodeCounts() const { return opcodeCounts_; }

 private:
  void FormatReset(const Bytes& payload, bool fullReset);
  void KeyImage(const Bytes& payload);
  void Moves(const Bytes& payload);

  ReferencePlanes planes_;
  std::uint32_t colorsImportant_ = 0;
  bool hasPlanes_ = false;
  bool initSeen_ = false;
  std::vector<int> opcodeCounts_ = std::vector<int>(256, 0);
};

}  // namespace reelkit::testing
