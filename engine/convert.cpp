#include "engine/convert.h"

#include <cerrno>
#include <filesystem>
#include <new>

#include "avi/codec_module.h"
#include "common/avi_exception.h"
#include "common/error_codes.h"
#include "common/reelkit_exception.h"
#include "engine/avi_input_job.h"
#include "engine/output_claim.h"
#include "engine/recording_job.h"

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

void ReportJobFailure(const CReelkitException& failure, IReelkitClient& client) {
  switch (failure.Failure()) {
    case ReelkitFailure::ReadInput:
      client.OnError(ConvertErrorKind::ReadInputFailed, failure.Error(), {});
      if (failure.Refusal().limit != InputLimit::None) {
        client.OnLimitRefusal(failure.Refusal());
      }
      break;
    case ReelkitFailure::WriteOutput:
      client.OnError(ConvertErrorKind::WriteOutputFailed, failure.Error(),
                     DescribeWriteFailure(failure.Error()));
      break;
    case ReelkitFailure::UnsupportedOutputFormat:
      client.OnError(ConvertErrorKind::UnsupportedOutputFormat, 0, {});
      break;
  }
}

}  // namespace

std::string DescribeWriteFailure(std::uint32_t code) {
  // The recorder gives up a frame that its streaming thread did not take in time with this code.
  if (code == kErrorAccessDenied) {
    return "The video pipeline stopped answering, so the output file could not be completed.";
  }
  return "The output file could not be written: " + DescribeErrorCode(code);
}

bool RegisterCodecModule() {
  return RegisterCodecModuleAt(CodecModulePath());
}

bool ConvertFile(const std::string& inputPath, const std::string& outputPath, OutputFormat format,
                 IReelkitClient& client) {
  InputKind kind{};
  if (!DetectInputKind(inputPath, kind)) {
    client.OnError(ConvertErrorKind::InvalidInputFormat, 0, {});
    return false;
  }
  // Compared by device and inode, links followed: the file the claim below would open.
  if (NamesTheSameFile(inputPath, outputPath)) {
    client.OnError(ConvertErrorKind::OutputIsInput, 0, {});
    return false;
  }
  const COutputClaim output(outputPath);
  if (!output.IsHeld()) {
    client.OnError(ConvertErrorKind::OutputRefused, static_cast<std::uint32_t>(output.Error()),
                   output.Refusal());
    return false;
  }
  try {
    // The resolved path: what the claim checked and locked is what the recorder writes.
    return RunJob(kind, inputPath, output.Path(), format, client);
  } catch (const CReelkitException& failure) {
    ReportJobFailure(failure, client);
  } catch (const CAviException& failure) {
    client.OnError(ConvertErrorKind::ReadInputFailed, failure.Code(),
                   "The recording's screen data is damaged: " + failure.Text());
  } catch (const std::bad_alloc&) {
    client.OnError(ConvertErrorKind::ReadInputFailed, ENOMEM,
                   "There is not enough memory to convert this recording.");
  }
  return false;
}

}  // namespace reelkit
