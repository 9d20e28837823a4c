#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/output_format.h"
#include "common/reelkit_client.h"

namespace reelkit {

// The command line's observer: prints the input path, a 40-cell progress bar when standard
// output is a terminal, the statistics line and the fixed English error messages.
class CStdOutConverterClient final : public IReelkitClient {
 public:
  static constexpr std::uint32_t kBarCells = 40;

  explicit CStdOutConverterClient(OutputFormat format);

  void OnStart(const std::string& inputPath) override;
  void OnFinish(const ConversionStatistics& statistics) override;
  void OnError(const ConversionFailure& failure) override;
  void OnProgress(double percent) override;
  // True once a stop signal arrived (see interruption.h).
  bool IsCancelRequested() override;

  // Says that a stop signal ended the conversion, and whether the output file had been written.
  void OnInterrupted(bool outputChanged);

 private:
  void EndBarLine();

  OutputFormat format_;
  std::FILE* out_;
  bool interactive_;
  std::uint32_t cellsDrawn_ = 0;
  bool barLineOpen_ = false;  // a bar was drawn and nothing has ended its line yet
};

}  // namespace reelkit
