// The raw recording reader and the whole job, with the real decoder, on arbitrary files.
#include "common/conversion_failure.h"
#include "engine/recording_job.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace reelkit;
  fuzzing::MemoryFile file(data, size);
  fuzzing::SilentClient client;
  // The last byte picks the output, so both pass-through and decoding are reached.
  const OutputFormat format =
      size > 0 && (data[size - 1] & 1) ? OutputFormat::ScreenCodec : OutputFormat::MicrosoftRle;
  try {
    CRecordingJob job(fuzzing::DiscardingRecorders());
    job.Execute(file.Path(), "/dev/null", format, client);
  } catch (const CReelkitException&) {
  }
  return 0;
}
