#pragma once

#include <cstdint>
#include <string>

#include "recorders/ffmpeg_handles.h"
#include "recorders/yuv420_conversion.h"

namespace reelkit {

// The H.264 encoder and the MP4 file of CH264Mp4Recorder. Pictures are numbered on a clock of ten
// frames a second and may skip numbers: a picture is shown until the next one's number, the last
// one until the end number given to Finish. Decode order is display order, so a sample's duration
// is known once the next picture has been encoded.
class CH264Mp4Writer {
 public:
  CH264Mp4Writer() = default;
  CH264Mp4Writer(const CH264Mp4Writer&) = delete;
  CH264Mp4Writer& operator=(const CH264Mp4Writer&) = delete;
  ~CH264Mp4Writer();

  static constexpr int kFramesPerSecond = 10;

  // Sets up the encoder for pictures of EvenSize(width) x EvenSize(height), then creates the file
  // and writes its header. 0 or the failure's result code.
  std::uint32_t Start(const std::string& path, int width, int height);
  // The planes the next picture is written into; holdsLast tells whether they still hold the last
  // picture's.
  std::uint32_t NextPicture(Yuv420Planes& planes, bool& holdsLast);
  // Encodes the planes filled since NextPicture as the picture of this number, above every earlier
  // one.
  std::uint32_t EncodePicture(std::int64_t frameNumber);
  // Encodes what the encoder still holds, ends the last picture at endFrameNumber, moves the index
  // to the front and closes the file.
  std::uint32_t Finish(std::int64_t endFrameNumber);

 private:
  std::uint32_t OpenEncoder(int width, int height);
  std::uint32_t OpenMuxer(const std::string& path);
  std::uint32_t Send(const AVFrame* frame);
  std::uint32_t WriteHeldPacket(std::int64_t endFrameNumber);

  AvCodecContextPtr encoder_;
  AvOutputFormatContextPtr muxer_;
  AVStream* stream_ = nullptr;  // owned by muxer_
  AvFramePtr frame_;
  AvPacketPtr packet_;
  AvPacketPtr held_;  // written once the next picture's number gives its duration
  bool holding_ = false;
  bool frameHoldsPicture_ = false;
  std::int64_t lastKeyFrameNumber_ = 0;
};

}  // namespace reelkit
