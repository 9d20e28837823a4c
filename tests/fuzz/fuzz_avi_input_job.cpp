// The AVI input reader and its job, with the real decoder, on arbitrary files.
#include "common/avi_exception.h"
#include "common/reelkit_exception.h"
#include "engine/avi_input_job.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace reelkit;
  fuzzing::MemoryFile file(data, size);
  fuzzing::SilentClient client;
  try {
    CAviInputJob job(fuzzing::DiscardingRecorders());
    job.Execute(file.Path(), "/dev/null", OutputFormat::MicrosoftRle, client);
  } catch (const CReelkitException&) {
  } catch (const CAviException&) {
  }
  return 0;
}
