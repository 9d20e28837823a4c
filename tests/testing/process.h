#pragma once

#include <string>
#include <vector>

namespace reelkit::testing {

struct ProcessResult {
  std::string output;   // everything the process wrote to standard output
  int exitStatus = -1;  // -1 when it did not exit normally
};

enum class StdoutKind { Pipe, Terminal };

// Reads a descriptor to its end (or to EIO, which a pseudo-terminal gives once its last writer
// has gone).
std::string ReadAll(int fd);

// Runs a program with the given arguments (argv[0] is the program path) and collects its
// standard output, through a pipe or through a pseudo-terminal.
ProcessResult RunProcess(const std::vector<std::string>& argv, StdoutKind kind = StdoutKind::Pipe);

}  // namespace reelkit::testing
