#pragma once

#include <cstdint>
#include <string>

#include "common/reelkit_client.h"
#include "engine/frame_clock.h"
#include "engine/input_file.h"

namespace reelkit {

// What every conversion job is made of besides its input's reader: its InputFile, a CFrameClock,
// the ConversionStatistics it counts, an InputProgress and a COutputSink. A job runs once, on one
// thread.

// Opens the run's input; an input that cannot be opened throws
// CReelkitException(OpenInputFailed, errno). Then reports the start and 0 percent.
void StartRun(InputFile& input, const std::string& inputPath, IReelkitClient& client);

// How much of the input a job has consumed.
struct InputProgress {
  std::uint64_t size = 0;
  std::uint64_t consumed = 0;

  void Report(IReelkitClient& client) const;
};

// The statistics counted as the run went, with the video's length from the clock. A run that
// wrote no frame throws CReelkitException(NoPicture) instead.
void ReportFinish(IReelkitClient& client, ConversionStatistics statistics,
                  const CFrameClock& clock);

}  // namespace reelkit
