#pragma once

#include <optional>
#include <string>

#include "engine/job_parts.h"
#include "engine/output_sink.h"
#include "engine/raw_recording_reader.h"
#include "engine/record_bundler.h"

namespace reelkit {

// Converts a raw recording: records are grouped into one bundle per frame interval, gaps become
// spacer frames, and each bundle is passed through or decoded into a picture.
class CRecordingJob {
 public:
  explicit CRecordingJob(RecorderFactory makeRecorder = DefaultRecorderFactory());

  // True when the input was consumed to its end and OnFinish was called; false when the client
  // cancelled. Every failure throws CReelkitException.
  bool Execute(const std::string& inputPath, const std::string& outputPath, OutputFormat format,
               IReelkitClient& client);

 private:
  void ProcessPacket(RecordingPacket& packet);
  void FlushBundle();
  // Makes the first pass-through sample open with a FINT that announces the stream's format, the
  // one thing a reader of the file needs before the first picture.
  void AnnounceStreamFormat();
  void ClearBundle();
  void RecordFrame(SampleKind kind, std::span<const std::uint8_t> bundle, Time time);

  // The bundle keeps four bytes in front for the packet FourCC the decoder expects, so a bundle
  // is decoded without another copy.
  static constexpr std::size_t kBundleHeaderSize = 4;

  InputFile input_;
  InputProgress progress_;
  // Made when the output's frame duration is known.
  std::optional<CRecordBundler> bundler_;
  ConversionStatistics statistics_;
  COutputSink sink_;
  BitmapFormat streamFormat_;
  RecordingPacket packet_;
  ByteBlock bundle_;
  bool bundleIsKey_ = false;
  bool streamFormatAnnounced_ = false;
  // The run's client, asked during long runs of spacers too: a gap of hours is millions of frames.
  IReelkitClient* client_ = nullptr;
};

}  // namespace reelkit
