#pragma once

#include <cstdint>
#include <string>

#include "common/conversion_failure.h"

namespace reelkit {

// What one finished conversion made. Named fields, not positions: each front end orders them in
// its own sentence.
struct ConversionStatistics {
  std::uint32_t packets = 0;    // input packets (records or data chunks) read
  std::uint32_t frames = 0;     // video frames written, spacers included
  std::uint32_t keyFrames = 0;  // key frames among them
  std::uint32_t spacers = 0;    // frames that repeat the picture across a gap
  std::uint32_t seconds = 0;    // length of the video
};

// The observer of one conversion. All calls come from the thread that runs the conversion.
// Clients are never deleted through this interface.
class IReelkitClient {
 public:
  // The job has opened its input; the path is the one given to ConvertFile.
  virtual void OnStart(const std::string& inputPath) = 0;
  // The whole input was consumed and the output file is complete.
  virtual void OnFinish(const ConversionStatistics& statistics) = 0;
  // The conversion failed; called once at most, and then the conversion is over. Each front end
  // words the failure itself, from its kind, code and cause.
  virtual void OnError(const ConversionFailure& failure) = 0;
  // Share of the input consumed so far, 0.0 to 100.0.
  virtual void OnProgress(double percent) = 0;
  // Asked after every progress report; true stops the job at once.
  virtual bool IsCancelRequested() = 0;

 protected:
  IReelkitClient() = default;
  IReelkitClient(const IReelkitClient&) = default;
  IReelkitClient& operator=(const IReelkitClient&) = default;
  ~IReelkitClient() = default;
};

}  // namespace reelkit
