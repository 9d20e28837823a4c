#pragma once

#include <string>

#include "engine/avi_input_reader.h"
#include "engine/job_parts.h"
#include "engine/output_sink.h"

namespace reelkit {

// Converts an AVI that carries the screen stream, taken to run at 30 chunks per second: every
// data chunk is decoded in turn and the pictures re-recorded in the chosen output format, or, for
// the screen codec, every chunk is passed through as one sample.
class CAviInputJob {
 public:
  explicit CAviInputJob(RecorderFactory makeRecorder = DefaultRecorderFactory());

  // True when every 'movi' list was consumed and OnFinish was called; false when the client
  // cancelled. Every failure throws CReelkitException: a malformed container as
  // InvalidInputFormat.
  bool Execute(const std::string& inputPath, const std::string& outputPath, OutputFormat format,
               IReelkitClient& client);

 private:
  void ReadNextChunk(std::uint64_t& listConsumed);
  void TakeStreamFormat();
  void PassChunkThrough(std::span<const std::uint8_t> chunk);
  void DecodeChunk();
  void RecordDecodedPicture();

  InputFile input_;
  InputProgress progress_;
  CFrameClock clock_;
  ConversionStatistics statistics_;
  COutputSink sink_;
  ByteBlock chunk_;
  Time inputTime_ = 0;
  bool streamFormatKnown_ = false;
  // A decoded chunk has changed the picture since it was last recorded.
  bool pictureIsPending_ = false;
};

}  // namespace reelkit
