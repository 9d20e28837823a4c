#include "recorders/h264_mp4_recorder.h"

#include <algorithm>
#include <cstdlib>

#include "common/error_codes.h"
#include "common/picture_rules.h"
#include "recorders/h264_mp4_writer.h"

namespace reelkit {

namespace {

constexpr Time kFrameDuration = FrameDuration(CH264Mp4Writer::kFramesPerSecond);
constexpr std::uint16_t kFileBitCount = 32;

}  // namespace

CH264Mp4Recorder::CH264Mp4Recorder() = default;

CH264Mp4Recorder::~CH264Mp4Recorder() {
  Close();
}

void CH264Mp4Recorder::Open(const std::string& outputPath) {
  path_ = outputPath;
}

std::uint32_t CH264Mp4Recorder::Write(SampleKind kind, const BitmapFormat& format,
                                      std::span<const std::uint8_t> bytes, Time time) {
  if (closed_) {
    return kErrorInvalidFunction;
  }
  if (failure_ == 0) {
    failure_ = WriteSample(kind, format, bytes, time);
  }
  return failure_;
}

std::uint32_t CH264Mp4Recorder::WriteSample(SampleKind kind, const BitmapFormat& format,
                                            std::span<const std::uint8_t> bytes, Time time) {
  // A file's first sample is a picture, whatever the job calls it.
  if (kind == SampleKind::RepeatedPicture && writer_) {
    FrameNumberOf(time);
    return 0;
  }
  if (kind != SampleKind::Picture && kind != SampleKind::RepeatedPicture) {
    return kErrorInvalidFunction;
  }
  if (!writer_) {
    const std::uint32_t result = Start(format, time);
    if (result != 0) {
      return result;
    }
  }
  const std::span<const std::uint8_t> picture = InFileFormat(format, bytes);
  if (picture.empty()) {
    return kErrorInvalidData;
  }
  return EncodePicture(picture, FrameNumberOf(time));
}

std::uint32_t CH264Mp4Recorder::Start(const BitmapFormat& format, Time time) {
  const BitmapInfoHeader header = format.Header();
  if (!IsRecordablePicture(header)) {
    return kErrorInvalidData;
  }
  width_ = header.width;
  height_ = std::abs(header.height);
  timeBase_ = time;
  BitmapInfoHeader fileHeader;
  fileHeader.width = width_;
  fileHeader.height = height_;
  fileType_.format = BitmapFormat(fileHeader);
  fileType_.format.SetPictureFormat(kFileBitCount, kCompressionRgb);
  fileType_.masks = kMasksPlain32;
  auto writer = std::make_unique<CH264Mp4Writer>();
  const std::uint32_t result = writer->Start(path_, width_, height_);
  if (result == 0) {
    writer_ = std::move(writer);
    toYuv_.emplace(width_, height_);
  }
  return result;
}

std::int64_t CH264Mp4Recorder::FrameNumberOf(Time time) {
  // Rounded to the nearest interval; every sample stands for one, so an early one takes the next.
  const Time offset = time - timeBase_;
  const std::int64_t number =
      offset >= 0 ? (offset + kFrameDuration / 2) / kFrameDuration : lastFrameNumber_ + 1;
  lastFrameNumber_ = std::max(number, lastFrameNumber_ + 1);
  return lastFrameNumber_;
}

// The picture as bottom-up 32-bit pixels of the file's size: a picture of another format (the
// recording changed depth) is converted, one shorter than its format says is refused.
std::span<const std::uint8_t> CH264Mp4Recorder::InFileFormat(
    const BitmapFormat& format, std::span<const std::uint8_t> picture) {
  const BitmapInfoHeader header = format.Header();
  if (!IsRecordablePicture(header) || picture.size() < DibImageSize(header)) {
    return {};
  }
  if (header.bitCount == kFileBitCount && header.width == width_ && header.height == height_) {
    return picture.first(DibImageSize(header));
  }
  if (!converter_) {
    converter_.emplace(fileType_);
  }
  VideoMediaType source;
  source.format = format;
  source.masks = MasksOf(format);
  return converter_->Convert(source, picture);
}

std::uint32_t CH264Mp4Recorder::EncodePicture(std::span<const std::uint8_t> picture,
                                              std::int64_t frameNumber) {
  Yuv420Planes planes;
  bool planesHoldLast = false;
  const std::uint32_t result = writer_->NextPicture(planes, planesHoldLast);
  if (result != 0) {
    return result;
  }
  toYuv_->Convert(picture, planes, planesHoldLast);
  return writer_->EncodePicture(frameNumber);
}

std::uint32_t CH264Mp4Recorder::Close() {
  if (closed_) {
    return 0;
  }
  closed_ = true;
  std::uint32_t result = 0;
  if (writer_ && failure_ == 0) {
    // The last picture lasts to the end of the last sample's interval, spacers included.
    result = writer_->Finish(lastFrameNumber_ + 1);
  }
  writer_.reset();
  converter_.reset();
  toYuv_.reset();
  return result;
}

}  // namespace reelkit
