#pragma once

#include <string>

#include "engine/avi_input_reader.h"
#include "engine/conversion_job.h"

namespace reelkit {

// Converts an AVI that carries the screen stream: every data chunk is decoded in turn, taken to
// run at 30 chunks per second, and re-recorded in the chosen output format.
class CAviInputJob : public CConversionJob {
 public:
  explicit CAviInputJob(RecorderFactory makeRecorder = DefaultRecorderFactory());

  // True when every 'movi' list was consumed and OnFinish was called. A malformed container is
  // reported as InvalidInputFormat and gives false, as do an open failure and cancellation.
  bool Execute(const std::string& inputPath, const std::string& outputPath, OutputFormat format,
               IReelkitClient& client);

 private:
  enum class ChunkOutcome { Continue, Invalid };

  ChunkOutcome ReadNextChunk(std::uint64_t& listConsumed);
  void DecodeChunk();

  static constexpr Time kInputChunkDuration = 333'333;

  ByteBlock chunk_;
  Time inputTime_ = 0;
  bool decoderReady_ = false;
};

}  // namespace reelkit
