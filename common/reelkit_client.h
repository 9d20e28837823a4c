#pragma once

#include <cstdint>
#include <string>

#include "common/input_limit.h"

namespace reelkit {

// Why a conversion failed, as reported to IReelkitClient::OnError.
enum class ConvertErrorKind : std::int32_t {
  InvalidInputFormat = 0,       // not recognised, or a malformed container
  UnsupportedOutputFormat = 1,  // the output format index is not 0, 2 or 3
  OpenInputFailed = 2,          // code: the system error
  ReadInputFailed = 3,          // code: the system error, 38 for a short read, 13 for bad data
  WriteOutputFailed = 4,        // code: the recorder's or the system's error
  OutputIsInput = 5,            // the output path names the input file; nothing was written
  OutputRefused = 6,            // the output path cannot be written as asked (the text says why:
                                // not a file, write-protected, being written); nothing was written
};

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
  // The conversion failed. The text is empty or one sentence naming the cause where the kind and
  // code alone do not (a damaged screen stream, say); front ends word everything else themselves.
  virtual void OnError(ConvertErrorKind kind, std::uint32_t code, const std::string& text) = 0;
  // Share of the input consumed so far, 0.0 to 100.0.
  virtual void OnProgress(double percent) = 0;
  // Asked after every progress report; true stops the job at once.
  virtual bool IsCancelRequested() = 0;
  // Follows OnError (ReadInputFailed, 13) when one of the program's own limits refused the input,
  // and names it. Clients that word only the kind and code need not override it.
  virtual void OnLimitRefusal(const LimitRefusal&) {}

 protected:
  IReelkitClient() = default;
  IReelkitClient(const IReelkitClient&) = default;
  IReelkitClient& operator=(const IReelkitClient&) = default;
  ~IReelkitClient() = default;
};

}  // namespace reelkit
