#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace reelkit::testing {

struct ProcessResult {
  std::string output;   // everything the process wrote to standard output
  int exitStatus = -1;  // -1 when it did not exit normally
  bool hung = false;    // a bounded run that was still going at kHangDeadline, and was killed
};

enum class StdoutKind { Pipe, Terminal };

// Whether a run is ended as a hang once kHangDeadline has passed.
enum class RunBound { None, HangDeadline };

// Reads a descriptor to its end (or to EIO, which a pseudo-terminal gives once its last writer
// has gone).
std::string ReadAll(int fd);

// Reads a descriptor to its end, as ReadAll does, but not past deadline; false when the deadline
// came first.
bool ReadAllBefore(int fd, std::chrono::steady_clock::time_point deadline, std::string& output);

// Waits for a child to end, but not past deadline, and gives its wait status; a child still
// running then is killed and reaped, and false is returned.
bool WaitForChildBefore(pid_t pid, std::chrono::steady_clock::time_point deadline, int& status);

// Runs a program with the given arguments (argv[0] is the program path) and collects its
// standard output, through a pipe or through a pseudo-terminal.
ProcessResult RunProcess(const std::vector<std::string>& argv, StdoutKind kind = StdoutKind::Pipe,
                         RunBound bound = RunBound::None);

}  // namespace reelkit::testing
