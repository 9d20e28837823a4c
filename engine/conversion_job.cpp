#include "engine/conversion_job.h"

#include "common/avi_exception.h"
#include "common/conversion_failure.h"
#include "common/error_codes.h"
#include "common/packet_kind.h"
#include "decoder/native_format.h"
#include "engine/raw_recording_reader.h"

namespace reelkit {
namespace {

constexpr std::uint32_t kPictureKind = 0;

[[noreturn]] void ThrowWriteFailure(std::uint32_t result) {
  throw CReelkitException(ConvertErrorKind::WriteOutputFailed, result, RecorderFailure{});
}

[[noreturn]] void ThrowDamagedScreenData(const CAviException& failure) {
  throw CReelkitException(ConvertErrorKind::ReadInputFailed, failure.Code(), DamagedScreenData{});
}

}  // namespace

RecorderFactory DefaultRecorderFactory() {
  return [](double framesPerSecond, FourCC fourcc) {
    return std::make_unique<CAviRecorder>(framesPerSecond, fourcc);
  };
}

CConversionJob::CConversionJob(RecorderFactory makeRecorder)
    : makeRecorder_(std::move(makeRecorder)) {}

CConversionJob::~CConversionJob() = default;

void CConversionJob::StartRun(const std::string& inputPath, const std::string& outputPath,
                              OutputFormat format, IReelkitClient& client) {
  outputPath_ = outputPath;
  format_ = format;
  if (const int error = input_.Open(inputPath); error != 0) {
    throw CReelkitException(ConvertErrorKind::OpenInputFailed, static_cast<std::uint32_t>(error));
  }
  client.OnStart(inputPath);
  client.OnProgress(0.0);
}

void CConversionJob::SelectOutputFormat() {
  recorder_.reset();
  if (!IsSupportedOutputFormat(format_)) {
    throw CReelkitException(ConvertErrorKind::UnsupportedOutputFormat, 0);
  }
  const int framesPerSecond = FramesPerSecondOf(format_);
  frameDuration_ = FrameDuration(framesPerSecond);
  recorder_ = makeRecorder_(static_cast<double>(framesPerSecond), FourCCOf(format_));
}

void CConversionJob::DeclareStreamFormatForOutput() {
  outputFormat_ = streamFormat_;
  if (IsPlainRgb32BitFields(streamFormat_)) {
    outputFormat_.SetPictureFormat(32, kCompressionRgb);
  }
}

void CConversionJob::CreateDecoder() {
  const BitmapInfoHeader stream = streamFormat_.Header();
  // The frame buffer holds a 32-bit picture at the output size whatever the stream's depth, so a
  // depth change later in the recording still decodes whole pictures.
  const std::uint64_t largestPicture = DibImageSize(stream.width, stream.height, 32);
  if (largestPicture > kMaxPictureBytes) {
    throw CReelkitException(
        LimitRefusal{InputLimit::PictureBytes, largestPicture, kMaxPictureBytes});
  }
  if (!IsDecodableDepth(stream.bitCount)) {
    throw CReelkitException(LimitRefusal{InputLimit::DecodedDepth, stream.bitCount, 0});
  }
  const std::uint64_t pixels = largestPicture / 4;  // rows of 32-bit pixels need no padding
  if (pixels > kMaxNativePixels) {
    throw CReelkitException(LimitRefusal{InputLimit::DecodedPixels, pixels, kMaxNativePixels});
  }
  outputFormat_ = streamFormat_;
  if (DecodesTo32Bits(stream.bitCount)) {
    outputFormat_.SetPictureFormat(32, kCompressionRgb);
  } else {
    outputFormat_.SetPictureFormat(stream.bitCount, stream.compression);
    if (stream.compression == kCompressionBitFields) {
      outputFormat_.SetMasks(streamFormat_.Masks());
    }
  }
  decoder_.reset();
  decoder_ = std::make_unique<CScreenStreamDecoder>();
  try {
    decoder_->Initialize(streamFormat_, outputFormat_, kFourCCScreenCodec);
  } catch (const CAviException& failure) {
    ThrowDamagedScreenData(failure);
  }
  frameBuffer_.ResizeZeroed(static_cast<std::size_t>(largestPicture));
}

void CConversionJob::DecodeIntoFrame(std::span<const std::uint8_t> packet) {
  try {
    decoder_->DecodePacket(streamFormat_, outputFormat_, kFourCCScreenCodec, packet,
                           frameBuffer_.span());
  } catch (const CAviException& failure) {
    ThrowDamagedScreenData(failure);
  }
}

std::uint32_t CConversionJob::WriteWaitingWhileBusy(std::uint32_t kind,
                                                    std::span<const std::uint8_t> packet,
                                                    std::span<const std::uint8_t> picture) {
  for (;;) {
    const std::uint32_t result =
        recorder_->WriteFrame(kind, packet, outputFormat_, picture, outputPath_, nextFrameTime_);
    if (result != kErrorBusy) {
      return result;
    }
    recorder_->WaitUntilReady();
  }
}

void CConversionJob::RecordPicture() {
  RecordPictureAs(kPictureKind);
}

void CConversionJob::RecordRepeatedPicture() {
  RecordPictureAs(static_cast<std::uint32_t>(PacketKind::Empt));
}

void CConversionJob::RecordPictureAs(std::uint32_t kind) {
  const auto pictureBytes = static_cast<std::size_t>(
      std::min<std::uint64_t>(DibImageSize(outputFormat_.Header()), frameBuffer_.size()));
  const std::uint32_t result =
      WriteWaitingWhileBusy(kind, {}, frameBuffer_.span().first(pictureBytes));
  if (result != kErrorSuccess) {
    ThrowWriteFailure(result);
  }
}

void CConversionJob::RecordSample(PacketKind kind, std::span<const std::uint8_t> bundle) {
  const std::uint32_t result = WriteWaitingWhileBusy(static_cast<std::uint32_t>(kind), bundle, {});
  if (result != kErrorSuccess) {
    ThrowWriteFailure(result);
  }
}

void CConversionJob::CompleteOutput() {
  if (recorder_) {
    const std::uint32_t result = recorder_->Close();
    if (result != kErrorSuccess) {
      ThrowWriteFailure(result);
    }
  }
}

void CConversionJob::ReportProgress(IReelkitClient& client) const {
  const double percent =
      inputSize_ == 0 ? 100.0
                      : static_cast<double>(consumed_) / static_cast<double>(inputSize_) * 100.0;
  client.OnProgress(percent);
}

void CConversionJob::ReportFinish(IReelkitClient& client) const {
  ConversionStatistics finished = statistics_;
  finished.seconds =
      static_cast<std::uint32_t>((nextFrameTime_ - firstTime_) / kTimeUnitsPerSecond);
  client.OnFinish(finished);
}

}  // namespace reelkit
