#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "common/bitmap_format.h"
#include "common/byte_block.h"
#include "common/fourcc.h"
#include "common/output_format.h"
#include "common/time.h"
#include "common/video_recorder.h"
#include "decoder/screen_stream_decoder.h"

namespace reelkit {

// Makes the recorder a job writes to; tests put a recording double in its place.
using RecorderFactory =
    std::function<std::unique_ptr<IVideoRecorder>(double framesPerSecond, FourCC fourcc)>;

RecorderFactory DefaultRecorderFactory();

// Where a job's frames go. Decoded outputs: the decoder turns the screen stream into pictures in
// the frame buffer, and the recorder writes them. Pass-through: the recorder writes the stream's
// own bundles under the stream's format. Used by one job on one thread.
class COutputSink {
 public:
  explicit COutputSink(RecorderFactory makeRecorder);

  void SetDestination(const std::string& outputPath, OutputFormat format);
  bool ProducesPictures() const { return format_ != OutputFormat::ScreenCodec; }

  // Pass-through output declares the stream's own format; plain RGB dressed as bit fields is
  // declared as plain RGB.
  void DeclarePassThroughFormat(const BitmapFormat& streamFormat);
  // Derives the output picture format from the stream format and prepares a decoder for it.
  // Pictures the decoder cannot make are refused with a LimitRefusal.
  void CreateDecoder(const BitmapFormat& streamFormat);
  // Creates and opens the recorder for the output format and returns its frame duration. An
  // unsupported format throws CReelkitException(UnsupportedOutputFormat, 0).
  Time OpenRecorder();

  void DecodeIntoFrame(std::span<const std::uint8_t> packet);
  // Writes the frame buffer's picture, or, for a spacer, tells the recorder that it has not
  // changed since the last picture so that it need not be copied again.
  void RecordPicture(Time time);
  void RecordRepeatedPicture(Time time);
  // A pass-through sample: a bundle of sub-packets, or an empty spacer.
  void RecordSample(SampleKind kind, std::span<const std::uint8_t> bundle, Time time);
  // Completes the output file now. A refused sample or completion throws
  // CReelkitException(WriteOutputFailed, result).
  void Complete();

 private:
  void Record(SampleKind kind, std::span<const std::uint8_t> bytes, Time time);

  RecorderFactory makeRecorder_;
  std::string outputPath_;
  OutputFormat format_ = OutputFormat::ScreenCodec;
  BitmapFormat streamFormat_;
  BitmapFormat outputFormat_;
  ByteBlock frameBuffer_;
  std::unique_ptr<CScreenStreamDecoder> decoder_;
  std::unique_ptr<IVideoRecorder> recorder_;
};

}  // namespace reelkit
