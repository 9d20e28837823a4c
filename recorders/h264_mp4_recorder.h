#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "common/video_recorder.h"
#include "recorders/picture_conversion.h"
#include "recorders/yuv420_conversion.h"

namespace reelkit {

class CH264Mp4Writer;

// Writes decoded pictures as H.264 (4:2:0, sizes padded to even with a black margin) into an MP4
// file whose index leads, so that a player can start before the file has loaded. Pictures sit on a
// clock of ten frames a second; a spacer costs nothing: it lengthens the sample of the picture
// before, which the file then shows for that much longer. The file takes the size of its first
// picture; a later picture of another depth or size is converted to it.
//
// Encoding happens inside Write on the owner's thread; the encoder keeps its own fixed set of
// threads, so the bytes of a file depend on its pictures and times alone.
class CH264Mp4Recorder final : public IVideoRecorder {
 public:
  CH264Mp4Recorder();
  ~CH264Mp4Recorder() override;
  CH264Mp4Recorder(const CH264Mp4Recorder&) = delete;
  CH264Mp4Recorder& operator=(const CH264Mp4Recorder&) = delete;

  void Open(const std::string& outputPath) override;
  // Pass-through samples are refused with kErrorInvalidFunction.
  std::uint32_t Write(SampleKind kind, const BitmapFormat& format,
                      std::span<const std::uint8_t> bytes, Time time) override;
  std::uint32_t Close() override;

 private:
  std::uint32_t WriteSample(SampleKind kind, const BitmapFormat& format,
                            std::span<const std::uint8_t> bytes, Time time);
  std::uint32_t Start(const BitmapFormat& format, Time time);
  std::int64_t FrameNumberOf(Time time);
  std::span<const std::uint8_t> InFileFormat(const BitmapFormat& format,
                                             std::span<const std::uint8_t> picture);
  std::uint32_t EncodePicture(std::span<const std::uint8_t> picture, std::int64_t frameNumber);

  std::string path_;
  int width_ = 0;
  int height_ = 0;
  Time timeBase_ = 0;
  std::int64_t lastFrameNumber_ = -1;
  bool closed_ = false;
  std::uint32_t failure_ = 0;
  std::unique_ptr<CH264Mp4Writer> writer_;  // made by the first picture
  std::optional<CYuv420Converter> toYuv_;
  std::optional<CPictureConverter> converter_;  // made by the first picture of another format
  VideoMediaType fileType_;
};

}  // namespace reelkit
