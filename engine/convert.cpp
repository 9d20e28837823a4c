#include "engine/convert.h"

#include <filesystem>

#include "common/conversion_failure.h"
#include "engine/avi_input_job.h"
#include "engine/failure_capture.h"
#include "engine/output_claim.h"
#include "engine/recording_job.h"
#include "recorders/codec_module.h"

namespace reelkit {
namespace {

bool NamesTheSameFile(const std::string& inputPath, const std::string& outputPath) {
  std::error_code ignored;
  return std::filesystem::equivalent(inputPath, outputPath, ignored);
}

// The job lives only inside this call, so a failure leaving it has already completed the output
// file written so far by the time the client hears of it.
bool RunJob(InputKind kind, const std::string& inputPath, const std::string& outputPath,
            OutputFormat format, IReelkitClient& client) {
  if (kind == InputKind::RawRecording) {
    CRecordingJob job;
    return job.Execute(inputPath, outputPath, format, client);
  }
  CAviInputJob job;
  return job.Execute(inputPath, outputPath, format, client);
}

bool Convert(const std::string& inputPath, const std::string& outputPath, OutputFormat format,
             IReelkitClient& client) {
  InputKind kind{};
  if (!DetectInputKind(inputPath, kind)) {
    throw CReelkitException(ConvertErrorKind::InvalidInputFormat);
  }
  // Compared by device and inode, links followed: the file the claim below would open.
  if (NamesTheSameFile(inputPath, outputPath)) {
    throw CReelkitException(ConvertErrorKind::OutputIsInput);
  }
  const COutputClaim output(outputPath);
  if (!output.IsHeld()) {
    throw CReelkitException(ConvertErrorKind::OutputRefused, FailureCode::System(output.Error()),
                            output.Refusal());
  }
  // The resolved path: what the claim checked and locked is what the recorder writes.
  return RunJob(kind, inputPath, output.Path(), format, client);
}

}  // namespace

bool RegisterCodecModule() {
  return RegisterCodecModuleAt(CodecModulePath());
}

bool ConvertFile(const std::string& inputPath, const std::string& outputPath, OutputFormat format,
                 IReelkitClient& client) {
  // Nothing may leave: a front end runs many conversions, and one failure ends only its own.
  try {
    return Convert(inputPath, outputPath, format, client);
  } catch (...) {
    client.OnError(FailureOfCurrentException());
  }
  return false;
}

}  // namespace reelkit
