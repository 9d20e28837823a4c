#include "engine/output_sink.h"

#include <algorithm>

#include "common/conversion_failure.h"
#include "common/error_codes.h"
#include "decoder/avi_exception.h"
#include "engine/picture_decoding.h"
#include "engine/raw_recording_reader.h"
#include "recorders/avi_recorder.h"
#include "recorders/h264_mp4_recorder.h"

namespace reelkit {
namespace {

[[noreturn]] void ThrowWriteFailure(std::uint32_t result) {
  throw CReelkitException(ConvertErrorKind::WriteOutputFailed, FailureCode::Pipeline(result),
                          RecorderFailure{});
}

}  // namespace

RecorderFactory DefaultRecorderFactory() {
  return [](double framesPerSecond, FourCC fourcc) -> std::unique_ptr<IVideoRecorder> {
    if (fourcc == kFourCCH264) {
      return std::make_unique<CH264Mp4Recorder>();
    }
    return std::make_unique<CAviRecorder>(framesPerSecond, fourcc);
  };
}

COutputSink::COutputSink(RecorderFactory makeRecorder) : makeRecorder_(std::move(makeRecorder)) {}

void COutputSink::SetDestination(const std::string& outputPath, OutputFormat format) {
  outputPath_ = outputPath;
  format_ = format;
}

void COutputSink::DeclarePassThroughFormat(const BitmapFormat& streamFormat) {
  streamFormat_ = streamFormat;
  outputFormat_ = streamFormat;
  if (IsPlainRgb32BitFields(streamFormat)) {
    outputFormat_.SetPictureFormat(32, kCompressionRgb);
  }
}

void COutputSink::CreateDecoder(const BitmapFormat& streamFormat) {
  streamFormat_ = streamFormat;
  outputFormat_ = DecodedPictureFormat(streamFormat_);
  decoder_.reset();
  decoder_ = std::make_unique<CScreenStreamDecoder>();
  try {
    decoder_->Initialize(streamFormat_, outputFormat_);
  } catch (const CAviException& failure) {
    ThrowDamagedScreenData(failure);
  }
  // The frame buffer holds a 32-bit picture at the output size whatever the stream's depth, so a
  // depth change later in the recording still decodes whole pictures.
  const BitmapInfoHeader stream = streamFormat_.Header();
  frameBuffer_.ResizeZeroed(
      static_cast<std::size_t>(DibImageSize(stream.width, stream.height, 32)));
}

Time COutputSink::OpenRecorder() {
  recorder_.reset();
  if (!IsSupportedOutputFormat(format_)) {
    throw CReelkitException(ConvertErrorKind::UnsupportedOutputFormat);
  }
  const int framesPerSecond = FramesPerSecondOf(format_);
  recorder_ = makeRecorder_(static_cast<double>(framesPerSecond), FourCCOf(format_));
  recorder_->Open(outputPath_);
  return FrameDuration(framesPerSecond);
}

void COutputSink::DecodeIntoFrame(std::span<const std::uint8_t> packet) {
  try {
    decoder_->DecodePacket(streamFormat_, outputFormat_, packet, frameBuffer_.span());
  } catch (const CAviException& failure) {
    ThrowDamagedScreenData(failure);
  }
}

void COutputSink::RecordPicture(Time time) {
  Record(SampleKind::Picture, {}, time);
}

void COutputSink::RecordRepeatedPicture(Time time) {
  Record(SampleKind::RepeatedPicture, {}, time);
}

void COutputSink::RecordSample(SampleKind kind, std::span<const std::uint8_t> bundle, Time time) {
  Record(kind, bundle, time);
}

void COutputSink::Record(SampleKind kind, std::span<const std::uint8_t> bytes, Time time) {
  if (ProducesPictures()) {
    const auto pictureBytes = static_cast<std::size_t>(
        std::min<std::uint64_t>(DibImageSize(outputFormat_.Header()), frameBuffer_.size()));
    bytes = frameBuffer_.span().first(pictureBytes);
  }
  if (const std::uint32_t result = recorder_->Write(kind, outputFormat_, bytes, time);
      result != kErrorSuccess) {
    ThrowWriteFailure(result);
  }
}

void COutputSink::Complete() {
  if (recorder_) {
    if (const std::uint32_t result = recorder_->Close(); result != kErrorSuccess) {
      ThrowWriteFailure(result);
    }
  }
}

}  // namespace reelkit
