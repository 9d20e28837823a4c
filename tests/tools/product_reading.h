#pragma once

// Recordings as the product reads them, for the tests of the tools that write them: the engine's
// reader takes the file apart and the decoder says what each record does to the screen, so the
// format is read in one place. The few stored fields no product reader hands out are read at the
// offsets of the writer's layout table.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/bitmap_format.h"
#include "decoder/native_format.h"
#include "decoder/screen_stream_decoder.h"
#include "engine/raw_recording_reader.h"
#include "tools/recording_writer/payloads.h"
#include "tools/recording_writer/recording_layout.h"

namespace reelkit::testing {

using Bytes = std::vector<std::uint8_t>;

struct ReadRecording {
  BitmapFormat streamFormat;     // the format block, as the reader normalises it
  std::uint64_t headerSize = 0;  // the bytes the file header takes
  std::vector<RecordingPacket> records;
  std::vector<std::uint64_t> offsets;  // where each record starts in the file
  bool refused = false;                // the reader refused what follows the last whole record
};

// Reads a recording through the engine's reader; a header it refuses fails the test.
ReadRecording ReadRecordingFile(const std::string& path);
ReadRecording ReadRecordingBytes(std::span<const std::uint8_t> bytes);

// A record's payload as a bundle carries it: the second block, then the first.
Bytes PayloadOf(const RecordingPacket& record);

// What the decoder holds of the native screen: the screen image and the planes deltas work on.
struct DecodedPlanes {
  Bytes screen;
  Bytes current;
  Bytes previous;
};

// The product's decoder, fed the records as a conversion bundles them: each record in a bundle of
// its own, the first INIT announcing the format as a FINT does.
class CRecordingDecoder {
 public:
  explicit CRecordingDecoder(const BitmapFormat& streamFormat);

  void Decode(const RecordingPacket& record);
  void Decode(const ReadRecording& recording);

  // The native screen image: one picture of the native layout, empty before there is one.
  Bytes Screen() const;
  const PlaneLayout& Layout() const { return decoder_.NativeLayout(); }
  // The decoded picture, cursor drawn, in the output format.
  const BitmapFormat& PictureFormat() const { return outputFormat_; }
  std::span<const std::uint8_t> Picture() const { return frame_; }

  // Reads the planes back through two deltas, one that shows the current plane and one that
  // swaps the previous plane in: the decoder's state is spent by it.
  DecodedPlanes TakePlanes();

 private:
  void DecodeSubPacket(FourCC kind, std::span<const std::uint8_t> payload);
  // A delta over the whole native picture made of one run kind.
  void DecodeWholePictureRuns(std::uint8_t opcode);

  BitmapFormat streamFormat_;
  BitmapFormat outputFormat_;
  CScreenStreamDecoder decoder_;
  Bytes frame_;
  bool initSeen_ = false;
};

// The decoder's state after the records up to and including record `last`.
DecodedPlanes PlanesAfter(const ReadRecording& recording, std::size_t last);

// A DLTA's rectangle, method and declared stream length, and its run stream as the product's
// decompression expands it.
struct StoredDelta {
  recording::ScreenRect rect;
  recording::CompressionMethod method = recording::CompressionMethod::Stored;
  std::uint32_t opcodeLength = 0;
  Bytes opcodes;
};
StoredDelta ReadStoredDelta(std::span<const std::uint8_t> payload);

// The runs of the DLTA records from begin up to end, counted by opcode.
std::array<int, 256> DeltaRuns(const ReadRecording& recording, std::size_t begin = 0,
                               std::size_t end = SIZE_MAX);

// The kinds of a MOVE's records, expanded as the product expands them.
std::vector<recording::MoveKind> StoredMoveKinds(std::span<const std::uint8_t> payload);

}  // namespace reelkit::testing
