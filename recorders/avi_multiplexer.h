#pragma once

#include <cstdint>
#include <string>

#include "common/time.h"
#include "recorders/compressor.h"
#include "recorders/ffmpeg_handles.h"

namespace reelkit {

// The AVI multiplexer and file writer of the pipeline, on libavformat's AVI muxer: one video
// stream, a sample's start time becomes its frame number, key packets are flagged in the index, and
// past 1 GB the file continues in OpenDML form. Output is bit-exact: no library version, no clock.
//
// Threads: AddStream and Start from the building thread; WritePacket and Finish from the streaming
// thread while running, Finish from the stopping thread after it has been joined.
class CAviMultiplexer {
 public:
  CAviMultiplexer(std::string path, double framesPerSecond);
  CAviMultiplexer(const CAviMultiplexer&) = delete;
  CAviMultiplexer& operator=(const CAviMultiplexer&) = delete;

  const std::string& Path() const { return path_; }

  // Declares the stream; 0 or a failure code.
  std::uint32_t AddStream(const CompressedStreamInfo& info);
  // Creates the file and writes the headers.
  std::uint32_t Start();
  // start: the sample's time from the start of the file, in 100 ns units.
  std::uint32_t WritePacket(const CompressedPacket& packet, Time start);
  // Writes the index and completes the file once; later calls return the first result.
  std::uint32_t Finish();

 private:
  std::int64_t FrameNumberOf(Time start);

  std::string path_;
  AVRational frameRate_;
  AvOutputFormatContextPtr context_;
  AVStream* stream_ = nullptr;  // owned by context_
  AvPacketPtr packet_;
  std::int64_t lastFrameNumber_ = -1;
  bool started_ = false;
  bool finished_ = false;
  std::uint32_t finishResult_ = 0;
};

}  // namespace reelkit
