#pragma once

// Writes raw recording files the way the recording side of a session does: the file header with
// the screen's bitmap format, then timestamped records. The high-level calls code each screen
// change against a model of the decoder's state (CScreenModel) and keep that model in step, so
// after any call Screen() is the native image a decoder holds at that point. The raw calls write
// any bytes at all and leave the model alone, for hostile-input tests.
//
// Typical use:
//   CRecordingWriter writer(path, MakeStreamFormat(1920, 1080, PixelLayout::Rgb32));
//   writer.WriteInit(t0, &writer.Model().NativeFormat());
//   writer.WriteKeyFrame(t0, image);
//   writer.WriteDelta(t1, nextImage);   // or WriteDeltaRect with the changed rectangle
//   writer.Finish();

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>

#include "common/bitmap_format.h"
#include "common/byte_block.h"
#include "common/fourcc.h"
#include "common/time.h"
#include "tools/recording_writer/delta_encoder.h"
#include "tools/recording_writer/payloads.h"
#include "tools/recording_writer/pixel_layout.h"
#include "tools/recording_writer/recording_layout.h"
#include "tools/recording_writer/screen_model.h"

namespace reelkit::recording {

struct WriterOptions {
  std::uint32_t version = kDefaultFileVersion;
  CompressionMethod deltaCompression = CompressionMethod::Zlib;
  CompressionMethod moveCompression = CompressionMethod::Stored;
  DeltaUnits deltaUnits = DeltaUnits::Words;
  int zlibLevel = 6;
  // Largest opcode stream of one DLTA; 0 means the native frame size, which the decoder's scratch
  // buffer always holds. Larger changes are split into several DLTA records.
  std::size_t maxDeltaOpcodeBytes = 0;
};

struct KeyFrameOptions {
  // Announces this format in the KFRM itself (the 101 header); the images are then in it.
  const BitmapFormat* announcedFormat = nullptr;
  // The previous plane to send; by default the writer's previous plane when it has the size of
  // the new image, else zeros.
  std::optional<std::span<const std::uint8_t>> previous;
};

// What one record was, reported to the observer after the model took its effect.
struct WrittenRecord {
  FourCC fourcc = 0;
  Time timestamp = 0;
  std::uint64_t fileOffset = 0;
  std::size_t size = 0;
};

class CRecordingWriter {
 public:
  using RecordObserver = std::function<void(const WrittenRecord&, const CScreenModel&)>;

  // Creates (or replaces) the file and writes its header. Throws std::system_error.
  CRecordingWriter(const std::filesystem::path& path, const BitmapFormat& streamFormat,
                   WriterOptions options = {});
  // Keeps the whole recording in memory; see Bytes().
  explicit CRecordingWriter(const BitmapFormat& streamFormat, WriterOptions options = {});
  ~CRecordingWriter();
  CRecordingWriter(const CRecordingWriter&) = delete;
  CRecordingWriter& operator=(const CRecordingWriter&) = delete;

  // FINT: with a format, the 101 header announcing it; without, an empty payload (full reset
  // of the planes at the native format).
  void WriteFormat(Time timestamp, const BitmapFormat* announced);
  // INIT: the first one of a recording counts as a FINT (and its format, if any, is announced);
  // later ones only clear the previous plane and their payload is ignored by decoders.
  void WriteInit(Time timestamp, const BitmapFormat* announced = nullptr);
  // KFRM with the native image (FrameSize() bytes of the native format, or of the announced one).
  void WriteKeyFrame(Time timestamp, std::span<const std::uint8_t> image,
                     const KeyFrameOptions& options = {});
  // DLTA records that turn the screen into target (a whole native image) over the bounding
  // rectangle of the change. Returns the number of records written (0 when nothing changed).
  std::size_t WriteDelta(Time timestamp, std::span<const std::uint8_t> target);
  // The same over a given rectangle only: target is still a whole native image, of which only
  // the rectangle is read.
  std::size_t WriteDeltaRect(Time timestamp, const ScreenRect& rect,
                             std::span<const std::uint8_t> target);
  // One DLTA with hand-made runs; the model applies them as a decoder does.
  void WriteDeltaOpcodes(Time timestamp, const ScreenRect& rect,
                         std::span<const std::uint8_t> opcodes);
  // MOVE: the operations must lie inside the screen. Throws std::invalid_argument otherwise.
  void WriteMoves(Time timestamp, std::span<const MoveOperation> operations);
  void WriteCursorShape(Time timestamp, const CursorShape& shape);
  void WriteCursorPosition(Time timestamp, int x, int y);

  // Any record, blocks as given; the model is not touched.
  void WriteRecord(FourCC fourcc, Time timestamp, std::span<const std::uint8_t> firstBlock,
                   std::span<const std::uint8_t> secondBlock);
  void WriteRecord(FourCC fourcc, Time timestamp, const RecordPayload& payload);
  // Bytes appended as they are (a truncated record, garbage).
  void WriteBytes(std::span<const std::uint8_t> bytes);

  // Flushes and closes the file. Throws std::system_error when the data did not reach it.
  void Finish();

  const CScreenModel& Model() const { return model_; }
  std::span<const std::uint8_t> Screen() const { return model_.Screen(); }
  const WriterOptions& Options() const { return options_; }
  void SetRecordObserver(RecordObserver observer) { observer_ = std::move(observer); }

  // The recording so far (in-memory writers only).
  const ByteBlock& Bytes() const { return memory_; }
  std::uint64_t BytesWritten() const { return written_; }
  std::size_t RecordCount() const { return records_; }

 private:
  struct FileCloser {
    void operator()(std::FILE* file) const;
  };

  void WriteHeader(std::span<const std::uint8_t> formatBlock);
  void Emit(std::span<const std::uint8_t> bytes);
  void EmitRecord(FourCC fourcc, Time timestamp, std::span<const std::uint8_t> firstBlock,
                  std::span<const std::uint8_t> secondBlock);
  void EmitModelRecord(FourCC fourcc, Time timestamp, const RecordPayload& payload);
  void RequireFrame(std::span<const std::uint8_t> image, std::size_t size, const char* what) const;
  void RequirePlanes() const;
  void RequireInsideScreen(const ScreenRect& rect, const char* what) const;
  std::size_t DeltaLimit() const;
  std::size_t WriteDeltaBands(Time timestamp, const ScreenRect& rect,
                              std::span<const std::uint8_t> target);
  void FlushDeltaBand(Time timestamp, const ScreenRect& rect, int firstRow, int endRow,
                      ByteBlock& opcodes);
  std::optional<ScreenRect> ChangedRect(std::span<const std::uint8_t> target) const;

  WriterOptions options_;
  CScreenModel model_;
  CDeltaEncoder encoder_;
  std::unique_ptr<std::FILE, FileCloser> file_;
  std::filesystem::path path_;
  ByteBlock memory_;
  std::uint64_t written_ = 0;
  std::size_t records_ = 0;
  bool initSeen_ = false;
  RecordObserver observer_;
  ByteBlock rowOpcodes_;
};

}  // namespace reelkit::recording
