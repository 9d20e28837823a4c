#pragma once

#include <string>
#include <vector>

namespace reelkit::bench {

// What one child process cost: elapsed time, processor time, peak resident memory, and how often
// it gave up the processor to wait (threads that wait for each other on a busy machine show here).
struct ProcessCost {
  double seconds = 0;
  double cpuSeconds = 0;
  long peakResidentKb = 0;
  long voluntarySwitches = 0;
  int exitStatus = -1;
};

// Runs arguments[0] with the arguments, standard output to stdoutPath (or /dev/null when empty),
// and waits for it. The child runs under /usr/bin/time, which reports its peak memory into
// scratchPath: a child spawned straight from this process would inherit this process's size as
// its starting peak. Throws std::runtime_error when it cannot be started or measured.
ProcessCost RunProcess(const std::vector<std::string>& arguments, const std::string& stdoutPath,
                       const std::string& scratchPath);

}  // namespace reelkit::bench
