#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "avi/avi_recorder.h"
#include "common/bitmap_format.h"
#include "common/byte_block.h"
#include "common/output_format.h"
#include "common/packet_kind.h"
#include "common/reelkit_client.h"
#include "common/time.h"
#include "decoder/screen_stream_decoder.h"
#include "engine/input_file.h"

namespace reelkit {

// Makes the recorder a job writes to; tests put a recording double in its place.
using RecorderFactory =
    std::function<std::unique_ptr<CAviRecorder>(double framesPerSecond, FourCC fourcc)>;

RecorderFactory DefaultRecorderFactory();

// What the two jobs share: the output format and recorder, the decoder, the frame buffer and the
// statistics. A job runs once, on one thread.
class CConversionJob {
 public:
  explicit CConversionJob(RecorderFactory makeRecorder);
  CConversionJob(const CConversionJob&) = delete;
  CConversionJob& operator=(const CConversionJob&) = delete;
  ~CConversionJob();

  // Completes the output file now and reports a failure to complete it as a write failure.
  void CompleteOutput();

 protected:
  // Takes the run's paths and format and opens the input; an input that cannot be opened throws
  // CReelkitException(OpenInputFailed, errno). Then reports the start and 0 percent.
  void StartRun(const std::string& inputPath, const std::string& outputPath, OutputFormat format,
                IReelkitClient& client);
  // Creates the recorder for the output format index and sets the frame duration. An index other
  // than 0, 2 and 3 throws CReelkitException(UnsupportedOutputFormat, 0).
  void SelectOutputFormat();
  // Pass-through output declares the stream's own format; plain RGB dressed as bit fields is
  // declared as plain RGB.
  void DeclareStreamFormatForOutput();
  // Derives the output picture format from the stream format and prepares a decoder for it.
  void CreateDecoder();
  // Hands the frame buffer to the recorder at the next frame time. A busy recorder is waited
  // for; a refusal throws CReelkitException(WriteOutputFailed, result).
  void RecordPicture();
  // The same for a spacer: the frame buffer has not changed since the last picture, and the
  // recorder is told so (kind EMPT) and may reuse the picture it holds instead of copying it.
  void RecordRepeatedPicture();
  // Hands one pass-through sample (a tagged bundle, or an empty spacer) to the recorder.
  void RecordSample(PacketKind kind, std::span<const std::uint8_t> bundle);
  void DecodeIntoFrame(std::span<const std::uint8_t> packet);
  bool ProducesPictures() const { return format_ != OutputFormat::ScreenCodec; }
  void ReportProgress(IReelkitClient& client) const;
  void ReportFinish(IReelkitClient& client) const;

  InputFile input_;
  Time frameDuration_ = 0;
  std::string outputPath_;
  OutputFormat format_ = OutputFormat::ScreenCodec;
  std::uint64_t inputSize_ = 0;
  std::uint64_t consumed_ = 0;
  BitmapFormat streamFormat_;
  BitmapFormat outputFormat_;
  ByteBlock frameBuffer_;
  Time firstTime_ = 0;
  Time nextFrameTime_ = 0;
  // Counted as the run goes; the seconds are filled in at the finish.
  ConversionStatistics statistics_;

 private:
  void RecordPictureAs(std::uint32_t kind);
  std::uint32_t WriteWaitingWhileBusy(std::uint32_t kind, std::span<const std::uint8_t> packet,
                                      std::span<const std::uint8_t> picture);

  RecorderFactory makeRecorder_;
  std::unique_ptr<CScreenStreamDecoder> decoder_;
  std::unique_ptr<CAviRecorder> recorder_;
};

}  // namespace reelkit
