#include "engine/job_parts.h"

#include "common/conversion_failure.h"

namespace reelkit {

void StartRun(InputFile& input, const std::string& inputPath, IReelkitClient& client) {
  if (const int error = input.Open(inputPath); error != 0) {
    throw CReelkitException(ConvertErrorKind::OpenInputFailed, FailureCode::System(error));
  }
  client.OnStart(inputPath);
  client.OnProgress(0.0);
}

void InputProgress::Report(IReelkitClient& client) const {
  const double percent =
      size == 0 ? 100.0 : static_cast<double>(consumed) / static_cast<double>(size) * 100.0;
  client.OnProgress(percent);
}

void ReportFinish(IReelkitClient& client, ConversionStatistics statistics,
                  const CFrameClock& clock) {
  // A recording without a single picture makes no file, and a front end that took success for a
  // video would delete the recording that holds the session's only trace.
  if (statistics.frames == 0) {
    throw CReelkitException(ConvertErrorKind::NoPicture);
  }
  statistics.seconds = clock.ElapsedSeconds();
  client.OnFinish(statistics);
}

}  // namespace reelkit
